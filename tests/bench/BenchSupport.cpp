#include "tests/bench/BenchSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "protocol/Frame.h"
#include "sim/SimEndpoint.h"

namespace vemkard::bench {
namespace {

[[noreturn]] void ThrowErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// Waits for `fd` to be readable (or `stop` set); false on stop.
bool WaitReadable(int fd, int stop) {
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stop, POLLIN, 0}};
        const int ready = ::poll(fds, stop >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) ThrowErrno("poll");
        if (stop >= 0 && fds[1].revents != 0) return false;
        if (fds[0].revents & (POLLHUP | POLLERR)) throw std::runtime_error("pty hung up");
        return true;
    }
}

// Reads exactly `count` bytes from the non-blocking `fd`; false on stop.
bool ReadCount(int fd, std::size_t count, int stop = -1) {
    std::uint8_t buffer[512];
    while (count > 0) {
        if (!WaitReadable(fd, stop)) return false;
        const auto got = ::read(fd, buffer, std::min(count, sizeof buffer));
        if (got > 0) count -= static_cast<std::size_t>(got);
        if (got < 0 && errno != EAGAIN && errno != EINTR) ThrowErrno("read");
    }
    return true;
}

void WriteAll(int fd, const std::uint8_t* data, std::size_t count) {
    while (count > 0) {
        const auto written = ::write(fd, data, count);
        if (written > 0) {
            data += written;
            count -= static_cast<std::size_t>(written);
        } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
            ThrowErrno("write");
        }
    }
}

// An eventfd's counter as the bytes a write adds to it.
std::vector<std::uint8_t> EventCount(std::uint64_t value) {
    std::vector<std::uint8_t> bytes(sizeof value);
    std::memcpy(bytes.data(), &value, sizeof value);
    return bytes;
}

// A thread that answers each `askBytes` read from `in` with `answer` written
// to `out` (`in` itself when not given), until it goes: then it is stopped
// and joined, also when the measurement throws.
class Answerer {
  public:
    Answerer(int in, std::size_t askBytes, std::vector<std::uint8_t> answer, int out = -1)
        : stop_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (!stop_) ThrowErrno("eventfd");
        thread_ = std::thread([this, in, askBytes, answer = std::move(answer), out] {
            while (ReadCount(in, askBytes, stop_.Get()))
                WriteAll(out < 0 ? in : out, answer.data(), answer.size());
        });
    }
    Answerer(const Answerer&) = delete;
    Answerer& operator=(const Answerer&) = delete;
    ~Answerer() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto ignored = ::write(stop_.Get(), &one, sizeof one);
        thread_.join();
    }

  private:
    ScopedFd stop_;
    std::thread thread_;
};

// CPU nanoseconds of thread `tid` of this process; 0 when it has gone.
std::uint64_t ThreadCpuNs(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/schedstat");
    std::uint64_t ns = 0;
    stat >> ns;
    return ns;
}

// The times `tid` has blocked and so been woken again.
std::uint64_t ThreadWakeUps(pid_t tid) {
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    const std::string key = "voluntary_ctxt_switches:";
    for (std::string line; std::getline(status, line);) {
        if (line.compare(0, key.size(), key) == 0) return std::stoull(line.substr(key.size()));
    }
    return 0;
}

}  // namespace

