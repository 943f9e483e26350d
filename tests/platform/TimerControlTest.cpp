// The timer control: interval 0 never fires, enabling restarts, fire() for tests,
// no re-entry into a running handler.

#include "platform/TimerControl.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "platform/EventWait.h"

namespace {

using platform::TimerControl;

TEST(TimerControl, IntervalZeroNeverFiresEvenWhenEnabled) {
    TimerControl timer;
    QSignalSpy ticks(&timer, &TimerControl::timer);
    EXPECT_TRUE(timer.enabled());  // a new timer is enabled with interval 0
    EXPECT_FALSE(timer.armed());
    EXPECT_FALSE(timer.fire());
    timer.setInterval(-5);
    EXPECT_EQ(timer.interval(), 0);
    platform::WaitWithEvents(30);
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
    platform::WaitWithEvents(30);
    EXPECT_EQ(ticks.count(), seen);
}

TEST(TimerControl, HandlerThatLetsEventsRunIsNotEnteredAgain) {
    TimerControl timer;
    int depth = 0, deepest = 0, calls = 0;
    QObject::connect(&timer, &TimerControl::timer, [&] {
        deepest = std::max(deepest, ++depth);
        ++calls;
        EXPECT_FALSE(timer.fire());
        if (calls == 1) platform::WaitWithEvents(50);  // several intervals pass in here
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
