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
//   polls: the loop sleeps until something is posted, a timer is due or a
//   watched port is readable.
// - WatchPort and UnwatchPort belong to the loop thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "serial/CommMessage.h"
#include "serial/PortBackend.h"

struct timespec;

namespace vemkard {

class MessageLoop final : public ICommMessageTarget {
  public:
    using Clock = std::chrono::steady_clock;
    using Task = std::function<void()>;

    enum class TimerMode { Periodic, SingleShot };

    // Throws std::system_error when the loop's wake-up event cannot be made.
    MessageLoop() = default;
    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    // Queues the message; on the loop thread it goes to TComm32::Deliver.
    // Always true.
    bool Post(TCommMessage message) override;
    // Queues a task to run on the loop thread.
    void PostTask(Task task);
    // The loop waits on the port too and calls `readable` on the loop thread
    // whenever it has bytes or has hung up. Always true.
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

    // Runs at most one round: the tasks queued at its start, then the due
    // timers, each followed by `check`. Returns false when `check` said stop.
    bool RunRound(const std::function<bool()>& check, std::size_t& ran);
    // Takes the earliest due timer's callback (rescheduling or removing it).
    bool TakeDueTimer(Task& callback);
    // Sleeps until something is posted, a timer is due, Quit, a watched port
    // is readable, or `until`. Readable ports are noted for the next round.
    void Wait(Clock::time_point until);
    // Waits in ppoll() on the wake-up event and the watched ports at most
    // `timeout` (null: without limit), and notes the readable ports.
    void PollPorts(const timespec* timeout);
    // Wakes a loop that sleeps or is about to; called with the lock held.
    void WakeLocked();
    // Runs until `done`, `deadline` or Quit.
    bool RunLoop(const std::function<bool()>& done, Clock::time_point deadline);

    mutable std::mutex mutex_;
    // Set when something is posted while the loop sleeps, or is about to.
    serial_backend::Event wake_;
    bool sleeping_ = false;  // and not yet woken; guarded by mutex_
    std::deque<Task> tasks_;
    std::map<int, Timer> timers_;
    bool quit_ = false;

    // The loop thread's own: watched ports by descriptor, each with a number
    // of its own, and the numbers found readable, called in the next round.
    struct Watch {
        std::uint64_t id;
        std::function<void()> readable;
    };
    std::map<int, Watch> watches_;
    std::uint64_t nextWatch_ = 1;
    std::vector<std::pair<int, std::uint64_t>> readablePorts_;
};

}  // namespace vemkard
