// The receiver (reassembly of frames from chunks) and the reply dispatch.
#include <gtest/gtest.h>

#include <string>

#include "tests/protocol/LinkFakes.h"

namespace vemkard {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::Concat;
using testing::LinkRig;
using testing::Poll;

struct Call {
    std::string what;
    Bytes payload;
    int queueLength;  // as seen by the handler
    bool operator==(const Call&) const = default;
};

// Records every reply handed up; its refresh queues cmReadDirectory as the
// real listing does.
struct RecordingHandlers : IDirectoryReplies, IFirmwareReplies {
    explicit RecordingHandlers(ConsoleLink& l) : link(l) {
        link.SetDirectoryReplies(this);
        link.SetFirmwareReplies(this);
    }
    void Record(const char* what, std::span<const std::uint8_t> payload) {
        calls.push_back({what, Bytes(payload.begin(), payload.end()), link.QueueLength()});
    }
    void RefreshDirectory() override {
        Record("refresh", {});
        link.AddCommand(cmReadDirectory, nullptr, 1);
    }
    void HandleDirectoryReply(std::span<const std::uint8_t> p) override { Record("directory", p); }
    void HandleEntryReply(std::span<const std::uint8_t> p) override { Record("entry", p); }
    void HandleFreeSpaceReply(std::span<const std::uint8_t> p) override { Record("free", p); }
    void ShowProgramStatus(const TReplyRecord& r) override { Record("program", r.Payload()); }
    void ShowVerifyStatus(const TReplyRecord& r) override { Record("verify", r.Payload()); }
    void ShowEepromProgramStatus(const TReplyRecord& r) override { Record("eeprom", r.Payload()); }
    void ShowEepromVerifyStatus(const TReplyRecord& r) override {
        Record("eeprom verify", r.Payload());
    }

    ConsoleLink& link;
    std::vector<Call> calls;
};

Bytes Block(std::uint16_t address) {
    Bytes payload{static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8), 32};
    payload.resize(35, 0xEE);
    return payload;
}

// Noise, a false prefix with a large length byte, then firmware replies
// (which reach their handler whatever the queue holds) with prefix bytes in
// their payloads.
struct Stream {
    Bytes bytes;
    std::vector<Call> expected;
};

Stream MixedStream() {
    Stream s;
    s.bytes = {0x00, 0x5C, 0x5C, 0x59, 0x53, 0x13, 0xFF, 0x5C, 0x59, 0x53, 0x57, 0xC8, 0x01};
    for (int i = 0; i < 40; ++i) {
        const Bytes payload{static_cast<std::uint8_t>(i), 0x01, 0x00, 0x5C, 0x59, 0x53, 0x57};
        const Bytes frame = MakeFrame(i % 2 ? cmProgramEeprom : cmProgramFlash, payload);
        s.bytes.insert(s.bytes.end(), frame.begin(), frame.end());
        s.expected.push_back({i % 2 ? "eeprom" : "program", payload, 0});
    }
    return s;
}

TEST(Receiver, EverySplitOfAStreamDispatchesTheSameFramesOnce) {
    const Stream stream = MixedStream();
    {
        // The false prefix must really be false for this test to mean anything.
        ASSERT_FALSE(CheckFrame(stream.bytes.data() + 7));
    }
    for (std::size_t split = 0; split <= stream.bytes.size(); ++split) {
        LinkRig rig;
        RecordingHandlers handlers(rig.link);
        rig.Feed(Bytes(stream.bytes.begin(), stream.bytes.begin() + split));
        rig.Feed(Bytes(stream.bytes.begin() + split, stream.bytes.end()));
        ASSERT_EQ(handlers.calls, stream.expected) << "split at " << split;
        EXPECT_LE(rig.link.FillLevel(), 6);
    }
    LinkRig rig;
    RecordingHandlers handlers(rig.link);
    for (std::uint8_t b : stream.bytes) rig.Feed({b});
    EXPECT_EQ(handlers.calls, stream.expected) << "byte by byte";
}

