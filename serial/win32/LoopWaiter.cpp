#include "LoopWaiter.h"

#include <algorithm>
#include <system_error>

namespace vemkard {

TLoopWaiter::TLoopWaiter() : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!wake_) throw std::system_error(int(GetLastError()), std::system_category());
}

TLoopWaiter::~TLoopWaiter() {
    CloseHandle(wake_);
}

void TLoopWaiter::Sleep(Clock::time_point until) {
    DWORD timeout = INFINITE;
    if (until != Clock::time_point::max()) {
        // Rounded up, so that a timer is never looked at before it is due.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        timeout = static_cast<DWORD>(std::clamp<long long>(left.count(), 0, INFINITE - 1));
    }
    MsgWaitForMultipleObjectsEx(1, &wake_, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

bool TLoopWaiter::RunReady(const std::function<bool()>& check, std::size_t& ran) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Left for the thread's own loop, when it has one.
            PostQuitMessage(static_cast<int>(message.wParam));
            return true;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
        ++ran;
        if (!check()) return false;
    }
    return true;
}

}  // namespace vemkard
