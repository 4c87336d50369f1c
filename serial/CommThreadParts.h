// Private to serial/: what both platforms' reader and writer threads and
// their component share.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>

#include "serial/Comm32.h"
#include "serial/CommMessage.h"

namespace vemkard {

// The largest chunk one WM_COMM_DATA carries: it fits the 4096-byte delivery
// buffer with the zero byte after it.
inline constexpr std::size_t kMaxChunk = 4095;

// A WM_COMM_EVENT's lParam: the event mask low, the modem status high.
inline std::intptr_t EventParam(std::uint32_t mask, std::uint32_t status) {
    return static_cast<std::intptr_t>((mask & 0xFFFF) | ((status & 0xFFFF) << 16));
}

// The change events of the modem lines that are on in `status` (MS_...).
inline std::uint32_t LinesOnMask(std::uint32_t status) {
    std::uint32_t mask = 0;
    if (status & MS_CTS_ON) mask |= EV_CTS;
    if (status & MS_DSR_ON) mask |= EV_DSR;
    if (status & MS_RING_ON) mask |= EV_RING;
    if (status & MS_RLSD_ON) mask |= EV_RLSD;
    return mask;
}

// Whether the writer reports what it wrote (the owner may change it), and the
// lock that keeps the trace in the line's order while it does: held by the
// writer from a write until its report is posted and by whoever posts a
// chunk, so that an answer is never traced before the frame it answers.
struct TWriteTrace {
    const std::atomic<bool>* TraceWrites = nullptr;
    std::mutex* TraceOrder = nullptr;

    bool Traced() const { return TraceWrites && TraceWrites->load(std::memory_order_relaxed); }
    // TraceOrder, taken while the line is traced; otherwise nothing is held.
    std::unique_lock<std::mutex> LockTraceOrder(bool traced) const {
        return traced && TraceOrder ? std::unique_lock(*TraceOrder)
                                    : std::unique_lock<std::mutex>();
    }
};

// Starts the reader, then the writer, of an open. A thread that cannot start
// is the open's failure: the threads that did start keep running.
template <class Reader, class Writer, class Link>
void StartCommThreads(std::unique_ptr<Reader>& reader, std::unique_ptr<Writer>& writer,
                      const Link& link) {
    try {
        reader = std::make_unique<Reader>(link);
        reader->Start();
    } catch (const std::exception&) {
        reader.reset();
        throw ECommsError(TOpenFailure::NoReadThread);
    }
    try {
        // The writer's queue exists before its thread runs, so nothing queued
        // right after the open is lost.
        writer = std::make_unique<Writer>(link);
        writer->Start();
    } catch (const std::exception&) {
        writer.reset();
        throw ECommsError(TOpenFailure::NoWriteThread);
    }
}

}  // namespace vemkard
