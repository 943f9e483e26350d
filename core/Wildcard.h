#pragma once
// Wildcard matching with "*" (any run of characters, also none) and "?" (exactly one
// character). Every other character, "[" included, stands for itself. The matcher
// keeps only the last "*" as its back-tracking point, so its cost is bounded by
// text length times pattern length: no pattern can make it explode.

#include <string_view>

namespace MiscFuncs {

bool WildcardMatch(std::string_view text, std::string_view pattern, bool ignoreCase);

}  // namespace MiscFuncs
