// The line settings record of the serial component: the fields of a Windows
// DCB that the component keeps, with the same codes and flag bits, so that
// settings stored by name keep their meaning on every platform.
#pragma once

#include <cstdint>

namespace vemkard {

// Bits of TDcb::Flags.
inline constexpr std::uint32_t kDcbBinary = 0x0001;
inline constexpr std::uint32_t kDcbParityCheck = 0x0002;
inline constexpr std::uint32_t kDcbOutxCtsFlow = 0x0004;
inline constexpr std::uint32_t kDcbOutxDsrFlow = 0x0008;
inline constexpr std::uint32_t kDcbDtrControlMask = 0x0030;
inline constexpr std::uint32_t kDcbOutX = 0x0100;
inline constexpr std::uint32_t kDcbInX = 0x0200;
inline constexpr std::uint32_t kDcbRtsControlMask = 0x3000;
inline constexpr std::uint32_t kDcbRtsControlEnable = 0x1000;
inline constexpr std::uint32_t kDcbRtsControlHandshake = 0x2000;
inline constexpr std::uint32_t kDcbRtsControlToggle = 0x3000;

// Parity codes (NOPARITY ... SPACEPARITY) and stop bit codes (ONESTOPBIT ...).
inline constexpr std::uint8_t kNoParity = 0;
inline constexpr std::uint8_t kOddParity = 1;
inline constexpr std::uint8_t kEvenParity = 2;
inline constexpr std::uint8_t kMarkParity = 3;
inline constexpr std::uint8_t kSpaceParity = 4;
inline constexpr std::uint8_t kOneStopBit = 0;
inline constexpr std::uint8_t kOne5StopBits = 1;
inline constexpr std::uint8_t kTwoStopBits = 2;

struct TDcb {
    std::uint32_t DCBlength = 28;
    std::uint32_t BaudRate = 9600;
    std::uint32_t Flags = kDcbBinary;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = kNoParity;
    std::uint8_t StopBits = kOneStopBit;
    char EvtChar = 0;
    // The driver's flow control characters, read back by each open.
    char XonChar = 0;
    char XoffChar = 0;
    char EofChar = 0;
    // The rate the driver kept when it took the settings but not the rate
    // (it read back another); 0 otherwise.
    std::uint32_t RateKept = 0;
};

// Whether a driver that runs `actual` when asked for `wanted` has taken the
// rate: within 2 %, about what a UART at the other end still tolerates.
// Drivers substitute a rate they cannot run rather than refuse it.
constexpr bool RateTaken(std::uint32_t wanted, std::uint32_t actual) {
    const std::uint64_t difference = wanted > actual ? wanted - actual : actual - wanted;
    return difference * 50 <= wanted;
}

}  // namespace vemkard
