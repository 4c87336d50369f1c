// The console's side of one exchange: takes a command frame from the program,
// carries it out on the store and builds the reply frame (same command code,
// payload as the console lays it out). Knows nothing of timing or faults.
//
// Thread rules: none of its own; one thread calls Respond at a time, with the
// store's lock held.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/ConsoleStore.h"

namespace vemkard {

class ConsoleResponder {
  public:
    explicit ConsoleResponder(ConsoleStore& store) : store_(store) {}

    // Verify replies for this block address carry the error flag even when the
    // image matches.
    void SetVerifyErrorAddress(std::optional<std::uint16_t> address) {
        verifyErrorAddress_ = address;
    }
    // Carry out a repeated command again instead of only answering it.
    void SetExecuteRepeats(bool execute) { executeRepeats_ = execute; }

    // `frame` is one whole frame with a valid checksum, prefix included.
    // Returns the reply frame, or nothing for a frame that carries no command
    // (L = 0) and for a poll. A command that cannot be carried out (a
    // malformed payload, a write outside the file) changes nothing and is
    // still answered, as the console does.
    //
    // The program sends the head command again when it missed the reply, so
    // a command that changes the store and is byte-for-byte the previous
    // command is answered again without being carried out a second time
    // (unless SetExecuteRepeats asked otherwise).
    std::vector<std::uint8_t> Respond(std::span<const std::uint8_t> frame);

  private:
    std::vector<std::uint8_t> Carry(std::uint8_t command, std::span<const std::uint8_t> payload,
                                    bool repeated);
    std::vector<std::uint8_t> ImageBlock(std::uint8_t command,
                                         std::span<const std::uint8_t> payload);

    ConsoleStore& store_;
    std::optional<std::uint16_t> verifyErrorAddress_;
    bool executeRepeats_ = false;
    std::vector<std::uint8_t> previous_;
};

// One line describing a frame for the log: the command name and its payload
// fields, for example "cmReadEntry index=3".
std::string DescribeFrame(std::span<const std::uint8_t> frame);

}  // namespace vemkard
