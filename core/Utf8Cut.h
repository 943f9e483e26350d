#pragma once
// Cutting 8-bit text to a number of bytes without splitting a UTF-8 sequence: a cut
// sequence would make the whole text read as Latin-1 wherever it is shown.

#include <cstddef>
#include <string_view>

namespace MiscFuncs {

// The first bytes of text, at most max of them, ending before any UTF-8 sequence that
// would be cut (text that is not UTF-8 loses at most three bytes more).
inline std::string_view Utf8Prefix(std::string_view text, std::size_t max) {
    if (text.size() <= max) return text;
    std::size_t end = max;
    for (int back = 0; back < 3 && end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80; ++back) --end;
    return text.substr(0, end);
}

}  // namespace MiscFuncs
