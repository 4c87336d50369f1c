// `Timer1` on a MessageLoop, for front ends without a window toolkit:
// periodic, restarted by Enable. The owner may fix the interval, overriding
// the one that the protocol core asks for.
//
// Thread rules: the loop's thread only, like the core that drives it.
#pragma once

#include <chrono>
#include <functional>

#include "protocol/ConsoleLink.h"
#include "protocol/LinkInterfaces.h"
#include "serial/MessageLoop.h"

namespace vemkard {

class LoopReplyTimer : public IReplyTimer {
  public:
    // A zero `forcedInterval` keeps the interval the core asks for.
    explicit LoopReplyTimer(MessageLoop& loop,
                            std::chrono::milliseconds forcedInterval = std::chrono::milliseconds(0))
        : loop_(loop), forced_(forcedInterval) {}
    ~LoopReplyTimer() override { loop_.StopTimer(kTimerId); }
    LoopReplyTimer(const LoopReplyTimer&) = delete;
    LoopReplyTimer& operator=(const LoopReplyTimer&) = delete;

    void SetInterval(int milliseconds) override {
        interval_ = forced_.count() > 0 ? forced_ : std::chrono::milliseconds(milliseconds);
    }
    void Enable() override {
        enabled_ = true;
        loop_.StartTimer(kTimerId, interval_, MessageLoop::TimerMode::Periodic, [this] {
            if (onTick) onTick();
        });
    }
    void Disable() override {
        enabled_ = false;
        loop_.StopTimer(kTimerId);
    }
    bool Enabled() const override { return enabled_; }
    std::chrono::milliseconds Interval() const { return interval_; }

    // Timer1Timer.
    std::function<void()> onTick;

  private:
    static constexpr int kTimerId = 1;
    MessageLoop& loop_;
    std::chrono::milliseconds forced_;
    std::chrono::milliseconds interval_{kReplyTimeoutMs};
    bool enabled_ = false;
};

}  // namespace vemkard
