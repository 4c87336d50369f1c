// A console played by the test: on top of the protocol fakes, it feeds polls
// and replies as frames and takes apart the frames the program writes, so
// that tests check the bytes on the wire.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "protocol/ConsoleLink.h"
#include "protocol/Frame.h"
#include "tests/protocol/LinkFakes.h"

namespace vemkard::testing {

using Bytes = std::vector<std::uint8_t>;

// A frame taken apart: command code and payload.
struct SentFrame {
    std::uint8_t command = 0;
    Bytes payload;
};

// Takes a whole frame apart; a frame with a wrong prefix, size or checksum
// fails the current test and gives nothing.
inline std::optional<SentFrame> DecodeFrame(const Bytes& frame) {
    if (frame.size() < kMinCommandFrame ||
        !std::equal(kFramePrefix.begin(), kFramePrefix.end(), frame.begin())) {
        ADD_FAILURE() << "not a frame: " << frame.size() << " bytes";
        return std::nullopt;
    }
    const std::size_t length = frame[kFramePrefixSize];
    if (length < 1 || frame.size() != length + kFrameOverhead || !CheckFrame(frame.data())) {
        ADD_FAILURE() << "damaged frame, L = " << length << ", " << frame.size() << " bytes";
        return std::nullopt;
    }
    return SentFrame{frame[5], Bytes(frame.begin() + 6, frame.end() - 1)};
}

// The little-endian word at `offset`.
inline std::uint16_t WordAt(const Bytes& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes.at(offset) | bytes.at(offset + 1) << 8);
}

struct ConsoleRig : LinkRig {
    // The console polls, the program sends its head, and the console replies
    // with this frame. A reply comes only to what has gone out.
    void Reply(std::uint8_t command, const Bytes& payload = {}) {
        Feed(MakeFrame(cmPoll));
        Feed(MakeFrame(command, payload));
    }

    // The console polls; gives what the program answered, or nothing when it
    // wrote nothing (empty queue).
    std::optional<SentFrame> Poll() {
        const std::size_t before = serial.writes.size();
        Feed(MakeFrame(cmPoll));
        if (serial.writes.size() == before) return std::nullopt;
        EXPECT_EQ(serial.writes.size(), before + 1) << "one poll, one frame";
        return DecodeFrame(serial.writes.back());
    }

    // Plays the console until the program has nothing left to send: polls,
    // and answers each frame with what `answer` gives (nothing: no reply).
    // Returns every frame the program sent, in order. Fails the test after
    // `maxPolls` polls.
    using Answer = std::function<std::optional<Bytes>(const SentFrame&)>;
    std::vector<SentFrame> RunConsole(const Answer& answer, std::size_t maxPolls = 20000) {
        return Run(answer, std::nullopt, maxPolls);
    }

    // The same, but stops once a frame with `stop` has been sent, without
    // answering it; that frame is the last one returned.
    std::vector<SentFrame> RunUntil(std::uint8_t stop, const Answer& answer,
                                    std::size_t maxPolls = 20000) {
        return Run(answer, stop, maxPolls);
    }

    // The commands in the queue, head first.
    std::vector<std::uint8_t> QueuedCommands() const {
        std::vector<std::uint8_t> commands;
        for (const TCommandEntry& entry : link.Queue()) commands.push_back(entry.Command);
        return commands;
    }

  private:
    std::vector<SentFrame> Run(const Answer& answer, std::optional<std::uint8_t> stop,
                               std::size_t maxPolls) {
        std::vector<SentFrame> sent;
        for (std::size_t polls = 0; polls < maxPolls; ++polls) {
            const std::optional<SentFrame> frame = Poll();
            if (!frame) return sent;
            sent.push_back(*frame);
            if (frame->command == stop) return sent;
            if (const std::optional<Bytes> reply = answer(*frame)) Reply(frame->command, *reply);
        }
        ADD_FAILURE() << "the program was still sending after " << maxPolls << " polls";
        return sent;
    }
};

}  // namespace vemkard::testing
