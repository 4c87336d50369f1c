// An idle program costs nothing: while the port is closed, and while it is
// open on a silent line, none of its threads wakes up. Counted in wake-ups
// (the times the kernel ran each thread), not in time.
#include <dirent.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <future>
#include <map>
#include <string>
#include <thread>

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

// The wake-ups, over a while in which nothing happens, of the threads that
// are not in `earlier` (those of the test itself and of any sanitizer).
RunCountMap WakeUpsWhileIdle(const RunCountMap& earlier) {
    std::this_thread::sleep_for(100ms);  // what the last step started settles
    const auto before = RunCounts();
    std::this_thread::sleep_for(400ms);
    RunCountMap wakeUps;
    for (const auto& [tid, runs] : RunCounts()) {
        if (earlier.count(tid) != 0) continue;
        const auto was = before.find(tid);
        wakeUps[tid] = runs - (was == before.end() ? 0 : was->second);
    }
    return wakeUps;
}

// The component's owner thread runs its message loop, as a program's does.
struct IdleRig {
    MessageLoop loop;
    PtyPair pty;
    std::thread owner{[this] { loop.Run(); }};
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
    const auto earlier = RunCounts();
    IdleRig rig;
    const auto wakeUps = WakeUpsWhileIdle(earlier);
    ASSERT_EQ(wakeUps.size(), 1u) << "the owner thread alone";
    EXPECT_EQ(wakeUps.begin()->second, 0u);
}

TEST(Idle, NoThreadWakesWhileTheLineIsSilent) {
    const auto earlier = RunCounts();
    IdleRig rig;
    bool opened = false;
    rig.OnOwner([&] {
        rig.comm.SetCommPort(rig.pty.SlaveName());
        rig.comm.OnReceiveData = [](const void*, std::uint16_t) {};
        opened = rig.comm.OpenPort();
    });
    ASSERT_TRUE(opened);
    const auto wakeUps = WakeUpsWhileIdle(earlier);
    ASSERT_EQ(wakeUps.size(), 3u) << "the owner, the reader and the writer";
    for (const auto& [tid, runs] : wakeUps) EXPECT_EQ(runs, 0u) << "thread " << tid;
}

}  // namespace
}  // namespace vemkard::testing