TEST(Receiver, AFalsePrefixHoldsTheScanUntilItsLengthHasArrived) {
    LinkRig rig;
    RecordingHandlers handlers(rig.link);
    // False prefix claiming L = 100, then one real reply right behind it.
    const Bytes reply = MakeFrame(cmProgramFlash, Bytes{0x20, 0x00});
    rig.Feed(Concat({{0x5C, 0x59, 0x53, 0x57, 100}, reply}));
    EXPECT_TRUE(handlers.calls.empty()) << "the supposed frame is not complete yet";
    rig.Feed(Bytes(100, 0x00));
    ASSERT_EQ(handlers.calls.size(), 1u);
    EXPECT_EQ(handlers.calls[0].payload, (Bytes{0x20, 0x00}));
}

TEST(Receiver, FewerThanSevenBytesWait) {
    LinkRig rig;
    RecordingHandlers handlers(rig.link);
    rig.link.ActivateComm();
    rig.Queue(cmReadFreeSpace);
    const Bytes poll = Poll();
    rig.Feed(Bytes(poll.begin(), poll.end() - 1));
    EXPECT_TRUE(rig.serial.writes.empty());
    EXPECT_EQ(rig.link.FillLevel(), 6);
    rig.Feed({poll.back()});
    EXPECT_EQ(rig.serial.writes.size(), 1u);
    EXPECT_EQ(rig.link.FillLevel(), 0);
}

TEST(Receiver, ChunksLargerThanTheBufferLoseNothing) {
    LinkRig rig;
    RecordingHandlers handlers(rig.link);
    Bytes big;
    std::vector<Call> expected;
    for (int i = 0; big.size() < 60000; ++i) {
        const Bytes payload{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8)};
        const Bytes frame = MakeFrame(cmProgramFlash, payload);
        big.insert(big.end(), frame.begin(), frame.end());
        expected.push_back({"program", payload, 0});
    }
    const Bytes lead = MakeFrame(cmProgramEeprom, Bytes(200, 0x11));
    // Leave most of a frame pending, then a chunk far over 4096 bytes.
    rig.Feed(Bytes(lead.begin(), lead.end() - 1));
    rig.Feed(Concat({{lead.back()}, big}));
    ASSERT_EQ(handlers.calls.size(), expected.size() + 1);
    EXPECT_EQ(handlers.calls.front().what, "eeprom");
    EXPECT_EQ(std::vector<Call>(handlers.calls.begin() + 1, handlers.calls.end()), expected);
}

TEST(Receiver, AFrameWithLengthZeroIsConsumedWithoutEffect) {
    LinkRig rig;
    RecordingHandlers handlers(rig.link);
    rig.link.ActivateComm();
    rig.Queue(cmReadFreeSpace);
    rig.Feed({0x5C, 0x59, 0x53, 0x57, 0x00, 0xA0});
    EXPECT_EQ(rig.link.FillLevel(), 6) << "examined only once a seventh byte is there";
    rig.Feed(Poll());
    EXPECT_TRUE(handlers.calls.empty());
    EXPECT_EQ(rig.serial.writes.size(), 1u) << "the poll behind it is still answered";
}

TEST(Dispatch, AReplyAndTheNextPollInOneChunk) {
    LinkRig rig;
    rig.link.ActivateComm();
    rig.Queue(cmDeleteFile, {2});
    rig.Queue(cmReadDirectory);
    rig.Feed(Poll());
    rig.Feed(Concat({MakeFrame(cmDeleteFile), Poll()}));
    EXPECT_EQ(rig.link.QueueLength(), 1);
    ASSERT_EQ(rig.serial.writes.size(), 2u);
    EXPECT_EQ(rig.serial.writes[1], MakeFrame(cmReadDirectory));
}

