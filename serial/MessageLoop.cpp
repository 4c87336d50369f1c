#include "serial/MessageLoop.h"

#include <algorithm>
#include <utility>

#include "LoopWaiter.h"
#include "serial/Comm32.h"

namespace vemkard {

MessageLoop::MessageLoop() : waiter_(std::make_unique<TLoopWaiter>()) {}

MessageLoop::~MessageLoop() = default;

bool MessageLoop::Post(TCommMessage message) {
    PostTask([message = std::move(message)] { TComm32::Deliver(message); });
    return true;
}

void MessageLoop::PostTask(Task task) {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    WakeLocked();
}

void MessageLoop::Quit() {
    std::lock_guard lock(mutex_);
    quit_ = true;
    WakeLocked();
}

void MessageLoop::WakeLocked() {
    // A loop that is awake looks at the queue before it sleeps again; one
    // that sleeps is woken once, however much is posted before it wakes.
    if (!sleeping_) return;
    sleeping_ = false;
    waiter_->Wake();
}

bool MessageLoop::WatchPort(int port, std::function<void()> readable) {
    return waiter_->Watch(port, std::move(readable));
}

void MessageLoop::UnwatchPort(int port) {
    waiter_->Unwatch(port);
}

void MessageLoop::Run() {
    RunLoop(nullptr, Clock::time_point::max());
}

void MessageLoop::RunFor(Clock::duration duration) {
    RunLoop(nullptr, Clock::now() + duration);
}

bool MessageLoop::RunUntil(const std::function<bool()>& done, Clock::duration timeout) {
    return RunLoop(done, Clock::now() + timeout);
}

std::size_t MessageLoop::RunPending() {
    waiter_->Look();
    std::size_t ran = 0;
    RunRound([] { return true; }, ran);
    return ran;
}

bool MessageLoop::RunLoop(const std::function<bool()>& done, Clock::time_point deadline) {
    const auto finished = [&] { return done && done(); };
    const auto keepGoing = [&] {
        if (finished()) return false;
        std::lock_guard lock(mutex_);
        return !quit_;
    };
    std::size_t ran = 0;
    while (keepGoing() && Clock::now() < deadline) {
        if (!RunRound(keepGoing, ran)) break;
        Wait(deadline);
    }
    std::lock_guard lock(mutex_);
    quit_ = false;
    return done && done();
}

bool MessageLoop::RunRound(const std::function<bool()>& check, std::size_t& ran) {
    if (!waiter_->RunReady(check, ran)) return false;
    std::size_t budget = 0;
    {
        std::lock_guard lock(mutex_);
        budget = tasks_.size();
    }
    // Only the tasks queued now: tasks that post tasks do not starve the timers.
    for (; budget > 0; --budget) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
        ++ran;
        if (!check()) return false;
    }
    Task callback;
    while (TakeDueTimer(callback)) {
        callback();
        ++ran;
        if (!check()) return false;
    }
    return true;
}

bool MessageLoop::TakeDueTimer(Task& callback) {
    std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    auto earliest = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
        if (it->second.due <= now &&
            (earliest == timers_.end() || it->second.due < earliest->second.due)) {
            earliest = it;
        }
    }
    if (earliest == timers_.end()) return false;
    Timer& timer = earliest->second;
    callback = timer.callback;
    if (timer.mode == TimerMode::SingleShot) {
        timers_.erase(earliest);
    } else {
        timer.due += timer.interval;
        if (timer.due <= now)
            timer.due = now + timer.interval;  // fell behind: skip the missed ticks
    }
    return true;
}

void MessageLoop::Wait(Clock::time_point until) {
    {
        std::lock_guard lock(mutex_);
        for (const auto& [id, timer] : timers_) until = std::min(until, timer.due);
        if (quit_ || !tasks_.empty()) return;
        // From here on a post sets the wake-up event, which the poll sees.
        sleeping_ = true;
    }
    waiter_->Sleep(until);
    std::lock_guard lock(mutex_);
    sleeping_ = false;
}

void MessageLoop::StartTimer(int id, std::chrono::milliseconds interval, TimerMode mode,
                             Task callback) {
    if (mode == TimerMode::Periodic) interval = std::max(interval, std::chrono::milliseconds(1));
    {
        std::lock_guard lock(mutex_);
        timers_[id] = Timer{Clock::now() + interval, interval, mode, std::move(callback)};
        // The loop may be asleep until a later deadline.
        WakeLocked();
    }
}

void MessageLoop::StopTimer(int id) {
    std::lock_guard lock(mutex_);
    timers_.erase(id);
}

bool MessageLoop::TimerActive(int id) const {
    std::lock_guard lock(mutex_);
    return timers_.count(id) != 0;
}

}  // namespace vemkard
