// Timer modes, and ticks held back during a background-task turn or a shell command.
#include "platform/eventgate.h"
#include "platform/shell.h"
#include "platform/timer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <gtest/gtest.h>

namespace ui = vorpel::ui;

namespace {

// Runs the ordinary event loop for a while.
void pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Takes background-task turns for a while, as a long handler does.
void turnsFor(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) ui::DoEvents();
}

class TimerModes : public ::testing::Test {
protected:
    void TearDown() override { vorpel::Shell::setRunner({}); }
    QObject owner;
    int ticks = 0;
    ui::Timer* make(int period, int mode) {
        auto* t = new ui::Timer(&owner, "Timer1", period, mode);
        t->Action = [this] { ++ticks; };
        return t;
    }
};

TEST_F(TimerModes, ModeZeroNeverFires) {
    ui::Timer* t = make(5, 0);
    pump(80);
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(t->Mode(), 0);
    EXPECT_EQ(t->objectName(), "Timer1");
}

TEST_F(TimerModes, ModeOneFiresOnceThenTurnsItselfOff) {
    ui::Timer* t = make(5, 1);
    pump(120);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(t->Mode(), 0);
    // Arming it again gives exactly one more tick.
    t->setMode(1);
    pump(120);
    EXPECT_EQ(ticks, 2);
}

TEST_F(TimerModes, ModeTwoRepeatsUntilSwitchedOff) {
    ui::Timer* t = make(5, 2);
    pump(150);
    EXPECT_GE(ticks, 3);
    EXPECT_EQ(t->Mode(), 2);
    t->setMode(0);
    const int before = ticks;
    pump(80);
    EXPECT_EQ(ticks, before);
}

TEST_F(TimerModes, PeriodChangeTakesEffectOnARunningTimer) {
    ui::Timer* t = make(10000, 2);
    pump(50);
    EXPECT_EQ(ticks, 0);
    t->setPeriod(5);
    EXPECT_EQ(t->Period(), 5);
    pump(120);
    EXPECT_GE(ticks, 2);
}

TEST_F(TimerModes, TicksAreHeldDuringTurnsAndDeliveredAfter) {
    make(1, 2);
    ui::Timer* once = new ui::Timer(&owner, "Timer2", 1, 1);
    int onceTicks = 0;
    once->Action = [&] { ++onceTicks; };
    ui::resetTurnClock();
    turnsFor(150);
    EXPECT_EQ(ticks, 0);
    EXPECT_EQ(onceTicks, 0);
    pump(60);
    EXPECT_GT(ticks, 0);
    // A one-shot that fell due during the turns comes exactly once.
    EXPECT_EQ(onceTicks, 1);
}

TEST_F(TimerModes, TurnsStillRunOtherQueuedWork) {
    // Turns hold the application's timers only; ordinary queued work still runs (repaints).
    make(1, 2);
    bool queuedRan = false;
    QTimer::singleShot(0, &owner, [&] { queuedRan = true; });
    ui::resetTurnClock();
    turnsFor(60);
    EXPECT_TRUE(queuedRan);
    EXPECT_EQ(ticks, 0);
}

TEST_F(TimerModes, TicksAreHeldDuringACommandThatTakesTurns) {
    make(1, 2);
    bool busyInside = false;
    vorpel::Shell::setRunner([&](const std::string&) {
        busyInside = ui::busy();
        ui::resetTurnClock();
        turnsFor(150);
        return vorpel::ShellOutcome{0, "ok\n"};
    });
    vorpel::Shell sh;
    sh.Execute("anything");
    EXPECT_TRUE(busyInside);
    EXPECT_EQ(sh.Result, "ok\n");
    EXPECT_EQ(ticks, 0);
    EXPECT_FALSE(ui::busy());
    pump(60);
    EXPECT_GT(ticks, 0);
}

TEST_F(TimerModes, TicksAreHeldDuringARealCommand) {
    // The real runner calls the event gate while it waits for the child.
    make(1, 2);
    vorpel::Shell sh;
    sh.Execute("sleep 0.15; echo done");
    EXPECT_EQ(sh.ErrorCode, 0);
    EXPECT_EQ(sh.Result, "done\n");
    EXPECT_EQ(ticks, 0);
    pump(60);
    EXPECT_GT(ticks, 0);
}

} // namespace
