#include "core/IniDocument.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using IniStore::EditResult;
using IniStore::IniDocument;
using namespace std::string_literals;

std::string valueOr(const IniDocument& d, std::string_view s, std::string_view k, std::string fallback = "<absent>") {
    const std::string* v = d.Find(s, k);
    return v ? *v : fallback;
}

TEST(IniDocumentTest, ParseReadsTheLineKinds) {
    const IniDocument d = IniDocument::Parse(
        "stray=before any section\r\n"
        "[ One ]  trailing\r\n"
        "  Name = Bob Smith \t\r\n"
        "empty=\n"
        "; note=not a key\n"
        "no equals sign\n"
        "=no key\n"
        "eq=a=b\n"
        "name=second one is ignored\n"
        "[a]b]\n"
        "k=v\r\r\n"
        "[one]\n"
        "merged=yes\n"
        "[tail]\n"
        "last=no newline");
    EXPECT_EQ(d.SectionList(), "One\0a]b\0tail\0"s);
    EXPECT_EQ(d.KeyList("ONE"), "Name\0empty\0eq\0merged\0"s);
    EXPECT_EQ(valueOr(d, "one", "name"), "Bob Smith");
    EXPECT_EQ(valueOr(d, "one", "empty"), "");
    EXPECT_EQ(valueOr(d, "one", "eq"), "a=b");
    EXPECT_EQ(valueOr(d, "one", "merged"), "yes");
    EXPECT_EQ(valueOr(d, "a]b", "k"), "v");
    EXPECT_EQ(valueOr(d, "tail", "last"), "no newline");
    EXPECT_EQ(valueOr(d, "one", "; note"), "<absent>");
    EXPECT_EQ(valueOr(d, "", "stray"), "<absent>");
    EXPECT_FALSE(d.HasSection("missing"));
}

TEST(IniDocumentTest, StrayControlBytesAndByteOrderMark) {
    const IniDocument d = IniDocument::Parse("\xEF\xBB\xBF[s]\nk=a\0b\n\0[t]\nx=1\rAccessLevel=3\nKey\rWith=cr\n"s);
    EXPECT_EQ(d.SectionList(), "s\0t\0"s);
    EXPECT_EQ(valueOr(d, "s", "k"), "a b");
    EXPECT_EQ(valueOr(d, "t", "x"), "1 AccessLevel=3");
    EXPECT_EQ(valueOr(d, "t", "key\rwith"), "cr");  // looked up as it is stored
    EXPECT_EQ(d.Serialize(), "\xEF\xBB\xBF[s]\r\nk=a b\r\n[t]\r\nx=1 AccessLevel=3\r\nKey With=cr\r\n");
}

TEST(IniDocumentTest, UnmatchedLinesSurviveARewrite) {
    IniDocument d = IniDocument::Parse("; head\n[s]\n; comment\nk=1\n\n[t]\nx=1\n");
    ASSERT_EQ(d.Set("s", "new", "2"), EditResult::Changed);
    ASSERT_EQ(d.Set("u", "z", "3"), EditResult::Changed);
    EXPECT_EQ(d.Serialize(), "; head\r\n[s]\r\n; comment\r\nk=1\r\nnew=2\r\n\r\n[t]\r\nx=1\r\n[u]\r\nz=3\r\n");
}

TEST(IniDocumentTest, EditsKeepTheCaseFirstWritten) {
    IniDocument d;
    EXPECT_EQ(d.Set("Bob@X.com", "AccessLevel", "1"), EditResult::Changed);
    EXPECT_EQ(d.Set("bob@x.COM", "accesslevel", "3"), EditResult::Changed);
    EXPECT_EQ(d.Set("BOB@x.com", "ACCESSLEVEL", "3"), EditResult::Unchanged);
    EXPECT_EQ(d.Serialize(), "[Bob@X.com]\r\nAccessLevel=3\r\n");
}

