// Finds whole, valid frames in the bytes the program sends, however they are
// cut into reads. Bytes before a prefix and frames whose checksum fails are
// skipped one byte at a time, so a frame that starts inside a damaged one is
// still found.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vemkard {

class FrameAssembler {
  public:
    // Appends `bytes` and returns every frame now complete, oldest first.
    std::vector<std::vector<std::uint8_t>> Feed(std::span<const std::uint8_t> bytes);
    void Clear() { buffer_.clear(); }
    // Bytes held back: at most one incomplete frame, or the tail that may
    // start a prefix.
    std::size_t Pending() const { return buffer_.size(); }

  private:
    std::vector<std::uint8_t> buffer_;
};

}  // namespace vemkard
