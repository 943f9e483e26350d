#pragma once
// The arithmetic of the main window's two progress pairs (a label and a bar each: the
// collect pair of the POP3 collector, the send pair of the SMTP client), apart from the
// widgets, which live in platform/ProgressDisplay.h.
//
// A pair keeps a maximum and a value. Setting the value redraws the bar: with a
// maximum above 0 the bar shows the whole part of value / maximum x 100, kept within
// the bar's 0..100; with a maximum of 0 or less the bar is left as it is. Hiding a pair
// sets both numbers to 0, so a later value moves nothing until a maximum is set.

#include <cstdint>
#include <optional>

namespace modProgress {

inline constexpr int kBarMinimum = 0;
inline constexpr int kBarMaximum = 100;

// The bar's new value, or nothing when the bar is to be left unchanged.
std::optional<int> BarPercent(std::int32_t value, std::int32_t maximum);

class ProgressPair {
public:
    void Reset() { maximum_ = value_ = 0; }
    void SetMax(std::int32_t maximum) { maximum_ = maximum; }
    // Stores the value and returns what the bar is to show (see BarPercent).
    std::optional<int> SetValue(std::int32_t value);
    std::int32_t Value() const { return value_; }
    std::int32_t Max() const { return maximum_; }

private:
    std::int32_t maximum_ = 0;
    std::int32_t value_ = 0;
};

}  // namespace modProgress

namespace modTest {

// Where the four progress controls go, in twips, for a main window of the given
// height whose senders grid has the given width: a label of 20 % of the grid, a bar,
// a second label and a second bar in one row, 1100 twips above the window's bottom.
struct ProgressBarPlacement {
    double top = 0;
    double labelWidth = 0;   // both labels
    double barWidth = 0;     // both bars
    double bar1Left = 0;
    double label2Left = 0;
    double bar2Left = 0;
};

ProgressBarPlacement LayoutProgressBars(double windowHeight, double gridWidth);

}  // namespace modTest
