// The vemkard-sim program as a script starts it: the line's path first on
// standard output, the link, the store saved on SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "protocol/Frame.h"
#include "sim/ConsoleStore.h"
#include "sim/FrameAssembler.h"
#include "sim/SimEndpoint.h"
#include "tests/support/TempFiles.h"

extern char** environ;

namespace vemkard {
namespace {

using namespace std::chrono_literals;

class SimProgram {
  public:
    explicit SimProgram(std::vector<std::string> arguments) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        arguments.insert(arguments.begin(), VEMKARD_SIM_PROGRAM);
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, VEMKARD_SIM_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        output_ = ScopedFd(out[0]);
    }
    ~SimProgram() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // The first line the program prints, or "" when none comes in time.
    std::string FirstLine() {
        std::string line;
        const auto end = std::chrono::steady_clock::now() + 10s;
        char c = 0;
        while (std::chrono::steady_clock::now() < end) {
            pollfd fds{output_.Get(), POLLIN, 0};
            if (poll(&fds, 1, 100) <= 0) continue;
            if (read(output_.Get(), &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return "";
    }

    // Sends `signal` and gives the exit status (-1: it did not end normally).
    int Stop(int signal) {
        kill(pid_, signal);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    ScopedFd output_;
};

// Opens `path` as the program does and waits for a poll on it.
bool PollArrivesOn(const std::string& path) {
    ScopedFd line(open(path.c_str(), O_RDWR | O_NOCTTY));
    if (!line) return false;
    termios settings{};
    tcgetattr(line.Get(), &settings);
    cfmakeraw(&settings);
    tcsetattr(line.Get(), TCSANOW, &settings);
    FrameAssembler assembler;
    std::uint8_t chunk[64];
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end) {
        pollfd fds{line.Get(), POLLIN, 0};
        if (poll(&fds, 1, 100) <= 0) continue;
        const auto count = read(line.Get(), chunk, sizeof chunk);
        if (count <= 0) return false;
        for (const auto& frame : assembler.Feed({chunk, std::size_t(count)})) {
            if (frame == MakeFrame(cmPoll)) return true;
        }
    }
    return false;
}

TEST(SimProgram, PrintsTheLineLinksItAndSavesTheStoreOnTerminate) {
    testing::TempFolder folder;
    const auto store = folder.Path() / "store";
    const auto link = folder.Path() / "console";
    {
        SimProgram program({"--samples", "--store", store.string(), "--link", link.string()});
        const std::string path = program.FirstLine();
        ASSERT_TRUE(path.starts_with("/dev/pts/")) << path;
        EXPECT_EQ(std::filesystem::read_symlink(link), path);
        EXPECT_TRUE(PollArrivesOn(link.string()));
        EXPECT_EQ(program.Stop(SIGTERM), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    ConsoleStore saved;
    saved.Load(store);
    EXPECT_EQ(saved.Files().size(), 5u);

    // A second start with the same store keeps its files and adds no samples.
    SimProgram again({"--samples", "--store", store.string()});
    ASSERT_FALSE(again.FirstLine().empty());
    EXPECT_EQ(again.Stop(SIGINT), 0);
    ConsoleStore reloaded;
    reloaded.Load(store);
    EXPECT_EQ(reloaded.Files().size(), 5u);
}

TEST(SimProgram, ServesASerialDeviceGivenByPath) {
    // A pty's slave stands in for the cable; this side reads what the
    // simulator sends down it.
    PseudoTerminal cable = OpenPseudoTerminal();
    SimProgram program({"--device", cable.slaveName});
    EXPECT_EQ(program.FirstLine(), cable.slaveName);
    FrameAssembler assembler;
    bool polled = false;
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!polled && std::chrono::steady_clock::now() < end) {
        pollfd fds{cable.master.Get(), POLLIN, 0};
        if (poll(&fds, 1, 100) <= 0 || (fds.revents & POLLIN) == 0) continue;
        std::uint8_t chunk[64];
        const auto count = read(cable.master.Get(), chunk, sizeof chunk);
        if (count <= 0) continue;
        for (const auto& frame : assembler.Feed({chunk, std::size_t(count)})) {
            polled = polled || frame == MakeFrame(cmPoll);
        }
    }
    EXPECT_TRUE(polled);
    EXPECT_EQ(program.Stop(SIGTERM), 0);
}

TEST(SimProgram, RefusesBadOptions) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--bogus"},
          {"--lose", "1.5"},
          {"--poll-ms"},
          {"--verify-error", "xyz"},
          {"--link", "/tmp/x", "--device", "/dev/null"}}) {
        SimProgram program(arguments);
        EXPECT_EQ(program.FirstLine(), "") << arguments[0];
        EXPECT_EQ(program.Stop(0), 2) << arguments[0];
    }
}

}  // namespace
}  // namespace vemkard