TEST(IniDocumentTest, EditsStoreWhatTheFileGivesBack) {
    struct Case { const char* section; std::string key, value, storedSection, storedKey, storedValue; };
    const Case cases[] = {
        {"s", "k", "line\r\nAccessLevel=3", "s", "k", "line  AccessLevel=3"},
        {"s", "k", "nul\0inside"s, "s", "k", "nul inside"},
        {" s\n", "\tk ", "  padded \r", "s", "k", "padded"},
        {"x\r\n[y", "k", "v", "x  [y", "k", "v"},
        {"s", "k", "a=b;c", "s", "k", "a=b;c"},
        {"s", "k]", "\"quoted\"", "s", "k]", "\"quoted\""},
    };
    for (const Case& c : cases) {
        IniDocument d;
        ASSERT_EQ(d.Set(c.section, c.key, c.value), EditResult::Changed) << c.key;
        const IniDocument again = IniDocument::Parse(d.Serialize());
        EXPECT_EQ(again.SectionList(), c.storedSection + '\0');
        EXPECT_EQ(again.KeyList(c.storedSection), c.storedKey + '\0');
        EXPECT_EQ(valueOr(again, c.storedSection, c.storedKey), c.storedValue);
        EXPECT_EQ(valueOr(d, c.storedSection, c.storedKey), c.storedValue) << "memory and file disagree";
    }
}

TEST(IniDocumentTest, NamesThatCannotBeReadBackAreRefused) {
    struct Case { const char* section; const char* key; };
    const Case cases[] = {{"", "k"}, {" \r\n", "k"}, {"s", ""}, {"s", " \t"},
                          {"s", "a=b"}, {"s", ";k"}, {"s", "[k"}};
    for (const Case& c : cases) {
        IniDocument d;
        EXPECT_EQ(d.Set(c.section, c.key, "v"), EditResult::Refused) << c.section << "/" << c.key;
        EXPECT_EQ(d.Serialize(), "");
    }
}

TEST(IniDocumentTest, RemovingKeysAndSections) {
    IniDocument d = IniDocument::Parse("[a]\nk=1\nj=2\n[b]\nk=3\n");
    EXPECT_EQ(d.RemoveKey("A", "K"), EditResult::Changed);
    EXPECT_EQ(d.RemoveKey("a", "k"), EditResult::Unchanged);
    EXPECT_EQ(d.RemoveSection("missing"), EditResult::Unchanged);
    EXPECT_EQ(d.RemoveSection("B"), EditResult::Changed);
    EXPECT_EQ(d.Apply({"a", "j", std::nullopt}), EditResult::Changed);
    EXPECT_EQ(d.Serialize(), "[a]\r\n");
    EXPECT_EQ(d.Apply({"b", "k", "4"}), EditResult::Changed);
    EXPECT_EQ(d.SectionList(), "a\0b\0"s);
}

TEST(IniDocumentTest, LargeSectionsAndManyRemovals) {
    IniDocument d;
    for (int i = 0; i < 500; ++i) ASSERT_EQ(d.Set("Aliases", "Alias" + std::to_string(i) + "@x.com", "1"), EditResult::Changed);
    EXPECT_EQ(d.Set("aliases", "ALIAS250@X.COM", "2"), EditResult::Changed);
    EXPECT_EQ(d.RemoveKey("aliases", "alias0@x.com"), EditResult::Changed);
    EXPECT_EQ(valueOr(d, "Aliases", "alias250@x.com"), "2");
    EXPECT_EQ(valueOr(d, "Aliases", "alias0@x.com"), "<absent>");
    EXPECT_EQ(valueOr(d, "Aliases", "alias499@x.com"), "1");

    for (int i = 0; i < 3000; ++i) d.Set("s" + std::to_string(i), "k", std::to_string(i));
    for (int i = 1; i < 3000; ++i) {
        if (i % 3 == 0) continue;
        ASSERT_EQ(d.RemoveSection("S" + std::to_string(i)), EditResult::Changed);
    }
    EXPECT_EQ(d.SectionCount(), 1001u);
    EXPECT_EQ(valueOr(d, "s2997", "k"), "2997");
    EXPECT_EQ(valueOr(d, "s2998", "k"), "<absent>");
    d.Set("s1", "k", "back");
    const IniDocument again = IniDocument::Parse(d.Serialize());
    EXPECT_EQ(again.SectionList(), d.SectionList());
    EXPECT_EQ(again.SectionList().substr(0, 15), "Aliases\0s0\0s3\0s"s);
    EXPECT_EQ(valueOr(again, "s1", "k"), "back");
}

}  // namespace
