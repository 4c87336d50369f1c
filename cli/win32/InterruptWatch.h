// Private to cli/win32: TInterrupt's wake-up, and the thread that a
// request must free from a read on the console.
#pragma once

#include <windows.h>

#include <atomic>

#include "cli/Interrupt.h"

namespace vemkard {

struct TInterruptWatch {
    // A manual-reset event, set at the first request.
    HANDLE wake = nullptr;
    // The thread reading a line on the console, or null.
    std::atomic<HANDLE> reader{nullptr};
};

}  // namespace vemkard
