// The simulator's end of the line: the master side of a fresh
// pseudo-terminal, a real serial device set up as the console's port, or a
// unix socket that a virtual machine's serial port (a QEMU chardev) connects to.
#pragma once

#include <string>
#include <utility>

namespace vemkard {

// Owns one file descriptor.
class ScopedFd {
  public:
    ScopedFd() = default;
    explicit ScopedFd(int fd) : fd_(fd) {}
    ScopedFd(ScopedFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    ScopedFd& operator=(ScopedFd&& other) noexcept;
    ScopedFd(const ScopedFd&) = delete;
    ScopedFd& operator=(const ScopedFd&) = delete;
    ~ScopedFd();

    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

struct PseudoTerminal {
    ScopedFd master;
    std::string slaveName;  // the path the program opens
};

// Opens a pseudo-terminal pair: the master non-blocking and raw, the slave
// set raw once (so that it does not echo before the program has opened it)
// and closed again, so that the master reports a hang-up until the program
// opens it. Throws std::system_error.
PseudoTerminal OpenPseudoTerminal();

// Opens a serial device as the console's port: raw, 8 data bits, odd
// parity, 1 stop bit, no flow control, 1000000 baud. Throws std::system_error.
ScopedFd OpenSerialDevice(const std::string& path);

// Listens on a unix socket at `path`, replacing a socket left there.
// Throws std::system_error.
ScopedFd ListenOnSocket(const std::string& path);

// Waits for one connection on `listener` and returns it non-blocking, with
// the smallest send buffer.
// Throws std::system_error, also when a signal interrupts the wait.
ScopedFd AcceptConnection(const ScopedFd& listener);

}  // namespace vemkard
