// Progress of a running batch on standard error: on a terminal one line that
// is redrawn in place, otherwise a plain line at every tenth of the batch.
//
// Thread rules: the owner thread only.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace vemkard {

// What the progress line shows, taken from the session's queue display.
struct TProgressState {
    std::string Phase;  // what the head command does, e.g. "Верификация"
    // The bar as the window's: maximum set when a batch was queued (-1: not
    // yet in this batch), position the commands left of it.
    int Maximum = -1;
    int Position = 0;
    int Left = 0;             // commands queued
    std::uint64_t Bytes = 0;  // bytes over the line since the batch began
    double Elapsed = 0;       // seconds since the batch began
    double BarElapsed = 0;    // seconds since the bar's maximum was set
};

// Per cent of the bar worked off; -1 when there is no bar yet.
int ProgressPercent(const TProgressState& state);

// "Верификация: 45%, команд в очереди 2236, 3412 Б/с, осталось 1:23"; parts
// that are not known yet are left out.
std::string ProgressText(const TProgressState& state);

class TProgressLine {
  public:
    using Clock = std::chrono::steady_clock;

    // `enabled` false shows nothing (--quiet).
    TProgressLine(std::ostream& err, bool terminal, bool enabled);

    bool Enabled() const { return enabled_; }
    void Show(const TProgressState& state, Clock::time_point now);
    // Takes the terminal line away; the next batch starts afresh.
    void End();

  private:
    std::ostream& err_;
    bool terminal_;
    bool enabled_;
    bool drawn_ = false;
    Clock::time_point lastDraw_{};
    int lastMaximum_ = -1;
    int lastTenth_ = 0;
};

}  // namespace vemkard
