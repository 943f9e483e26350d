#include "core/Progress.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

TEST(ProgressTest, BarShowsTheWholePercentWithinTheBar) {
    struct Case { std::int32_t value, maximum; std::optional<int> bar; };
    const Case cases[] = {
        {1, 3, 33}, {2, 3, 66}, {3, 3, 100}, {29, 100, 29}, {0, 4, 0},
        {5, 0, std::nullopt}, {1, -2, std::nullopt},
        {7, 3, 100}, {-1, 3, 0},                              // outside the range
        {40000, 40001, 99}, {std::numeric_limits<std::int32_t>::max(), 1, 100},
    };
    for (const Case& c : cases)
        EXPECT_EQ(modProgress::BarPercent(c.value, c.maximum), c.bar) << c.value << " of " << c.maximum;
}

TEST(ProgressTest, ResetPairMovesNothingUntilANewMaximum) {
    modProgress::ProgressPair pair;
    pair.SetMax(4);
    EXPECT_EQ(pair.SetValue(1), 25);
    pair.Reset();
    EXPECT_EQ(pair.Max(), 0);
    EXPECT_EQ(pair.Value(), 0);
    EXPECT_EQ(pair.SetValue(3), std::nullopt);
    EXPECT_EQ(pair.Value(), 3);
    pair.SetMax(3);
    EXPECT_EQ(pair.SetValue(3), 100);
}

TEST(ProgressTest, LayoutPutsTheFourControlsInOneRow) {
    const modTest::ProgressBarPlacement p = modTest::LayoutProgressBars(6000, 1000);
    EXPECT_DOUBLE_EQ(p.top, 4900);
    EXPECT_DOUBLE_EQ(p.labelWidth, 200);
    EXPECT_DOUBLE_EQ(p.barWidth, 300);
    EXPECT_DOUBLE_EQ(p.bar1Left, 220);
    EXPECT_DOUBLE_EQ(p.label2Left, 520);
    EXPECT_DOUBLE_EQ(p.bar2Left, 720);
}

}  // namespace
