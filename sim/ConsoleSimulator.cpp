#include "sim/ConsoleSimulator.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "protocol/Frame.h"

namespace vemkard {
namespace {

// How often a pty master is checked for the program opening its side.
constexpr int kAttachCheckMs = 20;
// Gap between the pieces of a split frame, so that the program reads them
// as separate chunks.
constexpr int kPieceGapMs = 2;
// The program answers only the last of the polls that reach it together, so
// of the polls still open when an answer comes, at most one more answer can
// be on its way (from a program slower than the console's patience).
constexpr std::size_t kMaxLateAnswers = 1;

// The time left until `when`, for ppoll: to the nanosecond, so that the
// console's pace is what its options say and hides nothing of the program's.
timespec TimeUntil(std::chrono::steady_clock::time_point when) {
    const auto left = std::max(std::chrono::steady_clock::duration::zero(),
                               when - std::chrono::steady_clock::now());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    return timespec{
        static_cast<time_t>(seconds.count()),
        static_cast<long>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count())};
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char byte[4];
    for (const auto value : bytes) {
        std::snprintf(byte, sizeof byte, "%02X ", value);
        text += byte;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

// A damaged frame is logged as bytes only.
bool Describable(const std::vector<std::uint8_t>& frame) {
    return frame.size() >= kMinCommandFrame &&
           std::equal(kFramePrefix.begin(), kFramePrefix.end(), frame.begin()) &&
           frame[kFramePrefixSize] + kFrameOverhead == frame.size() && CheckFrame(frame.data());
}

}  // namespace

ConsoleSimulator::ConsoleSimulator(int fd, ConsoleStore& store, SimulatorOptions options,
                                   FaultPlan faults, Logger log)
    : fd_(fd),
      store_(store),
      responder_(store),
      options_(options),
      faults_(std::move(faults)),
      log_(std::move(log)) {
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    responder_.SetVerifyErrorAddress(faults_.Rates().verifyErrorAddress);
    responder_.SetExecuteRepeats(options_.executeRepeats);
}

ConsoleSimulator::~ConsoleSimulator() {
    Stop();
    ::close(stopFd_);
}

void ConsoleSimulator::Start() {
    thread_ = std::thread([this] { Run(); });
}

void ConsoleSimulator::Stop() {
    RequestStop();
    if (thread_.joinable()) thread_.join();
}

void ConsoleSimulator::RequestStop() {
    const std::uint64_t one = 1;
    // The event is never read, so one write keeps it signalled for good.
    [[maybe_unused]] const auto written = ::write(stopFd_, &one, sizeof one);
}

bool ConsoleSimulator::WaitForStop(int milliseconds) {
    pollfd stop{stopFd_, POLLIN, 0};
    return ::poll(&stop, 1, milliseconds) > 0;
}

bool ConsoleSimulator::ProgramSideClosed() {
    pollfd line{fd_, 0, 0};
    return ::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR)) != 0;
}

void ConsoleSimulator::Attach() {
    attached_ = true;
    assembler_.Clear();
    answerDeadline_.reset();
    outstandingPolls_ = 0;
    lastCommand_.clear();
    lateBudget_ = 0;
    nextPoll_ = Clock::now() + std::chrono::milliseconds(options_.pollMs);
    Log("program attached");
}

bool ConsoleSimulator::Run() {
    // The default timer slack would let every poll go up to 50 µs late.
    prctl(PR_SET_TIMERSLACK, 1, 0, 0, 0);
    attached_ = false;
    lineFailed_ = false;
    if (!options_.watchHangup) Attach();
    std::uint8_t chunk[4096];
    for (;;) {
        if (!attached_) {
            if (WaitForStop(kAttachCheckMs)) return true;
            if (!ProgramSideClosed()) Attach();
            continue;
        }
        const bool silent = faults_.Silent(replies_);
        if (!answerDeadline_ && !silent && Clock::now() >= nextPoll_) {
            const auto now = Clock::now();
            answerDeadline_ = now + std::chrono::milliseconds(options_.answerMs);
            ++polls_;
            // A damaged poll is never answered, so it cannot bring a late answer.
            std::vector<std::uint8_t> poll = MakeFrame(cmPoll);
            const bool lengthDamaged = faults_.DamageLength(poll);
            bool damaged = false;
            sendingPoll_ = true;
            SendFrame(poll, lengthDamaged ? "length damaged" : nullptr, &damaged);
            sendingPoll_ = false;
            if (!lengthDamaged && !damaged) ++outstandingPolls_;
        }
        std::optional<timespec> timeout;
        if (answerDeadline_) {
            timeout = TimeUntil(*answerDeadline_);
        } else if (!silent) {
            timeout = TimeUntil(nextPoll_);
        }
        const short wanted = faults_.Deaf(replies_) ? 0 : POLLIN;
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {fd_, wanted, 0}};
        if (::ppoll(fds, 2, timeout ? &*timeout : nullptr, nullptr) < 0 && errno != EINTR) {
            Log(std::string("poll failed: ") + std::strerror(errno));
            return false;
        }
        if (fds[0].revents != 0) return true;
        bool hungUp = lineFailed_ || (fds[1].revents & (POLLHUP | POLLERR)) != 0;
        if (fds[1].revents & POLLIN) {
            const auto count = ::read(fd_, chunk, sizeof chunk);
            if (count > 0) {
                if (answerDeadline_) {
                    // The answer has begun: give the rest of it the full time.
                    answerDeadline_ = Clock::now() + std::chrono::milliseconds(options_.answerMs);
                }
                for (const auto& frame :
                     assembler_.Feed({chunk, static_cast<std::size_t>(count)})) {
                    HandleFrame(frame);
                }
                hungUp = lineFailed_;
            } else if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
                hungUp = true;
            }
        }
        if (hungUp) {
            if (!options_.watchHangup) {
                Log("line hung up");
                return false;
            }
            attached_ = false;
            lineFailed_ = false;
            Log("program detached");
            continue;
        }
        if (answerDeadline_ && Clock::now() >= *answerDeadline_) {
            answerDeadline_.reset();
            nextPoll_ = Clock::now();
        }
        faultsInjected_ = faults_.Injected();
    }
}

