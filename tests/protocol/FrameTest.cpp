#include <gtest/gtest.h>

#include <vector>

#include "protocol/Frame.h"

namespace vemkard {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct WorkedExample {
    const char* name;
    std::uint8_t command;
    Bytes payload;
    Bytes frame;
};

const std::vector<WorkedExample>& WorkedExamples() {
    static const std::vector<WorkedExample> examples{
        {"read directory", cmReadDirectory, {}, {0x5C, 0x59, 0x53, 0x57, 0x01, 0x10, 0x8F}},
        {"poll", cmPoll, {}, {0x5C, 0x59, 0x53, 0x57, 0x01, 0x00, 0x9F}},
        {"read entry 3", cmReadEntry, {0x03}, {0x5C, 0x59, 0x53, 0x57, 0x02, 0x11, 0x03, 0x8A}},
        {"delete entry 5", cmDeleteFile, {0x05}, {0x5C, 0x59, 0x53, 0x57, 0x02, 0x14, 0x05, 0x85}},
    };
    return examples;
}

TEST(Frame, WorkedExamplesAreBuiltByteForByteAndPass) {
    for (const auto& example : WorkedExamples()) {
        SCOPED_TRACE(example.name);
        EXPECT_EQ(MakeFrame(example.command, example.payload), example.frame);
        EXPECT_EQ(FrameChecksum(example.frame.data()), example.frame.back());
        EXPECT_TRUE(CheckFrame(example.frame.data()));
    }
}

TEST(Frame, AnyOneByteChangeOutsideTheLengthByteFailsTheCheck) {
    for (const auto& example : WorkedExamples()) {
        for (std::size_t at = 0; at < example.frame.size(); ++at) {
            if (at == 4) continue;  // the length byte moves the checksum position
            for (int delta = 1; delta < 256; ++delta) {
                Bytes damaged = example.frame;
                damaged[at] = static_cast<std::uint8_t>(damaged[at] + delta);
                ASSERT_FALSE(CheckFrame(damaged.data()))
                    << example.name << " byte " << at << " delta " << delta;
            }
        }
    }
}

TEST(Frame, WholeValidFrameSumsToFF) {
    const Bytes payload(249, 0xFF);  // wraps the 8-bit sum many times
    const Bytes frame = MakeFrame(cmWriteBlock, payload);
    ASSERT_EQ(frame.size(), kFrameBufferSize);  // the longest frame the program sends
    std::uint8_t sum = 0;
    for (std::uint8_t b : frame) sum = static_cast<std::uint8_t>(sum + b);
    EXPECT_EQ(sum, 0xFF);
    EXPECT_TRUE(CheckFrame(frame.data()));
}

TEST(Frame, PrefixInsideThePayloadTravelsUnchanged) {
    const Bytes payload{0x5C, 0x59, 0x53, 0x57, 0x01, 0x00, 0x9F};
    const Bytes frame = MakeFrame(cmWriteBlock, payload);
    ASSERT_TRUE(CheckFrame(frame.data()));
    const TReplyRecord record{frame.data() + 4};
    EXPECT_EQ(record.Command(), cmWriteBlock);
    EXPECT_EQ(Bytes(record.Payload().begin(), record.Payload().end()), payload);
}

}  // namespace
}  // namespace vemkard
