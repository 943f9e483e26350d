#include <gtest/gtest.h>

#include <random>
#include <string>

#include "LikeReference.h"
#include "core/Wildcard.h"

namespace {

using MiscFuncs::LikeMatch;
using MiscFuncs::LikePattern;

struct Case {
    const char* text;
    const char* pattern;
    bool match;
};

TEST(LikePattern, EachConstruct) {
    const Case cases[] = {
        {"", "", true},          {"a", "", false},         {"", "*", true},
        {"abc", "a?c", true},    {"ac", "a?c", false},     {"abc", "a*", true},
        {"abc", "*c", true},     {"abc", "*b", false},     {"a1c", "a#c", true},
        {"abc", "a#c", false},   {"a42", "a##", true},     {"#", "#", false},
        {"b", "[abc]", true},    {"d", "[abc]", false},    {"d", "[!abc]", true},
        {"a", "[!abc]", false},  {"m", "[a-z]", true},     {"M", "[a-z]", false},
        {"5", "[0-9x]", true},   {"x", "[0-9x]", true},    {"-", "[a-]", true},
        {"-", "[-a]", true},     {"b", "[a-]", false},     {"!", "[a!]", true},
        {"m", "[z-a]", false},   {"ab", "a[]b", true},     {"z", "[!]", true},
        {"?", "[?]", true},      {"x", "[?]", false},      {"*", "[*]", true},
        {"ab", "[*]b", false},   {"#", "[#]", true},       {"[", "[[]", true},
        {"a", "[a", false},      {"[a", "[a", true},       {"[abc", "[a*", true},
        {"x[ab", "x[a?", true},  {"a]", "a]", true},       {"]", "[]]", true},
        {"a]b", "a]b", true},    {"ab]", "[ab]]", false},  {"b]", "[ab]]", true},
        {"A", "a", false},       {"\xe9", "[\xe0-\xef]", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LikePattern(c.pattern).Matches(c.text), c.match) << c.text << " vs " << c.pattern;
        EXPECT_EQ(LikeMatch(c.text, c.pattern), c.match) << c.text << " vs " << c.pattern;
    }
}

TEST(LikePattern, AgreesWithAPlainReadingOfTheLanguage) {
    // Short random patterns over the characters that mean something, against texts
    // over an alphabet that hits them: catches a back-tracking or list-parsing slip.
    std::mt19937 random(12345);
    const std::string patternChars = "ab1-*?#[]!";
    const std::string textChars = "ab1-![]";
    auto draw = [&](const std::string& from, std::size_t maxLength) {
        std::string s(random() % (maxLength + 1), ' ');
        for (char& c : s) c = from[random() % from.size()];
        return s;
    };
    for (int i = 0; i < 20000; ++i) {
        const std::string pattern = draw(patternChars, 8), text = draw(textChars, 8);
        ASSERT_EQ(LikePattern(pattern).Matches(text), testing_support::LikeReference(text, pattern).Matches())
            << "text \"" << text << "\" pattern \"" << pattern << "\"";
    }
}

TEST(LikePattern, LongTextsReturnAtOnce) {
    // An exponential matcher would not finish these.
    std::string to(100 * 1024, 'a');
    EXPECT_FALSE(LikePattern("*a*a*a*b*").Matches(to));
    EXPECT_FALSE(LikePattern("*a*a*a*a*a*a*a*a*a*a*[!a]*").Matches(to));
    to.back() = 'b';
    EXPECT_TRUE(LikePattern("*a*a*a*b*").Matches(to));
    EXPECT_TRUE(LikePattern("*a?a#*b").Matches("xxa1a2yyb"));
}

}  // namespace
