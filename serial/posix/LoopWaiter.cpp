#include "LoopWaiter.h"

#include <poll.h>

#include <algorithm>
#include <ctime>

namespace vemkard {

void TLoopWaiter::Sleep(Clock::time_point until) {
    if (until == Clock::time_point::max()) {
        PollPorts(nullptr);
        return;
    }
    const auto left = std::max<Clock::duration>(until - Clock::now(), Clock::duration::zero());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
    timespec timeout{};
    timeout.tv_sec = static_cast<time_t>(seconds.count());
    timeout.tv_nsec = static_cast<long>((left - seconds) / std::chrono::nanoseconds(1));
    PollPorts(&timeout);
}

void TLoopWaiter::Look() {
    if (watches_.empty()) return;
    const timespec now{};
    PollPorts(&now);
}

bool TLoopWaiter::RunReady(const std::function<bool()>& check, std::size_t& ran) {
    std::vector<std::pair<int, std::uint64_t>> readable;
    readable.swap(readablePorts_);
    for (const auto& [port, id] : readable) {
        const auto watch = watches_.find(port);
        if (watch == watches_.end() || watch->second.id != id) continue;
        // A copy: the call may stop the watch.
        const std::function<void()> call = watch->second.readable;
        call();
        ++ran;
        if (!check()) return false;
    }
    return true;
}

bool TLoopWaiter::Watch(int port, std::function<void()> readable) {
    watches_[port] = TWatch{nextWatch_++, std::move(readable)};
    return true;
}

void TLoopWaiter::Unwatch(int port) {
    // A readable port already noted is passed over: its number is gone.
    watches_.erase(port);
}

void TLoopWaiter::PollPorts(const timespec* timeout) {
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

}  // namespace vemkard
