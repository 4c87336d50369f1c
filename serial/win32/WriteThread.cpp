#include <cstring>
#include <system_error>
#include <utility>

#include "CommThreads.h"

namespace vemkard {

TWriteThread::TWriteThread(TCommThreadLink link) : link_(std::move(link)) {}

TWriteThread::~TWriteThread() {
    Join();
    if (queueReady_) CloseHandle(queueReady_);
}

void TWriteThread::Start() {
    queueReady_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!queueReady_) throw std::system_error(int(GetLastError()), std::system_category());
    thread_ = std::thread([this] { Execute(); });
    // A thread has a message queue only once it has asked for one.
    WaitForSingleObject(queueReady_, INFINITE);
}

void TWriteThread::Join() {
    if (thread_.joinable()) thread_.join();
}

bool TWriteThread::Queue(const void* data, std::size_t count) {
    const DWORD thread = threadId_.load();
    if (thread == 0 || ended_.load()) return false;
    // The request's own copy, freed by the writer (or by the drop at its end).
    auto* bytes = new std::vector<std::uint8_t>(count);
    if (count != 0) std::memcpy(bytes->data(), data, count);
    if (!PostThreadMessageW(thread, WM_COMM_WRITE, count, reinterpret_cast<LPARAM>(bytes))) {
        delete bytes;
        return false;
    }
    return true;
}

void TWriteThread::DropQueued() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.hwnd == nullptr && message.message == WM_COMM_WRITE)
            delete reinterpret_cast<std::vector<std::uint8_t>*>(message.lParam);
    }
}

void TWriteThread::Execute() {
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    threadId_.store(GetCurrentThreadId());
    SetEvent(queueReady_);

    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    Outcome outcome = overlapped.hEvent ? Outcome::Sent : Outcome::Failed;
    if (outcome == Outcome::Sent) link_.Post(WM_COMM_STARTED, 1);
    while (outcome == Outcome::Sent) {
        if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            const DWORD woke =
                MsgWaitForMultipleObjects(1, &link_.CloseEvent, FALSE, INFINITE, QS_ALLINPUT);
            if (woke == WAIT_OBJECT_0) outcome = Outcome::Closed;
            if (woke != WAIT_OBJECT_0 && woke != WAIT_OBJECT_0 + 1) outcome = Outcome::Failed;
            continue;
        }
        std::unique_ptr<std::vector<std::uint8_t>> bytes;
        if (message.hwnd == nullptr && message.message == WM_COMM_WRITE)
            bytes.reset(reinterpret_cast<std::vector<std::uint8_t>*>(message.lParam));
        // A request still queued at close is dropped unsent.
        if (link_.IsClosing()) {
            outcome = Outcome::Closed;
        } else if (message.hwnd != nullptr) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        } else if (bytes) {
            std::size_t sent = 0;
            const bool traced = link_.Trace.Traced();
            const auto order = link_.Trace.LockTraceOrder(traced);
            const auto start = std::chrono::steady_clock::now();
            outcome = WriteAll(*bytes, sent, overlapped);
            if (traced) ReportWritten(*bytes, sent, start);
        }
    }
    // Refused from here on, so a caller who sees the hang-up also sees WriteData fail.
    ended_.store(true);
    DropQueued();
    if (outcome == Outcome::Failed) link_.Post(WM_COMM_HANGUP);
    PurgeComm(link_.Port, PURGE_TXABORT | PURGE_TXCLEAR);
    if (overlapped.hEvent) CloseHandle(overlapped.hEvent);
}

TWriteThread::Outcome TWriteThread::WriteAll(const std::vector<std::uint8_t>& bytes,
                                             std::size_t& sent, OVERLAPPED& overlapped) {
    while (sent < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(link_.Port, bytes.data() + sent, static_cast<DWORD>(bytes.size() - sent),
                       nullptr, &overlapped)) {
            const DWORD error = GetLastError();
            if (error == ERROR_INVALID_HANDLE) return Outcome::Closed;
            if (error != ERROR_IO_PENDING) return Outcome::Failed;
            const HANDLE waits[2] = {link_.CloseEvent, overlapped.hEvent};
            const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
            if (woke == WAIT_OBJECT_0) {
                // The record must outlive the write: end it before leaving.
                CancelIoEx(link_.Port, &overlapped);
                GetOverlappedResult(link_.Port, &overlapped, &written, TRUE);
                sent += written;
                return Outcome::Closed;
            }
            if (woke != WAIT_OBJECT_0 + 1) return Outcome::Failed;
        }
        if (!GetOverlappedResult(link_.Port, &overlapped, &written, TRUE))
            return GetLastError() == ERROR_INVALID_HANDLE ? Outcome::Closed : Outcome::Failed;
        // A driver that completes a write in parts goes on from the first unsent byte.
        sent += written;
    }
    return Outcome::Sent;
}

void TWriteThread::ReportWritten(const std::vector<std::uint8_t>& bytes, std::size_t sent,
                                 std::chrono::steady_clock::time_point time) {
    if (sent == 0) return;
    TCommMessage message;
    message.Msg = WM_COMM_WRITTEN;
    message.WParam = sent;
    message.Data.assign(bytes.begin(), bytes.begin() + std::ptrdiff_t(sent));
    message.Time = time;
    link_.Post(std::move(message));
}

}  // namespace vemkard
