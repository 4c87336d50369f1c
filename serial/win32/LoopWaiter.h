// Private to serial/: how a MessageLoop sleeps and is woken on Windows: in
// MsgWaitForMultipleObjectsEx on its wake-up event and the thread's message
// queue, so that the windows of the loop thread (the serial component's
// message-only window among them) get their messages from the loop.
//
// Thread rules: Wake may be called on any thread; everything else belongs
// to the loop thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>

#include "Win32.h"

namespace vemkard {

class TLoopWaiter {
  public:
    using Clock = std::chrono::steady_clock;

    // Throws std::system_error when the wake-up event cannot be made.
    TLoopWaiter();
    ~TLoopWaiter();
    TLoopWaiter(const TLoopWaiter&) = delete;
    TLoopWaiter& operator=(const TLoopWaiter&) = delete;

    void Wake() { SetEvent(wake_); }
    // Sleeps until woken, a message arrives for the thread or `until`.
    void Sleep(Clock::time_point until);
    // Messages are looked at by RunReady.
    void Look() {}
    // Dispatches the thread's queued messages, `check` after each; false when it said stop.
    bool RunReady(const std::function<bool()>& check, std::size_t& ran);

    // Windows waits on no port from the loop: the reader thread reads.
    bool Watch(int, std::function<void()>) { return false; }
    void Unwatch(int) {}

  private:
    HANDLE wake_;  // auto-reset
};

}  // namespace vemkard
