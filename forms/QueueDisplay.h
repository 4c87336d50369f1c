// The status line and the queue display as the protocol core and the
// handlers write them, and what of it a view is given when. Shown at once,
// except while a received chunk is handled: then what it changed, the
// grid's rows included, is shown when it is done, at most every
// kQueueDisplayIntervalMs while the batch goes on, its end at once. Only
// values that differ from the ones shown go to the view.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "forms/BatchPace.h"
#include "forms/FormInterfaces.h"
#include "protocol/LinkInterfaces.h"

namespace vemkard {

// Every reply changes the display; shown reply by reply, it would cost more
// than the transfer itself.
inline constexpr int kQueueDisplayIntervalMs = 200;

class GridDisplay;

class QueueDisplay : public ILinkView {
  public:
    // `queueLength` gives the command queue's length; `timer` paces what is
    // held back (its OnTimer is taken).
    QueueDisplay(IQueueView& view, ITimer& timer, std::function<int()> queueLength);

    // The clock that paces the display and measures the batch.
    void SetClock(const IClock& clock) { clock_ = &clock; }

    void SetStatus(std::string_view text) override;
    // A maximum below 1 is shown as 1: an empty queue shows an empty bar,
    // never a busy one.
    void SetProgressMaximum(int maximum) override;
    // Kept within 0 .. the maximum.
    void SetProgressPosition(int position) override;
    void SetQueueCounter(std::string_view text) override;

    // Around the handling of one received chunk; they may nest.
    void BeginReceive() { ++receiving_; }
    void EndReceive();
    // Whether changes are being held back; a grid cell changed meanwhile is
    // reported with GridChangeHeld and drawn with the rest, by `grid`.
    bool Holding() const { return receiving_ > 0; }
    void GridChangeHeld() { pending_ = true; }
    void SetGrid(GridDisplay* grid) { grid_ = grid; }

    const std::string& ShownStatus() const { return shown_.status; }
    int ShownMaximum() const { return shown_.maximum; }

  private:
    // What is to be shown, and what the view shows: a bar of 0..100 at 0
    // without text, the counter "0".
    struct TValues {
        std::string status;
        int maximum = 100;
        int position = 0;
        std::string timeLeft;
        std::string counter{kLabel4Initial};
    };

    void Changed();
    // Shows what is held back now, or arms the timer for it.
    void ShowPaced();
    void Show();

    IQueueView& view_;
    ITimer& timer_;
    GridDisplay* grid_ = nullptr;
    std::function<int()> queueLength_;
    SteadyClock steady_;
    const IClock* clock_ = &steady_;
    TValues wanted_;
    TValues shown_;
    TBatchPace pace_;
    IClock::TimePoint lastShown_{};
    int receiving_ = 0;
    bool pending_ = false;
};

}  // namespace vemkard
