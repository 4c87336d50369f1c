// RTS toggle on Linux: the driver's RS-485 mode, which raises RTS while it
// sends and drops it when the last bit has left (TIOCSRS485). Only a driver
// can time that; software cannot see when the UART has emptied.
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cstring>

#include "serial/posix/PortBackend.h"

namespace vemkard::serial_backend {

static_assert(sizeof(serial_rs485) == sizeof(Rs485State::saved));

bool RtsDropped(std::uint32_t flags, bool driverToggles) {
    switch (flags & kDcbRtsControlMask) {
        case 0:
            return true;
        // Without the driver's help RTS stays low: raised, it would hold an
        // RS-485 bus for as long as the port is open.
        case kDcbRtsControlToggle:
            return !driverToggles;
        default:
            return false;  // raised by the open, or driven by the handshake
    }
}

void ApplyRtsControl(PortHandle port, const TDcb& dcb, Rs485State& rs485) {
    bool toggles = false;
    if ((dcb.Flags & kDcbRtsControlMask) == kDcbRtsControlToggle) {
        serial_rs485 settings{};
        // A driver without RS-485 (a pty, most USB adapters) says ENOTTY.
        if (::ioctl(port, TIOCGRS485, &settings) == 0) {
            if (!rs485.changed) std::memcpy(rs485.saved.data(), &settings, sizeof settings);
            // The driver's delays and bus options stay as they were set up.
            settings.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
            settings.flags &= ~SER_RS485_RTS_AFTER_SEND;
            toggles = ::ioctl(port, TIOCSRS485, &settings) == 0;
            rs485.changed = rs485.changed || toggles;
        }
    } else {
        RestoreRs485(port, rs485);
    }
    if (RtsDropped(dcb.Flags, toggles)) {
        const int line = TIOCM_RTS;
        ::ioctl(port, TIOCMBIC, &line);
    }
}

void RestoreRs485(PortHandle port, Rs485State& rs485) {
    if (!rs485.changed) return;
    serial_rs485 settings{};
    std::memcpy(&settings, rs485.saved.data(), sizeof settings);
    ::ioctl(port, TIOCSRS485, &settings);
    rs485.changed = false;
}

}  // namespace vemkard::serial_backend
