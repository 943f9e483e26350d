// The timer control: interval 0 never fires, enabling restarts, fire() for tests,
// no re-entry into a running handler.

#include "platform/TimerControl.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTimer>

#include "platform/EventWait.h"

namespace {

using platform::TimerControl;

// Lets events run until a single-shot timer of `ms`, started now, has fired: every timer
// that was due before it has had its turn, so a tick that must not come would have.
bool TimeHasPassed(int ms) {
    bool passed = false;
    QTimer::singleShot(ms, [&] { passed = true; });
    return platform::WaitUntil([&] { return passed; }, 5000);
}

TEST(TimerControl, IntervalZeroNeverFiresEvenWhenEnabled) {
    TimerControl timer;
    QSignalSpy ticks(&timer, &TimerControl::timer);
    EXPECT_TRUE(timer.enabled());  // a new timer is enabled with interval 0
    EXPECT_FALSE(timer.armed());
    EXPECT_FALSE(timer.fire());
    timer.setInterval(-5);
    EXPECT_EQ(timer.interval(), 0);
    timer.setEnabled(true);  // restarts the countdown, which must stay off
    ASSERT_TRUE(TimeHasPassed(30));
    EXPECT_EQ(ticks.count(), 0);
}

TEST(TimerControl, FireRunsATickOnlyWhenTheTimerCouldTick) {
    TimerControl timer;
    timer.setTag("someone@example.com");
    int ticks = 0;
    QObject::connect(&timer, &TimerControl::timer, [&] { ++ticks; });
    timer.setInterval(30000);
    EXPECT_TRUE(timer.fire());
    timer.setEnabled(false);
    EXPECT_FALSE(timer.fire());
    timer.setEnabled(true);
    EXPECT_TRUE(timer.fire());
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(timer.tag(), "someone@example.com");
}

TEST(TimerControl, TicksOnItsOwnAndStopsWhenDisabled) {
    TimerControl timer;
    QSignalSpy ticks(&timer, &TimerControl::timer);
    timer.setInterval(5);
    ASSERT_TRUE(ticks.wait(5000));
    timer.setEnabled(false);
    const auto seen = ticks.count();
    ASSERT_TRUE(TimeHasPassed(30));  // six intervals
    EXPECT_EQ(ticks.count(), seen);
}

TEST(TimerControl, HandlerThatLetsEventsRunIsNotEnteredAgain) {
    TimerControl timer, witness;  // the witness ticks at the same pace
    int witnessTicks = 0;
    QObject::connect(&witness, &TimerControl::timer, [&] { ++witnessTicks; });
    int depth = 0, deepest = 0, calls = 0;
    QObject::connect(&timer, &TimerControl::timer, [&] {
        deepest = std::max(deepest, ++depth);
        ++calls;
        EXPECT_FALSE(timer.fire());
        if (calls == 1) {
            // Several intervals pass in here: the witness, started after the timer,
            // ticks three times, so the timer fell due as often.
            witness.setInterval(5);
            EXPECT_TRUE(platform::WaitUntil([&] { return witnessTicks >= 3; }, 5000));
        }
        --depth;
    });
    timer.setInterval(5);
    EXPECT_TRUE(timer.fire());
    EXPECT_EQ(deepest, 1);
    EXPECT_EQ(calls, 1);
}

TEST(TimerControl, HandlerMayDestroyItsTimer) {
    auto* timer = new TimerControl;
    QObject::connect(timer, &TimerControl::timer, [&] { delete timer; timer = nullptr; });
    timer->setInterval(1000);
    timer->fire();
    EXPECT_EQ(timer, nullptr);
}

}  // namespace
