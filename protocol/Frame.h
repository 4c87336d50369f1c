// Frame layer of the console protocol: the shape of every frame on the line
// and its checksum. The same in both directions.
//
//   prefix (4) | L (1) | command (1) | payload (L - 1) | checksum (1)
//
// The checksum byte is 0xFF minus the 8-bit sum of all bytes before it, so the
// 8-bit sum over a whole valid frame is 0xFF.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vemkard {

// Written and compared by sender and receiver, in this order.
inline constexpr std::array<std::uint8_t, 4> kFramePrefix{0x5C, 0x59, 0x53, 0x57};
inline constexpr std::size_t kFramePrefixSize = kFramePrefix.size();
// Prefix, length byte and checksum: a frame is L + kFrameOverhead bytes long.
inline constexpr std::size_t kFrameOverhead = 6;
// The smallest frame that carries a command (L = 1).
inline constexpr std::size_t kMinCommandFrame = 7;
// The program builds frames in a buffer of this size, so it never sends L > 250.
inline constexpr std::size_t kFrameBufferSize = 256;
inline constexpr int kMaxSentLength = 250;
inline constexpr int kMaxSentPayload = kMaxSentLength - 1;

enum TCommand : std::uint8_t {
    cmPoll = 0,
    cmProgramFlash = 1,
    cmVerifyFlash = 2,
    cmProgramEeprom = 3,
    cmVerifyEeprom = 4,
    cmReadDirectory = 16,
    cmReadEntry = 17,
    cmReadFreeSpace = 18,
    cmClearAll = 19,
    cmDeleteFile = 20,
    cmCreateFile = 21,
    cmWriteBlock = 22,
};

// Checksum of the frame that starts at `frame` (first prefix byte). Reads the
// length byte at offset 4 and covers offsets 0 .. L + 4. The caller guarantees
// that those bytes exist.
std::uint8_t FrameChecksum(const std::uint8_t* frame);

// True when the byte at offset L + 5 equals FrameChecksum. The caller has
// matched the prefix and made sure all L + 6 bytes are present.
bool CheckFrame(const std::uint8_t* frame);

// Builds a frame into `out` (room for at least body[0] + 6 bytes) from `body`:
// the length byte L, the command code and the L - 1 payload bytes, in that
// order, as a queue entry keeps them. Returns the frame length L + 6.
std::size_t BuildFrame(const std::uint8_t* body, std::uint8_t* out);

// The receiver's walk over bytes[0, size) from `from`: the position of the
// next complete frame with a valid checksum, or nothing once the walk must
// wait for more bytes. `from` is moved to where the walk stopped; no frame
// starts before it. A matched prefix whose checksum fails is a false start:
// the walk goes on at the very next byte, not behind the supposed frame.
std::optional<int> NextFrame(const std::uint8_t* bytes, int& from, int size);

// "cmPoll", "cmReadEntry", ...; nullptr for a code outside the command table.
const char* CommandName(std::uint8_t command);

// Convenience for peers and tests: the whole frame of `command` with `payload`.
// The payload must be at most 254 bytes (L fits one byte).
std::vector<std::uint8_t> MakeFrame(std::uint8_t command,
                                    std::span<const std::uint8_t> payload = {});

// A received frame seen from its length byte on, read in place. Valid only
// while the frame is being dispatched.
struct TReplyRecord {
    const std::uint8_t* bytes = nullptr;

    std::uint8_t Length() const { return bytes[0]; }
    // Only meaningful when Length() >= 1: a frame with L = 0 carries no command.
    std::uint8_t Command() const { return bytes[1]; }
    std::span<const std::uint8_t> Payload() const {
        return {bytes + 2, Length() > 0 ? std::size_t{Length()} - 1u : 0u};
    }
};

}  // namespace vemkard
