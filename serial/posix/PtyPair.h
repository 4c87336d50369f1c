// A pseudo-terminal that stands in for a serial line: the slave's path is
// opened like a port, and the master is the far end of the line.
//
// Thread rules: one thread uses a PtyPair at a time (it holds no lock).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vemkard {

class PtyPair {
  public:
    using Milliseconds = std::chrono::milliseconds;

    // Opens a master in raw, non-blocking mode. Throws std::system_error.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    // The path to open as the port, e.g. "/dev/pts/3".
    const std::string& SlaveName() const { return slaveName_; }
    // The master's descriptor; -1 after CloseMaster.
    int MasterFd() const { return master_; }
    // Closes the far end: the slave's reader sees a hang-up.
    void CloseMaster();

    // True while somebody holds the slave open (the master shows no hang-up).
    bool SlaveOpen() const;
    // Writes all bytes to the master, waiting for room up to `timeout`.
    // False on timeout or error.
    bool Write(std::span<const std::uint8_t> bytes, Milliseconds timeout);
    // Waits up to `timeout` for bytes and returns what is there (empty on
    // timeout, or when the slave is not open).
    std::vector<std::uint8_t> Read(Milliseconds timeout);
    // Reads until `count` bytes have come or `timeout` has passed.
    std::vector<std::uint8_t> ReadExactly(std::size_t count, Milliseconds timeout);

  private:
    int master_ = -1;
    std::string slaveName_;
};

}  // namespace vemkard
