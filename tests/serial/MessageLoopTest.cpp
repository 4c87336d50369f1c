// The plain message loop: order, quitting, timers.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "serial/MessageLoop.h"

namespace vemkard {
namespace {

using namespace std::chrono_literals;
using Mode = MessageLoop::TimerMode;
constexpr auto kPatience = 20s;

TEST(MessageLoop, TasksFromEachThreadRunInTheOrderPosted) {
    MessageLoop loop;
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    std::vector<std::vector<int>> seen(kThreads);
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) loop.PostTask([&, t, i] { seen[t].push_back(i); });
        });
    }
    int total = 0;
    const auto all = [&] {
        total = 0;
        for (const auto& s : seen) total += static_cast<int>(s.size());
        return total == kThreads * kEach;
    };
    EXPECT_TRUE(loop.RunUntil(all, kPatience));
    for (auto& p : posters) p.join();
    for (const auto& s : seen) {
        ASSERT_EQ(s.size(), static_cast<std::size_t>(kEach));
        for (int i = 0; i < kEach; ++i) EXPECT_EQ(s[i], i);
    }
}

TEST(MessageLoop, RunEndsAtQuitFromAnotherThread) {
    MessageLoop loop;
    std::atomic<bool> ran{false};
    std::thread other([&] {
        loop.PostTask([&] { ran = true; });
        loop.Quit();
    });
    loop.Run();
    other.join();
    loop.RunPending();
    EXPECT_TRUE(ran);
}

TEST(MessageLoop, AQuitBeforeRunEndsItAtOnceAndIsUsedUp) {
    MessageLoop loop;
    loop.Quit();
    loop.Run();
    int ticks = 0;
    loop.StartTimer(1, 1ms, Mode::Periodic, [&] { ++ticks; });
    EXPECT_TRUE(loop.RunUntil([&] { return ticks >= 3; }, kPatience));
}

TEST(MessageLoop, RunUntilReportsWhetherTheConditionHeld) {
    MessageLoop loop;
    EXPECT_FALSE(loop.RunUntil([] { return false; }, 20ms));
    bool done = false;
    loop.PostTask([&] { done = true; });
    EXPECT_TRUE(loop.RunUntil([&] { return done; }, kPatience));
}

TEST(MessageLoop, RunUntilStopsRightAfterTheTaskThatMetIt) {
    MessageLoop loop;
    int ran = 0;
    for (int i = 0; i < 5; ++i) loop.PostTask([&] { ++ran; });
    EXPECT_TRUE(loop.RunUntil([&] { return ran == 2; }, kPatience));
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(loop.RunPending(), 3u);
}

TEST(MessageLoop, ASingleShotTimerFiresOnce) {
    MessageLoop loop;
    int fired = 0;
    loop.StartTimer(7, 5ms, Mode::SingleShot, [&] { ++fired; });
    EXPECT_TRUE(loop.TimerActive(7));
    EXPECT_TRUE(loop.RunUntil([&] { return fired == 1; }, kPatience));
    EXPECT_FALSE(loop.TimerActive(7));
    loop.RunFor(30ms);
    EXPECT_EQ(fired, 1);
}

TEST(MessageLoop, APeriodicTimerStopsItselfFromItsCallback) {
    MessageLoop loop;
    int fired = 0;
    loop.StartTimer(1, 1ms, Mode::Periodic, [&] {
        if (++fired == 3) loop.StopTimer(1);
    });
    EXPECT_TRUE(loop.RunUntil([&] { return fired == 3; }, kPatience));
    EXPECT_FALSE(loop.TimerActive(1));
    loop.RunFor(30ms);
    EXPECT_EQ(fired, 3);
}

TEST(MessageLoop, RestartingATimerReplacesItsInterval) {
    MessageLoop loop;
    int fired = 0;
    loop.StartTimer(2, 1h, Mode::SingleShot, [&] { fired += 100; });
    loop.StartTimer(2, 1ms, Mode::SingleShot, [&] { ++fired; });
    EXPECT_TRUE(loop.RunUntil([&] { return fired != 0; }, kPatience));
    EXPECT_EQ(fired, 1);
}

TEST(MessageLoop, AStoppedTimerNeverFires) {
    MessageLoop loop;
    bool fired = false;
    loop.StartTimer(3, 1ms, Mode::SingleShot, [&] { fired = true; });
    loop.StopTimer(3);
    loop.RunFor(30ms);
    EXPECT_FALSE(fired);
}

TEST(MessageLoop, ATimerStartedFromAnotherThreadWakesASleepingLoop) {
    MessageLoop loop;
    std::atomic<bool> fired{false};
    loop.StartTimer(9, 1h, Mode::SingleShot, [] {});  // the loop sleeps towards this one
    std::thread other;
    loop.PostTask([&] {
        other =
            std::thread([&] { loop.StartTimer(4, 1ms, Mode::SingleShot, [&] { fired = true; }); });
    });
    EXPECT_TRUE(loop.RunUntil([&] { return fired.load(); }, kPatience));
    other.join();
}

TEST(MessageLoop, TasksThatPostTasksDoNotStarveTimers) {
    MessageLoop loop;
    bool fired = false;
    std::function<void()> again = [&] { loop.PostTask(again); };
    loop.PostTask(again);
    loop.StartTimer(5, 2ms, Mode::SingleShot, [&] { fired = true; });
    EXPECT_TRUE(loop.RunUntil([&] { return fired; }, kPatience));
}

}  // namespace
}  // namespace vemkard
