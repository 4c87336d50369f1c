// The user's request to stop: SIGINT, SIGTERM and SIGHUP on Linux; Ctrl-C,
// Ctrl-Break and closing the console window on Windows. Taken outside any
// signal handler, so that the program can stop its work in order: abandon
// the batch on the loop thread, close the port, say what was done.
//
// Thread rules: make it on the main thread before any other thread starts
// (on Linux the signals are blocked in the threads made after it). The
// callback runs on the platform's own thread; Requested from any thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace vemkard {

// What each platform keeps to take the requests and to wake a waiter:
// cli/posix/ and cli/win32/, InterruptWatch.h.
struct TInterruptWatch;

class TInterrupt {
  public:
    TInterrupt();
    ~TInterrupt();
    TInterrupt(const TInterrupt&) = delete;
    TInterrupt& operator=(const TInterrupt&) = delete;

    // Runs at the first request; may be replaced any time.
    void SetCallback(std::function<void()> callback);
    bool Requested() const { return requested_.load(); }
    // For a wait on the terminal that a request must end.
    TInterruptWatch& Watch() const { return *watch_; }

    // The platform's part, at each request: true for the first one, which
    // then wakes the waiters and runs the callback; later ones are ignored.
    bool MarkRequested() { return !requested_.exchange(true); }
    void RunCallback();

  private:
    std::atomic<bool> requested_{false};
    std::mutex mutex_;  // guards callback_
    std::function<void()> callback_;
    std::unique_ptr<TInterruptWatch> watch_;
};

}  // namespace vemkard
