// Bytes both ways, hang-ups and closing, over pseudo-terminals.
#include <algorithm>
#include <memory>

#include "tests/serial/CommHarness.h"

namespace vemkard::testing {
namespace {

TEST(Comm32Receive, OneBurstArrivesAsOneChunk) {
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    const auto burst = Pattern(200, 1);
    ASSERT_TRUE(h.pty.Write(burst, kPatience));
    ASSERT_TRUE(h.RunUntilReceived(burst.size()));
    ASSERT_EQ(h.chunks.size(), 1u);
    EXPECT_EQ(h.chunks[0], burst);
}

TEST(Comm32Receive, ALongBurstArrivesCompleteInOrderInBoundedChunks) {
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    const auto burst = Pattern(10000, 2);
    ASSERT_TRUE(h.pty.Write(burst, kPatience));
    ASSERT_TRUE(h.RunUntilReceived(burst.size()));
    EXPECT_EQ(h.Received(), burst);
    EXPECT_GE(h.chunks.size(), 3u);
    for (const auto& chunk : h.chunks) {
        EXPECT_LE(chunk.size(), 4095u);
        EXPECT_FALSE(chunk.empty());
    }
}

TEST(Comm32Receive, EachChunkCarriesTheMomentItWasRead) {
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    std::vector<std::chrono::steady_clock::time_point> stamps;
    h.comm.OnReceiveData = [&](const void*, std::uint16_t) {
        stamps.push_back(h.comm.ReceivedAt());
    };
    const auto before = std::chrono::steady_clock::now();
    ASSERT_TRUE(h.pty.Write(Pattern(20, 5), kPatience));
    ASSERT_TRUE(h.target.WaitPosted(WM_COMM_DATA, 1));
    const auto posted = std::chrono::steady_clock::now();
    ASSERT_TRUE(h.loop.RunUntil([&] { return !stamps.empty(); }, kPatience));
    EXPECT_GE(stamps[0], before);
    EXPECT_LE(stamps[0], posted) << "stamped by the reader, not when handled";
    EXPECT_EQ(h.comm.ReceivedAt(), std::chrono::steady_clock::time_point{})
        << "only during the event";
}

TEST(Comm32Receive, EachChunkKeepsItsBytesUntilHandled) {
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    const auto first = Pattern(300, 3);
    const auto second = Pattern(300, 4);
    // Both chunks are posted before the owner handles either.
    ASSERT_TRUE(h.pty.Write(first, kPatience));
    ASSERT_TRUE(h.target.WaitPosted(WM_COMM_DATA, 1));
    ASSERT_TRUE(h.pty.Write(second, kPatience));
    ASSERT_TRUE(h.target.WaitPosted(WM_COMM_DATA, 2));
    h.loop.RunPending();
    ASSERT_EQ(h.chunks.size(), 2u);
    EXPECT_EQ(h.chunks[0], first);
    EXPECT_EQ(h.chunks[1], second);
}

TEST(Comm32Receive, BytesThatWaitedBeforeTheOpenAreNotDelivered) {
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    h.comm.ClosePort();
    const auto stale = Pattern(50, 5);
    ASSERT_TRUE(h.pty.Write(stale, kPatience));  // kept by the pty while nobody reads
    ASSERT_TRUE(h.comm.OpenPort());
    ASSERT_TRUE(h.WaitStarted(2));
    const auto fresh = Pattern(40, 6);
    ASSERT_TRUE(h.pty.Write(fresh, kPatience));
    ASSERT_TRUE(h.RunUntilReceived(fresh.size()));
    EXPECT_EQ(h.Received(), fresh);
}

TEST(Comm32Send, WriteDataRightAfterOpenIsNeverLost) {
    CommHarness h;
    for (std::uint8_t round = 0; round < 20; ++round) {
        ASSERT_TRUE(h.comm.OpenPort());
        ASSERT_TRUE(h.comm.WriteData(&round, 1));
        EXPECT_EQ(h.pty.ReadExactly(1, kPatience), std::vector<std::uint8_t>{round});
        h.comm.ClosePort();
    }
}

TEST(Comm32Send, AThousandWritesArriveInOrderByteForByte) {
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    std::vector<std::uint8_t> expected;
    std::vector<std::uint8_t> scratch;
    for (std::uint32_t i = 0; i < 1000; ++i) {
        const auto size = 1 + (i * 7919u) % 4096u;
        scratch = Pattern(size, i);
        expected.insert(expected.end(), scratch.begin(), scratch.end());
        ASSERT_TRUE(h.comm.WriteData(scratch.data(), static_cast<std::uint16_t>(size)));
        // The next request reuses the caller's buffer at once.
        std::fill(scratch.begin(), scratch.end(), 0xEE);
    }
    // About 2 MB: far more than the pty holds, so writes complete in parts.
    const auto received = h.pty.ReadExactly(expected.size(), 60s);
    ASSERT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);
    EXPECT_EQ(h.target.Count(WM_COMM_HANGUP), 0);
}

TEST(Comm32Send, WriteDataOnAClosedPortIsRefused) {
    CommHarness h;
    const std::uint8_t byte = 1;
    EXPECT_FALSE(h.comm.WriteData(&byte, 1));
    ASSERT_TRUE(h.comm.OpenPort());
    h.comm.ClosePort();
    EXPECT_FALSE(h.comm.WriteData(&byte, 1));
}

TEST(Comm32Send, AnEmptyWriteCompletesAndLaterWritesFollow) {
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    const std::uint8_t byte = 9;
    EXPECT_TRUE(h.comm.WriteData(nullptr, 0));
    EXPECT_TRUE(h.comm.WriteData(&byte, 1));
    EXPECT_EQ(h.pty.ReadExactly(1, kPatience), std::vector<std::uint8_t>{byte});
}

// ----- closing and hang-ups --------------------------------------------------------------

TEST(Comm32Close, ClosingWithAPendingReadEndsBothThreadsWithoutAHangup) {
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    ASSERT_TRUE(h.WaitStarted());
    h.comm.ClosePort();  // returns only once both threads have ended
    EXPECT_FALSE(h.comm.PortOpen());
    EXPECT_EQ(h.target.Count(WM_COMM_HANGUP), 0);
    h.comm.ClosePort();
    EXPECT_FALSE(h.comm.PortOpen());
    h.loop.RunPending();
    EXPECT_EQ(h.hangups, 0);
}

TEST(Comm32Close, OpenCloseOpenAgainWorks) {
    CommHarness h;
    for (int open = 1; open <= 3; ++open) {
        ASSERT_TRUE(h.comm.OpenPort());
        ASSERT_TRUE(h.WaitStarted(open));
        const auto burst = Pattern(64, open);
        ASSERT_TRUE(h.pty.Write(burst, kPatience));
        ASSERT_TRUE(h.RunUntilReceived(64u * open));
        h.comm.ClosePort();
    }
    EXPECT_EQ(h.target.Count(WM_COMM_HANGUP), 0);
}

TEST(Comm32Close, TheFarEndClosingRequestsAHangup) {
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    ASSERT_TRUE(h.WaitStarted());
    h.pty.CloseMaster();
    ASSERT_TRUE(h.loop.RunUntil([&] { return h.hangups > 0; }, kPatience));
    h.comm.ClosePort();
    EXPECT_FALSE(h.comm.PortOpen());
}

TEST(Comm32Close, AWriteAfterTheFarEndClosedRequestsAHangupAndEndsTheWriter) {
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    ASSERT_TRUE(h.WaitStarted());
    h.pty.CloseMaster();
    ASSERT_TRUE(h.target.WaitPosted(WM_COMM_HANGUP, 1));  // the reader's
    const std::uint8_t byte = 1;
    ASSERT_TRUE(h.comm.WriteData(&byte, 1));
    ASSERT_TRUE(h.target.WaitPosted(WM_COMM_HANGUP, 2));  // the writer's
    // The writer has ended: nothing more can be queued until the port reopens.
    EXPECT_FALSE(h.comm.WriteData(&byte, 1));
    ASSERT_TRUE(h.loop.RunUntil([&] { return h.hangups == 2; }, kPatience));
    h.comm.ClosePort();
}

TEST(Comm32Close, ClosingEndsAWriterWaitingForRoomAndDropsQueuedWrites) {
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    ASSERT_NE(h.comm.EscapeComm(1), 0u);  // output held: the writer waits for room
    const auto held = Pattern(1000, 10);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(h.comm.WriteData(held.data(), 1000));
    h.comm.ClosePort();
    EXPECT_EQ(h.target.Count(WM_COMM_HANGUP), 0);

    ASSERT_TRUE(h.comm.OpenPort());
    ASSERT_NE(h.comm.EscapeComm(2), 0u);
    const std::uint8_t marker = 0xA5;
    ASSERT_TRUE(h.comm.WriteData(&marker, 1));
    EXPECT_EQ(h.pty.ReadExactly(1, kPatience), std::vector<std::uint8_t>{marker});
    EXPECT_TRUE(h.pty.Read(50ms).empty());
}

TEST(Comm32Close, AClosedPortLeavesNoOutputHeldForTheNextOpen) {
    // Held output would keep a real close waiting for the far end; a pty
    // shows the hold outliving the close instead.
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    ASSERT_NE(h.comm.EscapeComm(1), 0u);  // SETXOFF
    const auto held = Pattern(100, 12);
    ASSERT_TRUE(h.comm.WriteData(held.data(), 100));
    h.comm.ClosePort();
    ASSERT_TRUE(h.comm.OpenPort());
    const std::uint8_t marker = 0x7E;
    ASSERT_TRUE(h.comm.WriteData(&marker, 1));
    EXPECT_EQ(h.pty.ReadExactly(1, 2s), std::vector<std::uint8_t>{marker});
}

TEST(Comm32Close, BytesBeforeTheFarEndClosedAreStillDelivered) {
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    ASSERT_TRUE(h.WaitStarted());
    const auto last = Pattern(100, 7);
    ASSERT_TRUE(h.pty.Write(last, kPatience));
    ASSERT_TRUE(h.target.WaitPosted(WM_COMM_DATA, 1));
    h.pty.CloseMaster();
    ASSERT_TRUE(h.loop.RunUntil([&] { return h.hangups > 0; }, kPatience));
    EXPECT_EQ(h.Received(), last);
}

TEST(Comm32Close, MessagesOfAClosedOpenRaiseNothing) {
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    ASSERT_TRUE(h.pty.Write(Pattern(10, 8), kPatience));
    ASSERT_TRUE(h.target.WaitPosted(WM_COMM_DATA, 1));
    h.comm.ClosePort();
    ASSERT_TRUE(h.comm.OpenPort());
    h.loop.RunPending();
    EXPECT_TRUE(h.chunks.empty());
}

TEST(Comm32Close, MessagesOutlivingTheComponentAreDropped) {
    MessageLoop loop;
    PtyPair pty;
    {
        RecordingTarget target(loop);
        auto comm = std::make_unique<TComm32>(target);
        comm->SetCommPort(pty.SlaveName());
        int received = 0;
        comm->OnReceiveData = [&](const void*, std::uint16_t) { ++received; };
        ASSERT_TRUE(comm->OpenPort());
        ASSERT_TRUE(pty.Write(Pattern(10, 9), kPatience));
        ASSERT_TRUE(target.WaitPosted(WM_COMM_DATA, 1));
        comm.reset();  // closes, then goes while its messages are queued
        EXPECT_GT(loop.RunPending(), 0u);
        EXPECT_EQ(received, 0);
    }
}

TEST(Comm32Trace, ShowsEachWriteAndEachChunkAsTheyCrossTheLine) {
    CommHarness h;
    std::vector<TTraceChunk> seen;
    std::vector<std::vector<std::uint8_t>> bytes;
    h.comm.SetOnTrace([&](const TTraceChunk& chunk) {
        seen.push_back(chunk);
        bytes.emplace_back(chunk.Bytes.begin(), chunk.Bytes.end());
    });
    ASSERT_TRUE(h.comm.OpenPort());
    const auto first = Pattern(7, 10);
    const auto second = Pattern(40, 11);
    ASSERT_TRUE(h.comm.WriteData(first.data(), 7));
    ASSERT_TRUE(h.comm.WriteData(second.data(), 40));
    EXPECT_EQ(h.pty.ReadExactly(47, kPatience).size(), 47u);
    ASSERT_TRUE(h.target.WaitPosted(WM_COMM_WRITTEN, 2));
    const auto reply = Pattern(9, 12);
    ASSERT_TRUE(h.pty.Write(reply, kPatience));
    ASSERT_TRUE(h.RunUntilReceived(reply.size()));

    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0].Direction, TTraceDirection::Sent);
    EXPECT_EQ(bytes[0], first);
    EXPECT_EQ(seen[1].Direction, TTraceDirection::Sent);
    EXPECT_EQ(bytes[1], second);
    EXPECT_EQ(seen[2].Direction, TTraceDirection::Received);
    EXPECT_EQ(bytes[2], reply);
    EXPECT_LE(seen[0].Time, seen[1].Time);
    EXPECT_LE(seen[1].Time, seen[2].Time);
}

TEST(Comm32Trace, TheWriterReportsNothingWhileNoTapIsSet) {
    CommHarness h;
    ASSERT_TRUE(h.comm.OpenPort());
    const auto frame = Pattern(7, 13);
    ASSERT_TRUE(h.comm.WriteData(frame.data(), 7));
    EXPECT_EQ(h.pty.ReadExactly(7, kPatience).size(), 7u);
    int traced = 0;
    h.comm.SetOnTrace([&](const TTraceChunk&) { ++traced; });  // set while open
    ASSERT_TRUE(h.comm.WriteData(frame.data(), 7));
    EXPECT_EQ(h.pty.ReadExactly(7, kPatience).size(), 7u);
    ASSERT_TRUE(h.target.WaitPosted(WM_COMM_WRITTEN, 1));
    h.loop.RunPending();
    EXPECT_EQ(h.target.Count(WM_COMM_WRITTEN), 1);
    EXPECT_EQ(traced, 1);
}

}  // namespace
}  // namespace vemkard::testing