TEST(Dispatch, OnlyTheLastPollOfOnePassIsAnswered) {
    const Bytes poll = Poll();
    Bytes pile;  // polls that waited behind a false frame
    for (int i = 0; i < 23; ++i) pile.insert(pile.end(), poll.begin(), poll.end());
    Bytes wide;  // more than the buffer holds, so the pass is parsed in pieces
    while (wide.size() < 5000) wide.insert(wide.end(), poll.begin(), poll.end());
    struct Case {
        const char* name;
        Bytes lead;  // fed first, in a chunk of its own
        Bytes pass;
    };
    const std::vector<Case> cases{
        {"piled up", {}, pile},
        {"behind a false frame", {0x5C, 0x59, 0x53, 0x57, 0x81}, Concat({Bytes(130, 0), pile})},
        {"split over pieces", Bytes(100, 0), Concat({{0x5C, 0x59, 0x53, 0x57, 0xC8}, wide})},
    };
    for (const Case& c : cases) {
        LinkRig rig;
        rig.link.ActivateComm();
        rig.Queue(cmDeleteFile, {4});
        rig.Feed(c.lead);
        rig.link.Comm321ReceiveData(c.pass.data(), static_cast<std::uint16_t>(c.pass.size()));
        EXPECT_EQ(rig.serial.writes.size(), 1u) << c.name;
        EXPECT_EQ(rig.sleeper.pauses.size(), 1u) << c.name << ": one pause, for the answer";
    }
    // A reply between the polls is still handled in order, and the last poll
    // gets the command that followed.
    LinkRig rig;
    rig.link.ActivateComm();
    rig.Queue(cmDeleteFile, {4});
    rig.Queue(cmReadDirectory);
    rig.Feed(Poll());
    rig.Feed(Concat({Poll(), MakeFrame(cmDeleteFile), Poll(), Poll()}));
    ASSERT_EQ(rig.serial.writes.size(), 2u);
    EXPECT_EQ(rig.serial.writes[1], MakeFrame(cmReadDirectory));
}

TEST(Dispatch, RepliesThatDoNotMatchTheHeadAreIgnored) {
    const int codes[] = {cmReadDirectory, cmReadEntry, cmClearAll, cmDeleteFile, cmCreateFile,
                         cmWriteBlock,    5,           15,         23,           255};
    for (int c : codes) {
        const auto code = static_cast<std::uint8_t>(c);
        LinkRig rig;
        RecordingHandlers handlers(rig.link);
        rig.link.ActivateComm();
        rig.Queue(cmReadFreeSpace);
        rig.Feed(Poll());
        rig.Feed(MakeFrame(code, Bytes(10, 0)));
        EXPECT_EQ(rig.link.QueueLength(), 1) << int(code);
        EXPECT_TRUE(handlers.calls.empty()) << int(code);
    }
}

TEST(Dispatch, DirectoryHandlersRunBeforeTheHeadGoes) {
    LinkRig rig;
    RecordingHandlers handlers(rig.link);
    rig.link.ActivateComm();
    rig.Queue(cmReadDirectory);
    rig.Queue(cmReadEntry, {0});
    rig.Queue(cmReadFreeSpace);
    const Bytes entry{0, 0, 1, 0, 100, 0, 1, 'A'};
    rig.Feed(Concat({Poll(), MakeFrame(cmReadDirectory, Bytes{3})}));
    rig.Feed(Concat({Poll(), MakeFrame(cmReadEntry, entry)}));
    rig.Feed(Concat({Poll(), MakeFrame(cmReadFreeSpace, Bytes{0x10, 0x27})}));
    const std::vector<Call> expected{
        {"directory", {3}, 3}, {"entry", entry, 2}, {"free", {0x10, 0x27}, 1}};
    EXPECT_EQ(handlers.calls, expected);
    EXPECT_EQ(rig.view.status, kTextOperationDone);
}

TEST(Dispatch, ClearAndCreateRepliesQueueTheRefreshBeforeRemoval) {
    for (std::uint8_t code : {std::uint8_t{cmClearAll}, std::uint8_t{cmCreateFile}}) {
        LinkRig rig;
        RecordingHandlers handlers(rig.link);
        rig.link.ActivateComm();
        rig.Queue(code, code == cmCreateFile ? Bytes{0, 0, 8, 0, 1, 'A', 0, 0} : Bytes{});
        rig.Feed(Concat({Poll(), MakeFrame(code)}));
        ASSERT_EQ(rig.link.QueueLength(), 1) << int(code);
        EXPECT_EQ(rig.link.Queue().front().Command, cmReadDirectory);
        EXPECT_EQ(handlers.calls, (std::vector<Call>{{"refresh", {}, 1}}));
        EXPECT_NE(rig.view.status, kTextOperationDone);
        EXPECT_TRUE(rig.serial.open);
    }
}

