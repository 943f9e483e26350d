#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "TempFolder.h"
#include "core/CDomains.h"
#include "core/CIniFile.h"
#include "core/Log.h"
#include "core/ProgramFiles.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

class DomainsTest : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        fs::create_directories(ProgramFiles::AccountsFolder());
        domains_.emplace();  // after the program folder is set
        changes = 0;
        domains().Change.Subscribe([this] { ++changes; });
    }
    std::string file() const { return ReadFile(ProgramFiles::DomainsIniPath()); }

    CDomains& domains() { return *domains_; }

    std::optional<CDomains> domains_;
    int changes = 0;
};

TEST_F(DomainsTest, StatusIsStoredAsAccessLevelAndReadBack) {
    EXPECT_EQ(domains().StatusOf("example.com"), DomainStatus::NotListed);
    EXPECT_TRUE(domains().SetStatus("example.com", DomainStatus::Approved, "Approved by user"));
    EXPECT_TRUE(domains().SetStatus("spam.test", DomainStatus::Blocked, "Blocked by user"));
    EXPECT_EQ(domains().StatusOf("example.com"), DomainStatus::Approved);
    EXPECT_EQ(domains().StatusOf("EXAMPLE.Com"), DomainStatus::Approved);  // sections ignore case
    EXPECT_EQ(domains().StatusOf("spam.test"), DomainStatus::Blocked);
    EXPECT_EQ(file(),
              "[example.com]\r\nAccessLevel=1\r\nDescription=Approved by user\r\n"
              "[spam.test]\r\nAccessLevel=0\r\nDescription=Blocked by user\r\n");
    EXPECT_EQ(changes, 2);
}

TEST_F(DomainsTest, OtherStoredLevelsAreNotListed) {
    WriteFile(ProgramFiles::DomainsIniPath(),
              "[a.test]\r\nAccessLevel=3\r\n[b.test]\r\nAccessLevel=\r\n[c.test]\r\nAccessLevel=1x\r\n"
              "[d.test]\r\nDescription=only\r\n");
    for (const char* d : {"a.test", "b.test", "c.test", "d.test", "e.test"})
        EXPECT_EQ(domains().StatusOf(d), DomainStatus::NotListed) << d;
    DomainLists lists;
    domains().LoadAllDomains(lists);
    EXPECT_TRUE(lists[0].empty());
    EXPECT_TRUE(lists[1].empty());
}

TEST_F(DomainsTest, AnotherStatusRemovesTheLevelAndKeepsTheDescription) {
    domains().SetStatus("example.com", DomainStatus::Approved, "old");
    EXPECT_TRUE(domains().SetStatus("example.com", DomainStatus::NotListed, "kept"));
    EXPECT_EQ(file(), "[example.com]\r\nDescription=kept\r\n");
    EXPECT_EQ(domains().StatusOf("example.com"), DomainStatus::NotListed);
    DomainLists lists;
    domains().LoadAllDomains(lists);
    EXPECT_TRUE(lists[0].empty());
    EXPECT_TRUE(lists[1].empty());
    EXPECT_EQ(changes, 2);
}

TEST_F(DomainsTest, ListsComeInFileOrderAndReplaceWhatTheyHeld) {
    domains().SetStatus("b.test", DomainStatus::Approved, "second\tpart");
    domains().SetStatus("x.test", DomainStatus::Blocked, "");
    domains().SetStatus("a.test", DomainStatus::Approved, "first");
    domains().SetStatus("gone.test", DomainStatus::NotListed, "none");
    DomainLists lists;
    lists[0] = {"stale"};
    lists[1] = {"stale"};
    domains().LoadAllDomains(lists);
    EXPECT_EQ(lists[0], (std::vector<std::string>{"x.test\t"}));
    EXPECT_EQ(lists[1], (std::vector<std::string>{"b.test\tsecond\tpart", "a.test\tfirst"}));
}

TEST_F(DomainsTest, BracketsInNamesAndDescriptionsBecomeBraces) {
    domains().SetStatus("example.com", DomainStatus::Approved, "from [work]");
    EXPECT_EQ(file(), "[example.com]\r\nAccessLevel=1\r\nDescription=from {work}\r\n");
    // A domain with brackets is found, changed and removed under the name it is stored as.
    domains().SetStatus("a[1].test", DomainStatus::Blocked, "x");
    EXPECT_EQ(domains().StatusOf("a[1].test"), DomainStatus::Blocked);
    domains().SetStatus("a[1].test", DomainStatus::NotListed, "x");
    EXPECT_EQ(CIniFile(ProgramFiles::DomainsIniPath().string()).FindValue("a{1}.test", "AccessLevel"), std::nullopt);
    EXPECT_TRUE(domains().DeleteDomain("a[1].test"));
    EXPECT_EQ(file(), "[example.com]\r\nAccessLevel=1\r\nDescription=from {work}\r\n");
}

TEST_F(DomainsTest, DeleteRemovesTheSectionAndAlwaysRaisesChange) {
    domains().SetStatus("keep.test", DomainStatus::Approved, "k");
    domains().SetStatus("drop.test", DomainStatus::Blocked, "d");
    changes = 0;
    EXPECT_TRUE(domains().DeleteDomain("DROP.test"));
    EXPECT_EQ(domains().StatusOf("drop.test"), DomainStatus::NotListed);
    const std::string before = file();
    EXPECT_TRUE(domains().DeleteDomain("never.listed"));
    EXPECT_EQ(file(), before);
    EXPECT_EQ(before, "[keep.test]\r\nAccessLevel=1\r\nDescription=k\r\n");
    EXPECT_EQ(changes, 2);
}

TEST_F(DomainsTest, StatusChangesAreLoggedAtLevelTwo) {
    domains().SetStatus("quiet.test", DomainStatus::Approved, "");
    MiscFuncs::SetLogLevel(2);
    domains().SetStatus("loud.test\r\nforged line", DomainStatus::Blocked, "");
    const std::string log = programLog();
    EXPECT_EQ(log.find("quiet.test"), std::string::npos);
    EXPECT_NE(log.find("  i Status changed for domain loud.test  forged line\r\n"), std::string::npos) << log;
}

TEST_F(DomainsTest, AWriteThatFailsReportsItAndLeavesTheFile) {
    domains().SetStatus("example.com", DomainStatus::Approved, "old");
    const std::string before = file();
    ASSERT_TRUE(makeReadOnly(ProgramFiles::AccountsFolder()));
    changes = 0;
    EXPECT_FALSE(domains().SetStatus("example.com", DomainStatus::Blocked, "new"));
    EXPECT_FALSE(domains().DeleteDomain("example.com"));
    EXPECT_EQ(file(), before);
    EXPECT_EQ(domains().StatusOf("example.com"), DomainStatus::Approved);
    EXPECT_EQ(changes, 2);
}

}  // namespace
