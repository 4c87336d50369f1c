// A pause that ends at a moment of the steady clock rather than after a
// length of time, so that whatever delayed the caller before it slept does
// not lengthen it. Any thread.
#pragma once

#include <chrono>

namespace vemkard {

// Returns once the steady clock has reached `deadline` (at once when it has
// passed), never before. The calling thread's timer slack is cut to the
// least, so the wake-up comes within microseconds of the deadline instead of
// the default 50 µs and more. The thread keeps that slack from its first
// pause on: it pauses once a command, and cutting and putting back the slack
// every time cost three system calls a pause.
void SleepUntilDeadline(std::chrono::steady_clock::time_point deadline);

}  // namespace vemkard
