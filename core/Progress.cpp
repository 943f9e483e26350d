#include "core/Progress.h"

namespace modProgress {

std::optional<int> BarPercent(std::int32_t value, std::int32_t maximum) {
    if (maximum <= 0) return std::nullopt;
    // Whole numbers throughout: 29 of 100 is 29, where a floating quotient gives 28.99...
    const std::int64_t percent = static_cast<std::int64_t>(value) * 100 / maximum;
    if (percent < kBarMinimum) return kBarMinimum;
    if (percent > kBarMaximum) return kBarMaximum;
    return static_cast<int>(percent);
}

std::optional<int> ProgressPair::SetValue(std::int32_t value) {
    value_ = value;
    return BarPercent(value_, maximum_);
}

}  // namespace modProgress

namespace modTest {

ProgressBarPlacement LayoutProgressBars(double windowHeight, double gridWidth) {
    ProgressBarPlacement p;
    const double label = gridWidth * 20 / 100;
    const double bar = (gridWidth - 2 * label) / 2;
    p.top = windowHeight - 1100;
    p.labelWidth = label;
    p.barWidth = bar;
    p.bar1Left = label + 20;
    p.label2Left = bar + label + 20;
    p.bar2Left = bar + 2 * label + 20;
    return p;
}

}  // namespace modTest
