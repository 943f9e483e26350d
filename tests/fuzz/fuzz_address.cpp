// Header values from strangers: ParseAddress, both address checks and the split at
// "@" must take any bytes, and the automaton must accept exactly the language that a
// plain split-and-check reading of it gives.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/Address.h"
#include "core/MiscUtils.h"

namespace {

bool labelChar(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'; }

// local "@" (label ".")+ last, checked by splitting instead of by the automaton.
bool referenceValid(std::string_view text) {
    const std::string s = MiscFuncs::LowerCase(text);
    const std::size_t at = s.find('@');
    if (at == std::string::npos || at == 0) return false;
    for (std::size_t i = 0; i < at; ++i)
        if (!labelChar(s[i]) && s[i] != '_' && s[i] != '.') return false;
    std::size_t labels = 0, from = at + 1, length = 0;
    while (true) {
        const std::size_t dot = s.find('.', from);
        const std::size_t end = dot == std::string::npos ? s.size() : dot;
        if (end == from) return false;
        for (std::size_t i = from; i < end; ++i)
            if (!labelChar(s[i])) return false;
        ++labels;
        length = end - from;
        if (dot == std::string::npos) break;
        from = dot + 1;
    }
    return labels >= 2 && length >= 2 && length <= 7;
}

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const bool valid = MiscFuncs::IsValidEmail(text);
    check(valid == referenceValid(text));
    check(valid == MiscFuncs::IsValidEmail(MiscFuncs::UpperCase(text)));
    if (valid) check(MiscFuncs::UserOf(text) + "@" + MiscFuncs::DomainOf(text) == text);
    (void)MiscFuncs::IsValidEmailFallback(text);
    check(MiscFuncs::DomainOf(text).size() <= size && MiscFuncs::UserOf(text).size() <= size);

    std::string name;
    const std::string address = MiscFuncs::ParseAddress(text, name);
    check(address.size() <= size && name.size() <= size);
    check(MiscFuncs::TrimBlanks(address) == address);
    check(MiscFuncs::LowerCase(address) == address);
    check(address.find('\'') == std::string::npos);
    return 0;
}
