// The figures of one end-to-end run against the pace the console sets, and
// their report: a line a run, then min / median / max over the runs.
//
//   bound = commands x (20 ms + simulator poll pause + measured pty round trip)
#pragma once

#include <cstddef>
#include <vector>

#include "tests/bench/BenchSupport.h"

namespace vemkard::bench {

struct RunFigures {
    std::size_t commands = 0;
    double wallS = 0, boundS = 0, ratio = 0, cpuSeconds = 0, cpuShare = 0, roundTripMs = 0;
    // CPU seconds of the owner (user-interface) thread alone; < 0: not taken.
    double ownerCpuSeconds = -1;
    Summary overhead;
    bool ok = false;
};

// Fills in the bound, wall/bound and the CPU share from the measured parts.
void Complete(RunFigures& figures, int pollMs);
void PrintRun(const char* what, int run, const RunFigures& figures);
void PrintRunSummary(const char* what, const std::vector<RunFigures>& runs);

}  // namespace vemkard::bench
