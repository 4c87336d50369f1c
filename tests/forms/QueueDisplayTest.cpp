// The queue display's pace and the no-reply timer, on a fake timer and clock.
#include <gtest/gtest.h>

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
    rig.display.SetProgressPosition(41);
    EXPECT_EQ(rig.view.maximum, 40);
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
    rig.queued = 30;
    rig.display.SetQueueCounter("30");  // the batch begins, shown at once
    for (const int left : {29, 28}) {
        rig.clock.now += 50ms;
        rig.display.BeginReceive();
        rig.queued = left;
        rig.display.SetQueueCounter(std::to_string(left));
        EXPECT_EQ(rig.view.counter, "30");
        rig.display.EndReceive();
    }
    EXPECT_EQ(rig.view.counter, "30");
    EXPECT_EQ(rig.timer.started, 150);  // the rest of the interval
    rig.clock.now += 150ms;
    rig.timer.Fire();
    EXPECT_EQ(rig.view.counter, "28");

    rig.display.BeginReceive();
    rig.queued = 0;
    rig.display.SetQueueCounter("0");
    rig.display.EndReceive();
    EXPECT_EQ(rig.view.counter, "0");
    EXPECT_FALSE(rig.timer.Active());
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
