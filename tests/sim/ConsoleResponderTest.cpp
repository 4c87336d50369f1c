#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/Frame.h"
#include "sim/ConsoleResponder.h"

namespace vemkard {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Block(std::uint16_t address, std::uint8_t fill) {
    Bytes payload = {static_cast<std::uint8_t>(address & 0xFF),
                     static_cast<std::uint8_t>(address >> 8), 32};
    for (int i = 0; i < 32; ++i) payload.push_back(static_cast<std::uint8_t>(fill + i));
    return payload;
}

Bytes WriteBlockPayload(std::uint16_t offset, const Bytes& data) {
    Bytes payload(data.size() + 3);
    payload[0] = static_cast<std::uint8_t>(offset & 0xFF);
    payload[1] = static_cast<std::uint8_t>(offset >> 8);
    payload[2] = static_cast<std::uint8_t>(data.size());
    std::copy(data.begin(), data.end(), payload.begin() + 3);
    return payload;
}

class Responder : public ::testing::Test {
  protected:
    // The reply's command code and payload; the frame itself must be valid.
    std::pair<std::uint8_t, Bytes> Ask(std::uint8_t command, const Bytes& payload = {}) {
        const Bytes reply = responder.Respond(MakeFrame(command, payload));
        EXPECT_GE(reply.size(), kMinCommandFrame);
        if (reply.size() < kMinCommandFrame) return {0xFF, {}};
        EXPECT_TRUE(std::equal(kFramePrefix.begin(), kFramePrefix.end(), reply.begin()));
        EXPECT_EQ(reply.size(), reply[4] + kFrameOverhead);
        EXPECT_TRUE(CheckFrame(reply.data()));
        return {reply[5], Bytes(reply.begin() + 6, reply.end() - 1)};
    }

