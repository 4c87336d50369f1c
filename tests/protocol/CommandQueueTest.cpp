// The command queue, the answering of polls, link activation and the
// no-reply timer.
#include <gtest/gtest.h>

#include "tests/protocol/LinkFakes.h"

namespace vemkard {
namespace {

using testing::Concat;
using testing::LinkRig;
using testing::Poll;
using namespace std::chrono_literals;

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

TEST(CommandQueue, ThePauseEndsTwentyMillisecondsAfterTheChunkThatCompletedThePoll) {
    LinkRig rig;
    rig.link.ActivateComm();
    rig.Queue(cmReadDirectory);
    const auto poll = Poll();
    const auto read = rig.serial.arrival;
    rig.Feed({poll.begin(), poll.begin() + 3});
    rig.serial.arrival = read + 7ms;
    rig.Feed({poll.begin() + 3, poll.end()});
    ASSERT_EQ(rig.sleeper.deadlines.size(), 1u);
    EXPECT_EQ(rig.sleeper.deadlines[0], read + 27ms);
}

TEST(CommandQueue, WithoutAReadTimeThePauseCountsFromNow) {
    LinkRig rig;
    rig.serial.arrival = {};
    rig.link.ActivateComm();
    rig.Queue(cmReadDirectory);
    const auto before = std::chrono::steady_clock::now();
    rig.Feed(Poll());
    ASSERT_EQ(rig.sleeper.deadlines.size(), 1u);
    EXPECT_GE(rig.sleeper.deadlines[0], before + 20ms);
    EXPECT_LE(rig.sleeper.deadlines[0], std::chrono::steady_clock::now() + 20ms);
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

TEST(LinkActivation, AFailedOpenGivesThePortsReasonAfterTheMessage) {
    LinkRig rig;
    rig.serial.failOpen = true;
    rig.serial.failReason = "Порт занят программой minicom.";
    rig.link.ActivateComm();
    EXPECT_EQ(rig.view.status, "Невозможно открыть порт! Порт занят программой minicom.");
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

TEST(NoReplyTimer, ArmedByActivationAndByEveryChunkThatMovesTheQueueOn) {
    LinkRig rig;
    rig.link.ActivateComm();
    EXPECT_EQ(rig.timer.starts, 1);
    rig.Feed(Poll());  // nothing queued: a poll still proves the console is there
    EXPECT_EQ(rig.timer.starts, 2);
    rig.Queue(cmReadDirectory);
    rig.Queue(cmReadFreeSpace);
    struct Step {
        const char* what;
        std::vector<std::uint8_t> chunk;
        int starts;
    };
    const Step steps[] = {
        {"noise", {0x00}, 2},
        {"the head goes out", Poll(), 3},
        {"the same head again", Poll(), 3},
        {"a reply to another command", MakeFrame(cmReadEntry, std::vector<std::uint8_t>(7, 0)), 3},
        {"a reply too short for its field", MakeFrame(cmReadDirectory), 3},
        {"the head acknowledged", MakeFrame(cmReadDirectory, std::vector<std::uint8_t>{0}), 4},
        {"the next head goes out", Poll(), 5},
    };
    for (const Step& step : steps) {
        rig.Feed(step.chunk);
        EXPECT_EQ(rig.timer.starts, step.starts) << step.what;
    }
    EXPECT_TRUE(rig.timer.enabled);
}

// The console polls once a second and answers each head with `answer`.
TEST(NoReplyTimer, AHeadUnacknowledgedForTheIntervalEndsTheBatch) {
    using Bytes = std::vector<std::uint8_t>;
    struct Case {
        const char* what;
        Bytes wrong;  // what the console answers the head with, until `rightAt`
        int rightAt;  // the attempt that gets the right reply; 0: none
        std::string_view status;
    };
    const Case cases[] = {
        {"ignored code", MakeFrame(cmReadEntry, Bytes(7, 0)), 0, kTextNoConnection},
        {"too short", MakeFrame(cmReadFreeSpace, Bytes{1}), 0, kTextNoConnection},
        {"polls only", {}, 0, kTextNoConnection},
        {"lossy, recovers in time", {}, 20, kTextOperationDone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LinkRig rig;
        rig.link.ActivateComm();
        rig.Queue(cmReadFreeSpace);
        int attempt = 0;
        while (rig.link.QueueLength() > 0 && attempt < 40) {
            ++attempt;
            rig.Elapse(1000);
            if (rig.link.QueueLength() == 0) break;  // the timer ended it and closed the port
            rig.Feed(Concat({Poll(), attempt == c.rightAt ? MakeFrame(cmReadFreeSpace, Bytes{1, 0})
                                                          : c.wrong}));
        }
        // The head first went out at attempt 1, so the interval ends at attempt 21.
        EXPECT_EQ(attempt, c.rightAt != 0 ? c.rightAt : 21);
        EXPECT_EQ(rig.view.status, c.status);
        EXPECT_FALSE(rig.serial.open);
        EXPECT_FALSE(rig.timer.enabled);
    }
}

TEST(NoReplyTimer, ABatchLongerThanTheIntervalRunsToItsEnd) {
    LinkRig rig;
    rig.link.ActivateComm();
    for (int i = 0; i < 60; ++i) rig.Queue(cmDeleteFile, {static_cast<std::uint8_t>(i)});
    // Each head takes 900 ms to go out and as long again to be acknowledged.
    while (rig.link.QueueLength() > 0 && rig.timer.enabled) {
        rig.Elapse(900);
        rig.Feed(Poll());
        rig.Elapse(900);
        rig.Feed(MakeFrame(cmDeleteFile));
    }
    EXPECT_EQ(rig.view.status, kTextOperationDone);
    EXPECT_EQ(rig.link.QueueLength(), 0);
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
