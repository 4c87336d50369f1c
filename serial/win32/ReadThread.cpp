#include <cstring>
#include <system_error>
#include <utility>

#include "CommThreads.h"

namespace vemkard {

TReadThread::TReadThread(TCommThreadLink link) : link_(std::move(link)) {}

TReadThread::~TReadThread() {
    Join();
}

void TReadThread::Start() {
    thread_ = std::thread([this] { Execute(); });
}

void TReadThread::Join() {
    if (thread_.joinable()) thread_.join();
}

void TReadThread::PostHangup() {
    link_.Post(WM_COMM_HANGUP);
}

void TReadThread::Execute() {
    // Manual reset and signalled at first, as overlapped calls expect.
    readOverlapped_.hEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    eventOverlapped_.hEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    bool running = readOverlapped_.hEvent && eventOverlapped_.hEvent;
    if (!running) PostHangup();

    if (running) StartLineEvents();
    if (running && StartReading() != Step::Pending) {
        PostHangup();
        running = false;
    }
    if (running) link_.Post(WM_COMM_STARTED, 0);

    while (running) {
        // The close event first, then the read, then the event wait while line
        // events are on.
        HANDLE waits[3] = {link_.CloseEvent, readOverlapped_.hEvent, eventOverlapped_.hEvent};
        const DWORD count = lineEvents_ ? 3 : 2;
        const DWORD woke = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
        if (woke == WAIT_OBJECT_0) break;
        if (woke == WAIT_OBJECT_0 + 2) {
            eventPending_ = false;
            // A driver that ends the wait with nothing to say (Wine on a pty)
            // loses its line events, not the line.
            if (!ReportEvent(true) || ArmEventWait() != Step::Pending) lineEvents_ = false;
            continue;
        }
        if (woke != WAIT_OBJECT_0 + 1) {
            PostHangup();
            break;
        }
        readPending_ = false;
        if (!FinishRead() || StartReading() != Step::Pending) {
            PostHangup();
            break;
        }
        // A handler set since the open is served from the next chunk on.
        if (!lineEvents_) StartLineEvents();
    }

    PurgeComm(link_.Port, PURGE_RXABORT | PURGE_RXCLEAR);
    // The driver writes into the OVERLAPPED records until their calls end:
    // they must have ended before the records go.
    Cancel(readOverlapped_, readPending_);
    Cancel(eventOverlapped_, eventPending_);
    if (readOverlapped_.hEvent) CloseHandle(readOverlapped_.hEvent);
    if (eventOverlapped_.hEvent) CloseHandle(eventOverlapped_.hEvent);
}

void TReadThread::Cancel(OVERLAPPED& overlapped, bool pending) {
    if (!pending) return;
    CancelIoEx(link_.Port, &overlapped);
    DWORD ignored = 0;
    GetOverlappedResult(link_.Port, &overlapped, &ignored, TRUE);
}

bool TReadThread::StartLineEvents() {
    // Line events cost the driver work (and Wine refuses them on a pty), so
    // they are asked for only while a handler listens.
    const std::uint32_t wanted =
        link_.ReportedEvents ? link_.ReportedEvents->load(std::memory_order_relaxed) : 0;
    if (lineEventsFailed_ || (wanted & kLineEventMask) == 0) return false;
    lineEventsFailed_ = true;  // unless all that follows works
    if (!SetCommMask(link_.Port, kLineEventMask)) return false;
    // Lines already on reach the owner as changes to on.
    DWORD status = 0;
    if (GetCommModemStatus(link_.Port, &status) && status != 0)
        link_.Post(WM_COMM_EVENT, 0, EventParam(LinesOnMask(status), status));
    if (ArmEventWait() != Step::Pending) {
        SetCommMask(link_.Port, 0);
        return false;
    }
    lineEventsFailed_ = false;
    lineEvents_ = true;
    return true;
}

TReadThread::Step TReadThread::ArmEventWait() {
    for (;;) {
        if (link_.IsClosing()) return Step::Failed;
        eventMask_ = 0;
        if (WaitCommEvent(link_.Port, &eventMask_, &eventOverlapped_)) {
            if (!ReportEvent(false)) return Step::Failed;
            continue;
        }
        if (GetLastError() != ERROR_IO_PENDING) return Step::Failed;
        eventPending_ = true;
        return Step::Pending;
    }
}

bool TReadThread::ReportEvent(bool completionCheck) {
    DWORD ignored = 0;
    if (completionCheck && !GetOverlappedResult(link_.Port, &eventOverlapped_, &ignored, FALSE)) {
        return false;
    }
    TCommMessage message;
    message.Msg = WM_COMM_EVENT;
    DWORD errors = 0;
    if ((eventMask_ & EV_ERR) && !ClearCommError(link_.Port, &errors, nullptr)) return false;
    message.ErrorFlags = errors;
    const bool reportable =
        (eventMask_ & (EV_ERR | EV_BREAK | EV_CTS | EV_DSR | EV_RING | EV_TXEMPTY | EV_RXFLAG |
                       EV_RLSD | EV_RX80FULL | EV_PERR)) != 0;
    if (!reportable) return false;
    DWORD status = 0;
    GetCommModemStatus(link_.Port, &status);
    message.LParam = EventParam(eventMask_ | EV_RING, status);
    return link_.Post(std::move(message));
}

TReadThread::Step TReadThread::StartReading() {
    for (;;) {
        if (link_.IsClosing()) return Step::Failed;
        DWORD count = 0;
        if (ReadFile(link_.Port, buffer_.data(), static_cast<DWORD>(buffer_.size()), &count,
                     &readOverlapped_)) {
            // Bytes that waited in the driver: delivered, and read again at once.
            if (!GetOverlappedResult(link_.Port, &readOverlapped_, &count, FALSE) ||
                !Deliver(count)) {
                return Step::Failed;
            }
            continue;
        }
        if (GetLastError() != ERROR_IO_PENDING) return Step::Failed;
        readPending_ = true;
        return Step::Pending;
    }
}

bool TReadThread::FinishRead() {
    DWORD count = 0;
    if (!GetOverlappedResult(link_.Port, &readOverlapped_, &count, FALSE)) return false;
    return Deliver(count);
}

bool TReadThread::Deliver(DWORD count) {
    // Stamped as soon as the bytes are ours: the answer's pause counts from here.
    const auto arrival = std::chrono::steady_clock::now();
    if (count == 0) return false;
    TCommMessage message;
    message.Msg = WM_COMM_DATA;
    message.WParam = count;
    // The message's own copy and one zero byte after it: the buffer is read into again at once.
    message.Data.assign(buffer_.begin(), buffer_.begin() + count);
    message.Data.push_back(0);
    message.Time = arrival;
    const auto order = link_.Trace.LockTraceOrder(link_.Trace.Traced());
    return link_.Post(std::move(message));
}

}  // namespace vemkard
