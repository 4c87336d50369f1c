// The command queue, the answering of polls, link activation and the
// no-reply timer.
#include <gtest/gtest.h>

#include "tests/protocol/LinkFakes.h"

namespace vemkard {
namespace {

using testing::LinkRig;
using testing::Poll;

TEST(CommandQueue, DisplayFollowsEachStep) {
    LinkRig rig;
    rig.link.ActivateComm();
    rig.Queue(cmReadDirectory);
    EXPECT_EQ(rig.view.counter, "1");
    EXPECT_EQ(rig.view.progressMaximum, 0) << "AddCommand alone leaves the bar";
    rig.Queue(cmDeleteFile, {4});
    rig.Queue(cmClearAll);
    rig.link.UpdateQueueProgress();
    EXPECT_EQ(rig.view.counter, "3");
    EXPECT_EQ(rig.view.progressMaximum, 3);
    EXPECT_EQ(rig.view.progressPosition, 3);

    rig.link.RemoveHeadCommand();
    EXPECT_EQ(rig.view.counter, "2");
    EXPECT_EQ(rig.view.progressPosition, 2);
    EXPECT_EQ(rig.view.progressMaximum, 3);
    EXPECT_EQ(rig.link.Queue().front().Command, cmDeleteFile);
    EXPECT_TRUE(rig.serial.open);

    rig.link.RemoveHeadCommand();
    rig.link.RemoveHeadCommand();
    EXPECT_EQ(rig.view.counter, "0");
    EXPECT_EQ(rig.view.progressPosition, 0);
    EXPECT_EQ(rig.view.status, kTextOperationDone);
    EXPECT_FALSE(rig.serial.open);
    EXPECT_FALSE(rig.timer.enabled);
}

TEST(CommandQueue, RemovingFromAnEmptyQueueReportsCompletion) {
    LinkRig rig;
    rig.link.RemoveHeadCommand();
    EXPECT_EQ(rig.view.status, kTextOperationDone);
    EXPECT_EQ(rig.view.counter, "0");
}

TEST(CommandQueue, ClearLeavesTheStatusLineToItsCaller) {
    LinkRig rig;
    rig.link.ActivateComm();
    rig.view.status = "до";
    for (int i = 0; i < 5; ++i) rig.Queue(cmReadEntry, {static_cast<std::uint8_t>(i)});
    rig.link.UpdateQueueProgress();
    rig.link.ClearCommands();
    EXPECT_EQ(rig.link.QueueLength(), 0);
    EXPECT_EQ(rig.view.counter, "0");
    EXPECT_EQ(rig.view.progressPosition, 0);
    EXPECT_EQ(rig.view.status, "до");
    EXPECT_FALSE(rig.serial.open);
    EXPECT_FALSE(rig.timer.enabled);
}

TEST(CommandQueue, RefusesLengthsThatDoNotFitAFrame) {
    LinkRig rig;
    std::vector<std::uint8_t> payload(260, 0xAA);
    EXPECT_FALSE(rig.link.AddCommand(cmWriteBlock, payload.data(), 0));
    EXPECT_FALSE(rig.link.AddCommand(cmWriteBlock, payload.data(), 251));
    EXPECT_FALSE(rig.link.AddCommand(cmWriteBlock, payload.data(), 256));
    EXPECT_EQ(rig.link.QueueLength(), 0);
    EXPECT_EQ(rig.view.counter, "0");
    EXPECT_TRUE(rig.link.AddCommand(cmWriteBlock, payload.data(), 250));
    EXPECT_TRUE(rig.link.AddCommand(cmReadDirectory, nullptr, 1));
    EXPECT_EQ(rig.link.QueueLength(), 2);
}

TEST(CommandQueue, PollsAreAnsweredWithTheHeadAfterAPause) {
    LinkRig rig;
    rig.link.ActivateComm();
    rig.Feed(Poll());
    EXPECT_TRUE(rig.serial.writes.empty());
    EXPECT_TRUE(rig.sleeper.pauses.empty()) << "no pause on an empty queue";

    rig.Queue(cmReadDirectory);
    rig.link.UpdateQueueProgress();
    EXPECT_EQ(rig.view.progressMaximum, 1);
    rig.Feed(Poll());
    rig.Feed(Poll());
    const std::vector<std::uint8_t> expected{0x5C, 0x59, 0x53, 0x57, 0x01, 0x10, 0x8F};
    ASSERT_EQ(rig.serial.writes.size(), 2u);
    EXPECT_EQ(rig.serial.writes[0], expected);
    EXPECT_EQ(rig.serial.writes[1], expected) << "unanswered head is sent again";
    EXPECT_EQ(rig.sleeper.pauses, (std::vector<int>{20, 20}));
    EXPECT_EQ(rig.link.QueueLength(), 1);
}

TEST(CommandQueue, LongestCommandGoesOutAsA256ByteFrame) {
    LinkRig rig;
    rig.link.ActivateComm();
    std::vector<std::uint8_t> payload(249);
    for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i);
    rig.Queue(cmCreateFile, payload);
    rig.Feed(Poll());
    ASSERT_EQ(rig.serial.writes.size(), 1u);
    EXPECT_EQ(rig.serial.writes[0], MakeFrame(cmCreateFile, payload));
    EXPECT_EQ(rig.serial.writes[0].size(), 256u);
}

TEST(LinkActivation, OpensTheNamedPortWithOddParityAndDtr) {
    LinkRig rig;
    rig.link.ActivateComm();
    EXPECT_TRUE(rig.serial.open);
    EXPECT_EQ(rig.serial.portName, "/dev/ttyTEST");
    EXPECT_TRUE(rig.serial.oddParity);
    EXPECT_EQ(rig.serial.escapes, std::vector<std::uint32_t>{5});
    EXPECT_EQ(rig.view.status, kTextPortOpened);
    EXPECT_TRUE(rig.timer.enabled);
    EXPECT_EQ(rig.timer.interval, kReplyTimeoutMs);
}

TEST(LinkActivation, AnOpenPortOnlyRestartsTheTimer) {
    LinkRig rig;
    rig.link.ActivateComm();
    rig.view.status = "занят";
    const int starts = rig.timer.starts;
    rig.link.ActivateComm();
    EXPECT_EQ(rig.serial.opens, 1);
    EXPECT_EQ(rig.view.status, "занят");
    EXPECT_EQ(rig.timer.starts, starts + 1);
}

TEST(LinkActivation, AFailedOpenIsReportedAndArmsNothing) {
    LinkRig rig;
    rig.serial.failOpen = true;
    rig.link.ActivateComm();
    EXPECT_EQ(rig.view.status, kTextCannotOpenPort);
    EXPECT_FALSE(rig.timer.enabled);
    EXPECT_TRUE(rig.serial.escapes.empty());
    rig.Queue(cmReadDirectory);  // stays queued for a later open
    EXPECT_EQ(rig.link.QueueLength(), 1);
}

TEST(LinkActivation, OpeningResetsTheReceiveBuffer) {
    LinkRig rig;
    rig.link.ActivateComm();
    rig.Feed({0x5C, 0x59, 0x53, 0x57, 0x10});  // a frame start left over
    EXPECT_EQ(rig.link.FillLevel(), 5);
    rig.link.DeactivateComm();
    rig.link.ActivateComm();
    EXPECT_EQ(rig.link.FillLevel(), 0);
}

TEST(NoReplyTimer, ArmedByActivationAndByEveryChunk) {
    LinkRig rig;
    rig.link.ActivateComm();
    rig.Queue(cmReadDirectory);
    const int afterActivate = rig.timer.starts;
    EXPECT_EQ(afterActivate, 1);
    rig.Feed({0x00});  // noise still proves the console is there
    EXPECT_EQ(rig.timer.starts, 2);
    rig.Feed(Poll());
    EXPECT_EQ(rig.timer.starts, 3);
    EXPECT_TRUE(rig.timer.enabled);
}

TEST(NoReplyTimer, TickAbandonsTheBatch) {
    LinkRig rig;
    rig.link.ActivateComm();
    rig.Queue(cmReadDirectory);
    rig.Queue(cmReadFreeSpace);
    rig.link.UpdateQueueProgress();
    rig.link.Timer1Timer();
    EXPECT_EQ(rig.link.QueueLength(), 0);
    EXPECT_EQ(rig.view.status, kTextNoConnection);
    EXPECT_EQ(rig.view.counter, "0");
    EXPECT_EQ(rig.view.progressPosition, 0);
    EXPECT_FALSE(rig.serial.open);
    EXPECT_FALSE(rig.timer.enabled);
}

TEST(NoReplyTimer, AChunkThatFinishesTheBatchDoesNotRearmIt) {
    LinkRig rig;
    rig.link.ActivateComm();
    rig.Queue(cmDeleteFile, {0});
    rig.Feed(Poll());
    rig.Feed(MakeFrame(cmDeleteFile));
    EXPECT_EQ(rig.view.status, kTextOperationDone);
    EXPECT_FALSE(rig.timer.enabled);
    EXPECT_FALSE(rig.serial.open);
}

TEST(NoReplyTimer, AChunkThatClearsTheQueueDoesNotRearmIt) {
    struct ClearingFirmware : IFirmwareReplies {
        ConsoleLink* link = nullptr;
        void ShowProgramStatus(const TReplyRecord&) override {}
        void ShowVerifyStatus(const TReplyRecord&) override { link->ClearCommands(); }
        void ShowEepromProgramStatus(const TReplyRecord&) override {}
        void ShowEepromVerifyStatus(const TReplyRecord&) override {}
    } firmware;
    LinkRig rig;
    firmware.link = &rig.link;
    rig.link.SetFirmwareReplies(&firmware);
    rig.link.ActivateComm();
    rig.Queue(cmVerifyFlash, std::vector<std::uint8_t>(35, 0));
    rig.Queue(cmVerifyFlash, std::vector<std::uint8_t>(35, 0));
    rig.Feed(Poll());
    rig.Feed(MakeFrame(cmVerifyFlash, std::vector<std::uint8_t>{0, 0, 1}));
    EXPECT_EQ(rig.link.QueueLength(), 0);
    EXPECT_FALSE(rig.timer.enabled);
}

}  // namespace
}  // namespace vemkard
