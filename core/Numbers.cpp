#include "core/Numbers.h"

#include <limits>

namespace MiscFuncs {

std::optional<std::int64_t> DigitsNumber(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const int digit = c - '0';
        if (value > (kMax - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<std::int64_t> DigitsNumber(std::string_view text, std::size_t maxDigits, std::int64_t low,
                                         std::int64_t high) {
    const auto value = DigitsNumber(text, maxDigits);
    if (!value || *value < low || *value > high) return std::nullopt;
    return value;
}

}  // namespace MiscFuncs
