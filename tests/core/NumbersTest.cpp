#include "core/Numbers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace {

using MiscFuncs::DigitsNumber;

TEST(DigitsNumber, AcceptsOnlyPlainDigitsThatFit) {
    struct Case { std::string_view text; std::size_t maxDigits; std::optional<std::int64_t> expected; };
    const Case cases[] = {
        {"0", 5, 0},
        {"00042", 5, 42},
        {"65535", 5, 65535},
        {"123456", 5, std::nullopt},  // more digits than allowed
        {"", 5, std::nullopt},
        {" 1", 5, std::nullopt},
        {"1 ", 5, std::nullopt},
        {"+1", 5, std::nullopt},
        {"-1", 5, std::nullopt},
        {"1.0", 5, std::nullopt},
        {"1e3", 5, std::nullopt},
        {std::string_view("12\0" "3", 4), 5, std::nullopt},
        {"9223372036854775807", 19, INT64_MAX},
        {"9223372036854775808", 19, std::nullopt},  // one past 64 bits
        {"99999999999999999999", 20, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(DigitsNumber(c.text, c.maxDigits), c.expected) << c.text;
}

TEST(DigitsNumber, RangeBoundsAreInclusive) {
    EXPECT_EQ(DigitsNumber("1", 5, 1, 65535), 1);
    EXPECT_EQ(DigitsNumber("65535", 5, 1, 65535), 65535);
    EXPECT_EQ(DigitsNumber("0", 5, 1, 65535), std::nullopt);
    EXPECT_EQ(DigitsNumber("65536", 5, 1, 65535), std::nullopt);
    EXPECT_EQ(DigitsNumber("x", 5, 1, 65535), std::nullopt);
}

}  // namespace
