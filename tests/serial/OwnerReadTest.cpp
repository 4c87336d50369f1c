// Where the owner's loop watches the port, the owner thread reads it itself:
// the same chunks, stamps and hang-up as through the reader, and the line
// trace keeps its order.
#include <chrono>
#include <thread>
#include <vector>

#include "tests/serial/CommHarness.h"

namespace vemkard::testing {
namespace {

using Clock = std::chrono::steady_clock;

TEST(OwnerReads, ChunksComeWholeInOrderStampedWhenRead) {
    CommHarness h(/*ownerReads=*/true);
    std::vector<Clock::time_point> stamps;
    std::vector<Clock::time_point> handled;
    h.comm.OnReceiveData = [&](const void* buffer, std::uint16_t length) {
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        EXPECT_EQ(bytes[length], 0) << "a zero byte follows each chunk";
        h.chunks.emplace_back(bytes, bytes + length);
        stamps.push_back(h.comm.ReceivedAt());
        handled.push_back(Clock::now());
    };
    ASSERT_TRUE(h.comm.OpenPort());
    const auto before = Clock::now();
    const auto burst = Pattern(10000, 21);
    ASSERT_TRUE(h.pty.Write(burst, kPatience));
    ASSERT_TRUE(h.RunUntilReceived(burst.size()));
    EXPECT_EQ(h.Received(), burst);
    for (std::size_t i = 0; i < h.chunks.size(); ++i) {
        EXPECT_LE(h.chunks[i].size(), 4095u);
        EXPECT_GE(stamps[i], before);
        EXPECT_LE(stamps[i], handled[i]);
    }
    EXPECT_EQ(h.target.Count(WM_COMM_DATA), 0) << "read by the owner, not posted by the reader";
}

TEST(OwnerReads, TheFarEndClosingRaisesOneHangupAndEndsTheWatch) {
    CommHarness h(true);
    ASSERT_TRUE(h.comm.OpenPort());
    ASSERT_TRUE(h.WaitStarted());
    const auto last = Pattern(100, 22);
    ASSERT_TRUE(h.pty.Write(last, kPatience));
    ASSERT_TRUE(h.RunUntilReceived(last.size()));
    h.pty.CloseMaster();
    ASSERT_TRUE(h.loop.RunUntil([&] { return h.hangups > 0; }, kPatience));
    h.loop.RunFor(50ms);
    EXPECT_EQ(h.hangups, 1);
    EXPECT_EQ(h.loop.RunPending(), 0u) << "a hung-up port no longer wakes the loop";
    EXPECT_EQ(h.Received(), last);
}

TEST(OwnerReads, AHandlerThatClosesThePortStopsTheReadsAndAReopenReadsAgain) {
    CommHarness h(true);
    int calls = 0;
    h.comm.OnReceiveData = [&](const void*, std::uint16_t) {
        ++calls;
        h.comm.ClosePort();
    };
    ASSERT_TRUE(h.comm.OpenPort());
    ASSERT_TRUE(h.pty.Write(Pattern(10, 23), kPatience));
    ASSERT_TRUE(h.loop.RunUntil([&] { return calls == 1; }, kPatience));
    EXPECT_FALSE(h.comm.PortOpen());
    ASSERT_TRUE(h.comm.OpenPort());
    ASSERT_TRUE(h.pty.Write(Pattern(10, 24), kPatience));
    ASSERT_TRUE(h.loop.RunUntil([&] { return calls == 2; }, kPatience));
    EXPECT_EQ(h.hangups, 0);
}

TEST(OwnerReads, AnAnswerIsTracedAfterTheFrameWrittenBeforeIt) {
    CommHarness h(true);
    std::vector<TTraceDirection> seen;
    h.comm.SetOnTrace([&](const TTraceChunk& chunk) { seen.push_back(chunk.Direction); });
    ASSERT_TRUE(h.comm.OpenPort());
    const auto frame = Pattern(7, 25);
    ASSERT_TRUE(h.comm.WriteData(frame.data(), 7));
    EXPECT_EQ(h.pty.ReadExactly(7, kPatience).size(), 7u);
    ASSERT_TRUE(h.pty.Write(Pattern(9, 26), kPatience));
    // The answer waits on the port while the frame's report is still queued;
    // the loop then finds both at once.
    std::this_thread::sleep_for(100ms);
    h.loop.RunPending();
    ASSERT_TRUE(h.loop.RunUntil([&] { return seen.size() == 2; }, kPatience));
    EXPECT_EQ(seen, (std::vector{TTraceDirection::Sent, TTraceDirection::Received}));
}

}  // namespace
}  // namespace vemkard::testing
