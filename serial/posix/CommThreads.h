// Private to serial/: the reader and writer threads of one open of TComm32.
//
// Thread rules:
// - The owner thread (the component's) constructs, starts, joins and destroys
//   both objects; TWriteThread::Queue may be called on any thread.
// - The threads never call into the component. Everything they report goes
//   through ICommMessageTarget::Post, which must not wait for the owner thread.
// - Both stop when the shared close event is set; Join must come after that.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "serial/CommMessage.h"
#include "serial/CommThreadParts.h"
#include "serial/posix/PortBackend.h"

namespace vemkard {

// What one open shares with its two threads. The component owns all of it and
// keeps it alive until both threads have been joined.
struct TCommThreadLink {
    serial_backend::PortHandle Port = serial_backend::kNoPort;
    const serial_backend::Event* CloseEvent = nullptr;
    ICommMessageTarget* NotifyWindow = nullptr;
    std::weak_ptr<TCommSession> Session;
    // The character whose arrival is reported as EV_RXFLAG; the owner may change it.
    const std::atomic<char>* EventChar = nullptr;
    // The line events (EV_ bits) that a handler listens for; the reader does
    // the work of the others only when asked. The owner may change it.
    const std::atomic<std::uint32_t>* ReportedEvents = nullptr;
    // The owner thread reads the port (its target watches it): the reader
    // then only reports the modem lines and waits for the close event.
    bool OwnerReads = false;
    // Whether the writer reports what it wrote (WM_COMM_WRITTEN), in order with the reads.
    TWriteTrace Trace;

    // Posts a message of this open to the owner. False when it cannot be queued.
    bool Post(std::uint32_t msg, std::uintptr_t wParam = 0, std::intptr_t lParam = 0,
              std::vector<std::uint8_t> data = {}, std::uint32_t errorFlags = 0,
              std::chrono::steady_clock::time_point time = {}) const {
        TCommMessage message;
        message.Msg = msg;
        message.WParam = wParam;
        message.LParam = lParam;
        message.Data = std::move(data);
        message.ErrorFlags = errorFlags;
        message.Time = time;
        message.Session = Session;
        return NotifyWindow->Post(std::move(message));
    }
};

// The line events that come with a received chunk, for whichever thread
// reads the port: the event character and the line errors counted since the
// last chunk, each only while a handler listens for it (`wanted`, EV_ bits).
class TChunkEvents {
  public:
    // Reports an event: mask, modem status, line error flags. False stops.
    using Report = std::function<bool(std::uint32_t, std::uint32_t, std::uint32_t)>;

    // Takes the line error counters as they are at the start of an open.
    void Start(serial_backend::PortHandle port);
    // Reports what `count` bytes just read bring; false when a report failed.
    bool Inspect(serial_backend::PortHandle port, const std::uint8_t* bytes, std::size_t count,
                 std::uint32_t wanted, char eventChar, const Report& report);

  private:
    // The line errors counted since the last look (drivers that count them).
    bool ReportLineErrors(serial_backend::PortHandle port, std::uint32_t wanted,
                          const Report& report);

    bool countersKnown_ = false;
    serial_backend::LineCounters counters_;
};

// Waits for bytes and line events and posts them: WM_COMM_STARTED (0) once it
// runs, WM_COMM_DATA for each chunk (what one read finds, at most kMaxChunk,
// stamped with the moment it was read), WM_COMM_EVENT for line events the
// driver reports (the event character and line errors only while
// ReportedEvents asks for them), WM_COMM_HANGUP when the line fails (then it
// ends). Where the owner reads (OwnerReads), it posts only the modem lines and
// WM_COMM_STARTED, and then waits for the close event.
class TReadThread {
  public:
    explicit TReadThread(TCommThreadLink link);
    ~TReadThread();  // joins; the close event must be set by then
    TReadThread(const TReadThread&) = delete;
    TReadThread& operator=(const TReadThread&) = delete;

    // Starts the thread. Throws std::system_error when it cannot.
    void Start();
    // Waits until the thread (and its modem-line waiter) has ended.
    void Join();

  private:
    void Execute();
    // Reads one chunk and posts it; false when the reader must end.
    bool ReadChunk();
    bool DeliverChunk(std::size_t count, std::chrono::steady_clock::time_point arrival);
    // Body of the modem-line waiter thread (drivers with TIOCMIWAIT).
    void WatchModemLines();
    void StopModemWaiter();
    bool PostEvent(std::uint32_t mask, std::uint32_t modemStatus, std::uint32_t errorFlags = 0);
    void PostHangup();

    const TCommThreadLink link_;
    std::thread thread_;
    std::array<std::uint8_t, kMaxChunk> buffer_{};
    TChunkEvents chunkEvents_;

    std::thread waiter_;
    std::mutex waiterMutex_;
    std::condition_variable waiterEnded_;
    bool waiterDone_ = false;
};

// Sends the queued write requests in order, each in full, then takes the
// next. A request with nothing ahead of it is written at once by the thread
// that queues it, as far as the driver takes it; the writer sends the rest.
// Posts WM_COMM_STARTED (1) once it runs and WM_COMM_HANGUP when a write fails
// (then it ends); while TraceWrites is set, WM_COMM_WRITTEN after each request
// with the bytes that went (all of them, or those before a failure). Requests
// still queued at close are dropped.
class TWriteThread {
  public:
    // Makes the request queue, so requests queued before Start are kept.
    // Throws std::system_error when the queue cannot be made.
    explicit TWriteThread(TCommThreadLink link);
    ~TWriteThread();  // joins; the close event must be set by then
    TWriteThread(const TWriteThread&) = delete;
    TWriteThread& operator=(const TWriteThread&) = delete;

    // Starts the thread. Throws std::system_error when it cannot.
    void Start();
    void Join();
    // Any thread: writes or queues a copy of the bytes, never waiting for the
    // line. False once the writer has ended.
    bool Queue(const void* data, std::size_t count);

  private:
    enum class Outcome { Sent, Closed, Failed };

    void Execute();
    // Sends requests as they come until the close event or a failure.
    Outcome SendRequests();
    // One write from `offset` on, which it moves past what went; a frame that
    // is complete after it is reported while the line is traced.
    serial_backend::IoResult WriteSome(const std::vector<std::uint8_t>& bytes, std::size_t& offset);
    // Writes the rest of a request from `offset`, which ends past what went.
    Outcome WriteAll(const std::vector<std::uint8_t>& bytes, std::size_t& offset);
    void ReportWritten(const std::vector<std::uint8_t>& bytes, std::size_t written,
                       std::chrono::steady_clock::time_point time);

    const TCommThreadLink link_;
    serial_backend::Event doorbell_;
    std::mutex mutex_;
    struct TRequest {
        std::vector<std::uint8_t> bytes;
        std::size_t sent = 0;  // what went before it was queued
    };
    std::deque<TRequest> requests_;
    bool busy_ = false;   // the writer holds a request; guarded by mutex_
    bool ended_ = false;  // guarded by mutex_
    std::thread thread_;
};

}  // namespace vemkard
