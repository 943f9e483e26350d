#include "core/MailAccount.h"

#include <string>

#include "TempFolder.h"
#include "core/ProgramFiles.h"
#include "core/Scramble.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;
namespace fs = std::filesystem;

class MailAccountTest : public testing_support::TempFolderTest {
protected:
    std::string path() const { return ProgramFiles::AccountsIniPath().string(); }

    static MailAccount sample() {
        MailAccount a;
        a.EMailAddress = a.LoadedSection = "Bob@Example.com";
        a.DisplayName = "Bob Smith";
        a.POP3CollectorInterval = 10;
        a.POP3Server = "pop.example.com";
        a.POP3UserName = "bob";
        a.POP3Password = "s3cret";
        a.POP3ServerPort = "110";
        a.SMTPServer = "smtp.example.com";
        a.SMTPServerPort = "25";
        a.SMTPRequiresAuth = 1;
        a.SMTPAuthType = 2;
        a.SMTPAuthUserName = "bob2";
        a.SMTPAuthPassword = "pw";
        a.AccountTested = 1;
        a.AccountEnabled = 1;
        a.LeaveMessagesOnServer = 3;
        return a;
    }
    static std::string sampleSection(const std::string& name) {
        return "[" + name + "]\r\nDisplayName=Bob Smith\r\nPOP3CollectorInterval=10\r\nPOP3Server=pop.example.com\r\n"
               "POP3UserName=bob\r\nPOP3Password=" + MiscFuncs::ScrambleText("s3cret") +
               "\r\nPOP3ServerPort=110\r\nPOP3UseSPA=0\r\nSMTPServer=smtp.example.com\r\nSMTPServerPort=25\r\n"
               "SMTPRequiresAuth=1\r\nSMTPAuthType=2\r\nSMTPAuthUserName=bob2\r\nSMTPAuthPassword=" +
               MiscFuncs::ScrambleText("pw") + "\r\nAccountTested=1\r\nAccountEnabled=1\r\nLeaveMessagesOnServer=3\r\n";
    }
};

TEST_F(MailAccountTest, SaveWritesTheSixteenKeysInOrderAndLoadGivesThemBack) {
    CIniFile ini(path());
    ASSERT_TRUE(Accounts::SaveAccount(ini, sample()));
    EXPECT_EQ(ReadFile(path()), sampleSection("Bob@Example.com"));

    const std::vector<MailAccount> loaded = Accounts::LoadAccounts(ini);
    ASSERT_EQ(loaded.size(), 1u);
    const MailAccount& a = loaded[0];
    EXPECT_EQ(a.EMailAddress, "Bob@Example.com");
    EXPECT_EQ(a.LoadedSection, "Bob@Example.com");
    EXPECT_EQ(a.POP3Password, "s3cret");
    EXPECT_EQ(a.SMTPAuthPassword, "pw");
    EXPECT_EQ(a.SMTPAuthType, 2);
    EXPECT_EQ(a.LeaveMessagesOnServer, 3);
    EXPECT_EQ(a.POP3ServerPort, "110");
}

TEST_F(MailAccountTest, SavingAgainKeepsRegFileNo) {
    WriteFile(path(), "[Bob@Example.com]\r\nRegFileNo=2\r\nDisplayName=Old\r\n");
    CIniFile ini(path());
    MailAccount a = Accounts::LoadAccount(ini, "Bob@Example.com");
    EXPECT_EQ(a.RegFileNo, 2);
    a = sample();
    a.RegFileNo = 7;  // the dialog never writes it, whatever the record holds
    ASSERT_TRUE(Accounts::SaveAccount(ini, a));
    EXPECT_EQ(Accounts::RegFileNoOf(ini, "bob@example.com"), 2);
    EXPECT_EQ(ini.Value("Bob@Example.com", "DisplayName"), "Bob Smith");
}

TEST_F(MailAccountTest, RenameClearsTheOldSectionMovesTheFolderAndKeepsUnwrittenKeys) {
    WriteFile(path(), "[old@example.com]\r\nRegFileNo=1\r\nUnAuthSenderMaxMessageCount=4\r\nDisplayName=Old\r\n"
                      "[other@example.com]\r\nDisplayName=Other\r\n");
    WriteFile(ProgramFiles::InAccountsFolder("old@example.com") / "MailDir" / "InBox" / "m.eml", "mail");
    CIniFile ini(path());
    MailAccount a = Accounts::LoadAccount(ini, "old@example.com");
    a.EMailAddress = "new@example.com";
    ASSERT_TRUE(Accounts::SaveAccount(ini, a));

    EXPECT_FALSE(ini.SectionExists("old@example.com"));
    EXPECT_EQ(ini.AllSectionsArray(), (std::vector<std::string>{"other@example.com", "new@example.com"}));
    EXPECT_EQ(Accounts::RegFileNoOf(ini, "new@example.com"), 1);
    EXPECT_EQ(ini.Value("new@example.com", "UnAuthSenderMaxMessageCount"), "4");
    EXPECT_EQ(ini.Value("new@example.com", "DisplayName"), "Old");
    EXPECT_FALSE(fs::exists(ProgramFiles::InAccountsFolder("old@example.com")));
    EXPECT_EQ(ReadFile(ProgramFiles::InAccountsFolder("new@example.com") / "MailDir" / "InBox" / "m.eml"), "mail");
}

