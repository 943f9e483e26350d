#include "core/Aliases.h"

#include <string>

#include "TempFolder.h"
#include "core/ProgramFiles.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

class AliasesTest : public testing_support::TempFolderTest {
protected:
    std::string accountsPath() const { return ProgramFiles::AccountsIniPath().string(); }
    std::string aliasesPath() const { return ProgramFiles::AliasesIniPath().string(); }
};

TEST_F(AliasesTest, WriteReplacesTheWholeSectionInOrder) {
    WriteFile(aliasesPath(), "[Aliases]\r\nold@x.com=1\r\n[Other]\r\nk=v\r\n");
    CIniFile ini(aliasesPath());
    ASSERT_TRUE(Aliases::WriteAliases(ini, {"me@work.com", "*@home.net", " ", "Me@Old.org"}));
    EXPECT_EQ(ReadFile(aliasesPath()), "[Other]\r\nk=v\r\n[Aliases]\r\nme@work.com=1\r\n*@home.net=1\r\nMe@Old.org=1\r\n");
    EXPECT_EQ(Aliases::ReadAliases(ini), (std::vector<std::string>{"me@work.com", "*@home.net", "Me@Old.org"}));

    ASSERT_TRUE(Aliases::WriteAliases(ini, {}));
    EXPECT_TRUE(Aliases::ReadAliases(ini).empty());
    EXPECT_EQ(ReadFile(aliasesPath()), "[Other]\r\nk=v\r\n");
}

TEST_F(AliasesTest, OwnAddressesKnowsAccountsAliasesAndDomainWildcards) {
    WriteFile(accountsPath(), "[Bob@Example.com]\r\nDisplayName=Bob\r\n[alice@example.com]\r\nDisplayName=A\r\n");
    WriteFile(aliasesPath(), "[Aliases]\r\nBoss@Work.com=1\r\n*@Home.NET=1\r\n*x.org=1\r\n*=1\r\n");
    const CIniFile accounts(accountsPath()), aliases(aliasesPath());
    OwnAddresses own(accounts, aliases);
    struct Case { const char* sender; OwnAddressKind kind; };
    const Case cases[] = {
        {"bob@example.com", OwnAddressKind::Account},
        {" ALICE@example.com ", OwnAddressKind::Account},
        {"boss@work.com", OwnAddressKind::Alias},
        {"anyone@home.net", OwnAddressKind::Alias},
        {"anyone@sub.home.net", OwnAddressKind::None},
        {"a@home.net.evil", OwnAddressKind::None},
        {"z@.org", OwnAddressKind::Alias},  // "*x.org" names the domain from its third character on
        {"z@x.org", OwnAddressKind::None},
        {"carol@example.com", OwnAddressKind::None},
        {"", OwnAddressKind::None},
    };
    for (const Case& c : cases) EXPECT_EQ(own.Classify(c.sender), c.kind) << c.sender;
}

TEST_F(AliasesTest, OwnAddressesSeesEditsOfEitherFile) {
    CIniFile accounts(accountsPath()), aliases(aliasesPath());
    OwnAddresses own(accounts, aliases);
    EXPECT_FALSE(own.Contains("new@example.com"));
    accounts.Value("new@example.com", "DisplayName", "N");
    EXPECT_EQ(own.Classify("new@example.com"), OwnAddressKind::Account);
    Aliases::WriteAliases(aliases, {"*@example.com"});
    EXPECT_EQ(own.Classify("other@example.com"), OwnAddressKind::Alias);
    // A change by another program, seen through the file alone.
    WriteFile(aliasesPath(), "[Aliases]\r\nsolo@elsewhere.com=1\r\n");
    EXPECT_FALSE(own.Contains("other@example.com"));
    EXPECT_TRUE(own.Contains("solo@elsewhere.com"));
}

}  // namespace
