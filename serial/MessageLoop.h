// A message loop for owners of TComm32 without a window toolkit (tests, the
// simulator, tools): a queue of posted messages and tasks, and timers.
//
// Thread rules:
// - Post, PostTask, Quit, StartTimer, StopTimer and TimerActive may be called
//   on any thread.
// - The loop thread is the one that calls Run, RunFor, RunUntil or
//   RunPending; only one thread does so at a time. Tasks, delivered messages
//   and timer callbacks run there, one at a time, never nested.
// - Posted messages and tasks run in the order they were posted. Nothing
//   polls: the loop sleeps until something is posted, a timer is due, a
//   watched port is readable (POSIX) or a window message arrives for the
//   loop thread (Windows: it dispatches them, the serial component's among them).
// - WatchPort and UnwatchPort belong to the loop thread. Only the POSIX loop
//   watches ports; on Windows WatchPort returns false.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "serial/CommMessage.h"

namespace vemkard {

// The platform's sleep and wake-up of a loop: serial/<platform>/LoopWaiter.cpp.
class TLoopWaiter;

class MessageLoop final : public ICommMessageTarget {
  public:
    using Clock = std::chrono::steady_clock;
    using Task = std::function<void()>;

    enum class TimerMode { Periodic, SingleShot };

    // Throws std::system_error when the loop's wake-up event cannot be made.
    MessageLoop();
    ~MessageLoop() override;
    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    // Queues the message; on the loop thread it goes to TComm32::Deliver.
    // Always true.
    bool Post(TCommMessage message) override;
    // Queues a task to run on the loop thread.
    void PostTask(Task task);
    // The loop waits on the port too and calls `readable` on the loop thread
    // whenever it has bytes or has hung up. True on POSIX; false on Windows.
    bool WatchPort(int port, std::function<void()> readable) override;
    void UnwatchPort(int port) override;

    // Runs until Quit. A Quit that came before Run makes it return at once.
    void Run();
    // Makes the running (or next) Run, RunFor or RunUntil return.
    void Quit();
    // Runs for `duration` (or until Quit).
    void RunFor(Clock::duration duration);
    // Runs until `done` holds (checked before waiting and after each task or
    // timer) or `timeout` has passed or Quit. Returns whether `done` holds.
    bool RunUntil(const std::function<bool()>& done, Clock::duration timeout);
    // Runs what is queued and the timers that are due, without waiting.
    // Returns how many tasks and timers ran.
    std::size_t RunPending();

    // Starts timer `id` (restarts it with the new settings when it runs): the
    // callback runs on the loop thread `interval` from now, and then every
    // `interval` for a periodic timer. A periodic interval below 1 ms counts
    // as 1 ms. The callback may start or stop any timer, its own included.
    void StartTimer(int id, std::chrono::milliseconds interval, TimerMode mode, Task callback);
    // Stops timer `id`; nothing when it does not run.
    void StopTimer(int id);
    bool TimerActive(int id) const;

  private:
    struct Timer {
        Clock::time_point due;
        std::chrono::milliseconds interval;
        TimerMode mode;
        Task callback;
    };

    // Runs at most one round: what the last wait found ready (readable ports,
    // window messages), the tasks queued at its start, then the due timers,
    // each followed by `check`. Returns false when `check` said stop.
    bool RunRound(const std::function<bool()>& check, std::size_t& ran);
    // Takes the earliest due timer's callback (rescheduling or removing it).
    bool TakeDueTimer(Task& callback);
    // Sleeps until something is posted, a timer is due, Quit, a watched port
    // or a window message is ready, or `until`.
    void Wait(Clock::time_point until);
    // Wakes a loop that sleeps or is about to; called with the lock held.
    void WakeLocked();
    // Runs until `done`, `deadline` or Quit.
    bool RunLoop(const std::function<bool()>& done, Clock::time_point deadline);

    mutable std::mutex mutex_;
    std::unique_ptr<TLoopWaiter> waiter_;
    bool sleeping_ = false;  // and not yet woken; guarded by mutex_
    std::deque<Task> tasks_;
    std::map<int, Timer> timers_;
    bool quit_ = false;
};

}  // namespace vemkard
