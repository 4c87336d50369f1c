#include <chrono>
#include <cstring>
#include <utility>

#include "serial/posix/CommThreads.h"

namespace vemkard {
namespace sb = serial_backend;

TWriteThread::TWriteThread(TCommThreadLink link) : link_(std::move(link)) {}

TWriteThread::~TWriteThread() {
    Join();
}

void TWriteThread::Start() {
    thread_ = std::thread([this] { Execute(); });
}

void TWriteThread::Join() {
    if (thread_.joinable()) thread_.join();
}

bool TWriteThread::Queue(const void* data, std::size_t count) {
    TRequest request;
    request.bytes.resize(count);
    if (count != 0) std::memcpy(request.bytes.data(), data, count);
    {
        std::lock_guard lock(mutex_);
        if (ended_) return false;
        // With nothing ahead of it the caller writes the frame itself: the
        // port never blocks, and waking the writer would cost more than the
        // write and delay the frame. What does not go at once is the writer's.
        if (requests_.empty() && !busy_ && !link_.CloseEvent->IsSet()) {
            WriteSome(request.bytes, request.sent);
            if (request.sent == request.bytes.size()) return true;
        }
        requests_.push_back(std::move(request));
    }
    doorbell_.Set();
    return true;
}

void TWriteThread::Execute() {
    link_.Post(WM_COMM_STARTED, 1);
    const Outcome outcome = SendRequests();
    {
        std::lock_guard lock(mutex_);
        ended_ = true;
        requests_.clear();
    }
    // Posted once the writer refuses requests, so a caller who sees the
    // hang-up also sees WriteData fail.
    if (outcome == Outcome::Failed) link_.Post(WM_COMM_HANGUP);
    sb::Purge(link_.Port, false, true);
}

TWriteThread::Outcome TWriteThread::SendRequests() {
    for (;;) {
        const sb::WaitResult wait = sb::WaitEvent(*link_.CloseEvent, doorbell_);
        if (wait == sb::WaitResult::Closed) return Outcome::Closed;
        if (wait != sb::WaitResult::Ready) return Outcome::Failed;
        doorbell_.Reset();
        for (;;) {
            TRequest request;
            {
                std::lock_guard lock(mutex_);
                busy_ = !requests_.empty();
                if (!busy_) break;
                request = std::move(requests_.front());
                requests_.pop_front();
            }
            // A request still queued at close is dropped unsent.
            if (link_.CloseEvent->IsSet()) return Outcome::Closed;
            const Outcome sent = WriteAll(request.bytes, request.sent);
            // A whole frame was reported as it went, in order with the reader.
            if (sent != Outcome::Sent) {
                ReportWritten(request.bytes, request.sent, std::chrono::steady_clock::now());
                return sent;
            }
        }
    }
}

void TWriteThread::ReportWritten(const std::vector<std::uint8_t>& bytes, std::size_t written,
                                 std::chrono::steady_clock::time_point time) {
    if (written == 0 || !link_.Trace.Traced()) return;
    link_.Post(WM_COMM_WRITTEN, written, 0,
               std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(written)), 0,
               time);
}

sb::IoResult TWriteThread::WriteSome(const std::vector<std::uint8_t>& bytes, std::size_t& offset) {
    // Read once per write: a tap set while a write is under way must not
    // report a write that did not hold the order lock.
    const bool traced = link_.Trace.Traced();
    // The write does not block (the port is non-blocking), so the reader
    // waits for this lock at most for one system call.
    const auto order = link_.Trace.LockTraceOrder(traced);
    // Stamped before the write: its answer may be read before it returns.
    const auto start = std::chrono::steady_clock::now();
    const sb::IoResult written =
        sb::WritePort(link_.Port, bytes.data() + offset, bytes.size() - offset);
    if (written.status == sb::IoStatus::Done) {
        offset += written.bytes;
        if (offset == bytes.size() && traced) ReportWritten(bytes, offset, start);
    }
    return written;
}

TWriteThread::Outcome TWriteThread::WriteAll(const std::vector<std::uint8_t>& bytes,
                                             std::size_t& offset) {
    while (offset < bytes.size()) {
        const sb::IoResult written = WriteSome(bytes, offset);
        if (written.status == sb::IoStatus::Done && written.bytes != 0) continue;
        if (written.status == sb::IoStatus::HungUp || written.status == sb::IoStatus::Failed) {
            return Outcome::Failed;
        }
        // The driver's queue is full: continue from the first unsent byte once it has room.
        const sb::WaitResult wait = sb::WaitWritable(link_.Port, *link_.CloseEvent);
        if (wait == sb::WaitResult::Closed) return Outcome::Closed;
        if (wait != sb::WaitResult::Ready) return Outcome::Failed;
    }
    return Outcome::Sent;
}

}  // namespace vemkard
