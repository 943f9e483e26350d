#include "core/MiscUtils.h"

#include <sys/stat.h>

#include "TempFolder.h"
#include "core/Wildcard.h"

namespace {

using namespace MiscFuncs;
using testing_support::WriteFile;

class SafeDirTest : public testing_support::TempFolderTest {};

TEST_F(SafeDirTest, HandsOutEveryMatchOncePerCall) {
    for (const char* n : {"a.eml", "B.EML", "c.eml", "d.txt"}) WriteFile(dir() / n, "x");
    std::filesystem::create_directory(dir() / "sub.eml");
    DirList list;
    EXPECT_EQ(SafeDir(list, (dir() / "*.eml").string()), "B.EML");  // case ignored, folders not listed
    EXPECT_EQ(SafeDir(list, ""), "a.eml");
    EXPECT_EQ(SafeDir(list, ""), "c.eml");
    EXPECT_EQ(SafeDir(list, ""), "");
    EXPECT_EQ(SafeDir(list, ""), "");
}

TEST_F(SafeDirTest, PatternsFollowTheDesktopRules) {
    for (const char* n : {"bob@x.com 1.eml", "bob@x.co 2.eml", "[x].eml", "noext"}) WriteFile(dir() / n, "x");
    struct Case { const char* pattern; std::vector<std::string> names; };
    const Case cases[] = {
        {"bob@x.com *.eml", {"bob@x.com 1.eml"}},
        {"BOB@X.CO ?.EML", {"bob@x.co 2.eml"}},
        {"[x].eml", {"[x].eml"}},
        {"*.*", {"[x].eml", "bob@x.co 2.eml", "bob@x.com 1.eml", "noext"}},
        {"nothing*", {}},
    };
    for (const Case& c : cases) {
        DirList list;
        std::vector<std::string> got;
        for (std::string n = SafeDir(list, (dir() / c.pattern).string()); !n.empty(); n = SafeDir(list, ""))
            got.push_back(n);
        EXPECT_EQ(got, c.names) << c.pattern;
    }
}

TEST_F(SafeDirTest, ExistenceTestAndFolders) {
    std::filesystem::create_directory(dir() / "InBox");
    DirList list;
    EXPECT_EQ(SafeDir(list, (dir() / "inbox").string(), kDirFolders), "InBox");
    EXPECT_EQ(SafeDir(list, (dir() / "inbox").string()), "");
}

TEST_F(SafeDirTest, UnreadableFolderLogsAndKeepsGoing) {
    DirList list{"stale"};
    EXPECT_EQ(SafeDir(list, (dir() / "gone" / "*.eml").string()), "");
    EXPECT_TRUE(list.empty());
    EXPECT_NE(programLog().find("Error in SafeDir  "), std::string::npos);
}

TEST_F(SafeDirTest, EventsRunWhileCollectingAndCannotDisturbTheListing) {
    for (int i = 0; i < 600; ++i) WriteFile(dir() / ("m" + std::to_string(i) + ".eml"), "x");
    int pumps = 0;
    bool inHandler = false;
    SetEventPump([&] {
        ++pumps;
        if (inHandler) return;
        inHandler = true;
        DirList other;  // a handler starting its own listing
        SafeDir(other, (dir() / "*.eml").string());
        inHandler = false;
    });
    DirList list;
    int count = 0;
    for (std::string n = SafeDir(list, (dir() / "*.eml").string()); !n.empty(); n = SafeDir(list, "")) ++count;
    EXPECT_EQ(count, 600);
    EXPECT_GT(pumps, 0);
}

TEST(MiscFuncsText, BlankAndFlagTests) {
    EXPECT_TRUE(IsBlank(""));
    EXPECT_TRUE(IsBlank("   "));
    EXPECT_TRUE(IsBlank(std::string("\0\0", 2)));
    EXPECT_TRUE(IsBlank(std::string(" \0 ", 3)));
    EXPECT_FALSE(IsBlank("\t"));
    EXPECT_FALSE(IsBlank(" x "));
    EXPECT_TRUE(IsFlagSet(" 1 "));
    EXPECT_FALSE(IsFlagSet("01"));
    EXPECT_FALSE(IsFlagSet("true"));
    EXPECT_FALSE(IsFlagSet(""));
}

TEST(MiscFuncsText, OneLiners) {
    EXPECT_EQ(ZeroFill(5, 2), "000");
    EXPECT_EQ(ZeroFill(2, 5), "");
    EXPECT_EQ(DeletionNoticeText("7"),
              "Please note that if you will not register within 7 day(s), all of your messages will be "
              "automaticaly deleted");
    // Equal values give the second argument.
    struct V { int v, tag; bool operator<(const V& o) const { return v < o.v; }
               bool operator>(const V& o) const { return v > o.v; } };
    EXPECT_EQ(MinOf(V{1, 1}, V{1, 2}).tag, 2);
    EXPECT_EQ(MaxOf(V{1, 1}, V{1, 2}).tag, 2);
    EXPECT_EQ(MinOf(1, 2), 1);
    EXPECT_EQ(MaxOf(1, 2), 2);
}

TEST(MiscFuncsText, GuidStringsAreUniqueAndZeroWhenTheSourceFails) {
    const std::string a = NewGuidString(), b = NewGuidString();
    EXPECT_EQ(a.size(), 32u);
    EXPECT_NE(a, b);
    EXPECT_EQ(a.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    SetGuidSource([](std::array<std::uint8_t, 16>&) { return false; });
    EXPECT_EQ(NewGuidString(), "00000000");
    SetGuidSource(nullptr);
}

TEST_F(SafeDirTest, ShortPathIsThePathWhenItExists) {
    WriteFile(dir() / "f.reg", "x");
    EXPECT_EQ(GetShortPath((dir() / "f.reg").string()), (dir() / "f.reg").string());
    EXPECT_EQ(GetShortPath((dir() / "none.reg").string()), "");
    EXPECT_EQ(GetShortPath(""), "");
}

TEST(Wildcard, MatchesWithoutBlowingUp) {
    struct Case { const char* text; const char* pattern; bool match; };
    const Case cases[] = {
        {"", "", true},         {"", "*", true},          {"a", "", false},
        {"abc", "a*c", true},   {"abc", "a?c", true},     {"ac", "a?c", false},
        {"ABC", "abc", true},   {"x[1]", "x[1]", true},   {"aXbXc", "*b*", true},
        {"mississippi", "m*iss*ppi", true}, {"mississippi", "m*iss*ppx", false},
    };
    for (const Case& c : cases) EXPECT_EQ(WildcardMatch(c.text, c.pattern, true), c.match) << c.pattern;
    EXPECT_FALSE(WildcardMatch("ABC", "abc", false));
    const std::string big(100000, 'a');
    EXPECT_FALSE(WildcardMatch(big, "*a*a*a*a*a*a*b*", true));  // returns at once
}

TEST(TrimTest, BlanksAndTabsGoAtBothEndsOnly) {
    EXPECT_EQ(TrimBlanksAndTabs(" \t a \t b\t "), "a \t b");
    EXPECT_EQ(TrimBlanksAndTabs("\t \t"), "");
    EXPECT_EQ(TrimBlanksAndTabs(""), "");
    EXPECT_EQ(TrimBlanks("\ta "), "\ta");
}

}  // namespace