TEST(Dispatch, FirmwareRepliesAcknowledgeByAddressLowByte) {
    LinkRig rig;
    RecordingHandlers handlers(rig.link);
    rig.link.ActivateComm();
    rig.Queue(cmProgramFlash, Block(0x0120));
    rig.Queue(cmVerifyFlash, Block(0x0120));
    rig.Feed(Poll());

    // Wrong address: the head stays, the status handler still runs.
    rig.Feed(MakeFrame(cmProgramFlash, Bytes{0x40, 0x01, 0}));
    EXPECT_EQ(rig.link.QueueLength(), 2);
    // A verify reply while a program block is at the head: no removal.
    rig.Feed(MakeFrame(cmVerifyFlash, Bytes{0x20, 0x01, 0}));
    EXPECT_EQ(rig.link.QueueLength(), 2);
    // Matching low byte (the high byte is not compared): removed first.
    rig.Feed(MakeFrame(cmProgramFlash, Bytes{0x20, 0x07, 0}));
    EXPECT_EQ(rig.link.QueueLength(), 1);
    rig.Feed(Concat({Poll(), MakeFrame(cmVerifyFlash, Bytes{0x20, 0x01, 0})}));
    EXPECT_EQ(rig.link.QueueLength(), 0);

    const std::vector<Call> expected{{"program", {0x40, 0x01, 0}, 2},
                                     {"verify", {0x20, 0x01, 0}, 2},
                                     {"program", {0x20, 0x07, 0}, 1},
                                     {"verify", {0x20, 0x01, 0}, 0}};
    EXPECT_EQ(handlers.calls, expected);
    EXPECT_EQ(rig.view.status, kTextOperationDone);
}

TEST(Dispatch, RepliesTooShortForTheirFieldsAreIgnored) {
    const std::vector<std::pair<std::uint8_t, Bytes>> cases{
        {cmReadDirectory, {}}, {cmReadEntry, {0, 0, 1, 0, 5, 0}}, {cmReadFreeSpace, {0x10}},
        {cmProgramFlash, {0}}, {cmVerifyFlash, {0x00, 0x00}},     {cmVerifyEeprom, {0x00}},
    };
    for (const auto& [code, payload] : cases) {
        LinkRig rig;
        RecordingHandlers handlers(rig.link);
        rig.link.ActivateComm();
        rig.Queue(code, code <= cmVerifyEeprom ? Block(0) : Bytes{});
        rig.Feed(Concat({Poll(), MakeFrame(code, payload)}));
        EXPECT_EQ(rig.link.QueueLength(), 1) << int(code);
        EXPECT_TRUE(handlers.calls.empty()) << int(code);
    }
}

TEST(Dispatch, ARepeatedReplyCannotAcknowledgeACommandNotYetSent) {
    const std::vector<std::pair<std::uint8_t, Bytes>> batches{
        {cmWriteBlock, {20, 0, 1, 0xAB}},
        {cmReadEntry, {0}},
        {cmDeleteFile, {1}},
        {cmProgramFlash, Block(0x0100)},
    };
    for (const auto& [code, payload] : batches) {
        LinkRig rig;
        RecordingHandlers handlers(rig.link);
        rig.link.ActivateComm();
        rig.Queue(code, payload);
        rig.Queue(code, payload);  // the next command has the same code
        const Bytes reply = MakeFrame(code, Bytes{payload[0], 0, 0, 0, 0, 0, 0});
        rig.Feed(Concat({Poll(), reply, reply}));
        EXPECT_EQ(rig.link.QueueLength(), 1) << int(code) << ": the repeat was taken as a reply";
        rig.Feed(Concat({Poll(), reply}));
        EXPECT_EQ(rig.link.QueueLength(), 0) << int(code);
        EXPECT_EQ(rig.serial.writes.size(), 2u) << "each command went out once";
    }
}

TEST(Dispatch, AReplyCannotAcknowledgeAFrameThePortRefused) {
    LinkRig rig;
    rig.link.ActivateComm();
    rig.Queue(cmDeleteFile, {0});
    rig.serial.refuseWrites = true;
    rig.Feed(Concat({Poll(), MakeFrame(cmDeleteFile)}));
    EXPECT_EQ(rig.link.QueueLength(), 1);
    rig.serial.refuseWrites = false;
    rig.Feed(Concat({Poll(), MakeFrame(cmDeleteFile)}));
    EXPECT_EQ(rig.link.QueueLength(), 0);
}

}  // namespace
}  // namespace vemkard
