#include "forms/NoReplyTimer.h"

namespace vemkard {

NoReplyTimer::NoReplyTimer(ITimer& timer, const IClock& clock, std::function<void()> onTick)
    : timer_(timer), clock_(clock), onTick_(std::move(onTick)) {
    timer_.OnTimer = [this] { Due(); };
}

void NoReplyTimer::SetInterval(int milliseconds) {
    interval_ = milliseconds;
    if (timer_.Active()) Enable();
}

void NoReplyTimer::Enable() {
    started_ = clock_.Now();
    timer_.Start(interval_);
}

void NoReplyTimer::Restart() {
    if (timer_.Active())
        started_ = clock_.Now();
    else
        Enable();
}

void NoReplyTimer::Due() {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(
        started_ + std::chrono::milliseconds(interval_) - clock_.Now());
    if (left.count() > 0) {
        timer_.Start(static_cast<int>(left.count()));
        return;
    }
    // Armed again first: the tick may disable the timer.
    Enable();
    if (onTick_) onTick_();
}

}  // namespace vemkard
