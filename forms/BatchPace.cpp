#include "forms/BatchPace.h"

#include <cstdio>

namespace vemkard {

void TBatchPace::QueueLength(int length, Clock::time_point now) {
    if (length <= 0) {
        remaining_ = 0;
        done_ = 0;
        return;
    }
    if (remaining_ == 0) {
        start_ = now;
        done_ = 0;
    } else if (length < remaining_) {
        done_ += remaining_ - length;
        lastStep_ = now;
    }
    remaining_ = length;
}

std::string TBatchPace::TimeLeftText() const {
    if (remaining_ == 0 || done_ == 0 || done_ + remaining_ <= kFewCommands) return {};
    using std::chrono::microseconds;
    const auto spent = std::chrono::duration_cast<microseconds>(lastStep_ - start_).count();
    if (spent <= 0) return {};
    // Whole seconds, rounded up: the last second shows "0:01", never "0:00".
    const long long left =
        (static_cast<long long>(spent) * remaining_ / done_ + 999'999) / 1'000'000;
    char text[48];
    if (left >= 3600)
        std::snprintf(text, sizeof text, "осталось %lld:%02lld:%02lld", left / 3600, left / 60 % 60,
                      left % 60);
    else
        std::snprintf(text, sizeof text, "осталось %lld:%02lld", left / 60, left % 60);
    return text;
}

}  // namespace vemkard
