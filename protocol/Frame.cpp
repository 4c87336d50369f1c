#include "protocol/Frame.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace vemkard {

std::uint8_t FrameChecksum(const std::uint8_t* frame) {
    const std::size_t covered = std::size_t{frame[kFramePrefixSize]} + 5;
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < covered; ++i) sum = static_cast<std::uint8_t>(sum + frame[i]);
    return static_cast<std::uint8_t>(0xFF - sum);
}

bool CheckFrame(const std::uint8_t* frame) {
    const std::size_t length = frame[kFramePrefixSize];
    return frame[length + 5] == FrameChecksum(frame);
}

std::size_t BuildFrame(const std::uint8_t* body, std::uint8_t* out) {
    const std::size_t length = body[0];
    std::copy(kFramePrefix.begin(), kFramePrefix.end(), out);
    std::copy(body, body + length + 1, out + kFramePrefixSize);
    out[length + 5] = FrameChecksum(out);
    return length + kFrameOverhead;
}

std::optional<int> NextFrame(const std::uint8_t* bytes, int& from, int size) {
    while (from + 6 < size) {
        const std::uint8_t* at = bytes + from;
        if (!std::equal(kFramePrefix.begin(), kFramePrefix.end(), at)) {
            // Skip straight to the next possible prefix start.
            const std::uint8_t* end = bytes + size - 6;
            const auto* next = static_cast<const std::uint8_t*>(
                std::memchr(at + 1, kFramePrefix[0], static_cast<std::size_t>(end - at - 1)));
            from = static_cast<int>((next ? next : end) - bytes);
            continue;
        }
        if (at[kFramePrefixSize] > size - from - 6) break;  // the rest has not arrived yet
        if (CheckFrame(at)) return from;
        ++from;  // a false start: rescan from the very next byte
    }
    return std::nullopt;
}

const char* CommandName(std::uint8_t command) {
    switch (command) {
        case cmPoll:
            return "cmPoll";
        case cmProgramFlash:
            return "cmProgramFlash";
        case cmVerifyFlash:
            return "cmVerifyFlash";
        case cmProgramEeprom:
            return "cmProgramEeprom";
        case cmVerifyEeprom:
            return "cmVerifyEeprom";
        case cmReadDirectory:
            return "cmReadDirectory";
        case cmReadEntry:
            return "cmReadEntry";
        case cmReadFreeSpace:
            return "cmReadFreeSpace";
        case cmClearAll:
            return "cmClearAll";
        case cmDeleteFile:
            return "cmDeleteFile";
        case cmCreateFile:
            return "cmCreateFile";
        case cmWriteBlock:
            return "cmWriteBlock";
        default:
            return nullptr;
    }
}

std::vector<std::uint8_t> MakeFrame(std::uint8_t command, std::span<const std::uint8_t> payload) {
    if (payload.size() > 254) throw std::length_error("frame payload longer than 254 bytes");
    std::vector<std::uint8_t> body;
    body.reserve(payload.size() + 2);
    body.push_back(static_cast<std::uint8_t>(payload.size() + 1));
    body.push_back(command);
    body.insert(body.end(), payload.begin(), payload.end());
    std::vector<std::uint8_t> frame(body[0] + kFrameOverhead);
    BuildFrame(body.data(), frame.data());
    return frame;
}

}  // namespace vemkard
