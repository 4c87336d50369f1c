#include "serial/DeadlineSleep.h"

#include <algorithm>

#include "Win32.h"
// After <windows.h>, which it needs.
#include <mmsystem.h>

namespace vemkard {
namespace {

// A high-resolution waitable timer (Windows 10 1803 and later) wakes within
// a fraction of a millisecond. Older systems have none: there the timer tick
// is raised to 1 ms once, for the life of the process, or Sleep(20) on the
// default 15.6 ms tick would take up to 31 ms.
HANDLE ThreadTimer() {
    thread_local const HANDLE timer = [] {
        HANDLE made = CreateWaitableTimerExW(
            nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
        if (made) return made;
        static const bool fineTick = timeBeginPeriod(1) == TIMERR_NOERROR;
        static_cast<void>(fineTick);
        return CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }();
    return timer;
}

}  // namespace

void SleepUntilDeadline(std::chrono::steady_clock::time_point deadline) {
    const HANDLE timer = ThreadTimer();
    for (;;) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) return;
        // Relative due time, in 100 ns units, negative. A wake-up that comes
        // early by a tick's rounding is slept again for the rest.
        const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count() / 100;
        LARGE_INTEGER due;
        due.QuadPart = -std::max<long long>(ticks, 1);
        if (timer && SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
            WaitForSingleObject(timer, INFINITE);
        } else {
            Sleep(static_cast<DWORD>(
                std::chrono::duration_cast<std::chrono::milliseconds>(left).count() + 1));
        }
    }
}

}  // namespace vemkard
