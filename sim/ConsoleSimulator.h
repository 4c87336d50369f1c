// The simulated console on the wire: polls the program, reads its command
// frames, carries them out on the store and replies, with the faults of its
// FaultPlan.
//
// Timing: a poll goes out `pollMs` after the previous reply (or after an
// unanswered poll); a poll whose answer has not begun within `answerMs` counts
// as unanswered and the console polls again. On a pseudo-terminal, while the
// program's side is closed the console does not poll (a pty would keep the
// bytes for the next opener); it looks for the program every few milliseconds.
//
// A program slower than the console's patience answers a poll that the
// console sent before its last reply with the command that reply was for;
// that late answer is dropped instead of being
// answered twice (a second reply would acknowledge the program's next
// command of the same code, which then never reaches the console), unless
// the options ask for every frame to be carried out.
//
// Thread rules: Run executes on one thread (Start makes one); RequestStop may
// be called from any thread and from a signal handler; WithStore and the
// counters from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/ConsoleResponder.h"
#include "sim/ConsoleStore.h"
#include "sim/FaultPlan.h"
#include "sim/FrameAssembler.h"

namespace vemkard {

struct SimulatorOptions {
    int pollMs = 5;
    int answerMs = 100;
    // True for a pty master: no polling while the program's side is closed.
    bool watchHangup = true;
    // Carry out every command frame that arrives, repeats and late answers
    // included, as a console without protection against them would.
    bool executeRepeats = false;
    // A poll that the line does not take at once is lost, as on a wire that
    // nobody listens to, instead of waiting in the line's buffer for a later
    // reader (a socket to a virtual machine whose port is closed). Replies,
    // which go to a program that has just sent a command, wait.
    bool losePollsUntaken = false;
};

class ConsoleSimulator {
  public:
    using Logger = std::function<void(const std::string&)>;

    // `fd` (not owned) stays open for the simulator's life. Throws
    // std::system_error when the stop event cannot be made.
    ConsoleSimulator(int fd, ConsoleStore& store, SimulatorOptions options = {},
                     FaultPlan faults = FaultPlan{}, Logger log = {});
    ConsoleSimulator(const ConsoleSimulator&) = delete;
    ConsoleSimulator& operator=(const ConsoleSimulator&) = delete;
    ~ConsoleSimulator();

    // Runs the wire loop on a thread of its own.
    void Start();
    // Stops the loop and joins the thread that Start made.
    void Stop();
    // Asks the loop to end; async-signal-safe.
    void RequestStop();
    // The wire loop on the calling thread, until RequestStop or, on a real
    // device, a hang-up. Returns false when it ended on a line failure.
    bool Run();

    // Runs `f` with the store while the wire thread is kept off it.
    template <class F>
    auto WithStore(F&& f) {
        std::lock_guard lock(storeMutex_);
        return f(store_);
    }

    std::uint64_t PollsSent() const { return polls_.load(); }
    std::uint64_t CommandsReceived() const { return commands_.load(); }
    std::uint64_t RepliesSent() const { return replies_.load(); }
    std::uint64_t LateAnswersDropped() const { return lateAnswers_.load(); }
    std::uint64_t FaultsInjected() const { return faultsInjected_.load(); }
    // The program's side is open (always true on a real device).
    bool Attached() const { return attached_.load(); }

  private:
    using Clock = std::chrono::steady_clock;

    bool WaitForStop(int milliseconds);
    bool ProgramSideClosed();
    void Attach();
    void HandleFrame(const std::vector<std::uint8_t>& frame);
    void Reply(const std::vector<std::uint8_t>& frame);
    // Sends with the plan's noise, damage and splitting; tells whether the
    // frame went out damaged. False when the line failed or a stop came.
    bool SendFrame(const std::vector<std::uint8_t>& frame, const char* what,
                   bool* damaged = nullptr);
    bool WriteAll(const std::uint8_t* data, std::size_t count);
    void Log(const std::string& line);
    void LogFrame(const char* direction, const std::vector<std::uint8_t>& frame,
                  const char* note = nullptr);

    int fd_;
    int stopFd_ = -1;
    ConsoleStore& store_;
    std::mutex storeMutex_;
    ConsoleResponder responder_;
    SimulatorOptions options_;
    FaultPlan faults_;
    Logger log_;
    std::thread thread_;

    std::atomic<std::uint64_t> polls_{0};
    std::atomic<std::uint64_t> commands_{0};
    std::atomic<std::uint64_t> replies_{0};
    std::atomic<std::uint64_t> lateAnswers_{0};
    std::atomic<std::uint64_t> faultsInjected_{0};
    std::atomic<bool> attached_{false};

    // Wire-thread state.
    FrameAssembler assembler_;
    bool lineFailed_ = false;
    bool sendingPoll_ = false;
    Clock::time_point nextPoll_{};
    std::optional<Clock::time_point> answerDeadline_;
    // Undamaged polls sent and not yet answered.
    std::size_t outstandingPolls_ = 0;
    std::vector<std::uint8_t> lastCommand_;
    std::size_t lateBudget_ = 0;
};

}  // namespace vemkard
