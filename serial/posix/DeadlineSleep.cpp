#include "serial/DeadlineSleep.h"

#include <sys/prctl.h>
#include <time.h>

#include <cerrno>

namespace vemkard {

void SleepUntilDeadline(std::chrono::steady_clock::time_point deadline) {
    // The steady clock is CLOCK_MONOTONIC on Linux.
    const auto since = deadline.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    const timespec until{
        static_cast<time_t>(seconds.count()),
        static_cast<long>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count())};
    thread_local const bool leastSlack = prctl(PR_SET_TIMERSLACK, 1, 0, 0, 0) == 0;
    static_cast<void>(leastSlack);
    // An absolute sleep that a signal interrupts is simply taken up again.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

}  // namespace vemkard
