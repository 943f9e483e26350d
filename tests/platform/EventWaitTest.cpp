// Waits with events running, the replaceable monotonic clock, the core's event pump
// and the guards for handlers whose engine goes away during a wait.

#include "platform/EventWait.h"

#include <gtest/gtest.h>

#include <QTimer>

#include "core/Environment.h"
#include "platform/AliveGuard.h"

namespace {

struct FakeClock {
    FakeClock() {
        platform::SetMonotonicClock([this] { return now += step; });
    }
    ~FakeClock() { platform::SetMonotonicClock(nullptr); }
    qint64 now = 1000000;
    qint64 step = 0;
};

TEST(EventWait, WaitUntilRunsEventsAndEndsWhenTheConditionHolds) {
    bool fired = false;
    QTimer::singleShot(10, [&] { fired = true; });
    EXPECT_TRUE(platform::WaitUntil([&] { return fired; }, 5000));
}

TEST(EventWait, WaitUntilGivesUpAtTheDeadlineOfTheMonotonicClock) {
    FakeClock clock;
    clock.step = 1000;  // every look at the clock is a second later
    int looks = 0;
    EXPECT_FALSE(platform::WaitUntil([&] { ++looks; return false; }, 60000));
    EXPECT_LE(looks, 61);
    EXPECT_FALSE(platform::WaitUntil([] { return false; }, -5));
}

TEST(EventWait, MonotonicClockIsReplaceableAndRestorable) {
    {
        FakeClock clock;
        EXPECT_EQ(platform::MonotonicMs(), 1000000);
    }
    const qint64 a = platform::MonotonicMs();
    EXPECT_GE(platform::MonotonicMs(), a);
}

TEST(EventWait, InstalledPumpRunsPostedEvents) {
    platform::InstallEventPump();
    bool ran = false;
    QTimer::singleShot(0, [&] { ran = true; });
    MiscFuncs::DoEvents();
    EXPECT_TRUE(ran);
}

TEST(AliveGuard, TurnsFalseWhenTheObjectGoesDuringAWait) {
    auto* engine = new QObject;
    platform::AliveGuard alive(engine);
    QTimer::singleShot(0, engine, [engine] { delete engine; });
    EXPECT_TRUE(alive);
    EXPECT_TRUE(platform::WaitUntil([&] { return !alive; }, 5000));
}

TEST(AliveToken, WatchesTurnFalseOnExpiryOrWhenTheTokenEnds) {
    auto token = std::make_unique<platform::AliveToken>();
    const auto watch = token->watch();
    EXPECT_TRUE(watch);
    token->expire();
    EXPECT_FALSE(watch);
    auto second = std::make_unique<platform::AliveToken>();
    const auto later = second->watch();
    second.reset();
    EXPECT_FALSE(later.alive());
}

}  // namespace
