#include <chrono>
#include <cstring>
#include <utility>

#include "serial/posix/CommThreads.h"

namespace vemkard {
namespace sb = serial_backend;

TReadThread::TReadThread(TCommThreadLink link) : link_(std::move(link)) {}

TReadThread::~TReadThread() {
    Join();
}

void TReadThread::Start() {
    thread_ = std::thread([this] { Execute(); });
}

void TReadThread::Join() {
    if (thread_.joinable()) thread_.join();
    StopModemWaiter();
}

bool TReadThread::PostEvent(std::uint32_t mask, std::uint32_t modemStatus,
                            std::uint32_t errorFlags) {
    return link_.Post(WM_COMM_EVENT, 0, EventParam(mask, modemStatus), {}, errorFlags);
}

void TReadThread::PostHangup() {
    link_.Post(WM_COMM_HANGUP);
}

void TReadThread::Execute() {
    // Lines already on reach the owner as changes to on.
    std::uint32_t status = 0;
    const bool modemLines = sb::GetModemStatus(link_.Port, status);
    if (modemLines && status != 0 && !PostEvent(LinesOnMask(status), status)) {
        PostHangup();
        sb::Purge(link_.Port, true, false);
        return;
    }
    if (!link_.OwnerReads) chunkEvents_.Start(link_.Port);
    if (modemLines) {
        sb::InstallWakeSignal();
        try {
            waiter_ = std::thread([this] { WatchModemLines(); });
        } catch (const std::system_error&) {
            // Without the waiter only modem-line changes go unreported.
        }
    }
    link_.Post(WM_COMM_STARTED, 0);

    // The owner reads and finds a hang-up itself; waking here too would only
    // cost a wake-up per chunk.
    if (link_.OwnerReads && sb::WaitClosed(*link_.CloseEvent) != sb::WaitResult::Closed)
        PostHangup();
    for (bool running = !link_.OwnerReads; running;) {
        switch (sb::WaitReadable(link_.Port, *link_.CloseEvent, -1)) {
            case sb::WaitResult::Closed:
                running = false;
                break;
            case sb::WaitResult::Ready:
                running = ReadChunk();
                break;
            case sb::WaitResult::TimedOut:
                break;
            case sb::WaitResult::HungUp:
            case sb::WaitResult::Failed:
                PostHangup();
                running = false;
                break;
        }
    }
    sb::Purge(link_.Port, true, false);
}

bool TReadThread::ReadChunk() {
    // What one read finds is delivered at once: waiting for more would delay
    // every poll, and the receiver puts frames split over chunks together.
    const sb::IoResult read = sb::ReadPort(link_.Port, buffer_.data(), buffer_.size());
    // Stamped as soon as the bytes are ours: the answer's pause counts from here.
    const auto arrival = std::chrono::steady_clock::now();
    if (read.status == sb::IoStatus::WouldBlock) return true;  // nothing after all: wait again
    if (read.status != sb::IoStatus::Done) {
        PostHangup();  // the far end is gone
        return false;
    }
    if (read.bytes == 0) return true;
    if (!DeliverChunk(read.bytes, arrival)) {
        PostHangup();
        return false;
    }
    return true;
}

bool TReadThread::DeliverChunk(std::size_t count, std::chrono::steady_clock::time_point arrival) {
    const std::uint8_t* bytes = buffer_.data();
    const std::uint32_t wanted =
        link_.ReportedEvents ? link_.ReportedEvents->load(std::memory_order_relaxed) : 0;
    const char eventChar = link_.EventChar ? link_.EventChar->load() : 0;
    const bool reported =
        chunkEvents_.Inspect(link_.Port, bytes, count, wanted, eventChar,
                             [this](std::uint32_t mask, std::uint32_t status, std::uint32_t flags) {
                                 return PostEvent(mask, status, flags);
                             });
    if (!reported) return false;
    std::vector<std::uint8_t> chunk(count + 1, 0);  // the chunk and one zero byte after it
    std::memcpy(chunk.data(), bytes, count);
    const auto order = link_.Trace.LockTraceOrder(link_.Trace.Traced());
    return link_.Post(WM_COMM_DATA, count, 0, std::move(chunk), 0, arrival);
}

void TChunkEvents::Start(sb::PortHandle port) {
    countersKnown_ = sb::GetLineCounters(port, counters_);
}

bool TChunkEvents::Inspect(sb::PortHandle port, const std::uint8_t* bytes, std::size_t count,
                           std::uint32_t wanted, char eventChar, const Report& report) {
    // The event character costs a message and a modem-line query (a USB
    // transfer on many adapters), so only when somebody listens for it.
    if ((wanted & (EV_RXFLAG | EV_RING)) &&
        std::memchr(bytes, static_cast<unsigned char>(eventChar), count) != nullptr) {
        std::uint32_t status = 0;
        sb::GetModemStatus(port, status);
        if (!report(EV_RXFLAG | EV_RING, status, 0)) return false;
    }
    return ReportLineErrors(port, wanted, report);
}

bool TChunkEvents::ReportLineErrors(sb::PortHandle port, std::uint32_t wanted,
                                    const Report& report) {
    sb::LineCounters now;
    if (!countersKnown_ || !sb::GetLineCounters(port, now)) return true;
    std::uint32_t flags = 0;
    if (now.frame != counters_.frame) flags |= CE_FRAME;
    if (now.overrun != counters_.overrun) flags |= CE_OVERRUN;
    if (now.parity != counters_.parity) flags |= CE_RXPARITY;
    if (now.bufferOverrun != counters_.bufferOverrun) flags |= CE_RXOVER;
    const bool brk = now.brk != counters_.brk;
    if (brk) flags |= CE_BREAK;
    counters_.frame = now.frame;
    counters_.overrun = now.overrun;
    counters_.parity = now.parity;
    counters_.bufferOverrun = now.bufferOverrun;
    counters_.brk = now.brk;
    if (flags == 0) return true;

    std::uint32_t mask = EV_RING;
    if (flags & (CE_FRAME | CE_OVERRUN | CE_RXPARITY | CE_RXOVER)) mask |= EV_ERR;
    if (brk) mask |= EV_BREAK;
    if ((wanted & mask) == 0) return true;
    std::uint32_t status = 0;
    sb::GetModemStatus(port, status);
    return report(mask, status, flags);
}

void TReadThread::WatchModemLines() {
    sb::PrepareWakeSignal();
    sb::LineCounters before;
    bool counted = sb::GetLineCounters(link_.Port, before);
    std::uint32_t lastStatus = 0;
    sb::GetModemStatus(link_.Port, lastStatus);
    while (!link_.CloseEvent->IsSet()) {
        const sb::ModemWaitResult result = sb::WaitModemChange(link_.Port);
        if (result == sb::ModemWaitResult::Interrupted) continue;
        if (result != sb::ModemWaitResult::Changed) break;

        std::uint32_t status = 0;
        if (!sb::GetModemStatus(link_.Port, status)) break;
        std::uint32_t mask = 0;
        sb::LineCounters after;
        if (counted && sb::GetLineCounters(link_.Port, after)) {
            // The counters also catch a line that went and came back.
            if (after.cts != before.cts) mask |= EV_CTS;
            if (after.dsr != before.dsr) mask |= EV_DSR;
            if (after.ring != before.ring) mask |= EV_RING;
            if (after.rlsd != before.rlsd) mask |= EV_RLSD;
            before = after;
        } else {
            mask = LinesOnMask(status ^ lastStatus);
        }
        lastStatus = status;
        if (mask != 0 && !PostEvent(mask | EV_RING, status)) break;
    }
    std::lock_guard lock(waiterMutex_);
    waiterDone_ = true;
    waiterEnded_.notify_all();
}

void TReadThread::StopModemWaiter() {
    if (!waiter_.joinable()) return;
    std::unique_lock lock(waiterMutex_);
    // A wake that comes before the waiter blocks is lost, so repeat it.
    while (!waiterDone_) {
        sb::WakeThread(waiter_.native_handle());
        waiterEnded_.wait_for(lock, std::chrono::milliseconds(20));
    }
    lock.unlock();
    waiter_.join();
}

}  // namespace vemkard
