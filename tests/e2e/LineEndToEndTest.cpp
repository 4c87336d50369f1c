// Firmware programming, a silent console and a noisy line, end to end.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "protocol/ConsoleLink.h"
#include "sim/SampleFiles.h"
#include "tests/e2e/ConsoleBench.h"
#include "tests/support/TempFiles.h"

namespace vemkard::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string AddressText(const char* format, unsigned address) {
    char text[128];
    std::snprintf(text, sizeof text, format, address);
    return text;
}

TEST(Firmware, TwoKibibytesAreProgrammedVerifiedAndListedAfter) {
    TempFolder folder;
    const Bytes image = CountingBytes(2048);
    ConsoleBench bench;
    bench.dialogs.chosenFile = folder.Write("main.mts", image);
    bench.dialogs.confirm = true;
    bench.session.Firmware.ToolButton10Click();
    ASSERT_TRUE(bench.RunUntilIdle());

    const auto console = bench.Console();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), console.Flash().begin()));
    EXPECT_EQ(console.Flash()[2048], ConsoleStore::kErasedByte);
    // Both passes ran to their last block, then the directory was read.
    EXPECT_TRUE(bench.view.Showed(AddressText("Идет программирование по адресу %Xh", 0x7E0)));
    EXPECT_TRUE(bench.view.Showed(AddressText("Идет верификация по адресу %Xh", 0x7E0)));
    EXPECT_EQ(bench.view.Status(), kTextOperationDone);
    EXPECT_EQ(bench.session.Grid.RowCount(), 2);
}

TEST(Firmware, VerifyErrorAtTheChosenAddressClearsTheQueue) {
    TempFolder folder;
    BenchOptions options;
    options.faults.verifyErrorAddress = 0x400;
    ConsoleBench bench(options);
    bench.dialogs.chosenFile = folder.Write("main.mts", CountingBytes(2048));
    bench.session.Firmware.ToolButton10Click();
    ASSERT_TRUE(bench.RunUntilIdle());

    EXPECT_EQ(bench.view.Status(), AddressText("Ошибка верификации по адресу %Xh!", 0x400));
    EXPECT_EQ(bench.session.Link.QueueLength(), 0);
    EXPECT_EQ(bench.view.counter, "0");
    // The blocks behind the failing one were never verified.
    EXPECT_FALSE(bench.view.Showed(AddressText("Идет верификация по адресу %Xh", 0x420)));
    EXPECT_FALSE(bench.view.Showed(std::string(kTextOperationDone)));
}

TEST(SilentConsole, NoReplyEndsTheBatchWithNoConnection) {
    ConsoleBench bench({.faults = {.silentAfter = 0}, .replyTimeout = 300ms});
    bench.session.Listing.ToolButton4Click();
    ASSERT_TRUE(bench.RunUntilStatus(kTextNoConnection));
    EXPECT_EQ(bench.session.Link.QueueLength(), 0);
    EXPECT_FALSE(bench.comm.PortOpen());
    EXPECT_FALSE(bench.timer.Enabled());
    EXPECT_EQ(bench.simulator.RepliesSent(), 0u);
}

TEST(SilentConsole, ConsoleFallingSilentMidListingLeavesTheRowsThatCame) {
    // Replies: the count, then two entries; then nothing.
    ConsoleBench bench({.faults = {.silentAfter = 3},
                        .replyTimeout = 300ms,
                        .fill = [](ConsoleStore& store) { AddSampleFiles(store); }});
    bench.session.Listing.ToolButton4Click();
    ASSERT_TRUE(bench.RunUntilStatus(kTextNoConnection));
    const auto& grid = bench.session.Grid;
    ASSERT_EQ(grid.RowCount(), 7);
    EXPECT_EQ(grid.Cell(1, 0), "1");
    EXPECT_EQ(grid.Cell(2, 0), "2");
    EXPECT_EQ(grid.Cell(3, 0), "");
    EXPECT_EQ(grid.Cell(6, 1), "");
    EXPECT_EQ(bench.session.Link.QueueLength(), 0);
    EXPECT_FALSE(bench.comm.PortOpen());
}

