// Private to serial/: the operating system calls of the serial component.
// Everything here is a thin, blocking-or-not-as-said wrapper; the component
// and its threads decide what the results mean. The POSIX implementation is
// PortBackendPosix.cpp, with TermiosLinux.cpp for the line settings,
// RtsToggle.cpp for RS-485, PortLock.cpp for lock files and PortHolders.cpp
// for the other holders /proc shows; a Windows one would implement the same
// functions.
//
// Thread rules: every function may be called on any thread. A port handle is
// shared by the owner thread and both serial threads; the kernel keeps
// concurrent reads, writes and settings calls on one descriptor apart.
#pragma once

#include <sys/types.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "serial/Dcb.h"

namespace vemkard::serial_backend {

using PortHandle = int;
inline constexpr PortHandle kNoPort = -1;

// ----- open and close -------------------------------------------------------

// The lock directory of the UUCP convention (/run/lock on Debian).
inline constexpr const char* kLockDirectory = "/var/lock";

enum class OpenStatus { Opened, CannotOpen, NotCharDevice };

// Another process (or another descriptor of ours) that holds a port.
struct Holder {
    int pid = 0;       // 0 when the sign names nobody (an flock, an exclusive mode)
    std::string name;  // /proc/<pid>/comm where /proc shows it
};

struct OpenOptions {
    std::string lockDirectory = kLockDirectory;
    std::string procRoot = "/proc";
};

struct OpenResult {
    OpenStatus status = OpenStatus::CannotOpen;
    PortHandle port = kNoPort;
    int error = 0;         // errno for CannotOpen; EBUSY for a port somebody holds
    Holder holder;         // for EBUSY, who holds it where that is known
    std::string lockFile;  // ours, to remove at close; empty when none was made
};

// Opens `name` for reading and writing, non-blocking, unless somebody holds
// it: a live lock file, another descriptor on the device (this process's
// too), an exclusive mode or an flock refuse it with EBUSY before anything
// touches the line. Symbolic links (/dev/serial/by-id/...) are resolved
// first. Once open the port is held the same ways: our lock file, flock,
// TIOCEXCL. Checks that it is a character device.
OpenResult OpenDevice(const std::string& name, const OpenOptions& options = {});

// Lifts the exclusive hold, closes, and removes our lock file. Nothing for kNoPort.
void CloseDevice(PortHandle port, const std::string& lockFile);

// ----- busy ports (PortLock.cpp, PortHolders.cpp) ----------------------------------

enum class LockStatus { Taken, Busy, NoLockFile };

// "<directory>/LCK..<device file name>" for the resolved device path.
std::string LockFilePath(const std::string& directory, const std::string& device);
// Takes the lock file with our pid. A lock whose pid is alive (ours included)
// is Busy, with its holder; one whose pid is dead is stale and taken over.
// NoLockFile when the directory cannot be written.
LockStatus TakeLockFile(const std::string& path, Holder& holder, const std::string& procRoot);
// Removes the lock file if it still carries our pid.
void ReleaseLockFile(const std::string& path);

// True when `device` (a character device number) belongs to a terminal
// driver; other character devices (/dev/null) have no line to guard.
bool IsTerminalDevice(dev_t device, const std::string& procRoot);
// Looks through every process /proc lets us see, ours included, for a
// descriptor on `device`. Fills `holder` and returns true when one is found.
bool FindHolder(dev_t device, const std::string& procRoot, Holder& holder);
// The process name of `pid` (its comm), empty where /proc does not show it.
std::string ProcessName(int pid, const std::string& procRoot);

// ----- line settings (TermiosLinux.cpp, RtsToggle.cpp) ------------------------------

// Puts the line in raw mode with the settings of `dcb`. False when the
// settings are invalid, the driver rejects the call (a device that is no
// terminal fails here), or the rate it reads back is not the one asked for
// (RateTaken); the line then keeps the settings it had, and dcb.RateKept
// says what the driver read back. Other differences read back (a pty drops
// parity) are no rejection. Fills dcb's driver fields.
bool ApplySettings(PortHandle port, TDcb& dcb);

// The line settings and modem lines as a probe found them.
struct SavedLine {
    bool settingsKept = false;
    std::array<std::uint8_t, 64> settings{};  // the driver's termios2
    bool linesKept = false;
    int lines = 0;  // TIOCMGET
};
// Keeps the line settings and the modem lines (where the driver has them).
void SaveLine(PortHandle port, SavedLine& saved);
// Puts them back at once, without waiting for output to drain or flushing.
void RestoreLine(PortHandle port, const SavedLine& saved);

// After a successful open: forgets bytes that waited in the driver, and drops
// DTR where the settings leave it off.
void PrepareLine(PortHandle port, const TDcb& dcb);

// The driver's RS-485 settings as the open found them, put back at close.
struct Rs485State {
    bool changed = false;  // we set them: put `saved` back
    std::array<std::uint8_t, 32> saved{};
};
// RTS as the settings' RTS control has it: toggle is the driver's RS-485 mode
// with RTS on while sending (TIOCSRS485) where the driver has it; where it
// has not, and for RTS control disabled, RTS is dropped. Leaving toggle puts
// the driver's own RS-485 settings back.
void ApplyRtsControl(PortHandle port, const TDcb& dcb, Rs485State& rs485);
// Puts back the driver's RS-485 settings if ApplyRtsControl changed them.
void RestoreRs485(PortHandle port, Rs485State& rs485);
// Whether RTS must be dropped, given the RTS control bits of `flags` and
// whether the driver toggles RTS itself.
bool RtsDropped(std::uint32_t flags, bool driverToggles);

// Before the close: resumes output that flow control holds back, so that the
// close does not wait for the far end (the output has been purged by then).
void ReleaseOutput(PortHandle port);

// Discards the driver's input and/or output queue.
void Purge(PortHandle port, bool input, bool output);

// Escape functions by their Windows codes (5 SETDTR, 6 CLRDTR, 3 SETRTS,
// 4 CLRRTS, 8 SETBREAK, 9 CLRBREAK, 1 SETXOFF, 2 SETXON). Nonzero on success,
// 0 for an unknown code or when the driver refuses.
std::uint32_t Escape(PortHandle port, std::uint32_t function);

// Reads the output speed the driver runs: the rate of the speed bits, or the
// free rate for BOTHER (the kernel's own rule). False when it cannot.
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
    // Answered from memory, without a system call: the writer asks before
    // every frame. Exact for the close event; for an event whose Reset races
    // a Set, a wait decides.
    bool IsSet() const { return set_.load(std::memory_order_acquire); }
    int NativeHandle() const { return fd_; }

  private:
    int fd_;
    std::atomic<bool> set_{false};
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
// Waits for the close event alone, without limit.
WaitResult WaitClosed(const Event& close);

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
