// The layout of the receiver target's input, shared with the corpus writer:
// one set-up byte, then operations until the input ends, each an operation
// byte (taken modulo kOperations) followed by its arguments.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vemkard::fuzz {

// Set-up bits: commands queued before the first operation, in this order.
enum Setup : std::uint8_t {
    kSetupRefresh = 1,
    kSetupUpload = 2,    // a 100-byte year plan: create and four blocks
    kSetupFirmware = 4,  // a 70-byte image: three blocks a pass
    kSetupClear = 8,
};

enum Operation : std::uint8_t {
    kChunk,          // length word, bytes
    kRepeatedChunk,  // count byte, length byte, bytes: the bytes count + 1 times
    kFrame,          // code, payload length, payload: a valid frame
    kSplitFrame,     // cut, code, payload length, payload: a valid frame in two chunks
    kTimerTick,      // only while the timer runs
    kRefresh,
    kDoubleClick,  // row
    kUpload,       // file: 0 the year plan, 1 an organisation, 2 an empty file
    kClear,        // answer to the warning box (bit 0)
    kFirmware,     // answer to the warning box (bit 0)
    kPortClosed,   // the settings dialog closes the port
    kPortBusy,     // toggles whether the port can be opened
    kOperations
};

// Writes an input in this layout.
class ReceiverScript {
  public:
    explicit ReceiverScript(std::uint8_t setup) : bytes_{setup} {}

    ReceiverScript& Chunk(std::span<const std::uint8_t> bytes) {
        Put(kChunk);
        Put(static_cast<std::uint8_t>(bytes.size()));
        Put(static_cast<std::uint8_t>(bytes.size() >> 8));
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    ReceiverScript& Repeated(std::uint8_t times, std::span<const std::uint8_t> piece) {
        Put(kRepeatedChunk);
        Put(static_cast<std::uint8_t>(times - 1));
        Put(static_cast<std::uint8_t>(piece.size() - 1));
        bytes_.insert(bytes_.end(), piece.begin(), piece.end());
        return *this;
    }
    ReceiverScript& Frame(std::uint8_t command, std::vector<std::uint8_t> payload = {}) {
        Put(kFrame);
        return Body(command, payload);
    }
    ReceiverScript& Split(std::uint8_t cut, std::uint8_t command,
                          std::vector<std::uint8_t> payload = {}) {
        Put(kSplitFrame);
        Put(cut);
        return Body(command, payload);
    }
    ReceiverScript& Do(Operation operation) {
        Put(operation);
        return *this;
    }
    ReceiverScript& Do(Operation operation, std::uint8_t argument) {
        Put(operation);
        Put(argument);
        return *this;
    }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

  private:
    void Put(std::uint8_t byte) { bytes_.push_back(byte); }
    ReceiverScript& Body(std::uint8_t command, const std::vector<std::uint8_t>& payload) {
        Put(command);
        Put(static_cast<std::uint8_t>(payload.size()));
        bytes_.insert(bytes_.end(), payload.begin(), payload.end());
        return *this;
    }

    std::vector<std::uint8_t> bytes_;
};

}  // namespace vemkard::fuzz
