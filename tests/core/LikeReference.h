#pragma once
// A second, plain reading of the mail-rule pattern language (see core/Wildcard.h):
// a memoised recursive matcher straight on the pattern text, polynomial in its
// input. Tests and the fuzz target compare MiscFuncs::LikePattern against it.

#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

class LikeReference {
public:
    LikeReference(std::string_view text, std::string_view pattern)
        : text_(text), pattern_(pattern), memo_((text.size() + 1) * (pattern.size() + 1), kUnknown) {}

    bool Matches() { return match(0, 0); }

private:
    static constexpr char kUnknown = 2;

    bool match(std::size_t p, std::size_t t) {
        char& known = memo_[p * (text_.size() + 1) + t];
        if (known == kUnknown) known = step(p, t) ? 1 : 0;
        return known == 1;
    }

    bool step(std::size_t p, std::size_t t) {
        if (p == pattern_.size()) return t == text_.size();
        const char c = pattern_[p];
        if (c == '*') return match(p + 1, t) || (t < text_.size() && match(p, t + 1));
        const std::size_t close = c == '[' ? pattern_.find(']', p + 1) : std::string_view::npos;
        if (close != std::string_view::npos) {
            const std::string_view list = pattern_.substr(p + 1, close - p - 1);
            if (list.empty()) return match(close + 1, t);
            return t < text_.size() && inList(list, text_[t]) && match(close + 1, t + 1);
        }
        if (t == text_.size()) return false;
        const char x = text_[t];
        const bool one = c == '?' || (c == '#' ? (x >= '0' && x <= '9') : c == x);
        return one && match(p + 1, t + 1);
    }

    static bool inList(std::string_view list, char x) {
        bool negate = false;
        if (list[0] == '!') {
            negate = true;
            list.remove_prefix(1);
        }
        bool found = false;
        for (std::size_t k = 0; k < list.size() && !found; ++k) {
            const unsigned char lo = static_cast<unsigned char>(list[k]);
            if (k + 2 < list.size() && list[k + 1] == '-') {
                const unsigned char hi = static_cast<unsigned char>(list[k + 2]);
                found = lo <= static_cast<unsigned char>(x) && static_cast<unsigned char>(x) <= hi;
                k += 2;
            } else {
                found = lo == static_cast<unsigned char>(x);
            }
        }
        return found != negate;
    }

    std::string_view text_, pattern_;
    std::vector<char> memo_;
};

}  // namespace testing_support
