#include "core/CIniFile.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include "TempFolder.h"
#include "core/IniStore.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;
using namespace std::string_literals;
using Names = std::vector<std::string>;

class IniFileTest : public testing_support::TempFolderTest {
protected:
    std::string file() const { return (dir() / "test.ini").string(); }
};

TEST_F(IniFileTest, BracketRuleMapsAllThreeWhenAnyHoldsABracket) {
    struct Case { const char* section; const char* key; const char* value; std::string file; };
    const Case cases[] = {
        {"a[1]", "k", "x", "[a{1}]\r\nk=x\r\n"},
        {"s", "k", "[x]", "[s]\r\nk={x}\r\n"},
        {"s[", "k]", "]v[", "[s{]\r\nk}=}v{\r\n"},
        {"s", "k", "{plain}", "[s]\r\nk={plain}\r\n"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(file());
        CIniFile ini(file());
        ASSERT_TRUE(ini.Value(c.section, c.key, c.value));
        EXPECT_EQ(ReadFile(file()), c.file);
    }
    CIniFile ini(file());
    ini.Value("a[1]", "k", "x");
    EXPECT_EQ(ini.Value("a[1]", "k"), "");  // reading maps nothing
    EXPECT_EQ(ini.Value("a{1}", "k"), "x");
    ini.Value("s", "k", "[x]");
    EXPECT_EQ(ini.Value("s", "k"), "{x}");
}

TEST_F(IniFileTest, AbsentKeyAndEmptyValueAreTwoThings) {
    CIniFile ini(file());
    ASSERT_TRUE(ini.Value("s", "empty", ""));
    ASSERT_TRUE(ini.Value("s", "full", "1"));
    ASSERT_TRUE(ini.Value("t", "k", "2"));
    EXPECT_EQ(ReadFile(file()), "[s]\r\nempty=\r\nfull=1\r\n[t]\r\nk=2\r\n");
    EXPECT_EQ(ini.FindValue("s", "empty"), std::optional<std::string>(""));
    EXPECT_EQ(ini.FindValue("s", "missing"), std::nullopt);
    EXPECT_EQ(ini.Value("s", "missing"), "");

    ASSERT_TRUE(ini.DeleteKey("S", "FULL"));
    ASSERT_TRUE(ini.ClearSection("T"));
    EXPECT_EQ(ReadFile(file()), "[s]\r\nempty=\r\n");
    EXPECT_FALSE(ini.SectionExists("t"));
    EXPECT_TRUE(ini.SectionExists("S"));
}

TEST_F(IniFileTest, MissingFileReadsEmptyAndIsCreatedByAWrite) {
    CIniFile ini(file());
    EXPECT_EQ(ini.Value("s", "k"), "");
    EXPECT_EQ(ini.AllSectionsArray(), Names{});
    EXPECT_EQ(ini.AllSectionKeysArray("s"), Names{});
    EXPECT_EQ(ini.AllSectionsString(), "");
    EXPECT_TRUE(ini.ClearSection("s"));
    EXPECT_FALSE(std::filesystem::exists(file()));
    EXPECT_TRUE(ini.Value("s", "k", 42));
    EXPECT_EQ(ini.Value("S", "K"), "42");
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(static_cast<mode_t>(std::filesystem::status(file()).permissions()), 0666 & ~mask);
}

TEST_F(IniFileTest, RawListFormsAndTheirArrays) {
    struct Case { std::string text; std::string sections; Names array; };
    const Case cases[] = {
        {"[a]\r\n", "a", {"a"}},
        {"[a]\r\nk=1\r\n[B b]\r\n", "a\0B b"s, {"a", "B b"}},
        {"; no sections\r\n", "", {}},
        {"[a]\r\n[]\r\n", "a\0"s, {"a"}},  // a list ending in two NULs loses both
        {"[]\r\n", "", {}},
        {"[ ]\r\n[x]\r\n", "\0x"s, {"", "x"}},
    };
    for (const Case& c : cases) {
        WriteFile(file(), c.text);
        CIniFile ini(file());
        EXPECT_EQ(ini.AllSectionsString(), c.sections) << c.text;
        EXPECT_EQ(ini.AllSectionsArray(), c.array) << c.text;
    }
    WriteFile(file(), "[s]\r\nOne=1\r\ntwo=\r\n; c\r\n[t]\r\n");
    CIniFile ini(file());
    EXPECT_EQ(ini.AllSectionKeysString("S"), "One\0two\0"s);
    EXPECT_EQ(ini.AllSectionKeysArray("s"), (Names{"One", "two"}));
    EXPECT_EQ(ini.AllSectionKeysString("t"), "");
    EXPECT_EQ(ini.AllSectionKeysArray("t"), Names{});
}

TEST_F(IniFileTest, LongValuesAndListsComeBackWhole) {
    CIniFile ini(file());
    const std::string longValue(100000, 'v');
    ASSERT_TRUE(ini.Value("s", "k", longValue));
    {
        CIniFile::Batch batch(ini);
        for (int i = 0; i < 5000; ++i) ini.Value("sender" + std::to_string(i) + "@example.com", "AccessLevel", "3");
        ASSERT_TRUE(batch.Commit());
    }
    CIniFile other(file());
    EXPECT_EQ(other.Value("s", "k"), longValue);
    const Names sections = other.AllSectionsArray();
    ASSERT_EQ(sections.size(), 5001u);
    EXPECT_EQ(sections.back(), "sender4999@example.com");
    EXPECT_GT(other.AllSectionsString().size(), 65530u);
    EXPECT_EQ(other.AllSectionsString().back(), 'm');
}

TEST_F(IniFileTest, NamesIgnoreCaseAndKeepTheirCase) {
    CIniFile ini(file());
    ini.Value("Bob@Example.COM", "AuthReason", "first");
    ini.Value("bob@example.com", "authreason", "second");
    ini.Value("BOB@EXAMPLE.COM", "Name", "Bob");
    EXPECT_EQ(ini.Value("bOb@eXample.com", "AUTHREASON"), "second");
    EXPECT_EQ(ini.AllSectionsArray(), Names{"Bob@Example.COM"});
    EXPECT_EQ(ini.AllSectionKeysArray("bob@example.com"), (Names{"AuthReason", "Name"}));
    EXPECT_EQ(ReadFile(file()), "[Bob@Example.COM]\r\nAuthReason=second\r\nName=Bob\r\n");
}

TEST_F(IniFileTest, StrangersTextCannotInjectKeysOrSections) {
    CIniFile ini(file());
    ASSERT_TRUE(ini.Value("bob@example.com", "AccessLevel", "1"));
    ASSERT_TRUE(ini.Value("bob@example.com", "AuthReason", "Hello\r\nAccessLevel=3\n[mallory@evil.com]\r\nAccessLevel=3"));
    ASSERT_TRUE(ini.Value("bob@example.com", "Name", "Bob\0AccessLevel=3"s));
    ASSERT_TRUE(ini.Value("eve@example.com\r\nAccessLevel=3", "Name", "Eve"));

    CIniFile fresh(file());  // as the next start reads it
    EXPECT_EQ(fresh.Value("bob@example.com", "AccessLevel"), "1");
    EXPECT_EQ(fresh.AllSectionsArray(), (Names{"bob@example.com", "eve@example.com  AccessLevel=3"}));
    EXPECT_EQ(fresh.AllSectionKeysArray("bob@example.com"), (Names{"AccessLevel", "AuthReason", "Name"}));
    EXPECT_EQ(fresh.Value("bob@example.com", "AuthReason"), "Hello  AccessLevel=3 {mallory@evil.com}  AccessLevel=3");
    EXPECT_EQ(fresh.Value("bob@example.com", "Name"), "Bob AccessLevel=3");
    EXPECT_EQ(ini.Value("bob@example.com", "AuthReason"), fresh.Value("bob@example.com", "AuthReason"));

    EXPECT_FALSE(ini.Value("s", "AccessLevel=3\r\n12-08-2026 07:52:06  i forged", "x"));
    EXPECT_FALSE(ini.Value("s", ";hidden", "x"));
    EXPECT_FALSE(ini.Value("  ", "k", "x"));
    EXPECT_FALSE(fresh.SectionExists("s"));
    EXPECT_NE(programLog().find("Error in CIniFile::WriteString"), std::string::npos);
    EXPECT_EQ(programLog().find("\r\n12-08-2026 07:52:06  i forged"), std::string::npos);
}

TEST_F(IniFileTest, ChangeFollowsEverySuccessfulWrite) {
    CIniFile ini(file());
    CIniFile other(file());
    int changes = 0, otherChanges = 0;
    const auto token = ini.Change.Subscribe([&] { ++changes; });
    other.Change.Subscribe([&] { ++otherChanges; });
    std::string seen;
    ini.Change.Subscribe([&] { seen = other.Value("s", "k"); });

    ini.Value("s", "k", "1");
    EXPECT_EQ(seen, "1");  // the value is readable when Change runs
    ini.Value("s", "k", "1");
    ini.ClearSection("missing");
    ini.DeleteKey("s", "k");
    EXPECT_EQ(changes, 4);
    EXPECT_FALSE(ini.Value("s", "bad=key", "1"));
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(otherChanges, 0);

    ini.Change.Unsubscribe(token);
    ini.Value("s", "k", "2");
    EXPECT_EQ(changes, 4);
}

TEST_F(IniFileTest, ObjectsOnOnePathShareOneCopy) {
    std::filesystem::create_directory(dir() / "sub");
    CIniFile a(file());
    CIniFile b((dir() / "sub" / ".." / "." / "test.ini").string());
    EXPECT_EQ(IniStore::Open(a.IniFile()), IniStore::Open(b.IniFile()));
    a.Value("s", "k", "from a");
    EXPECT_EQ(b.Value("S", "K"), "from a");
    b.IniFile((dir() / "other.ini").string());
    EXPECT_EQ(b.Value("s", "k"), "");
    EXPECT_EQ(a.IniFile(), file());

    CIniFile unbound;
    EXPECT_EQ(unbound.Value("s", "k"), "");
    EXPECT_FALSE(unbound.Value("s", "k", "v"));
}

TEST_F(IniFileTest, WritesThroughALinkReplaceTheTargetAndKeepItsMode) {
    WriteFile(dir() / "real.ini", "[s]\r\nk=1\r\n");
    std::filesystem::permissions(dir() / "real.ini", std::filesystem::perms(0640));
    std::filesystem::create_symlink(dir() / "real.ini", dir() / "link.ini");
    CIniFile ini((dir() / "link.ini").string());
    ASSERT_TRUE(ini.Value("s", "k", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir() / "link.ini"));
    EXPECT_EQ(ReadFile(dir() / "real.ini"), "[s]\r\nk=2\r\n");
    EXPECT_EQ(std::filesystem::status(dir() / "real.ini").permissions(), std::filesystem::perms(0640));
    std::size_t names = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir())) ++names;
    EXPECT_EQ(names, 2u);  // no temporary file left beside them
}

}  // namespace
