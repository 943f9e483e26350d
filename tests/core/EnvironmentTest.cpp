#include "core/Environment.h"

#include <gtest/gtest.h>

TEST(Environment, ClockCanBePinnedAndRestored) {
    MiscFuncs::SetClock([] { return MiscFuncs::LocalTime{2026, 12, 8, 7, 52, 6}; });
    EXPECT_EQ(MiscFuncs::Now().minute, 52);
    MiscFuncs::SetClock(nullptr);
    EXPECT_GE(MiscFuncs::Now().year, 2024);
}
