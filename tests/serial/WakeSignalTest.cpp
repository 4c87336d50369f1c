// The wake-up signal that ends a modem-line wait at close: a thread blocked
// in a system call returns from it with EINTR.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "serial/posix/PortBackend.h"

namespace vemkard {
namespace {

TEST(WakeSignal, InterruptsABlockedCallOfThePreparedThread) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::atomic<bool> ended{false};
    int result = 0;
    int error = 0;
    serial_backend::InstallWakeSignal();
    std::thread blocked([&] {
        serial_backend::PrepareWakeSignal();
        char byte = 0;
        result = static_cast<int>(::read(fds[0], &byte, 1));  // nothing ever comes
        error = errno;
        ended = true;
    });
    // A wake that comes before the read blocks is lost; repeat as the closer does.
    while (!ended) {
        serial_backend::WakeThread(blocked.native_handle());
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    blocked.join();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, EINTR);
    ::close(fds[0]);
    ::close(fds[1]);
}

}  // namespace
}  // namespace vemkard
