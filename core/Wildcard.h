#pragma once
// Wildcard matching in two languages.
//
// WildcardMatch (folder listings): "*" any run of characters (also none), "?" exactly
// one character; every other character, "[" included, stands for itself.
//
// LikeMatch and LikePattern (mail rules): "?" any one character, "*" any run of
// characters (also none), "#" one digit 0-9, "[list]" one character in the list,
// "[!list]" one character not in it; every other character stands for itself.
//  - In a list, "x-y" is the range of codes from x to y (a reversed range holds no
//    character); a "-" first or last, and a "!" other than first, stand for
//    themselves. The list ends at the first "]", so "]" cannot be listed.
//  - "[]" stands for nothing at all (it matches the empty text); "[!]" is any one
//    character.
//  - A "[" with no "]" after it stands for itself, and so does everything after it.
//  - Characters are 8-bit codes compared exactly: a caller that ignores case folds
//    both the pattern and the text first.
//
// Both matchers keep only the last "*" as their back-tracking point. Every other
// element takes exactly one character, so this finds a match whenever there is one,
// and the cost is bounded by the text length times the longest run of elements
// between two stars: no pattern can make it explode.

#include <bitset>
#include <string_view>
#include <vector>

namespace MiscFuncs {

bool WildcardMatch(std::string_view text, std::string_view pattern, bool ignoreCase);

// A pattern of the mail-rule language, parsed once and matched many times.
class LikePattern {
public:
    // The empty pattern, which matches only the empty text.
    LikePattern() = default;
    explicit LikePattern(std::string_view pattern);

    bool Matches(std::string_view text) const;

private:
    struct Element {
        bool star = false;
        std::bitset<256> accepts;  // the characters one non-star element takes
    };
    void addStar();
    void addSet(const std::bitset<256>& accepts);
    // Parses the list between "[" and its "]"; false when it stands for nothing.
    static bool parseList(std::string_view list, std::bitset<256>& accepts);

    std::vector<Element> elements_;
};

// LikePattern(pattern).Matches(text), for a pattern used once.
bool LikeMatch(std::string_view text, std::string_view pattern);

}  // namespace MiscFuncs
