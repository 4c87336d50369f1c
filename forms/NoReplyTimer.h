// `Timer1`, the no-reply timer, on a single-shot toolkit timer: periodic,
// disabled at start. A restart only notes the time; the toolkit timer, once
// due, waits out the rest of the interval. Stopping and starting a toolkit
// timer on every reply cost more than the rest of the reply's handling.
#pragma once

#include <functional>

#include "forms/FormInterfaces.h"
#include "protocol/LinkInterfaces.h"

namespace vemkard {

class NoReplyTimer : public IReplyTimer {
  public:
    // `onTick` runs on every tick (Timer1Timer). Takes `timer`'s OnTimer.
    NoReplyTimer(ITimer& timer, const IClock& clock, std::function<void()> onTick);

    void SetInterval(int milliseconds) override;
    void Enable() override;
    void Disable() override { timer_.Stop(); }
    bool Enabled() const override { return timer_.Active(); }
    void Restart() override;
    int Interval() const { return interval_; }

  private:
    void Due();

    ITimer& timer_;
    const IClock& clock_;
    std::function<void()> onTick_;
    int interval_ = 0;
    IClock::TimePoint started_{};
};

}  // namespace vemkard