    ConsoleStore store{1000};
    ConsoleResponder responder{store};
};

TEST_F(Responder, EveryReplyCarriesTheCommandCodeOfTheRequest) {
    struct Case {
        std::uint8_t command;
        Bytes payload;
    };
    const Case cases[] = {
        {cmProgramFlash, Block(0, 0)},
        {cmVerifyFlash, Block(0, 0)},
        {cmProgramEeprom, Block(0, 0)},
        {cmVerifyEeprom, Block(0, 0)},
        {cmReadDirectory, {}},
        {cmReadEntry, {0}},
        {cmReadFreeSpace, {}},
        {cmClearAll, {}},
        {cmDeleteFile, {0}},
        {cmCreateFile, MakeUploadHeader(0, "a", 0)},
        {cmWriteBlock, {10, 0, 1, 0xAA}},
        {7, {}},
        {200, {1, 2, 3}},
    };
    for (const auto& c : cases) EXPECT_EQ(Ask(c.command, c.payload).first, c.command);
}

TEST_F(Responder, PollsAndEmptyFramesGetNoReply) {
    EXPECT_TRUE(responder.Respond(MakeFrame(cmPoll)).empty());
    const Bytes lengthZero = {0x5C, 0x59, 0x53, 0x57, 0x00, 0xA0};
    ASSERT_TRUE(CheckFrame(lengthZero.data()));
    EXPECT_TRUE(responder.Respond(lengthZero).empty());
}

TEST_F(Responder, DirectoryEntriesAndFreeSpace) {
    ASSERT_TRUE(store.AddFile(0x4D52, "\xCF\xF3\xEB\xFC\xF2", Bytes(300, 1)));
    ASSERT_TRUE(store.AddFile(0x8000, "k.kts", Bytes(2, 1)));
    EXPECT_EQ(Ask(cmReadDirectory).second, Bytes{2});
    EXPECT_EQ(Ask(cmReadEntry, {0}).second,
              (Bytes{0, 0, 0x52, 0x4D, 0x2C, 0x01, 5, 0xCF, 0xF3, 0xEB, 0xFC, 0xF2}));
    EXPECT_EQ(Ask(cmReadEntry, {1}).second,
              (Bytes{1, 0, 0x00, 0x80, 2, 0, 5, 'k', '.', 'k', 't', 's'}));
    // 1000 - (12 + 300) - (12 + 2) = 674 = 0x2A2
    EXPECT_EQ(Ask(cmReadFreeSpace).second, (Bytes{0xA2, 0x02}));
}

TEST_F(Responder, EntryBeyondTheDirectoryIsEmpty) {
    ASSERT_TRUE(store.AddFile(1, "a", {}));
    EXPECT_EQ(Ask(cmReadEntry, {1}).second, (Bytes{1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Ask(cmReadEntry, {}).second, (Bytes{0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Responder, UploadStoresHeaderAndBlocksAtTheirOffsets) {
    const auto header = MakeUploadHeader(16, "vol.z0 ", 40);  // header 14 bytes
    EXPECT_TRUE(Ask(cmCreateFile, header).second.empty());
    Bytes data(40);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0x30 + i);
    EXPECT_TRUE(Ask(cmWriteBlock, WriteBlockPayload(14, Bytes(data.begin(), data.begin() + 32)))
                    .second.empty());
    Ask(cmWriteBlock, WriteBlockPayload(46, Bytes(data.begin() + 32, data.end())));
    ASSERT_EQ(store.Files().size(), 1u);
    Bytes expected = header;
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(store.Files()[0].Bytes, expected);
}

TEST_F(Responder, MalformedWriteBlockChangesNothingButIsAnswered) {
    Ask(cmCreateFile, MakeUploadHeader(16, "v", 4));  // header 8 bytes
    const Bytes before = store.Files()[0].Bytes;
    const Bytes cases[] = {
        {},
        {8, 0},
        {8, 0, 5, 1, 2, 3, 4},     // count larger than the bytes that came
        {8, 0, 5, 1, 2, 3, 4, 5},  // one byte past the file
        {0, 0, 1, 9},              // into the header
    };
    for (const auto& payload : cases) {
        EXPECT_EQ(Ask(cmWriteBlock, payload).first, cmWriteBlock);
        EXPECT_EQ(store.Files()[0].Bytes, before) << payload.size();
    }
}

TEST_F(Responder, DeleteAndClear) {
    for (const char* name : {"a", "b", "c"}) ASSERT_TRUE(store.AddFile(0, name, {}));
    Ask(cmDeleteFile, {1});
    ASSERT_EQ(store.Files().size(), 2u);
    EXPECT_EQ(store.Files()[1].Name, "c");
    Ask(cmDeleteFile, {5});
    EXPECT_EQ(store.Files().size(), 2u);
    Ask(cmClearAll);
    EXPECT_TRUE(store.Files().empty());
    EXPECT_EQ(Ask(cmReadFreeSpace).second, (Bytes{0xE8, 0x03}));
}

TEST_F(Responder, RepeatedCommandIsAnsweredButNotCarriedOutTwice) {
    for (const char* name : {"a", "b", "c"}) ASSERT_TRUE(store.AddFile(0, name, {}));
    const auto header = MakeUploadHeader(0, "new", 0);
    Ask(cmCreateFile, header);
    Ask(cmCreateFile, header);  // the program missed the reply and sent it again
    EXPECT_EQ(store.Files().size(), 4u);
    Ask(cmDeleteFile, {0});
    Ask(cmDeleteFile, {0});
    EXPECT_EQ(store.Files().size(), 3u);
    EXPECT_EQ(store.Files()[0].Name, "b");
    // After another command in between, the same command counts again.
    Ask(cmReadDirectory);
    Ask(cmDeleteFile, {0});
    EXPECT_EQ(store.Files().size(), 2u);
    EXPECT_EQ(store.Files()[0].Name, "c");
    // A console without that protection carries the repeat out.
    responder.SetExecuteRepeats(true);
    Ask(cmDeleteFile, {0});
    EXPECT_EQ(store.Files().size(), 1u);
}

TEST_F(Responder, FlashBlocksProgramAndVerify) {
    EXPECT_EQ(Ask(cmProgramFlash, Block(0x1FE0, 5)).second, (Bytes{0xE0, 0x1F, 0}));
    EXPECT_EQ(Ask(cmVerifyFlash, Block(0x1FE0, 5)).second, (Bytes{0xE0, 0x1F, 0}));
    EXPECT_EQ(Ask(cmVerifyFlash, Block(0x1FE0, 6)).second, (Bytes{0xE0, 0x1F, 1}));
    EXPECT_EQ(Ask(cmVerifyFlash, Block(0x0000, 5)).second, (Bytes{0x00, 0x00, 1}));
    EXPECT_EQ(Ask(cmVerifyEeprom, Block(0x1FE0, 5)).second, (Bytes{0xE0, 0x1F, 1}));
    Ask(cmProgramEeprom, Block(0x40, 9));
    EXPECT_EQ(Ask(cmVerifyEeprom, Block(0x40, 9)).second, (Bytes{0x40, 0x00, 0}));
    const Bytes block = Block(0x1FE0, 5);
    EXPECT_TRUE(store.VerifyFlash(0x1FE0, Bytes(block.begin() + 3, block.end())));
}

TEST_F(Responder, ChosenVerifyErrorAddressFailsEvenWhenTheImageMatches) {
    responder.SetVerifyErrorAddress(0x40);
    for (std::uint16_t address : {0x00, 0x20, 0x40, 0x60}) Ask(cmProgramFlash, Block(address, 1));
    EXPECT_EQ(Ask(cmVerifyFlash, Block(0x20, 1)).second[2], 0);
    EXPECT_EQ(Ask(cmVerifyFlash, Block(0x40, 1)).second[2], 1);
    EXPECT_EQ(Ask(cmVerifyFlash, Block(0x60, 1)).second[2], 0);
}

TEST_F(Responder, MalformedFlashBlockReportsAnError) {
    EXPECT_EQ(Ask(cmVerifyFlash, {0x20, 0x00}).second, (Bytes{0x20, 0x00, 1}));
    EXPECT_EQ(Ask(cmProgramFlash, {0x20, 0x00, 33, 1}).second, (Bytes{0x20, 0x00, 1}));
    EXPECT_EQ(store.Flash()[0x20], ConsoleStore::kErasedByte);
}

TEST(DescribeFrame, NamesTheCommandAndItsFields) {
    struct Case {
        Bytes frame;
        std::string text;
    };
    const Case cases[] = {
        {MakeFrame(cmPoll), "cmPoll"},
        {MakeFrame(cmReadEntry, Bytes{3}), "cmReadEntry index=3"},
        {MakeFrame(cmReadFreeSpace, Bytes{0x10, 0x27}), "cmReadFreeSpace free=10000"},
        {MakeFrame(cmVerifyFlash, Bytes{0xE0, 0x1F, 1}), "cmVerifyFlash address=1FE0h flag=1"},
        {MakeFrame(cmWriteBlock, Bytes{20, 0, 2, 1, 2}), "cmWriteBlock offset=20 count=2"},
        {MakeFrame(99), "command 99"},
    };
    for (const auto& c : cases) EXPECT_EQ(DescribeFrame(c.frame), c.text);
}

}  // namespace
}  // namespace vemkard
