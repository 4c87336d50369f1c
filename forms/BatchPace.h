// The time left of the batch on the command queue, judged from the pace at
// which the queue has gone down since the batch began. Plain C++; the window
// feeds it the queue length and its clock.
#pragma once

#include <chrono>
#include <string>

namespace vemkard {

class TBatchPace {
  public:
    using Clock = std::chrono::steady_clock;
    // A batch of this many commands or fewer shows no time left: it is over
    // before a reading would mean anything.
    static constexpr int kFewCommands = 10;

    // The queue length each time it changes; 0 ends the batch.
    void QueueLength(int length, Clock::time_point now);
    bool Running() const { return remaining_ > 0; }
    // "осталось 1:12" (h:mm:ss from an hour on); empty with no batch, a
    // short one, or before its first command is done.
    std::string TimeLeftText() const;

  private:
    int remaining_ = 0;
    int done_ = 0;
    Clock::time_point start_{};
    Clock::time_point lastStep_{};
};

}  // namespace vemkard
