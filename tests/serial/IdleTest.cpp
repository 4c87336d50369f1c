// An idle program costs nothing: while the port is closed, and while it is
// open on a silent line, none of its threads wakes up; and what comes in
// wakes only the owner thread, which reads it. Counted in wake-ups (the times
// the kernel ran each thread), not in time.
#include <dirent.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/serial/CommHarness.h"

namespace vemkard::testing {
namespace {

using RunCountMap = std::map<pid_t, std::uint64_t>;

// How often the kernel has run each thread of this process.
RunCountMap RunCounts() {
    RunCountMap counts;
    DIR* tasks = ::opendir("/proc/self/task");
    if (tasks == nullptr) return counts;
    while (const dirent* entry = ::readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        const auto tid = static_cast<pid_t>(std::atoi(entry->d_name));
        // cpu time, wait time, times run
        std::ifstream stat(std::string("/proc/self/task/") + entry->d_name + "/schedstat");
        std::uint64_t cpu = 0, wait = 0, runs = 0;
        if (stat >> cpu >> wait >> runs) counts[tid] = runs;
    }
    ::closedir(tasks);
    return counts;
}

// The wake-ups of `threads` while `action` runs.
RunCountMap WakeUpsDuring(const std::vector<pid_t>& threads, const std::function<void()>& action) {
    std::this_thread::sleep_for(100ms);  // what the last step started settles
    const auto before = RunCounts();
    action();
    const auto after = RunCounts();
    RunCountMap wakeUps;
    for (const pid_t tid : threads) {
        const auto was = before.find(tid);
        const auto now = after.find(tid);
        if (was != before.end() && now != after.end()) wakeUps[tid] = now->second - was->second;
    }
    return wakeUps;
}

// The wake-ups of `threads` over a while in which nothing happens.
RunCountMap WakeUpsWhileIdle(const std::vector<pid_t>& threads) {
    return WakeUpsDuring(threads, [] { std::this_thread::sleep_for(400ms); });
}

// The component's owner thread runs its message loop, as a program's does.
struct IdleRig {
    MessageLoop loop;
    PtyPair pty;
    std::promise<pid_t> ownerId;
    std::thread owner{[this] {
        ownerId.set_value(::gettid());
        loop.Run();
    }};
    const pid_t ownerTid = ownerId.get_future().get();
    TComm32 comm{loop};

    ~IdleRig() {
        OnOwner([this] { comm.ClosePort(); });
        loop.Quit();
        owner.join();
    }
    void OnOwner(std::function<void()> task) {
        std::promise<void> done;
        loop.PostTask([&] {
            task();
            done.set_value();
        });
        done.get_future().wait();
    }
};

TEST(Idle, NoThreadWakesWhileThePortIsClosed) {
    IdleRig rig;
    const auto wakeUps = WakeUpsWhileIdle({rig.ownerTid});
    ASSERT_EQ(wakeUps.size(), 1u);
    EXPECT_EQ(wakeUps.begin()->second, 0u) << "the owner thread";
}

// Opens the rig's port on its owner thread; returns the owner and the
// threads the open started.
std::vector<pid_t> OpenOnOwner(IdleRig& rig, std::function<void(const void*, std::uint16_t)> onData) {
    // Threads of the test itself and of a sanitizer run already.
    const auto beforeOpen = RunCounts();
    bool opened = false;
    rig.OnOwner([&] {
        rig.comm.SetCommPort(rig.pty.SlaveName());
        rig.comm.OnReceiveData = std::move(onData);
        opened = rig.comm.OpenPort();
    });
    EXPECT_TRUE(opened);
    std::vector<pid_t> threads{rig.ownerTid};
    for (const auto& [tid, runs] : RunCounts()) {
        if (beforeOpen.count(tid) == 0) threads.push_back(tid);
    }
    return threads;
}

TEST(Idle, NoThreadWakesWhileTheLineIsSilent) {
    IdleRig rig;
    const auto threads = OpenOnOwner(rig, [](const void*, std::uint16_t) {});
    ASSERT_EQ(threads.size(), 3u) << "the owner, the reader and the writer";
    const auto wakeUps = WakeUpsWhileIdle(threads);
    ASSERT_EQ(wakeUps.size(), 3u);
    for (const auto& [tid, runs] : wakeUps) EXPECT_EQ(runs, 0u) << "thread " << tid;
}

TEST(Idle, ReceivedChunksWakeNeitherSerialThread) {
    IdleRig rig;
    std::atomic<std::size_t> received{0};
    const auto threads =
        OpenOnOwner(rig, [&](const void*, std::uint16_t count) { received += count; });
    ASSERT_EQ(threads.size(), 3u) << "the owner, the reader and the writer";
    constexpr int kChunks = 20;
    const auto wakeUps = WakeUpsDuring({threads[1], threads[2]}, [&] {
        for (int i = 0; i < kChunks; ++i) {
            ASSERT_TRUE(rig.pty.Write(Pattern(7, i), kPatience));
            std::this_thread::sleep_for(5ms);  // one chunk each, as polls come
        }
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (received < 7u * kChunks && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
    });
    EXPECT_EQ(received, 7u * kChunks);
    ASSERT_EQ(wakeUps.size(), 2u);
    for (const auto& [tid, runs] : wakeUps) EXPECT_EQ(runs, 0u) << "thread " << tid;
}

}  // namespace
}  // namespace vemkard::testing
