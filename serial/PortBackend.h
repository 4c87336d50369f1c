// Private to serial/: the operating system calls of the serial component.
// Everything here is a thin, blocking-or-not-as-said wrapper; the component
// and its threads decide what the results mean. The POSIX implementation is
// PortBackendPosix.cpp (with TermiosLinux.cpp for the line settings); a Windows one would implement
// the same functions.
//
// Thread rules: every function may be called on any thread. A port handle is
// shared by the owner thread and both serial threads; the kernel keeps
// concurrent reads, writes and settings calls on one descriptor apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "serial/Dcb.h"

namespace vemkard::serial_backend {

using PortHandle = int;
inline constexpr PortHandle kNoPort = -1;

// ----- open and close -------------------------------------------------------

enum class OpenStatus { Opened, CannotOpen, NotCharDevice };

struct OpenResult {
    OpenStatus status = OpenStatus::CannotOpen;
    PortHandle port = kNoPort;
    int error = 0;  // errno of the failed call, for CannotOpen
};

// Opens `name` unchanged, for reading and writing, non-blocking, exclusive
// (no second opener, root included), and checks that it is a character device.
OpenResult OpenDevice(const std::string& name);

// Puts the line in raw mode with the settings of `dcb` (TermiosLinux.cpp).
// False when the settings are invalid or the driver rejects the call (a
// device that is no terminal fails here); what the driver then reads back
// differently is not a rejection. Fills dcb's driver fields.
bool ApplySettings(PortHandle port, TDcb& dcb);

// After a successful open: forgets bytes that waited in the driver, and drops
// DTR and RTS where the settings leave them off.
void PrepareLine(PortHandle port, const TDcb& dcb);

// Lifts the exclusive hold and closes. Nothing for kNoPort.
void CloseDevice(PortHandle port);

// Discards the driver's input and/or output queue.
void Purge(PortHandle port, bool input, bool output);

// Escape functions by their Windows codes (5 SETDTR, 6 CLRDTR, 3 SETRTS,
// 4 CLRRTS, 8 SETBREAK, 9 CLRBREAK, 1 SETXOFF, 2 SETXON). Nonzero on success,
// 0 for an unknown code or when the driver refuses.
std::uint32_t Escape(PortHandle port, std::uint32_t function);

// Reads the output speed as the driver holds it, any rate. False when it cannot.
bool GetBaudRate(PortHandle port, std::uint32_t& baud);

// ----- events -----------------------------------------------------------------

// A waitable flag (an eventfd). The close event is set once and never reset;
// the writer's doorbell is set by each request and reset by the writer.
class Event {
  public:
    Event();  // throws std::system_error when it cannot be made
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    void Set();
    void Reset();
    bool IsSet() const;
    int NativeHandle() const { return fd_; }

  private:
    int fd_;
};

enum class WaitResult {
    Closed,    // the close event is set
    Ready,     // the port (or the other event) is ready
    HungUp,    // the far end is gone
    TimedOut,  // nothing within the time limit
    Failed,    // the wait itself failed
};

// Waits for input on `port` or the close event; timeoutMs < 0 waits without limit.
WaitResult WaitReadable(PortHandle port, const Event& close, int timeoutMs);
// Waits for room to write on `port` or the close event, without limit.
WaitResult WaitWritable(PortHandle port, const Event& close);
// Waits for `other` or the close event, without limit. Ready means `other`.
WaitResult WaitEvent(const Event& close, const Event& other);

// ----- reading and writing ------------------------------------------------------

enum class IoStatus { Done, WouldBlock, HungUp, Failed };

struct IoResult {
    IoStatus status = IoStatus::Failed;
    std::size_t bytes = 0;
};

// Reads what is there, at most `size` bytes. End of file and EIO are HungUp.
IoResult ReadPort(PortHandle port, void* buffer, std::size_t size);
// Writes as much of the bytes as the driver takes now. EIO is HungUp.
IoResult WritePort(PortHandle port, const void* data, std::size_t size);

// ----- modem lines and line errors ------------------------------------------------

// The modem status as MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON bits.
// False when the driver has no modem lines (a pseudo-terminal).
bool GetModemStatus(PortHandle port, std::uint32_t& status);

struct LineCounters {
    std::uint32_t cts = 0, dsr = 0, ring = 0, rlsd = 0;
    std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufferOverrun = 0;
};
// The driver's interrupt counters. False when the driver keeps none.
bool GetLineCounters(PortHandle port, LineCounters& counters);

enum class ModemWaitResult { Changed, Interrupted, Unsupported, Failed };
// Blocks until a modem line changes. Returns Interrupted when the thread was
// woken by WakeThread; Unsupported when the driver cannot wait.
ModemWaitResult WaitModemChange(PortHandle port);

// Installs the wake-up signal's handler, once per process. Must run before a
// thread that may be woken starts: the signal's default action ends the process.
void InstallWakeSignal();
// Called by a thread that blocks in WaitModemChange, before it does: makes
// sure the wake-up signal reaches it.
void PrepareWakeSignal();
// Interrupts a blocking call of `thread` (which called PrepareWakeSignal).
// A wake that comes just before the call blocks is lost: repeat until the
// thread shows that it has ended.
void WakeThread(std::thread::native_handle_type thread);

}  // namespace vemkard::serial_backend