TEST_F(MailAccountTest, ANewAccountHasNoFolderToMoveAndAnUnsafeNameIsNeverAPath) {
    CIniFile ini(path());
    MailAccount a = Accounts::NewAccount(0);
    EXPECT_EQ(a.LoadedSection, "NewAccount0");
    EXPECT_EQ(a.POP3CollectorInterval, 10);
    EXPECT_EQ(a.POP3ServerPort, "110");
    EXPECT_EQ(a.SMTPServerPort, "25");
    a.EMailAddress = "fresh@example.com";
    ASSERT_TRUE(Accounts::SaveAccount(ini, a));
    EXPECT_EQ(ini.AllSectionsArray(), std::vector<std::string>{"fresh@example.com"});

    fs::create_directories(ProgramFiles::InAccountsFolder("fresh@example.com"));
    ASSERT_TRUE(Accounts::RenameAccount(ini, "fresh@example.com", "../escaped"));
    EXPECT_TRUE(fs::exists(ProgramFiles::InAccountsFolder("fresh@example.com")));
    EXPECT_FALSE(fs::exists(dir() / "escaped"));
    for (const char* bad : {"", " ", ".", "..", "a/b", "a\\b"}) EXPECT_FALSE(Accounts::IsSafeFolderName(bad)) << bad;
    EXPECT_TRUE(Accounts::IsSafeFolderName("bob@example.com"));
}

TEST_F(MailAccountTest, BadNumbersReadAsZeroAndEnabledMeansOne) {
    WriteFile(path(), "[a@x.com]\r\nAccountEnabled=1\r\nPOP3CollectorInterval=soon\r\nPOP3Password=nothex\r\n"
                      "[b@x.com]\r\nAccountEnabled=0\r\n[c@x.com]\r\nAccountEnabled=1\r\nSMTPAuthType=70000\r\n");
    CIniFile ini(path());
    const std::vector<MailAccount> all = Accounts::LoadAccounts(ini);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].POP3CollectorInterval, 0);
    EXPECT_EQ(all[0].POP3Password, "");
    EXPECT_EQ(all[2].SMTPAuthType, 0);
    const std::vector<MailAccount> enabled = Accounts::EnabledAccounts(ini);
    ASSERT_EQ(enabled.size(), 2u);
    EXPECT_EQ(enabled[0].EMailAddress, "a@x.com");
    EXPECT_EQ(enabled[1].EMailAddress, "c@x.com");
}

TEST_F(MailAccountTest, FindIgnoresLetterCaseAndBlanks) {
    WriteFile(path(), "[Bob@Example.com]\r\nDisplayName=Bob\r\n");
    CIniFile ini(path());
    EXPECT_EQ(Accounts::FindAccountSection(ini, " bob@EXAMPLE.com "), std::optional<std::string>("Bob@Example.com"));
    EXPECT_EQ(Accounts::FindAccountSection(ini, "bob@example.org"), std::nullopt);
    EXPECT_EQ(Accounts::FindAccountSection(ini, ""), std::nullopt);
}

TEST_F(MailAccountTest, WizardSaveEnablesAndWritesRegFileNoOnlyForMailClientAccounts) {
    CIniFile ini(path());
    MailAccount byHand = sample();
    byHand.AccountEnabled = 0;
    byHand.RegFileNo = 5;
    ASSERT_TRUE(Accounts::SaveWizardAccount(ini, byHand));
    MailAccount fromClient = sample();
    fromClient.EMailAddress = "c@example.com";
    fromClient.ClientKind = 1;
    fromClient.RegFileNo = 3;
    ASSERT_TRUE(Accounts::SaveWizardAccount(ini, fromClient));

    std::string first = sampleSection("Bob@Example.com");
    first.erase(first.find("LeaveMessagesOnServer"));
    std::string second = sampleSection("c@example.com");
    second.erase(second.find("LeaveMessagesOnServer"));
    EXPECT_EQ(ReadFile(path()), first + second + "RegFileNo=3\r\n");
}

}  // namespace
