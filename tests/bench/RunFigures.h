// The figures of one end-to-end run against the pace the console sets, and
// their report: a line a run, then min / median / max over the runs.
//
//   bound = commands x (20 ms + simulator poll pause + measured pty round trip)
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "tests/bench/BenchSupport.h"

namespace vemkard::bench {

struct RunFigures {
    std::size_t commands = 0;
    double wallS = 0, boundS = 0, ratio = 0, cpuSeconds = 0, cpuShare = 0, roundTripMs = 0;
    // CPU seconds of the owner (user-interface) thread alone; < 0: not taken.
    double ownerCpuSeconds = -1;
    // The times the program's threads were woken over the run.
    std::uint64_t wakeUps = 0;
    // The host's steal over the run as a share of the wall time; < 0: not taken.
    double stealShare = -1;
    Summary overhead;
    bool ok = false;
};

// Fills in the bound, wall/bound and the CPU share from the measured parts.
void Complete(RunFigures& figures, int pollMs);
void PrintRun(const char* what, int run, const RunFigures& figures);
void PrintRunSummary(const char* what, const std::vector<RunFigures>& runs);

// The runs of a benchmark: each printed as it ends, then a summary of each kind.
class RunReport {
  public:
    // Prints the run and keeps it for the summary.
    void Add(const char* what, int run, const RunFigures& figures);
    // The summary of each kind of run, in the order they first came.
    void PrintSummary() const;
    bool AllOk() const { return ok_; }

  private:
    std::vector<std::pair<std::string, std::vector<RunFigures>>> kinds_;
    bool ok_ = true;
};

}  // namespace vemkard::bench
