// Rule patterns come from the settings file and headers from strangers: the parser
// and the matcher must take any bytes, never read past either text, and agree with
// a plain reading of the language on every input small enough for it.
// Input: the pattern, a NUL byte, the text (no NUL: the whole input is both).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "../core/LikeReference.h"
#include "core/Wildcard.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    // Copies, so that a read past either end is one past a heap block.
    const std::string pattern(input.substr(0, nul));
    const std::string text(nul == std::string_view::npos ? input : input.substr(nul + 1));

    const MiscFuncs::LikePattern compiled(pattern);
    const bool match = compiled.Matches(text);
    check(match == MiscFuncs::LikeMatch(text, pattern));
    if (pattern.size() * text.size() <= 256 * 1024)
        check(match == testing_support::LikeReference(text, pattern).Matches());
    // What matches the whole text also matches with the automatic stars around it.
    if (match) check(MiscFuncs::LikePattern("*" + pattern + "*").Matches(text));
    return 0;
}
