// Little-endian 16-bit words, as every multi-byte field on the line is sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vemkard {

inline std::uint16_t ReadWord(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline void PutWord(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace vemkard
