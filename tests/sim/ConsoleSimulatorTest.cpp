#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/Frame.h"
#include "sim/ConsoleSimulator.h"
#include "sim/SampleFiles.h"
#include "sim/SimEndpoint.h"

namespace vemkard {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// Generous: the machine may be loaded; a passing run never waits this long.
constexpr auto kDeadline = 10s;

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = kDeadline) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// The program's end of the pty, driven by hand.
class ProgramSide {
  public:
    explicit ProgramSide(const std::string& name) : fd_(open(name.c_str(), O_RDWR | O_NOCTTY)) {
        if (fd_) tcflush(fd_.Get(), TCIOFLUSH);
    }
    bool IsOpen() const { return bool(fd_); }
    void Close() { fd_ = ScopedFd(); }

    void Send(const Bytes& bytes) {
        ASSERT_EQ(write(fd_.Get(), bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }

    // Reads until a frame with `command` arrives; frames before it are kept.
    std::optional<Bytes> Next(std::uint8_t command) {
        const auto end = std::chrono::steady_clock::now() + kDeadline;
        for (;;) {
            for (std::size_t i = 0; i < frames_.size(); ++i) {
                if (frames_[i][5] == command) {
                    Bytes frame = frames_[i];
                    frames_.erase(frames_.begin(), frames_.begin() + i + 1);
                    return frame;
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) return std::nullopt;
        }
    }

    // Everything that is already waiting, as frames.
    std::vector<Bytes> Drain() {
        while (ReadSome(0)) {
        }
        return std::exchange(frames_, {});
    }

  private:
    bool ReadSome(int timeoutMs) {
        pollfd fds{fd_.Get(), POLLIN, 0};
        if (poll(&fds, 1, timeoutMs) <= 0) return false;
        std::uint8_t chunk[512];
        const auto count = read(fd_.Get(), chunk, sizeof chunk);
        if (count <= 0) return false;
        for (auto& frame : assembler_.Feed({chunk, std::size_t(count)})) frames_.push_back(frame);
        return true;
    }

    ScopedFd fd_;
    FrameAssembler assembler_;
    std::vector<Bytes> frames_;
};

class SimulatorOnPty : public ::testing::Test {
  protected:
    void StartSimulator(SimulatorOptions options = {}, FaultRates faults = {}) {
        simulator_ = std::make_unique<ConsoleSimulator>(pty_.master.Get(), store_, options,
                                                        FaultPlan(faults, 7),
                                                        [this](const std::string& line) {
                                                            std::lock_guard lock(logMutex_);
                                                            log_.push_back(line);
                                                        });
        simulator_->Start();
    }
    void TearDown() override {
        if (simulator_) simulator_->Stop();
    }
    bool Logged(const std::string& text) {
        std::lock_guard lock(logMutex_);
        for (const auto& line : log_) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }
    std::size_t StoredFiles() {
        return simulator_->WithStore([](ConsoleStore& store) { return store.Files().size(); });
    }

    PseudoTerminal pty_ = OpenPseudoTerminal();
    ConsoleStore store_{20000};
    std::unique_ptr<ConsoleSimulator> simulator_;
    std::mutex logMutex_;
    std::vector<std::string> log_;
};

TEST_F(SimulatorOnPty, PollsOnceTheProgramOpensItsSideAndAnswersCommands) {
    AddSampleFiles(store_);
    StartSimulator();
    ProgramSide program(pty_.slaveName);
    ASSERT_TRUE(program.IsOpen());
    const auto poll = program.Next(cmPoll);
    ASSERT_TRUE(poll);
    EXPECT_EQ(*poll, (Bytes{0x5C, 0x59, 0x53, 0x57, 0x01, 0x00, 0x9F}));

    program.Send(MakeFrame(cmReadDirectory));
    const auto directory = program.Next(cmReadDirectory);
    ASSERT_TRUE(directory);
    EXPECT_EQ(*directory, MakeFrame(cmReadDirectory, Bytes{5}));
    program.Send(MakeFrame(cmReadEntry, Bytes{4}));
    const auto entry = program.Next(cmReadEntry);
    ASSERT_TRUE(entry);
    EXPECT_EQ((*entry)[6], 4);
    EXPECT_EQ((*entry)[8] | ((*entry)[9] << 8), 0x8000);
    // And it polls again after the reply.
    EXPECT_TRUE(program.Next(cmPoll));
    EXPECT_TRUE(Logged("<- 5C 59 53 57 01 10 8F  | cmReadDirectory"));
    EXPECT_TRUE(Logged("| cmReadDirectory files=5"));
}

TEST_F(SimulatorOnPty, DoesNotPollWhileTheProgramSideIsClosed) {
    StartSimulator({.pollMs = 1, .answerMs = 5});
    {
        ProgramSide program(pty_.slaveName);
        ASSERT_TRUE(program.Next(cmPoll));
        EXPECT_TRUE(simulator_->Attached());
    }
    ASSERT_TRUE(WaitFor([&] { return !simulator_->Attached(); }));
    const auto polls = simulator_->PollsSent();
    // Many poll intervals pass while nobody listens.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(simulator_->PollsSent(), polls);

    ProgramSide again(pty_.slaveName);
    ASSERT_TRUE(again.Next(cmPoll));
    EXPECT_GT(simulator_->PollsSent(), polls);
}

TEST_F(SimulatorOnPty, LateAnswersToEarlierPollsAreNotRepliedTwice) {
    StartSimulator({.pollMs = 0, .answerMs = 20});
    ProgramSide program(pty_.slaveName);
    // Several polls go unanswered, as while the program pauses before answering.
    ASSERT_TRUE(WaitFor([&] { return simulator_->PollsSent() >= 3; }));
    const Bytes create = MakeFrame(cmCreateFile, MakeUploadHeader(1, "a", 4));
    Bytes twice = create;
    twice.insert(twice.end(), create.begin(), create.end());
    program.Send(twice);
    ASSERT_TRUE(WaitFor([&] { return simulator_->LateAnswersDropped() == 1; }));
    ASSERT_TRUE(program.Next(cmCreateFile));
    program.Send(MakeFrame(cmReadFreeSpace));
    ASSERT_TRUE(program.Next(cmReadFreeSpace));
    for (const auto& frame : program.Drain()) EXPECT_NE(frame[5], cmCreateFile);
    EXPECT_EQ(StoredFiles(), 1u);
}

TEST_F(SimulatorOnPty, AResendAfterANewPollIsRepliedAgainButCarriedOutOnce) {
    // No re-polls: each poll waits long for its answer.
    for (const char* name : {"a", "b", "c"}) store_.AddFile(0, name, {});
    StartSimulator({.pollMs = 1, .answerMs = 5000});
    ProgramSide program(pty_.slaveName);
    ASSERT_TRUE(program.Next(cmPoll));
    program.Send(MakeFrame(cmDeleteFile, Bytes{0}));
    ASSERT_TRUE(program.Next(cmDeleteFile));
    // The program missed that reply: it answers the next poll with the same command.
    ASSERT_TRUE(program.Next(cmPoll));
    program.Send(MakeFrame(cmDeleteFile, Bytes{0}));
    ASSERT_TRUE(program.Next(cmDeleteFile));
    EXPECT_EQ(StoredFiles(), 2u);
    EXPECT_EQ(simulator_->LateAnswersDropped(), 0u);
    EXPECT_EQ(simulator_->RepliesSent(), 2u);
}

TEST_F(SimulatorOnPty, SplitNoisyRepliesStillArriveWhole) {
    FaultRates faults;
    faults.split = 1.0;
    faults.noise = 1.0;
    AddSampleFiles(store_);
    StartSimulator({.pollMs = 1, .answerMs = 5000}, faults);
    ProgramSide program(pty_.slaveName);
    ASSERT_TRUE(program.Next(cmPoll));
    program.Send(MakeFrame(cmReadEntry, Bytes{2}));
    const auto entry = program.Next(cmReadEntry);
    ASSERT_TRUE(entry);
    const auto expected = simulator_->WithStore([](ConsoleStore& store) {
        return ConsoleResponder(store).Respond(MakeFrame(cmReadEntry, Bytes{2}));
    });
    EXPECT_EQ(*entry, expected);
    EXPECT_TRUE(Logged("(split in "));
    EXPECT_TRUE(Logged("| noise"));
}

TEST_F(SimulatorOnPty, FallsSilentAfterTheGivenNumberOfReplies) {
    FaultRates faults;
    faults.silentAfter = 1;
    StartSimulator({.pollMs = 1, .answerMs = 5000}, faults);
    ProgramSide program(pty_.slaveName);
    ASSERT_TRUE(program.Next(cmPoll));
    program.Send(MakeFrame(cmReadDirectory));
    ASSERT_TRUE(program.Next(cmReadDirectory));
    program.Send(MakeFrame(cmReadFreeSpace));
    ASSERT_TRUE(WaitFor([&] { return simulator_->CommandsReceived() == 2; }));
    EXPECT_EQ(simulator_->RepliesSent(), 1u);
    for (const auto& frame : program.Drain()) EXPECT_NE(frame[5], cmReadFreeSpace);
    EXPECT_TRUE(Logged("silent"));
}

TEST_F(SimulatorOnPty, LostReplyIsLoggedAndNotSent) {
    FaultRates faults;
    faults.lose = 1.0;
    StartSimulator({.pollMs = 1, .answerMs = 5000}, faults);
    ProgramSide program(pty_.slaveName);
    ASSERT_TRUE(program.Next(cmPoll));
    program.Send(MakeFrame(cmReadDirectory));
    // The next poll comes, the reply never does.
    ASSERT_TRUE(program.Next(cmPoll));
    ASSERT_TRUE(WaitFor([&] { return Logged("reply lost"); }));
    for (const auto& frame : program.Drain()) EXPECT_NE(frame[5], cmReadDirectory);
}

// A virtual machine's port on a unix socket: polls that nobody takes are lost,
// not kept for a port that opens later; a deaf console reads nothing.
TEST(SimulatorOnSocket, PollsNobodyTakesAreLostAndADeafConsoleReadsNothing) {
    const std::string path = "/tmp/vemkard-sim-" + std::to_string(getpid()) + ".sock";
    const ScopedFd listener = ListenOnSocket(path);
    ScopedFd machine(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{AF_UNIX, {}};
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(connect(machine.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const ScopedFd line = AcceptConnection(listener);
    unlink(path.c_str());
    ConsoleStore store;
    ConsoleSimulator simulator(
        line.Get(), store,
        {.pollMs = 0, .answerMs = 1, .watchHangup = false, .losePollsUntaken = true},
        FaultPlan(FaultRates{.deafAfter = 0}));
    simulator.Start();
    // The smallest send buffer holds a few polls; nobody reads them.
    EXPECT_TRUE(WaitFor([&] { return simulator.PollsSent() > 200; }));
    const Bytes command = MakeFrame(cmReadDirectory);
    ASSERT_EQ(write(machine.Get(), command.data(), command.size()), ssize_t(command.size()));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(simulator.CommandsReceived(), 0u);
}

}  // namespace
}  // namespace vemkard
