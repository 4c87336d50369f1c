#include <chrono>
#include <cstring>
#include <utility>

#include "serial/CommThreads.h"

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
    std::vector<std::uint8_t> bytes(count);
    if (count != 0) std::memcpy(bytes.data(), data, count);
    {
        std::lock_guard lock(mutex_);
        if (ended_) return false;
        requests_.push_back(std::move(bytes));
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
            std::vector<std::uint8_t> request;
            {
                std::lock_guard lock(mutex_);
                if (requests_.empty()) break;
                request = std::move(requests_.front());
                requests_.pop_front();
            }
            // A request still queued at close is dropped unsent.
            if (link_.CloseEvent->IsSet()) return Outcome::Closed;
            std::size_t written = 0;
            const Outcome sent = WriteAll(request, written);
            // A whole frame was reported by WriteAll, in order with the reader.
            if (sent != Outcome::Sent) {
                ReportWritten(request, written, std::chrono::steady_clock::now());
                return sent;
            }
        }
    }
}

void TWriteThread::ReportWritten(const std::vector<std::uint8_t>& bytes, std::size_t written,
                                 std::chrono::steady_clock::time_point time) {
    if (written == 0 || !link_.Traced()) return;
    link_.Post(WM_COMM_WRITTEN, written, 0,
               std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(written)), 0,
               time);
}

TWriteThread::Outcome TWriteThread::WriteAll(const std::vector<std::uint8_t>& bytes,
                                             std::size_t& offset) {
    offset = 0;
    while (offset < bytes.size()) {
        // The write does not block (the port is non-blocking), so the reader
        // waits at most for one system call.
        // Read once per write: a tap set while a write is under way must not
        // report a write that did not hold the order lock.
        const bool traced = link_.Traced();
        std::unique_lock<std::mutex> order;
        if (traced && link_.TraceOrder) order = std::unique_lock(*link_.TraceOrder);
        // Stamped before the write: its answer may be read before it returns.
        const auto start = std::chrono::steady_clock::now();
        const sb::IoResult written =
            sb::WritePort(link_.Port, bytes.data() + offset, bytes.size() - offset);
        if (written.status == sb::IoStatus::Done && written.bytes != 0) {
            offset += written.bytes;
            if (offset == bytes.size() && traced) ReportWritten(bytes, offset, start);
            continue;
        }
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
