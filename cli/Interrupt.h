// SIGINT, SIGTERM and SIGHUP, taken by a thread of their own instead of a
// handler, so that the program can stop its work in order: abandon the batch
// on the loop thread, close the port, say what was done.
//
// Thread rules: make it on the main thread before any other thread starts
// (the signals are blocked in the threads made after it). The callback runs
// on the signal thread; Requested and WakeHandle from any thread.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace vemkard {

class TInterrupt {
  public:
    TInterrupt();
    ~TInterrupt();
    TInterrupt(const TInterrupt&) = delete;
    TInterrupt& operator=(const TInterrupt&) = delete;

    // Runs on the signal thread at the first signal; may be replaced any time.
    void SetCallback(std::function<void()> callback);
    bool Requested() const { return requested_.load(); }
    // Becomes readable once a signal came: for a wait on a terminal.
    int WakeHandle() const { return wake_; }

  private:
    void Watch();

    std::atomic<bool> requested_{false};
    std::atomic<bool> stopping_{false};
    int wake_ = -1;
    std::mutex mutex_;  // guards callback_
    std::function<void()> callback_;
    std::thread thread_;
};

}  // namespace vemkard
