// The serial component's system calls on Linux: termios, poll, eventfd, ioctl.
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <system_error>

#include "serial/CommMessage.h"
#include "serial/posix/PortBackend.h"

namespace vemkard::serial_backend {
namespace {

// The signal that interrupts a thread blocked in TIOCMIWAIT. Real-time
// signals are not sent by the system on its own, so nothing else wakes it.
int WakeSignal() {
    return SIGRTMIN + 5;
}

void NoAction(int) {}

// Restarts a call that a signal handler installed without SA_RESTART
// interrupted; only the modem-line wait wants to see EINTR.
template <typename Call>
auto Retry(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

WaitResult PollTwo(pollfd (&fds)[2], int timeoutMs) {
    const int n = Retry([&] { return ::poll(fds, 2, timeoutMs); });
    if (n < 0) return WaitResult::Failed;
    if (n == 0) return WaitResult::TimedOut;
    if (fds[0].revents != 0) return WaitResult::Closed;
    if (fds[1].revents & POLLNVAL) return WaitResult::Failed;
    // Data that came before the hang-up is still read first.
    if (fds[1].revents & fds[1].events) return WaitResult::Ready;
    if (fds[1].revents & (POLLHUP | POLLERR)) return WaitResult::HungUp;
    return WaitResult::Failed;
}

OpenResult Busy(const Holder& holder = {}) {
    OpenResult result;
    result.error = EBUSY;
    result.holder = holder;
    return result;
}

// The signs that need no descriptor of ours: a live lock file (taken for us
// when there is none) and another descriptor on the device. Nothing is
// opened until they have passed, since opening a terminal already raises
// its DTR and RTS.
OpenResult CheckBeforeOpen(const std::string& device, dev_t number, const OpenOptions& options) {
    OpenResult result;
    result.status = OpenStatus::Opened;
    if (!IsTerminalDevice(number, options.procRoot)) return result;
    const std::string lockFile = LockFilePath(options.lockDirectory, device);
    Holder holder;
    const LockStatus lock = TakeLockFile(lockFile, holder, options.procRoot);
    if (lock == LockStatus::Busy) return Busy(holder);
    if (lock == LockStatus::Taken) result.lockFile = lockFile;
    if (FindHolder(number, options.procRoot, holder)) {
        ReleaseLockFile(result.lockFile);
        return Busy(holder);
    }
    return result;
}

}  // namespace

OpenResult OpenDevice(const std::string& name, const OpenOptions& options) {
    // A link such as /dev/serial/by-id/... stands for the device it names.
    char resolved[PATH_MAX];
    const std::string device = ::realpath(name.c_str(), resolved) ? resolved : name;
    struct stat info {};
    OpenResult result;
    if (::stat(device.c_str(), &info) == 0 && S_ISCHR(info.st_mode)) {
        result = CheckBeforeOpen(device, info.st_rdev, options);
        if (result.status != OpenStatus::Opened) return result;
    }
    const auto fail = [&](OpenStatus status, int error, int fd) {
        if (fd >= 0) ::close(fd);
        ReleaseLockFile(result.lockFile);
        OpenResult failed;
        failed.status = status;
        failed.error = error;
        return failed;
    };

    const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(OpenStatus::CannotOpen, errno, -1);
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode))
        return fail(OpenStatus::NotCharDevice, 0, fd);
    // A holder that made the port exclusive, or took an flock, but that
    // /proc does not show us. TIOCEXCL turns away only openers who are not
    // root, so root must ask.
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0)
        return fail(OpenStatus::CannotOpen, EBUSY, fd);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return fail(OpenStatus::CannotOpen, errno == EWOULDBLOCK ? EBUSY : errno, fd);
    ::ioctl(fd, TIOCEXCL);  // refused by a device that is no terminal: that shows later
    result.status = OpenStatus::Opened;
    result.port = fd;
    return result;
}

void PrepareLine(PortHandle port, const TDcb& dcb) {
    ::tcflush(port, TCIOFLUSH);
    // Opening a terminal raises DTR; the settings keep it off until the
    // owner raises it. Drivers without modem lines refuse: nothing to do.
    if ((dcb.Flags & kDcbDtrControlMask) == 0) {
        const int line = TIOCM_DTR;
        ::ioctl(port, TIOCMBIC, &line);
    }
}

void CloseDevice(PortHandle port, const std::string& lockFile) {
    if (port == kNoPort) return;
    ::ioctl(port, TIOCNXCL);
    ::close(port);
    ReleaseLockFile(lockFile);
}

void Purge(PortHandle port, bool input, bool output) {
    if (input && output) {
        ::tcflush(port, TCIOFLUSH);
    } else if (input) {
        ::tcflush(port, TCIFLUSH);
    } else if (output) {
        ::tcflush(port, TCOFLUSH);
    }
}

