// Line settings through the kernel's termios2 (TCGETS2/TCSETS2), which takes
// any rate with BOTHER. The C library's tcsetattr is not used: on a
// pseudo-terminal the kernel drops PARENB, and tcsetattr then reports EINVAL
// although every other setting was taken. This file includes only the
// kernel's terminal headers, whose struct termios clashes with <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include "serial/posix/PortBackend.h"

namespace vemkard::serial_backend {
namespace {

constexpr std::array<std::pair<std::uint32_t, unsigned>, 30> kStandardRates{{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

// The rate's B-constant, or BOTHER for a rate that has none.
unsigned SpeedBits(std::uint32_t baud) {
    for (const auto& [rate, constant] : kStandardRates) {
        if (rate == baud) return constant;
    }
    return BOTHER;
}

// The rate the line runs, as the kernel reads it: the speed bits decide, and
// only BOTHER takes the free rate. A driver may leave c_ospeed at what was
// asked (a locked termios does) while the bits say what it runs.
std::uint32_t RunningRate(const termios2& tio) {
    const unsigned bits = tio.c_cflag & CBAUD;
    if (bits == BOTHER) return tio.c_ospeed;
    for (const auto& [rate, constant] : kStandardRates) {
        if (constant == bits) return rate;
    }
    return 0;
}

bool SetTermios(PortHandle port, const termios2& tio) {
    int rc;
    do {
        rc = ::ioctl(port, TCSETS2, &tio);
    } while (rc != 0 && errno == EINTR);
    return rc == 0;
}

static_assert(sizeof(termios2) <= sizeof(SavedLine::settings));

}  // namespace

bool ApplySettings(PortHandle port, TDcb& dcb) {
    dcb.RateKept = 0;
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.BaudRate == 0) {
        errno = EINVAL;
        return false;
    }
    termios2 tio{};
    if (::ioctl(port, TCGETS2, &tio) != 0) return false;
    const termios2 before = tio;

    // Raw: no echo, no line editing, no signals, bytes as they are both ways.
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                     IXANY | INPCK | IUCLC | IMAXBEL);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &=
        ~(CBAUD | (CBAUD << IBSHIFT) | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;

    static constexpr unsigned kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[dcb.ByteSize - 5];
    switch (dcb.Parity) {
        case kNoParity:
            break;
        case kOddParity:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case kEvenParity:
            tio.c_cflag |= PARENB;
            break;
        case kMarkParity:
            tio.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case kSpaceParity:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            errno = EINVAL;
            return false;
    }
    switch (dcb.StopBits) {
        case kOneStopBit:
            break;
        // With 5 data bits the UART sends 1.5 stop bits for CSTOPB.
        case kOne5StopBits:
        case kTwoStopBits:
            tio.c_cflag |= CSTOPB;
            break;
        default:
            errno = EINVAL;
            return false;
    }
    if (dcb.Flags & kDcbParityCheck) tio.c_iflag |= INPCK;
    if (dcb.Flags & kDcbOutX) tio.c_iflag |= IXON;
    if (dcb.Flags & kDcbInX) tio.c_iflag |= IXOFF;
    // RTS handshake is CRTSCTS; RTS toggle has no termios form and runs as no flow control.
    if ((dcb.Flags & kDcbRtsControlMask) == kDcbRtsControlHandshake) tio.c_cflag |= CRTSCTS;

    // Input speed bits left 0: the input runs at the output speed.
    tio.c_cflag |= SpeedBits(dcb.BaudRate);
    tio.c_ispeed = dcb.BaudRate;
    tio.c_ospeed = dcb.BaudRate;
    if (!SetTermios(port, tio)) return false;
    // Drivers take a rate they cannot run and substitute another.
    termios2 taken{};
    if (::ioctl(port, TCGETS2, &taken) != 0 || !RateTaken(dcb.BaudRate, RunningRate(taken))) {
        dcb.RateKept = RunningRate(taken);
        // The line settings go back, the echo does not: until the close, a
        // console that polls would get its polls back.
        termios2 back = before;
        back.c_lflag &= ~(ECHO | ECHONL);
        SetTermios(port, back);
        errno = EINVAL;
        return false;
    }

    dcb.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    dcb.EofChar = static_cast<char>(tio.c_cc[VEOF]);
    return true;
}

bool GetBaudRate(PortHandle port, std::uint32_t& baud) {
    termios2 tio{};
    if (::ioctl(port, TCGETS2, &tio) != 0) return false;
    baud = RunningRate(tio);
    return true;
}

void SaveLine(PortHandle port, SavedLine& saved) {
    termios2 tio{};
    saved.settingsKept = ::ioctl(port, TCGETS2, &tio) == 0;
    std::memcpy(saved.settings.data(), &tio, sizeof tio);
    saved.linesKept = ::ioctl(port, TIOCMGET, &saved.lines) == 0;
}

void RestoreLine(PortHandle port, const SavedLine& saved) {
    // Settings first: a rate changed from or to zero moves DTR and RTS,
    // which the modem lines then put back.
    if (saved.settingsKept) {
        termios2 tio{};
        std::memcpy(&tio, saved.settings.data(), sizeof tio);
        SetTermios(port, tio);  // TCSETS2 applies at once, with no drain
    }
    if (saved.linesKept) ::ioctl(port, TIOCMSET, &saved.lines);
}

void ReleaseOutput(PortHandle port) {
    // Output held by our own SETXOFF, or by the far end through CTS or XOFF:
    // a USB adapter keeps what it was sent, and the close would wait for it
    // as long as the driver's closing_wait (30 s by default).
    ::ioctl(port, TCXONC, TCOON);
    termios2 tio{};
    if (::ioctl(port, TCGETS2, &tio) != 0) return;
    if ((tio.c_cflag & CRTSCTS) == 0 && (tio.c_iflag & IXON) == 0) return;
    tio.c_cflag &= ~CRTSCTS;
    tio.c_iflag &= ~IXON;
    SetTermios(port, tio);
}

}  // namespace vemkard::serial_backend
