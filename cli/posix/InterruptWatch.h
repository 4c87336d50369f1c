// Private to cli/posix: the signal thread of TInterrupt and its wake-up.
#pragma once

#include <atomic>
#include <thread>

#include "cli/Interrupt.h"

namespace vemkard {

struct TInterruptWatch {
    // Becomes readable once a signal came: for a poll on the terminal.
    int wake = -1;
    std::atomic<bool> stopping{false};
    std::thread thread;
};

}  // namespace vemkard
