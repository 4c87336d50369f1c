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

struct FaultCase {
    const char* name;
    FaultRates faults;
};

class NoisyLine : public ::testing::TestWithParam<FaultCase> {};

TEST_P(NoisyLine, UploadStillEndsByteExactOnTheConsole) {
    TempFolder folder;
    const Bytes contents = CountingBytes(700);
    const std::string path = folder.Write("plan.h6s", contents);
    for (std::uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        ConsoleBench bench({.faults = GetParam().faults, .seed = seed});
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

INSTANTIATE_TEST_SUITE_P(
    Faults, NoisyLine,
    ::testing::Values(FaultCase{"damaged", {.damage = 0.1}}, FaultCase{"noise", {.noise = 0.3}},
                      FaultCase{"split", {.split = 0.5}}, FaultCase{"lost", {.lose = 0.15}},
                      FaultCase{"delayed", {.delay = 0.2, .delayMs = 30}},
                      FaultCase{"duplicated", {.duplicate = 0.2}},
                      FaultCase{"all", {.lose = 0.1, .damage = 0.05, .noise = 0.1, .split = 0.2}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vemkard::testing
