// Private to serial/win32: the reader and writer threads of one open of
// TComm32, on the one port handle opened for overlapped I/O.
//
// Thread rules:
// - The owner thread constructs, starts, joins and destroys both objects;
//   TWriteThread::Queue may be called on any thread.
// - The threads never call into the component: everything they report is
//   posted to the component's message-only window.
// - Both stop when the shared close event is set; Join must come after that.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Win32.h"
#include "serial/CommMessage.h"
#include "serial/CommThreadParts.h"

namespace vemkard {

// The line events the reader asks the driver for (SetCommMask).
inline constexpr DWORD kLineEventMask = 0x7FE;

// What one open shares with its two threads. The component owns all of it and
// keeps it alive until both threads have been joined.
struct TCommThreadLink {
    HANDLE Port = INVALID_HANDLE_VALUE;
    HANDLE CloseEvent = nullptr;
    ICommMessageTarget* NotifyWindow = nullptr;
    std::weak_ptr<TCommSession> Session;
    // The line events (EV_ bits) that a handler listens for: the reader asks
    // the driver for line events only while there is one.
    const std::atomic<std::uint32_t>* ReportedEvents = nullptr;
    // Whether the writer reports what it wrote (WM_COMM_WRITTEN), in order with the reads.
    TWriteTrace Trace;

    // Posts a message of this open to the component's window.
    bool Post(TCommMessage message) const {
        message.Session = Session;
        return NotifyWindow->Post(std::move(message));
    }
    bool Post(std::uint32_t msg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0) const {
        TCommMessage message;
        message.Msg = msg;
        message.WParam = wParam;
        message.LParam = lParam;
        return Post(std::move(message));
    }
    bool IsClosing() const { return WaitForSingleObject(CloseEvent, 0) != WAIT_TIMEOUT; }
};

// Waits for line events (overlapped WaitCommEvent, only while a handler
// listens for them) and for bytes (overlapped ReadFile) and posts them:
// WM_COMM_STARTED (0) once both are armed, WM_COMM_DATA for each chunk (at
// most kMaxChunk bytes, stamped when its read completed), WM_COMM_EVENT for
// line events, WM_COMM_HANGUP when the line fails (then it ends). A driver
// that cannot report line events (no modem lines: a virtual port, a pty
// under Wine) loses them and nothing else.
class TReadThread {
  public:
    explicit TReadThread(TCommThreadLink link);
    ~TReadThread();  // joins; the close event must be set by then
    TReadThread(const TReadThread&) = delete;
    TReadThread& operator=(const TReadThread&) = delete;

    // Starts the thread. Throws std::system_error when it cannot.
    void Start();
    void Join();

  private:
    enum class Step { Done, Pending, Failed };

    void Execute();
    // Asks the driver for line events and arms the wait; false when it has none.
    bool StartLineEvents();
    // Arms the event wait, reporting what finishes at once.
    Step ArmEventWait();
    // Reports the event the wait found; false when it was none.
    bool ReportEvent(bool completionCheck);
    // Starts reads until one pends, delivering what each finds at once.
    Step StartReading();
    // Takes the bytes of the read that finished.
    bool FinishRead();
    bool Deliver(DWORD count);
    void PostHangup();
    // Waits out the operation of `overlapped` if it is still under way.
    void Cancel(OVERLAPPED& overlapped, bool pending);

    const TCommThreadLink link_;
    std::thread thread_;
    std::array<std::uint8_t, kMaxChunk> buffer_{};
    OVERLAPPED readOverlapped_{};
    OVERLAPPED eventOverlapped_{};
    DWORD eventMask_ = 0;
    bool readPending_ = false;
    bool eventPending_ = false;
    bool lineEvents_ = false;  // the driver reports them and a handler wants them
    bool lineEventsFailed_ = false;
};

// Takes write requests from its own thread message queue (WM_COMM_WRITE,
// each carrying its own copy of the bytes) and sends each in full with
// overlapped WriteFile before it takes the next. Posts WM_COMM_STARTED (1)
// once it runs and WM_COMM_HANGUP when a write fails (then it ends); while
// TraceWrites is set, WM_COMM_WRITTEN after each request with the bytes that
// went. Requests still queued at close are dropped.
class TWriteThread {
  public:
    explicit TWriteThread(TCommThreadLink link);
    ~TWriteThread();  // joins; the close event must be set by then
    TWriteThread(const TWriteThread&) = delete;
    TWriteThread& operator=(const TWriteThread&) = delete;

    // Starts the thread and waits until its message queue exists, so that a
    // request queued right after the open is not lost. Throws std::system_error.
    void Start();
    void Join();
    // Any thread: queues a copy of the bytes. False once the writer has ended.
    bool Queue(const void* data, std::size_t count);

  private:
    enum class Outcome { Sent, Closed, Failed };

    void Execute();
    // Sends `bytes` in as many writes as the driver needs; `sent` ends past
    // what went. A handle closed under the writer ends it without a hang-up.
    Outcome WriteAll(const std::vector<std::uint8_t>& bytes, std::size_t& sent,
                     OVERLAPPED& overlapped);
    void ReportWritten(const std::vector<std::uint8_t>& bytes, std::size_t sent,
                       std::chrono::steady_clock::time_point time);
    // Frees the bytes of requests left in the queue.
    static void DropQueued();

    const TCommThreadLink link_;
    std::thread thread_;
    HANDLE queueReady_ = nullptr;
    std::atomic<DWORD> threadId_{0};
    std::atomic<bool> ended_{false};
};

}  // namespace vemkard
