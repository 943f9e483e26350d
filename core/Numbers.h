#pragma once
// The one reader of whole numbers written as text: settings (NumberOfSetting builds
// on it), values stored in our files and numbers in protocol arguments and replies.
// Each caller trims what it allows around the digits and applies its own range.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace MiscFuncs {

inline constexpr std::size_t kMaxNumberDigits = 19;

// Decimal digits only (no sign, blank or point), one to maxDigits of them, with a
// value that fits in 64 bits; nullopt for anything else.
std::optional<std::int64_t> DigitsNumber(std::string_view text, std::size_t maxDigits = kMaxNumberDigits);

// DigitsNumber within [low, high]; nullopt outside.
std::optional<std::int64_t> DigitsNumber(std::string_view text, std::size_t maxDigits, std::int64_t low,
                                         std::int64_t high);

}  // namespace MiscFuncs
