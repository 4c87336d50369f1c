// The messages that the serial component's reader and writer threads post to
// the component's owner thread, and the target that carries them there.
//
// Thread rules: an ICommMessageTarget is called on the reader and writer
// threads (several at once); it queues the message and returns at once. The
// owner thread later hands each message to the component (TComm32::Deliver or
// TComm32::HandleMessage), one at a time and in the order they were posted.
//
// The constants keep the Windows names and values. On Windows include this
// header before <windows.h>, whose macros of the same names then take over.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace vemkard {

inline constexpr std::uint32_t WM_USER = 1024;
// Posted to the owner: a received chunk.
inline constexpr std::uint32_t WM_COMM_DATA = WM_USER + 1;
// Posted to the owner: the line failed, the owner should hang up.
inline constexpr std::uint32_t WM_COMM_HANGUP = WM_USER + 2;
// Posted to the owner: a thread runs (wParam 0 the reader, 1 the writer).
inline constexpr std::uint32_t WM_COMM_STARTED = WM_USER + 3;
// Posted to the owner: a line event; lParam is the event mask in the low 16
// bits and the modem status in the high 16 bits.
inline constexpr std::uint32_t WM_COMM_EVENT = WM_USER + 4;
// A write request in the writer's own queue (never posted to the owner).
inline constexpr std::uint32_t WM_COMM_WRITE = WM_USER + 1;
// Posted to the owner while the line is traced: bytes the writer has handed
// to the driver (WParam bytes in Data).
inline constexpr std::uint32_t WM_COMM_WRITTEN = WM_USER + 5;

// Event mask bits of WM_COMM_EVENT.
inline constexpr std::uint32_t EV_RXCHAR = 0x0001;
inline constexpr std::uint32_t EV_RXFLAG = 0x0002;
inline constexpr std::uint32_t EV_TXEMPTY = 0x0004;
inline constexpr std::uint32_t EV_CTS = 0x0008;
inline constexpr std::uint32_t EV_DSR = 0x0010;
inline constexpr std::uint32_t EV_RLSD = 0x0020;
inline constexpr std::uint32_t EV_BREAK = 0x0040;
inline constexpr std::uint32_t EV_ERR = 0x0080;
inline constexpr std::uint32_t EV_RING = 0x0100;
inline constexpr std::uint32_t EV_PERR = 0x0200;
inline constexpr std::uint32_t EV_RX80FULL = 0x0400;

// Modem status bits (high 16 bits of a WM_COMM_EVENT lParam).
inline constexpr std::uint32_t MS_CTS_ON = 0x0010;
inline constexpr std::uint32_t MS_DSR_ON = 0x0020;
inline constexpr std::uint32_t MS_RING_ON = 0x0040;
inline constexpr std::uint32_t MS_RLSD_ON = 0x0080;

// Line error flags handed to OnError.
inline constexpr std::uint32_t CE_RXOVER = 0x0001;
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;
inline constexpr std::uint32_t CE_RXPARITY = 0x0004;
inline constexpr std::uint32_t CE_FRAME = 0x0008;
inline constexpr std::uint32_t CE_BREAK = 0x0010;

// One open of a TComm32. Messages name the open that posted them, so that a
// message still queued when that open has been closed raises nothing.
class TCommSession;

struct TCommMessage {
    std::uint32_t Msg = 0;
    std::uintptr_t WParam = 0;
    std::intptr_t LParam = 0;
    // WM_COMM_DATA: the chunk (WParam bytes) followed by one zero byte. It is
    // the message's own copy: nothing else writes it.
    std::vector<std::uint8_t> Data;
    // WM_COMM_EVENT with EV_ERR: the line error flags (CE_...) read with the event.
    std::uint32_t ErrorFlags = 0;
    // WM_COMM_DATA: when the reader read the chunk. WM_COMM_WRITTEN: when the
    // write of its last bytes began. Unset (the epoch) elsewhere.
    std::chrono::steady_clock::time_point Time{};
    // The open that posted the message; empty in a message made by hand.
    std::weak_ptr<TCommSession> Session;
};

// Where the serial threads post their messages: the owner thread's queue.
//
// A Qt window implements Post by forwarding to its own thread, for example
//   bool Post(TCommMessage m) override {
//       return QMetaObject::invokeMethod(this, [m = std::move(m)] { TComm32::Deliver(m); },
//                                        Qt::QueuedConnection);
//   }
// (or by calling its component's HandleMessage(m) in the lambda). MessageLoop
// is the implementation for owners without Qt.
class ICommMessageTarget {
  public:
    virtual ~ICommMessageTarget() = default;
    // Called on any thread. Queues `message` for the owner thread, keeping the
    // posting order, and returns at once. Returns false when it cannot queue.
    virtual bool Post(TCommMessage message) = 0;

    // Owner thread. Where the owner's loop can wait on a descriptor, it calls
    // `readable` on the owner thread whenever `port` has bytes to read or has
    // hung up, until UnwatchPort. The component then reads on the owner
    // thread, which saves the reader's wake-up and its message on every chunk.
    // False (the default) leaves the reading to the reader thread.
    virtual bool WatchPort(int port, std::function<void()> readable) {
        (void)port;
        (void)readable;
        return false;
    }
    // Owner thread. Stops the calls for `port`; none comes after it returns,
    // also when it is called from inside one of them.
    virtual void UnwatchPort(int port) { (void)port; }
};

}  // namespace vemkard
