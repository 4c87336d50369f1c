// The queue display's pace, the grid's with it, and the no-reply timer, on
// a fake timer and clock.
#include <gtest/gtest.h>

#include "forms/GridDisplay.h"
#include "forms/NoReplyTimer.h"
#include "forms/QueueDisplay.h"
#include "tests/forms/FormFakes.h"

namespace vemkard {
namespace {

using namespace std::chrono_literals;
using testing::FakeTimer;
using testing::RecordingViews;
using testing::StepClock;

struct DisplayRig {
    DisplayRig() { display.SetClock(clock); }
    RecordingViews view;
    FakeTimer timer;
    StepClock clock;
    int queued = 0;
    QueueDisplay display{view, timer, [this] { return queued; }};
};

TEST(QueueDisplayTest, NeverABusyBarAndOnlyChangedValues) {
    DisplayRig rig;
    rig.display.SetProgressMaximum(0);
    EXPECT_EQ(rig.view.maximum, 1);
    rig.display.SetProgressMaximum(40);
    rig.display.SetProgressPosition(25);
    EXPECT_EQ(rig.view.maximum, 40);
    EXPECT_EQ(rig.view.position, 25);
    rig.display.SetProgressPosition(41);
    EXPECT_EQ(rig.view.position, 40);
    rig.display.SetQueueCounter("17");
    rig.display.SetStatus("Порт открыт");
    const int shows = rig.view.shows;
    rig.display.SetStatus("Порт открыт");
    rig.display.SetQueueCounter("17");
    EXPECT_EQ(rig.view.shows, shows);
    EXPECT_EQ(rig.view.counter + rig.view.status, "17Порт открыт");
}

// While a batch runs, what replies change is shown at most every 200 ms,
// the rest when the timer comes; the end of the batch at once.
TEST(QueueDisplayTest, RepliesArePacedAndTheEndShowsAtOnce) {
    DisplayRig rig;
    const auto reply = [&rig](int left) {  // 50 ms after the last one
        rig.clock.now += 50ms;
        rig.display.BeginReceive();
        rig.display.SetQueueCounter(std::to_string(rig.queued = left));
        rig.display.EndReceive();
    };
    reply(30);  // the batch begins, shown at once
    reply(29);
    reply(28);
    EXPECT_EQ(rig.view.counter, "30");
    EXPECT_EQ(rig.timer.started, 150);  // the rest of the interval since 30 was shown
    rig.clock.now += 100ms;
    rig.timer.Fire();
    EXPECT_EQ(rig.view.counter, "28");
    reply(0);
    EXPECT_EQ(rig.view.counter, "0");
    EXPECT_FALSE(rig.timer.Active());
}

struct RecordingGrid : IGridView {
    void RowsReset(int rows) override { changes.push_back("reset " + std::to_string(rows)); }
    void CellsChanged(int row, int lastRow, int column, int lastColumn) override {
        changes.push_back(std::to_string(row) + "-" + std::to_string(lastRow) + " " +
                          std::to_string(column) + "-" + std::to_string(lastColumn));
    }
    std::vector<std::string> changes;
};

// Titles are drawn at once; file rows changed while a chunk is handled are
// drawn with the display, as one range within the rows there are.
TEST(QueueDisplayTest, GridRowsHeldBackAreDrawnWithTheDisplay) {
    DisplayRig rig;
    DirectoryGrid grid;
    GridDisplay shown(grid, rig.display);
    RecordingGrid view;
    shown.SetView(&view);
    grid.ResetRows(6);
    grid.SetCell(3, 1, "a");
    rig.display.BeginReceive();
    grid.SetCell(0, 2, "Тип файла");
    grid.SetCell(5, 0, "5");
    grid.SetCell(4, 2, "x");
    rig.display.EndReceive();  // no batch runs: shown at once
    EXPECT_EQ(view.changes, (std::vector<std::string>{"reset 6", "3-3 1-1", "0-0 2-2", "4-5 0-2"}));
}

// A restart only notes the time: the batch ends one interval after the
// last restart, not after the first start.
TEST(NoReplyTimerTest, TicksOneIntervalAfterTheLastRestart) {
    FakeTimer timer;
    StepClock clock;
    int ticks = 0;
    NoReplyTimer timer1(timer, clock, [&ticks] { ++ticks; });
    timer1.SetInterval(500);
    EXPECT_FALSE(timer1.Enabled());
    timer1.Enable();
    clock.now += 300ms;
    timer1.Restart();
    EXPECT_EQ(timer.started, 500);
    clock.now += 200ms;
    timer.Fire();
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(timer.started, 300);  // waits out the rest
    clock.now += 300ms;
    timer.Fire();
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(timer.started, 500);  // periodic
    timer1.Disable();
    EXPECT_FALSE(timer1.Enabled());
}

}  // namespace
}  // namespace vemkard
