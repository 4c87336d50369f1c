#include "serial/MessageLoop.h"

#include <poll.h>

#include <algorithm>
#include <ctime>
#include <utility>

#include "serial/Comm32.h"

namespace vemkard {

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
    wake_.Set();
}

bool MessageLoop::WatchPort(int port, std::function<void()> readable) {
    watches_[port] = Watch{nextWatch_++, std::move(readable)};
    return true;
}

void MessageLoop::UnwatchPort(int port) {
    // A readable port already noted is passed over: its number is gone.
    watches_.erase(port);
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
    if (!watches_.empty()) {
        const timespec now{};
        PollPorts(&now);
    }
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
    std::vector<std::pair<int, std::uint64_t>> readable;
    readable.swap(readablePorts_);
    for (const auto& [port, id] : readable) {
        const auto watch = watches_.find(port);
        if (watch == watches_.end() || watch->second.id != id) continue;
        // A copy: the call may stop the watch.
        const Task call = watch->second.readable;
        call();
        ++ran;
        if (!check()) return false;
    }
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
    if (until == Clock::time_point::max()) {
        PollPorts(nullptr);
    } else {
        const auto left = std::max<Clock::duration>(until - Clock::now(), Clock::duration::zero());
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
        timespec timeout{};
        timeout.tv_sec = static_cast<time_t>(seconds.count());
        timeout.tv_nsec = static_cast<long>((left - seconds) / std::chrono::nanoseconds(1));
        PollPorts(&timeout);
    }
    std::lock_guard lock(mutex_);
    sleeping_ = false;
}

void MessageLoop::PollPorts(const timespec* timeout) {
    std::vector<pollfd> fds;
    fds.reserve(watches_.size() + 1);
    fds.push_back({wake_.NativeHandle(), POLLIN, 0});
    for (const auto& [port, watch] : watches_) fds.push_back({port, POLLIN, 0});
    if (::ppoll(fds.data(), fds.size(), timeout, nullptr) <= 0) {
        return;  // the time is up, or a signal: the loop looks again
    }
    if (fds[0].revents != 0) wake_.Reset();
    auto watch = watches_.begin();
    for (std::size_t i = 1; i < fds.size(); ++i, ++watch) {
        if (fds[i].revents != 0) readablePorts_.emplace_back(watch->first, watch->second.id);
    }
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
