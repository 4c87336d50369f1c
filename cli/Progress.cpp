#include "cli/Progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/Terminal.h"

namespace vemkard {
namespace {

constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
// A batch that is over sooner shows no progress at all.
constexpr double kQuietSeconds = 1.0;
// Off a terminal, bars of fewer commands get no lines of their own.
constexpr int kShortestLoggedBar = 10;

std::string Duration(double seconds) {
    const long total = std::lround(seconds);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

// The first `columns` characters of UTF-8 `text`.
std::string Cut(const std::string& text, std::size_t columns) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (characters++ == columns) return text.substr(0, i);
    }
    return text;
}

}  // namespace

int ProgressPercent(const TProgressState& state) {
    if (state.Maximum <= 0) return -1;
    const int done = state.Maximum - std::clamp(state.Position, 0, state.Maximum);
    return static_cast<int>(100LL * done / state.Maximum);
}

std::string ProgressText(const TProgressState& state) {
    std::string text = state.Phase;
    const int percent = ProgressPercent(state);
    if (percent >= 0) text += ": " + std::to_string(percent) + "%";
    text +=
        (text.empty() ? "" : ", ") + std::string("команд в очереди ") + std::to_string(state.Left);
    if (state.Elapsed >= 1)
        text += ", " + std::to_string(std::llround(double(state.Bytes) / state.Elapsed)) + " Б/с";
    const int done = state.Maximum - state.Position;
    if (percent >= 0 && done > 0 && state.Position > 0 && state.BarElapsed >= 1)
        text += ", осталось " + Duration(state.BarElapsed * state.Position / done);
    return text;
}

TProgressLine::TProgressLine(std::ostream& err, bool terminal, bool enabled)
    : err_(err), terminal_(terminal), enabled_(enabled) {}

void TProgressLine::Show(const TProgressState& state, Clock::time_point now) {
    if (!enabled_) return;
    const bool quietYet = state.Elapsed < kQuietSeconds;
    if (terminal_) {
        if (quietYet) return;
        if (drawn_ && now - lastDraw_ < kRedrawEvery) return;
        lastDraw_ = now;
        drawn_ = true;
        err_ << "\r\x1b[K" << Cut(ProgressText(state), TerminalColumns()) << std::flush;
        return;
    }
    if (state.Maximum != lastMaximum_) {
        lastMaximum_ = state.Maximum;
        lastTenth_ = 0;
    }
    // A line a command would say nothing a short batch needs.
    if (state.Maximum < kShortestLoggedBar) return;
    const int tenth = ProgressPercent(state) / 10;
    if (tenth <= lastTenth_) return;
    lastTenth_ = tenth;
    if (!quietYet) err_ << ProgressText(state) << std::endl;
}

void TProgressLine::End() {
    if (drawn_) err_ << "\r\x1b[K" << std::flush;
    drawn_ = false;
    lastMaximum_ = -1;
    lastTenth_ = 0;
}

}  // namespace vemkard
