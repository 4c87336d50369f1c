#include <gtest/gtest.h>

#include <vector>

#include "protocol/Frame.h"
#include "sim/FrameAssembler.h"

namespace vemkard {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(FrameAssembler, FindsFramesHoweverTheBytesAreCut) {
    const Bytes first = MakeFrame(cmReadEntry, Bytes{3});
    const Bytes second = MakeFrame(cmWriteBlock, Bytes{20, 0, 3, 0x5C, 0x59, 0x53});
    const Bytes stream = Concat({first, second});
    for (std::size_t cut = 1; cut <= stream.size(); ++cut) {
        FrameAssembler assembler;
        std::vector<Bytes> found;
        for (std::size_t at = 0; at < stream.size(); at += cut) {
            const std::size_t n = std::min(cut, stream.size() - at);
            for (auto& frame : assembler.Feed({stream.data() + at, n})) found.push_back(frame);
        }
        ASSERT_EQ(found.size(), 2u) << "pieces of " << cut;
        EXPECT_EQ(found[0], first);
        EXPECT_EQ(found[1], second);
        EXPECT_EQ(assembler.Pending(), 0u);
    }
}

TEST(FrameAssembler, SkipsNoiseAndDamagedFrames) {
    const Bytes good = MakeFrame(cmReadDirectory);
    Bytes damaged = MakeFrame(cmDeleteFile, Bytes{5});
    damaged[6] ^= 0x40;
    struct Case {
        const char* what;
        Bytes stream;
    };
    const Case cases[] = {
        {"noise before", Concat({{0x00, 0x5C, 0x59, 0xFF}, good})},
        {"damaged before", Concat({damaged, good})},
        {"frame inside a false start", Concat({{0x5C, 0x59, 0x53, 0x57, 0x09}, good, Bytes(5, 0)})},
    };
    for (const auto& c : cases) {
        FrameAssembler assembler;
        const auto found = assembler.Feed(c.stream);
        ASSERT_EQ(found.size(), 1u) << c.what;
        EXPECT_EQ(found[0], good) << c.what;
    }
}

TEST(FrameAssembler, HoldsAnIncompleteFrameUntilItsLastByte) {
    const Bytes frame = MakeFrame(cmCreateFile, Bytes(100, 0x33));
    FrameAssembler assembler;
    EXPECT_TRUE(assembler.Feed({frame.data(), frame.size() - 1}).empty());
    EXPECT_EQ(assembler.Pending(), frame.size() - 1);
    const auto found = assembler.Feed({frame.data() + frame.size() - 1, 1});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0], frame);
}

}  // namespace
}  // namespace vemkard
