#include "sim/SimEndpoint.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace vemkard {
namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void MakeRaw(int fd, speed_t speed, bool oddParity, const std::string& what) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) ThrowErrno("tcgetattr " + what);
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | CRTSCTS);
    if (oddParity) settings.c_cflag |= PARENB | PARODD;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (cfsetispeed(&settings, speed) != 0 || cfsetospeed(&settings, speed) != 0) {
        ThrowErrno("line speed " + what);
    }
    if (tcsetattr(fd, TCSANOW, &settings) != 0) ThrowErrno("tcsetattr " + what);
}

}  // namespace

ScopedFd& ScopedFd::operator=(ScopedFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

ScopedFd::~ScopedFd() {
    if (fd_ >= 0) ::close(fd_);
}

PseudoTerminal OpenPseudoTerminal() {
    PseudoTerminal pty;
    pty.master = ScopedFd(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!pty.master) ThrowErrno("posix_openpt");
    const int master = pty.master.Get();
    if (grantpt(master) != 0 || unlockpt(master) != 0) ThrowErrno("unlockpt");
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) ThrowErrno("ptsname_r");
    pty.slaveName = name;
    const int flags = fcntl(master, F_GETFL);
    if (flags < 0 || fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) ThrowErrno("fcntl");
    MakeRaw(master, B1000000, false, "master");
    // A slave descriptor of our own would hide the program's hang-ups, so the
    // slave is set up and closed at once; its settings stay with the pair.
    ScopedFd slave(open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!slave) ThrowErrno(std::string("open ") + name);
    MakeRaw(slave.Get(), B1000000, false, name);
    return pty;
}

ScopedFd OpenSerialDevice(const std::string& path) {
    ScopedFd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) ThrowErrno("open " + path);
    MakeRaw(fd.Get(), B1000000, true, path);
    tcflush(fd.Get(), TCIOFLUSH);
    return fd;
}

ScopedFd ListenOnSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        throw std::system_error(ENAMETOOLONG, std::generic_category(), path);
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    struct stat old {};
    if (::lstat(path.c_str(), &old) == 0 && S_ISSOCK(old.st_mode)) ::unlink(path.c_str());
    ScopedFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!listener) ThrowErrno("socket");
    if (::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        ThrowErrno("bind " + path);
    if (::listen(listener.Get(), 1) != 0) ThrowErrno("listen " + path);
    return listener;
}

ScopedFd AcceptConnection(const ScopedFd& listener) {
    ScopedFd line(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!line) ThrowErrno("accept");
    // The smallest send buffer: a few frames, as a UART's FIFO holds, not
    // hundreds of polls for a port that opens later.
    const int smallest = 1;
    ::setsockopt(line.Get(), SOL_SOCKET, SO_SNDBUF, &smallest, sizeof smallest);
    return line;
}

}  // namespace vemkard
