// Lock files of the UUCP convention: "LCK..<device>" in the lock directory,
// holding the owner's pid as ten ASCII digits and a newline. Terminal
// programs such as minicom and picocom take and honour them.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <string_view>

#include "serial/posix/PortBackend.h"

namespace vemkard::serial_backend {
namespace {

// The pid a lock file names; 0 when it names none (empty or garbage).
int LockOwner(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return 0;
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return 0;
    std::string_view digits(text, static_cast<std::size_t>(n));
    while (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
    int pid = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    return pid > 0 ? pid : 0;
}

bool Alive(int pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// A file with our pid beside the lock, linked into place so that nobody ever
// reads a half-written lock. Empty when the directory cannot be written.
std::string WriteOwnLock(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const std::string temporary =
        path + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return {};
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
    const bool written = ::write(fd, text, static_cast<std::size_t>(length)) == length;
    ::close(fd);
    if (!written) {
        ::unlink(temporary.c_str());
        return {};
    }
    return temporary;
}

}  // namespace

std::string LockFilePath(const std::string& directory, const std::string& device) {
    const std::size_t slash = device.rfind('/');
    return directory + "/LCK.." + (slash == std::string::npos ? device : device.substr(slash + 1));
}

LockStatus TakeLockFile(const std::string& path, Holder& holder, const std::string& procRoot) {
    // Where the directory cannot be written (an ordinary user where the lock
    // group is not his), the port opens without a lock file: the other signs
    // still guard it, and refusing every port there would help nobody.
    const std::string own = WriteOwnLock(path);
    if (own.empty()) return LockStatus::NoLockFile;
    LockStatus status = LockStatus::Busy;
    // Two rounds: one to take over a stale lock, one to take it.
    for (int round = 0; round < 2; ++round) {
        if (::link(own.c_str(), path.c_str()) == 0) {
            status = LockStatus::Taken;
            break;
        }
        if (errno != EEXIST) {
            status = LockStatus::NoLockFile;
            break;
        }
        const int pid = LockOwner(path);
        if (pid != 0 && Alive(pid)) {
            holder = {pid, ProcessName(pid, procRoot)};
            break;
        }
        // Stale: its owner is gone. One we may not remove (root's, in a
        // sticky directory) stays, and the port opens without ours.
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            status = LockStatus::NoLockFile;
            break;
        }
    }
    ::unlink(own.c_str());
    return status;
}

void ReleaseLockFile(const std::string& path) {
    if (!path.empty() && LockOwner(path) == ::getpid()) ::unlink(path.c_str());
}

}  // namespace vemkard::serial_backend