double Ms(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double MeasurePtyRoundTripMs(std::size_t samples, std::size_t replyBytes) {
    PseudoTerminal pty = OpenPseudoTerminal();
    const int master = pty.master.Get();
    ScopedFd slave(::open(pty.slaveName.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!slave) ThrowErrno("open pty slave");
    termios raw{};
    if (tcgetattr(slave.Get(), &raw) != 0) ThrowErrno("tcgetattr");
    cfmakeraw(&raw);
    if (tcsetattr(slave.Get(), TCSANOW, &raw) != 0) ThrowErrno("tcsetattr");

    const std::vector<std::uint8_t> poll = MakeFrame(cmPoll);
    const std::vector<std::uint8_t> reply(replyBytes, 0x5A);
    // The program's end: answers every poll at once.
    const Answerer program(slave.Get(), poll.size(), reply);
    std::vector<double> trips;
    for (std::size_t i = 0; i < samples + 10; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        WriteAll(master, poll.data(), poll.size());
        const auto sent = Clock::now();
        ReadCount(master, reply.size());
        if (i >= 10) trips.push_back(Ms(Clock::now() - sent));  // the first warm up
    }
    return Summarize(std::move(trips)).median;
}

double MeasureWakeUpCpuUs(std::size_t samples) {
    ScopedFd ping(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    ScopedFd pong(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!ping || !pong) ThrowErrno("eventfd");
    // An eventfd is read and written 8 bytes at a time.
    const std::vector<std::uint8_t> one = EventCount(1);
    const Answerer partner(ping.Get(), one.size(), one, pong.Get());
    const auto processCpuUs = [] {
        timespec now{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1e6 + double(now.tv_nsec) * 1e-3;
    };
    std::vector<double> rounds;
    for (std::size_t i = 0; i < samples + 10; ++i) {
        const double before = processCpuUs();
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 2 == 0 ? 20 : 5));
        WriteAll(ping.Get(), one.data(), one.size());
        ReadCount(pong.Get(), one.size());
        // Three wake-ups: the sleeper, the partner, the sleeper again.
        if (i >= 10) rounds.push_back((processCpuUs() - before) / 3.0);
    }
    return Summarize(std::move(rounds)).median;
}

void PrintWakeUpFloor() {
    const double wakeUp = MeasureWakeUpCpuUs();
    std::printf("a thread wake-up costs %.1f us of CPU here; the three of a command %.0f us\n",
                wakeUp, 3 * wakeUp);
}

std::string WriteRandomFile(const std::filesystem::path& path, std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<char> bytes(size);
    for (auto& b : bytes) b = static_cast<char>(random());
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path.string();
}

Summary Summarize(std::vector<double> values) {
    Summary summary;
    summary.count = values.size();
    if (values.empty()) return summary;
    std::sort(values.begin(), values.end());
    const auto rank = [&](double fraction) {
        const auto n = static_cast<std::size_t>(std::ceil(fraction * double(values.size())));
        return values[std::clamp<std::size_t>(n, 1, values.size()) - 1];
    };
    summary.min = values.front();
    summary.median = rank(0.5);
    summary.p90 = rank(0.9);
    summary.p99 = rank(0.99);
    summary.max = values.back();
    return summary;
}

std::string FormatSummary(const Summary& summary) {
    char text[128];
    std::snprintf(text, sizeof text, "min %.3f median %.3f p90 %.3f p99 %.3f max %.3f", summary.min,
                  summary.median, summary.p90, summary.p99, summary.max);
    return text;
}

double StealSeconds() {
    std::ifstream stat("/proc/stat");
    std::string cpu;
    // user nice system idle iowait irq softirq steal, in clock ticks
    std::uint64_t field[8] = {};
    stat >> cpu;
    for (auto& value : field) stat >> value;
    return double(field[7]) / double(::sysconf(_SC_CLK_TCK));
}

std::vector<pid_t> ThreadIds() {
    std::vector<pid_t> ids;
    DIR* tasks = ::opendir("/proc/self/task");
    if (tasks == nullptr) return ids;
    while (const dirent* entry = ::readdir(tasks)) {
        if (entry->d_name[0] != '.') ids.push_back(static_cast<pid_t>(std::atoi(entry->d_name)));
    }
    ::closedir(tasks);
    return ids;
}

double ProgramCpu::Seconds() const {
    timespec process{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &process);
    double seconds = double(process.tv_sec) + double(process.tv_nsec) * 1e-9;
    for (const pid_t tid : foreign_) seconds -= double(ThreadCpuNs(tid)) * 1e-9;
    return seconds;
}

std::uint64_t ProgramCpu::WakeUps() const {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);  // ended threads included
    auto wakeUps = static_cast<std::uint64_t>(usage.ru_nvcsw);
    for (const pid_t tid : foreign_) wakeUps -= ThreadWakeUps(tid);
    return wakeUps;
}

ConsoleSimulator::Logger ConsoleWireTiming::Logger() {
    return [this](const std::string& line) { Note(line); };
}

void ConsoleWireTiming::Note(const std::string& line) {
    // Stamped first: formatting the line took place before the call, the
    // write of a poll follows it.
    const auto now = Clock::now();
    static const std::string kPollLine = [] {
        const auto poll = MakeFrame(cmPoll);
        std::string text = "->";
        char byte[4];
        for (const auto value : poll) {
            std::snprintf(byte, sizeof byte, " %02X", value);
            text += byte;
        }
        return text + "  |";
    }();
    const bool poll = line.compare(0, kPollLine.size(), kPollLine) == 0;
    const bool frame = line.compare(0, 3, "<- ") == 0;
    std::lock_guard lock(mutex_);
    if (wireThread_ == 0) wireThread_ = ::gettid();
    if (poll || frame) stamps_.push_back({now, poll});
}

void ConsoleWireTiming::Reset() {
    std::lock_guard lock(mutex_);
    stamps_.clear();
}

std::vector<double> ConsoleWireTiming::AnswerOverheadsMs(double pauseMs) const {
    std::lock_guard lock(mutex_);
    std::vector<double> overheads;
    for (std::size_t i = 1; i < stamps_.size(); ++i) {
        if (stamps_[i - 1].poll && !stamps_[i].poll)
            overheads.push_back(Ms(stamps_[i].time - stamps_[i - 1].time) - pauseMs);
    }
    return overheads;
}

std::size_t ConsoleWireTiming::Polls() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(stamps_.begin(), stamps_.end(), [](const Stamp& s) { return s.poll; }));
}

std::size_t ConsoleWireTiming::Frames() const {
    std::lock_guard lock(mutex_);
    return stamps_.size() -
           static_cast<std::size_t>(std::count_if(stamps_.begin(), stamps_.end(),
                                                  [](const Stamp& s) { return s.poll; }));
}

std::vector<Clock::time_point> ConsoleWireTiming::PollStamps() const {
    std::lock_guard lock(mutex_);
    std::vector<Clock::time_point> times;
    for (const auto& stamp : stamps_) {
        if (stamp.poll) times.push_back(stamp.time);
    }
    return times;
}

std::vector<Clock::time_point> ConsoleWireTiming::FrameStamps() const {
    std::lock_guard lock(mutex_);
    std::vector<Clock::time_point> times;
    for (const auto& stamp : stamps_) {
        if (!stamp.poll) times.push_back(stamp.time);
    }
    return times;
}

pid_t ConsoleWireTiming::WireThread() const {
    std::lock_guard lock(mutex_);
    return wireThread_;
}

}  // namespace vemkard::bench
