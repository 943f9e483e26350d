#include "core/Wildcard.h"

namespace MiscFuncs {
namespace {

inline unsigned char fold(unsigned char c, bool ignoreCase) {
    return (ignoreCase && c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

inline std::size_t code(char c) { return static_cast<unsigned char>(c); }

std::bitset<256> single(char c) {
    std::bitset<256> set;
    set.set(code(c));
    return set;
}

std::bitset<256> digits() {
    std::bitset<256> set;
    for (char c = '0'; c <= '9'; ++c) set.set(code(c));
    return set;
}

// The greedy match of a pattern of n elements against a text of textSize bytes, going
// back to the last star on a mismatch: star(p) tells whether element p is a star (a
// run of stars counts as one), accepts(p, t) whether element p takes the text's byte t.
template <class Star, class Accepts>
bool matchElements(std::size_t textSize, std::size_t n, Star star, Accepts accepts) {
    std::size_t t = 0, p = 0;
    std::size_t starP = std::string_view::npos, starT = 0;
    while (t < textSize) {
        if (p < n && star(p)) {
            while (p < n && star(p)) ++p;
            if (p == n) return true;
            starP = p;
            starT = t;
        } else if (p < n && accepts(p, t)) {
            ++p;
            ++t;
        } else if (starP != std::string_view::npos) {
            p = starP;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < n && star(p)) ++p;
    return p == n;
}

}  // namespace

bool WildcardMatch(std::string_view text, std::string_view pattern, bool ignoreCase) {
    return matchElements(
        text.size(), pattern.size(), [pattern](std::size_t p) { return pattern[p] == '*'; },
        [&](std::size_t p, std::size_t t) {
            return pattern[p] == '?' || fold(pattern[p], ignoreCase) == fold(text[t], ignoreCase);
        });
}

LikePattern::LikePattern(std::string_view pattern) {
    elements_.reserve(pattern.size());
    // Once no "]" is left, no later "[" can open a list.
    const std::size_t lastClose = pattern.rfind(']');
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '*') {
            addStar();
        } else if (c == '?') {
            addSet(std::bitset<256>().set());
        } else if (c == '#') {
            addSet(digits());
        } else if (c == '[' && lastClose != std::string_view::npos && lastClose > i) {
            const std::size_t close = pattern.find(']', i + 1);
            std::bitset<256> accepts;
            if (parseList(pattern.substr(i + 1, close - i - 1), accepts)) addSet(accepts);
            i = close;
        } else {
            addSet(single(c));
        }
    }
}

void LikePattern::addStar() {
    if (elements_.empty() || !elements_.back().star) elements_.push_back(Element{true, {}});
}

void LikePattern::addSet(const std::bitset<256>& accepts) { elements_.push_back(Element{false, accepts}); }

bool LikePattern::parseList(std::string_view list, std::bitset<256>& accepts) {
    const bool negate = !list.empty() && list.front() == '!';
    if (negate) list.remove_prefix(1);
    if (list.empty() && !negate) return false;
    for (std::size_t j = 0; j < list.size(); ++j) {
        if (j + 2 < list.size() && list[j + 1] == '-') {
            for (std::size_t c = code(list[j]); c <= code(list[j + 2]); ++c) accepts.set(c);
            j += 2;
        } else {
            accepts.set(code(list[j]));
        }
    }
    if (negate) accepts.flip();
    return true;
}

bool LikePattern::Matches(std::string_view text) const {
    return matchElements(
        text.size(), elements_.size(), [this](std::size_t p) { return elements_[p].star; },
        [&](std::size_t p, std::size_t t) { return elements_[p].accepts.test(code(text[t])); });
}

bool LikeMatch(std::string_view text, std::string_view pattern) { return LikePattern(pattern).Matches(text); }

}  // namespace MiscFuncs