std::uint32_t Escape(PortHandle port, std::uint32_t function) {
    if (port == kNoPort) return 0;
    int line = 0;
    int rc = -1;
    switch (function) {
        case 1:
            rc = ::tcflow(port, TCOOFF);
            break;  // SETXOFF
        case 2:
            rc = ::tcflow(port, TCOON);
            break;  // SETXON
        case 3:
            line = TIOCM_RTS;
            rc = ::ioctl(port, TIOCMBIS, &line);
            break;
        case 4:
            line = TIOCM_RTS;
            rc = ::ioctl(port, TIOCMBIC, &line);
            break;
        case 5:
            line = TIOCM_DTR;
            rc = ::ioctl(port, TIOCMBIS, &line);
            break;
        case 6:
            line = TIOCM_DTR;
            rc = ::ioctl(port, TIOCMBIC, &line);
            break;
        case 8:
            rc = ::ioctl(port, TIOCSBRK);
            break;
        case 9:
            rc = ::ioctl(port, TIOCCBRK);
            break;
        default:
            return 0;
    }
    return rc == 0 ? 1 : 0;
}

// ----- events -----------------------------------------------------------------

Event::Event() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

Event::~Event() {
    ::close(fd_);
}

void Event::Set() {
    set_.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    // Only a counter at its maximum refuses, and then the event is set anyway.
    [[maybe_unused]] const auto n = Retry([&] { return ::write(fd_, &one, sizeof one); });
}

void Event::Reset() {
    set_.store(false, std::memory_order_release);
    std::uint64_t value = 0;
    [[maybe_unused]] const auto n = Retry([&] { return ::read(fd_, &value, sizeof value); });
}

WaitResult WaitReadable(PortHandle port, const Event& close, int timeoutMs) {
    pollfd fds[2] = {{close.NativeHandle(), POLLIN, 0}, {port, POLLIN, 0}};
    return PollTwo(fds, timeoutMs);
}

WaitResult WaitWritable(PortHandle port, const Event& close) {
    pollfd fds[2] = {{close.NativeHandle(), POLLIN, 0}, {port, POLLOUT, 0}};
    return PollTwo(fds, -1);
}

WaitResult WaitEvent(const Event& close, const Event& other) {
    pollfd fds[2] = {{close.NativeHandle(), POLLIN, 0}, {other.NativeHandle(), POLLIN, 0}};
    return PollTwo(fds, -1);
}

WaitResult WaitClosed(const Event& close) {
    // A negative descriptor is left out by poll.
    pollfd fds[2] = {{close.NativeHandle(), POLLIN, 0}, {-1, 0, 0}};
    return PollTwo(fds, -1);
}

// ----- reading and writing ------------------------------------------------------

IoResult ReadPort(PortHandle port, void* buffer, std::size_t size) {
    const ssize_t n = Retry([&] { return ::read(port, buffer, size); });
    if (n > 0) return {IoStatus::Done, static_cast<std::size_t>(n)};
    if (n == 0) return {IoStatus::HungUp, 0};
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {IoStatus::WouldBlock, 0};
    if (errno == EIO) return {IoStatus::HungUp, 0};
    return {IoStatus::Failed, 0};
}

IoResult WritePort(PortHandle port, const void* data, std::size_t size) {
    const ssize_t n = Retry([&] { return ::write(port, data, size); });
    if (n >= 0) return {IoStatus::Done, static_cast<std::size_t>(n)};
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {IoStatus::WouldBlock, 0};
    if (errno == EIO) return {IoStatus::HungUp, 0};
    return {IoStatus::Failed, 0};
}

// ----- modem lines and line errors ------------------------------------------------

bool GetModemStatus(PortHandle port, std::uint32_t& status) {
    int lines = 0;
    if (::ioctl(port, TIOCMGET, &lines) != 0) return false;
    status = 0;
    if (lines & TIOCM_CTS) status |= MS_CTS_ON;
    if (lines & TIOCM_DSR) status |= MS_DSR_ON;
    if (lines & TIOCM_RNG) status |= MS_RING_ON;
    if (lines & TIOCM_CD) status |= MS_RLSD_ON;
    return true;
}

bool GetLineCounters(PortHandle port, LineCounters& counters) {
    serial_icounter_struct icount{};
    if (::ioctl(port, TIOCGICOUNT, &icount) != 0) return false;
    const auto u = [](int v) { return static_cast<std::uint32_t>(v); };
    counters = {u(icount.cts),    u(icount.dsr),   u(icount.rng),
                u(icount.dcd),    u(icount.frame), u(icount.overrun),
                u(icount.parity), u(icount.brk),   u(icount.buf_overrun)};
    return true;
}

ModemWaitResult WaitModemChange(PortHandle port) {
    const int lines = TIOCM_CTS | TIOCM_DSR | TIOCM_RNG | TIOCM_CD;
    // No Retry: EINTR is how the closer wakes this call.
    if (::ioctl(port, TIOCMIWAIT, lines) == 0) return ModemWaitResult::Changed;
    if (errno == EINTR) return ModemWaitResult::Interrupted;
    if (errno == ENOTTY || errno == EINVAL) return ModemWaitResult::Unsupported;
    return ModemWaitResult::Failed;
}

void InstallWakeSignal() {
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action {};
        action.sa_handler = NoAction;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: the blocked call must return EINTR
        ::sigaction(WakeSignal(), &action, nullptr);
    });
}

void PrepareWakeSignal() {
    InstallWakeSignal();
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, WakeSignal());
    ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void WakeThread(std::thread::native_handle_type thread) {
    ::pthread_kill(thread, WakeSignal());
}

}  // namespace vemkard::serial_backend