// A poll whose length byte lost one bit makes the receiver wait for a long
// frame; the polls that pile up behind it meanwhile come out in one pass. A
// console that carries out whatever it gets would delete once per answer.
TEST(DamagedPoll, PiledUpPollsDeleteOneFileOnly) {
    FaultRates faults{.damageLength = 0.1};
    std::uint32_t seed = 1;
    // A seed whose first poll, the one that meets the delete, is damaged into a
    // frame long enough to hold several polls.
    for (;; ++seed) {
        FaultPlan plan(faults, seed);
        Bytes poll = MakeFrame(cmPoll);
        if (plan.DamageLength(poll) && poll[4] >= 33) break;
    }
    ConsoleBench bench({.simulator = {.pollMs = 5, .answerMs = 40, .executeRepeats = true},
                        .faults = faults,
                        .seed = seed,
                        .fill = [](ConsoleStore& store) {
                            for (int i = 0; i < 40; ++i)
                                store.AddFile(0, "file" + std::to_string(i), Bytes{});
                        }});
    bench.session.Link.ActivateComm();
    const std::uint8_t index = 7;
    bench.session.Link.AddCommand(cmDeleteFile, &index, 2);
    bench.session.Listing.RefreshDirectory();
    ASSERT_TRUE(bench.RunUntilIdle());

    EXPECT_EQ(bench.view.Status(), kTextOperationDone);
    const auto console = bench.Console();
    ASSERT_EQ(console.Files().size(), 39u);
    EXPECT_EQ(console.Files()[7].Name, "file8");
    EXPECT_GT(bench.simulator.FaultsInjected(), 0u);
}

struct FaultCase {
    const char* name;
    FaultRates faults;
    // A console that carries out repeated commands stays right on this line:
    // no reply is ever missing, so the program never has to send a command
    // again. Where replies can go missing, only the console can tell a resent
    // command from a new one.
    bool executeRepeatsToo;
};

class NoisyLine : public ::testing::TestWithParam<FaultCase> {};

TEST_P(NoisyLine, UploadStillEndsByteExactOnTheConsole) {
    TempFolder folder;
    const Bytes contents = CountingBytes(700);
    const std::string path = folder.Write("plan.h6s", contents);
    for (const bool executeRepeats : {false, true}) {
        if (executeRepeats && !GetParam().executeRepeatsToo) continue;
        for (std::uint32_t seed : {1u, 2u, 3u}) {
            SCOPED_TRACE("seed " + std::to_string(seed) +
                         (executeRepeats ? ", repeats carried out" : ""));
            ConsoleBench bench(
                {.simulator = {.pollMs = 5, .answerMs = 40, .executeRepeats = executeRepeats},
                 .faults = GetParam().faults,
                 .seed = seed});
            bench.dialogs.chosenFile = path;
            bench.session.Upload.ToolButton8Click();
            ASSERT_TRUE(bench.RunUntilIdle());
            EXPECT_EQ(bench.view.Status(), kTextOperationDone);

            std::string name = ToConsoleName(path);
            if (name.size() % 2 == 0) name += ' ';
            Bytes expected = MakeUploadHeader(1, name, static_cast<std::uint16_t>(contents.size()));
            expected.insert(expected.end(), contents.begin(), contents.end());
            const auto console = bench.Console();
            ASSERT_EQ(console.Files().size(), 1u);
            const auto& stored = console.Files()[0].Bytes;
            ASSERT_EQ(stored.size(), expected.size());
            for (std::size_t i = 0; i < stored.size(); ++i) {
                ASSERT_EQ(stored[i], expected[i]) << "first difference at offset " << i;
            }
            EXPECT_EQ(bench.session.Grid.RowCount(), 3);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, NoisyLine,
    ::testing::Values(FaultCase{"damaged", {.damage = 0.1}, false},
                      FaultCase{"damaged_length", {.damageLength = 0.1}, true},
                      FaultCase{"noise", {.noise = 0.3}, true},
                      FaultCase{"split", {.split = 0.5}, true},
                      FaultCase{"lost", {.lose = 0.15}, false},
                      FaultCase{"delayed", {.delay = 0.2, .delayMs = 30}, true},
                      FaultCase{"duplicated", {.duplicate = 0.2}, true},
                      FaultCase{
                          "all", {.lose = 0.1, .damage = 0.05, .noise = 0.1, .split = 0.2}, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vemkard::testing
