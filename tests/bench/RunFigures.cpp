#include "tests/bench/RunFigures.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace vemkard::bench {
namespace {

void PrintSpread(const char* what, const char* figure, std::vector<double> values, int decimals) {
    std::sort(values.begin(), values.end());
    std::printf("%-8s %-20s min %.*f  median %.*f  max %.*f\n", what, figure, decimals,
                values.front(), decimals, values[values.size() / 2], decimals, values.back());
}

double WakeUpsPerCommand(const RunFigures& f) {
    return f.commands ? double(f.wakeUps) / double(f.commands) : 0;
}

}  // namespace

void Complete(RunFigures& f, int pollMs) {
    f.boundS = double(f.commands) * (20.0 + pollMs + f.roundTripMs) / 1000.0;
    f.ratio = f.boundS > 0 ? f.wallS / f.boundS : 0;
    f.cpuShare = f.wallS > 0 ? f.cpuSeconds / f.wallS : 0;
}

void PrintRun(const char* what, int run, const RunFigures& f) {
    const double perCommandUs = f.commands ? 1e6 * f.cpuSeconds / double(f.commands) : 0;
    char owner[64] = "";
    if (f.ownerCpuSeconds >= 0 && f.wallS > 0)
        std::snprintf(owner, sizeof owner, ", owner thread %.2f %%",
                      100.0 * f.ownerCpuSeconds / f.wallS);
    char steal[48] = "";
    if (f.stealShare >= 0)
        std::snprintf(steal, sizeof steal, ", steal %.2f %% of wall", 100.0 * f.stealShare);
    std::printf(
        "%-8s run %d: commands %zu, wall %.3f s, bound %.3f s (round trip %.3f ms), "
        "wall/bound %.4f, cpu %.2f %% of wall (%.0f us a command%s), %.1f wake-ups a command, "
        "answer overhead %s ms (%zu polls)%s%s\n",
        what, run, f.commands, f.wallS, f.boundS, f.roundTripMs, f.ratio, 100.0 * f.cpuShare,
        perCommandUs, owner, WakeUpsPerCommand(f), FormatSummary(f.overhead).c_str(),
        f.overhead.count, steal,
        f.ok ? "" : " FAILED");
    std::fflush(stdout);
}

void PrintRunSummary(const char* what, const std::vector<RunFigures>& runs) {
    if (runs.empty()) return;
    const auto spread = [&](const char* figure, int decimals,
                            const std::function<double(const RunFigures&)>& field) {
        std::vector<double> values;
        for (const RunFigures& f : runs) values.push_back(field(f));
        PrintSpread(what, figure, std::move(values), decimals);
    };
    spread("wall/bound", 4, [](const RunFigures& f) { return f.ratio; });
    spread("cpu % of wall", 2, [](const RunFigures& f) { return 100 * f.cpuShare; });
    spread("cpu us a command", 0, [](const RunFigures& f) {
        return f.commands ? 1e6 * f.cpuSeconds / double(f.commands) : 0;
    });
    spread("wake-ups a command", 1, WakeUpsPerCommand);
    spread("overhead median", 3, [](const RunFigures& f) { return f.overhead.median; });
    spread("overhead p90", 3, [](const RunFigures& f) { return f.overhead.p90; });
    spread("overhead p99", 3, [](const RunFigures& f) { return f.overhead.p99; });
    spread("overhead max", 3, [](const RunFigures& f) { return f.overhead.max; });
    std::fflush(stdout);
}

void RunReport::Add(const char* what, int run, const RunFigures& figures) {
    PrintRun(what, run, figures);
    ok_ = ok_ && figures.ok;
    auto kind = std::find_if(kinds_.begin(), kinds_.end(),
                             [what](const auto& kind) { return kind.first == what; });
    if (kind == kinds_.end()) kind = kinds_.insert(kinds_.end(), {what, {}});
    kind->second.push_back(figures);
}

void RunReport::PrintSummary() const {
    for (const auto& [what, runs] : kinds_) PrintRunSummary(what.c_str(), runs);
}

}  // namespace vemkard::bench
