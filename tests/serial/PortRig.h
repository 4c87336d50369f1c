// A port that others may hold: a pseudo-terminal with a line of its own and
// bytes waiting, a lock directory of the test's own and a TComm32 on both;
// and a process that holds a port without locking it.
#pragma once

#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "serial/Comm32.h"
#include "serial/MessageLoop.h"
#include "serial/posix/PtyPair.h"

namespace vemkard::testing {

// Bytes waiting to be read on `path`, seen through a descriptor of our own.
inline int Waiting(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    int count = -1;
    ::ioctl(fd, FIONREAD, &count);
    ::close(fd);
    return count;
}

struct PortRig {
    PtyPair pty;
    std::string lockDirectory;
    MessageLoop loop;
    TComm32 comm{loop};
    termios2 line{};  // as the test set it

    PortRig() {
        char name[] = "/tmp/vemkard-lock-XXXXXX";
        lockDirectory = ::mkdtemp(name);
        ::chmod(name, 01777);  // as /run/lock
        // A serial device as Debian has it: root's, for the dialout group.
        [[maybe_unused]] const int owned = ::chown(pty.SlaveName().c_str(), 0, 20);
        ::chmod(pty.SlaveName().c_str(), 0660);
        ::ioctl(pty.MasterFd(), TCGETS2, &line);  // the master reaches the slave's settings
        line.c_cflag = (line.c_cflag & ~CBAUD) | B4800 | CSTOPB;
        ::ioctl(pty.MasterFd(), TCSETS2, &line);
        ::ioctl(pty.MasterFd(), TCGETS2, &line);
        const std::uint8_t waiting[] = {1, 2, 3};
        pty.Write(waiting, std::chrono::seconds(5));
        // The pty hands them to the slave's side a moment later.
        for (int tries = 0; tries < 1000 && Waiting(pty.SlaveName()) != 3; ++tries) ::usleep(1000);
        comm.SetCommPort(pty.SlaveName());
        comm.SetLockDirectory(lockDirectory);
    }
    ~PortRig() {
        comm.ClosePort();
        std::filesystem::remove_all(lockDirectory);
    }
    std::string LockFile() const {
        return lockDirectory + "/LCK.." +
               std::filesystem::path(pty.SlaveName()).filename().string();
    }
    // Whether the line kept its settings and its waiting bytes.
    bool Untouched() const {
        termios2 now{};
        ::ioctl(pty.MasterFd(), TCGETS2, &now);
        return std::memcmp(&now, &line, sizeof now) == 0 && Waiting(pty.SlaveName()) == 3;
    }
};

// A process named "vemkard-holder" that holds `path` open, without a lock
// or an exclusive mode (nothing for an empty path), until it is destroyed.
class HolderProcess {
  public:
    explicit HolderProcess(const std::string& path = {}) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_NAME, "vemkard-holder");
            if (!path.empty()) ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            [[maybe_unused]] const auto n = ::write(ready[1], "", 1);
            for (;;) ::pause();
        }
        char byte;
        ::close(ready[1]);
        [[maybe_unused]] const auto n = ::read(ready[0], &byte, 1);
        ::close(ready[0]);
    }
    ~HolderProcess() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    HolderProcess(const HolderProcess&) = delete;
    HolderProcess& operator=(const HolderProcess&) = delete;
    int Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
};

// A lock file of the UUCP convention naming `pid`.
inline void WriteLockFile(const std::string& path, int pid) {
    if (std::FILE* file = std::fopen(path.c_str(), "w")) {
        std::fprintf(file, "%10d\n", pid);
        std::fclose(file);
    }
}

}  // namespace vemkard::testing
