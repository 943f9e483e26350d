#include "core/Wildcard.h"

namespace MiscFuncs {
namespace {

inline unsigned char fold(unsigned char c, bool ignoreCase) {
    return (ignoreCase && c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

}  // namespace

bool WildcardMatch(std::string_view text, std::string_view pattern, bool ignoreCase) {
    std::size_t t = 0, p = 0;
    std::size_t starP = std::string_view::npos, starT = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            while (p < pattern.size() && pattern[p] == '*') ++p;  // runs of "*" are one "*"
            if (p == pattern.size()) return true;
            starP = p;
            starT = t;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || fold(pattern[p], ignoreCase) == fold(text[t], ignoreCase))) {
            ++p;
            ++t;
        } else if (starP != std::string_view::npos) {
            p = starP;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace MiscFuncs
