// vemkard-cli as a script runs it, against the console simulator on a
// pseudo-terminal in this process: the program's exit status, standard output
// and standard error, and the simulated console's memory afterwards.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "sim/ConsoleSimulator.h"
#include "sim/ConsoleStore.h"
#include "sim/FaultPlan.h"
#include "sim/SimEndpoint.h"
#include "tests/support/SimulatedConsole.h"

extern char** environ;

namespace vemkard::testing {

using namespace std::chrono_literals;

struct CliResult {
    int status = -1;  // -1: ended by a signal, or never started
    std::string out;
    std::string err;
};

struct RigOptions {
    std::size_t capacity = 30000;
    // A poll unanswered for 40 ms is repeated, as in the end-to-end bench.
    SimulatorOptions simulator{.pollMs = 5, .answerMs = 40};
    FaultRates faults{};
    std::function<void(ConsoleStore&)> fill{};
};

// One running vemkard-cli.
class CliProcess {
  public:
    // `prefix` goes before the program (for example setpriv and its
    // options); `answer`, when given, is typed on a terminal that is the
    // program's standard input.
    CliProcess(std::vector<std::string> arguments, std::vector<std::string> prefix = {},
               const std::string* answer = nullptr) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        int terminal = -1;
        int slave = -1;
        if (answer) {
            if (openpty(&terminal, &slave, nullptr, nullptr, nullptr) != 0) return;
            posix_spawn_file_actions_adddup2(&actions, slave, STDIN_FILENO);
            posix_spawn_file_actions_addclose(&actions, slave);
            posix_spawn_file_actions_addclose(&actions, terminal);
            [[maybe_unused]] auto typed = write(terminal, answer->data(), answer->size());
        } else {
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        }
        arguments.insert(arguments.begin(), VEMKARD_CLI_PROGRAM);
        arguments.insert(arguments.begin(), prefix.begin(), prefix.end());
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (slave >= 0) close(slave);
        close(out[1]);
        close(err[1]);
        out_ = ScopedFd(out[0]);
        err_ = ScopedFd(err[0]);
        terminal_ = ScopedFd(terminal);
    }
    ~CliProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    void Signal(int signal) { kill(pid_, signal); }

    // Reads the outputs until standard error holds `text`; false at their end.
    bool WaitForError(const std::string& text) {
        return ReadUntil([&] { return result_.err.find(text) != std::string::npos; });
    }

    // Reads both outputs to their end and waits for the exit.
    CliResult Wait() {
        ReadUntil([] { return false; });
        int status = 0;
        if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status))
            result_.status = WEXITSTATUS(status);
        pid_ = -1;
        return result_;
    }

  private:
    template <class Done>
    bool ReadUntil(Done done) {
        const auto deadline = std::chrono::steady_clock::now() + 120s;
        while ((outOpen_ || errOpen_) && std::chrono::steady_clock::now() < deadline) {
            if (done()) return true;
            pollfd fds[2] = {{out_.Get(), POLLIN, 0}, {err_.Get(), POLLIN, 0}};
            if (poll(fds, 2, 100) <= 0) continue;
            outOpen_ = outOpen_ && Drain(fds[0], result_.out);
            errOpen_ = errOpen_ && Drain(fds[1], result_.err);
        }
        return done();
    }

    static bool Drain(const pollfd& fd, std::string& into) {
        if (fd.revents == 0) return true;
        char buffer[4096];
        const ssize_t got = read(fd.fd, buffer, sizeof buffer);
        if (got <= 0) return false;
        into.append(buffer, static_cast<std::size_t>(got));
        return true;
    }

    pid_t pid_ = -1;
    ScopedFd out_, err_, terminal_;
    CliResult result_;
    bool outOpen_ = true, errOpen_ = true;
};

class CliRig : public SimulatedConsole {
  public:
    explicit CliRig(const RigOptions& options = {})
        : SimulatedConsole(options.capacity, options.fill, options.simulator,
                           FaultPlan(options.faults, 1)) {}

    // `vemkard-cli --port <pty> --timeout 5 <arguments>`.
    std::vector<std::string> Arguments(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"--port", Port(), "--timeout", "5"});
        return arguments;
    }
    CliResult Run(std::vector<std::string> arguments) {
        return CliProcess(Arguments(std::move(arguments))).Wait();
    }
};

}  // namespace vemkard::testing