void ConsoleSimulator::HandleFrame(const std::vector<std::uint8_t>& frame) {
    ++commands_;
    // Every frame answers the oldest poll that is still open.
    if (outstandingPolls_ > 0) --outstandingPolls_;
    if (!options_.executeRepeats && lateBudget_ > 0 && frame == lastCommand_) {
        --lateBudget_;
        ++lateAnswers_;
        LogFrame("<-", frame, "late answer to an earlier poll, dropped");
        return;
    }
    LogFrame("<-", frame);
    // A poll still open was sent before this reply, so an answer to it would
    // be this same command: a late answer. The older open polls will get no
    // answer (the program answers only the freshest of polls that reach it
    // together, and ignores polls while it has nothing queued), so they are
    // forgotten; a true resend is then delayed once at most, never answered
    // twice.
    const auto now = Clock::now();
    lateBudget_ = std::min(outstandingPolls_, kMaxLateAnswers);
    outstandingPolls_ = 0;
    lastCommand_ = frame;
    answerDeadline_.reset();
    nextPoll_ = now + std::chrono::milliseconds(options_.pollMs);
    if (faults_.Silent(replies_)) {
        Log("silent: no reply");
        return;
    }
    Reply(frame);
    nextPoll_ = Clock::now() + std::chrono::milliseconds(options_.pollMs);
}

void ConsoleSimulator::Reply(const std::vector<std::uint8_t>& frame) {
    std::vector<std::uint8_t> reply;
    {
        std::lock_guard lock(storeMutex_);
        reply = responder_.Respond(frame);
    }
    if (reply.empty()) return;
    ++replies_;
    if (const int delay = faults_.ReplyDelay(); delay > 0) {
        Log("delay " + std::to_string(delay) + " ms");
        if (WaitForStop(delay)) return;
    }
    if (faults_.LoseReply()) {
        LogFrame("--", reply, "reply lost");
        return;
    }
    if (!SendFrame(reply, nullptr)) return;
    if (faults_.DuplicateReply()) SendFrame(reply, "duplicate");
}

bool ConsoleSimulator::SendFrame(const std::vector<std::uint8_t>& frame, const char* what,
                                 bool* damagedOut) {
    const auto noise = faults_.Noise();
    if (!noise.empty()) {
        Log("-> " + Hex(noise) + "  | noise");
        if (!WriteAll(noise.data(), noise.size())) return false;
    }
    auto bytes = frame;
    const bool damaged = faults_.Damage(bytes);
    if (damagedOut) *damagedOut = damaged;
    const auto pieces = faults_.Pieces(bytes.size());
    std::string note = what ? what : "";
    if (damaged) note += note.empty() ? "damaged" : ", damaged";
    if (pieces.size() > 1)
        note += (note.empty() ? "split in " : ", split in ") + std::to_string(pieces.size());
    LogFrame("->", bytes, note.empty() ? nullptr : note.c_str());
    std::size_t offset = 0;
    for (const auto piece : pieces) {
        if (offset > 0 && WaitForStop(kPieceGapMs)) return false;
        if (!WriteAll(bytes.data() + offset, piece)) return false;
        offset += piece;
    }
    return true;
}

bool ConsoleSimulator::WriteAll(const std::uint8_t* data, std::size_t count) {
    while (count > 0) {
        const auto written = ::write(fd_, data, count);
        if (written > 0) {
            data += written;
            count -= static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno == EAGAIN && sendingPoll_ && options_.losePollsUntaken) {
            Log("line not taking the poll: " + std::to_string(count) + " bytes lost");
            return true;
        }
        if (written < 0 && errno == EAGAIN) {
            pollfd fds[2] = {{stopFd_, POLLIN, 0}, {fd_, POLLOUT, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
            if (fds[0].revents != 0) return false;
            if (fds[1].revents & (POLLHUP | POLLERR)) break;
            continue;
        }
        break;
    }
    if (count > 0) lineFailed_ = true;
    return count == 0;
}

void ConsoleSimulator::Log(const std::string& line) {
    if (log_) log_(line);
}

void ConsoleSimulator::LogFrame(const char* direction, const std::vector<std::uint8_t>& frame,
                                const char* note) {
    if (!log_) return;
    std::string line = std::string(direction) + " " + Hex(frame) + "  | ";
    line += Describable(frame) ? DescribeFrame(frame) : std::string("(not a valid frame)");
    if (note) line += std::string(" (") + note + ")";
    log_(line);
}

}  // namespace vemkard
