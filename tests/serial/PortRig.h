// A port for the exclusivity tests: a pseudo-terminal with a line of its own
// and bytes waiting, a lock directory of the test's own, and a TComm32 on
// both; other holders (a process, a lock file); and a way to run a check as
// an ordinary user. Checks report in text, since they may run in a child.
#pragma once

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "serial/Comm32.h"
#include "serial/MessageLoop.h"
#include "serial/PtyPair.h"

namespace vemkard::testing {

inline constexpr gid_t kDialout = 20;
inline constexpr uid_t kNobody = 65534;
inline constexpr char kHolderName[] = "vemkard-holder";

// The slave's line settings, read through the master.
using Line = std::array<std::uint8_t, sizeof(termios2)>;
inline Line LineOf(const PtyPair& pty) {
    termios2 tio{};
    ::ioctl(pty.MasterFd(), TCGETS2, &tio);
    Line line;
    std::memcpy(line.data(), &tio, sizeof tio);
    return line;
}

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
    Line line;  // what the line was set to before the test touched it

    PortRig() {
        char name[] = "/tmp/vemkard-lock-XXXXXX";
        lockDirectory = ::mkdtemp(name);
        ::chmod(name, 01777);  // as /run/lock
        // A serial device as Debian has it: root's, for the dialout group.
        [[maybe_unused]] const int owned = ::chown(pty.SlaveName().c_str(), 0, kDialout);
        ::chmod(pty.SlaveName().c_str(), 0660);
        termios2 tio{};
        ::ioctl(pty.MasterFd(), TCGETS2, &tio);
        tio.c_cflag = (tio.c_cflag & ~CBAUD) | B4800 | CSTOPB;
        ::ioctl(pty.MasterFd(), TCSETS2, &tio);
        const std::uint8_t waiting[] = {1, 2, 3};
        pty.Write(waiting, std::chrono::seconds(5));
        // The pty hands them to the slave's side a moment later.
        for (int tries = 0; tries < 1000 && Waiting(pty.SlaveName()) != 3; ++tries) ::usleep(1000);
        line = LineOf(pty);
        comm.SetCommPort(pty.SlaveName());
        comm.SetLockDirectory(lockDirectory);
    }
    ~PortRig() {
        comm.ClosePort();
        std::error_code error;
        std::filesystem::remove_all(lockDirectory, error);
    }
    std::string LockFile() const {
        return lockDirectory + "/LCK.." +
               std::filesystem::path(pty.SlaveName()).filename().string();
    }
    // Whether the line kept its settings and its waiting bytes.
    bool Untouched() const { return LineOf(pty) == line && Waiting(pty.SlaveName()) == 3; }
};

// A lock file of the UUCP convention naming `pid`.
inline void WriteLockFile(const std::string& path, int pid) {
    if (std::FILE* file = std::fopen(path.c_str(), "w")) {
        std::fprintf(file, "%10d\n", pid);
        std::fclose(file);
    }
}

// A process that holds `path` open (without a lock or an exclusive mode), or
// nothing for an empty path, until it is destroyed; named kHolderName.
class HolderProcess {
  public:
    explicit HolderProcess(const std::string& path = {}) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::prctl(PR_SET_NAME, kHolderName);
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

// A pid that no process has: one that has just ended.
inline int DeadPid() {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

// Collects what went wrong; empty when everything held.
struct Report {
    std::string text;
    void Check(bool ok, const std::string& what) {
        if (!ok) text += what + "\n";
    }
};

// Runs `check` on a fresh rig as we are, and, when we are root, once more in
// a child that has become nobody in the dialout group. Each run's report is
// returned after the user it ran as.
inline std::string AsRootAndOrdinaryUser(const std::function<void(PortRig&, Report&)>& check) {
    std::string all;
    {
        PortRig rig;
        Report report;
        check(rig, report);
        if (!report.text.empty())
            all += "as uid " + std::to_string(::geteuid()) + ":\n" + report.text;
    }
    if (::geteuid() != 0) return all;
    PortRig rig;
    int out[2];
    if (::pipe(out) != 0) return all + "no pipe\n";
    const pid_t child = ::fork();
    if (child == 0) {
        Report report;
        const gid_t groups[] = {kDialout};
        if (::setgroups(1, groups) != 0 || ::setgid(kDialout) != 0 || ::setuid(kNobody) != 0) {
            report.text = "cannot become nobody\n";
        } else {
            // As a program a user starts: /proc shows his processes to him.
            ::prctl(PR_SET_DUMPABLE, 1);
            check(rig, report);
            rig.comm.ClosePort();
        }
        [[maybe_unused]] const auto n = ::write(out[1], report.text.data(), report.text.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    ::close(out[0]);
    ::waitpid(child, nullptr, 0);
    if (!text.empty()) all += "as nobody:\n" + text;
    return all;
}

}  // namespace vemkard::testing
