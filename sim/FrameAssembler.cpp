#include "sim/FrameAssembler.h"

#include <algorithm>

#include "protocol/Frame.h"

namespace vemkard {

std::vector<std::vector<std::uint8_t>> FrameAssembler::Feed(std::span<const std::uint8_t> bytes) {
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    std::vector<std::vector<std::uint8_t>> frames;
    std::size_t at = 0;
    while (buffer_.size() - at >= kMinCommandFrame) {
        const auto start = buffer_.begin() + static_cast<std::ptrdiff_t>(at);
        if (!std::equal(kFramePrefix.begin(), kFramePrefix.end(), start)) {
            ++at;
            continue;
        }
        const std::size_t length = std::size_t{buffer_[at + kFramePrefixSize]} + kFrameOverhead;
        if (length > buffer_.size() - at) break;  // the rest has not arrived yet
        if (!CheckFrame(&buffer_[at])) {
            ++at;
            continue;
        }
        frames.emplace_back(start, start + static_cast<std::ptrdiff_t>(length));
        at += length;
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(at));
    return frames;
}

}  // namespace vemkard
