// The pause to a deadline never ends early, whatever the deadline.
#include <gtest/gtest.h>

#include <chrono>

#include "serial/DeadlineSleep.h"

namespace vemkard {
namespace {

using namespace std::chrono_literals;

class DeadlineSleep : public ::testing::TestWithParam<std::chrono::microseconds> {};

TEST_P(DeadlineSleep, NeverReturnsBeforeTheDeadline) {
    const auto deadline = std::chrono::steady_clock::now() + GetParam();
    SleepUntilDeadline(deadline);
    EXPECT_GE(std::chrono::steady_clock::now(), deadline);
}

INSTANTIATE_TEST_SUITE_P(Ahead, DeadlineSleep, ::testing::Values(-5ms, 0us, 1us, 300us, 20ms));

}  // namespace
}  // namespace vemkard
