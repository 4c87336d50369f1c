#include "serial/posix/PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace vemkard {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PtyPair::PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) Fail("posix_openpt");
    char name[128] = {};
    termios tio{};
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0 || ::tcgetattr(master_, &tio) != 0) {
        const int error = errno;
        ::close(master_);
        errno = error;
        Fail("pseudo-terminal");
    }
    ::cfmakeraw(&tio);
    ::tcsetattr(master_, TCSANOW, &tio);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    slaveName_ = name;
}

PtyPair::~PtyPair() {
    CloseMaster();
}

void PtyPair::CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

bool PtyPair::SlaveOpen() const {
    pollfd fd{master_, 0, 0};
    return master_ >= 0 && ::poll(&fd, 1, 0) >= 0 && (fd.revents & POLLHUP) == 0;
}

bool PtyPair::Write(std::span<const std::uint8_t> bytes, Milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + offset, bytes.size() - offset);
        if (n > 0) {
            offset += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd fd{master_, POLLOUT, 0};
        if (::poll(&fd, 1, RemainingMs(deadline)) <= 0) return false;
    }
    return true;
}

std::vector<std::uint8_t> PtyPair::Read(Milliseconds timeout) {
    std::vector<std::uint8_t> bytes(65536);
    pollfd fd{master_, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0 || (fd.revents & POLLIN) == 0) {
        return {};
    }
    const ssize_t n = ::read(master_, bytes.data(), bytes.size());
    bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return bytes;
}

std::vector<std::uint8_t> PtyPair::ReadExactly(std::size_t count, Milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::vector<std::uint8_t> bytes;
    while (bytes.size() < count && Clock::now() < deadline) {
        const auto part = Read(Milliseconds(RemainingMs(deadline)));
        if (part.empty() && !SlaveOpen()) break;  // nobody left to send
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

}  // namespace vemkard
