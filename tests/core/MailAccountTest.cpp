#include "core/MailAccount.h"

#include <cctype>
#include <string>

#include "TempFolder.h"
#include "core/MailClientFiles.h"
#include "core/ProgramFiles.h"
#include "core/Registry.h"
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
               MiscFuncs::ScrambleText("pw") + "\r\nAccountTested=1\r\nAccountEnabled=1\r\nLeaveMessagesOnServer=3\r\n" +
               kSecurityKeys;
    }
    static constexpr const char* kSecurityKeys = "POP3Security=0\r\nSMTPSecurity=0\r\n";
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

TEST_F(MailAccountTest, FindAccountGivesTheRecordOfAnExistingSectionOnly) {
    WriteFile(path(), "[Bob@Example.com]\r\nSMTPServer=smtp.example.com\r\nSMTPServerPort=\r\n[empty@x.com]\r\n");
    const CIniFile ini(path());
    const std::optional<MailAccount> bob = Accounts::FindAccount(ini, "bob@example.COM");
    ASSERT_TRUE(bob.has_value());
    EXPECT_EQ(bob->SMTPServer, "smtp.example.com");
    EXPECT_EQ(bob->SMTPServerPort, "");
    EXPECT_TRUE(Accounts::FindAccount(ini, "empty@x.com").has_value());
    EXPECT_FALSE(Accounts::FindAccount(ini, "bob@example.org").has_value());
    EXPECT_FALSE(Accounts::FindAccount(ini, "").has_value());
    EXPECT_EQ(Accounts::FindAccount(Accounts::ProgramAccounts(), "Bob@Example.com")->SMTPServer, "smtp.example.com");
}

// The local POP3 server's login: only the stored password itself opens the account.
TEST_F(MailAccountTest, OnlyTheStoredPasswordMatches) {
    const std::string pw = MiscFuncs::ScrambleText("pw");
    std::string damaged = pw;
    damaged.back() = damaged.back() == '0' ? '1' : '0';
    std::string damagedPlain;
    ASSERT_FALSE(MiscFuncs::UnscrambleText(damaged, damagedPlain));
    // Lower-case digits unscramble like upper-case ones, but the check compares the
    // stored text itself.
    std::string lower = MiscFuncs::ScrambleText("secret");
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_NE(lower, MiscFuncs::ScrambleText("secret"));
    struct Case { std::string stored; std::string given; bool matches; };
    const Case cases[] = {
        {"POP3Password=" + pw, "pw", true},
        {"POP3Password=" + pw, "PW", false},
        {"POP3Password=" + pw, "", false},
        {"POP3Password=" + pw, "pw ", false},
        {"POP3Password=0000", "", true},
        {"POP3Password=", "", false},
        {"POP3Password=", "0000", false},
        {"DisplayName=no password key", "", false},
        {"POP3Password=nothex", "", false},
        {"POP3Password=" + damaged, "", false},
        {"POP3Password=" + damaged, damagedPlain, false},
        {"POP3Password=" + lower, "secret", false},
    };
    for (const Case& c : cases) {
        WriteFile(path(), "[Bob@Example.com]\r\n" + c.stored + "\r\n");
        const CIniFile ini(path());
        EXPECT_EQ(Accounts::POP3PasswordMatches(ini, "bob@example.com", c.given), c.matches)
            << c.stored << " given \"" << c.given << '"';
        EXPECT_FALSE(Accounts::POP3PasswordMatches(ini, "other@example.com", c.given)) << c.stored;
    }
}

TEST_F(MailAccountTest, UnknownSenderLimitIsANumberOrNone) {
    struct Case { const char* stored; std::optional<std::int64_t> limit; };
    const Case cases[] = {{"3", 3}, {" 4 ", 4}, {"0", 0}, {"", std::nullopt}, {"many", std::nullopt}};
    for (const Case& c : cases) {
        WriteFile(path(), std::string("[a@x.com]\r\nUnAuthSenderMaxMessageCount=") + c.stored + "\r\n");
        EXPECT_EQ(Accounts::UnknownSenderLimit(CIniFile(path()), "A@x.com"), c.limit) << '"' << c.stored << '"';
    }
    WriteFile(path(), "[a@x.com]\r\n");
    EXPECT_EQ(Accounts::UnknownSenderLimit(CIniFile(path()), "a@x.com"), std::nullopt);
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
    EXPECT_EQ(ReadFile(path()), first + kSecurityKeys + second + "RegFileNo=3\r\n" + kSecurityKeys);
}

// The security towards the provider: stored as chosen, and for an account stored
// before the keys existed (or with a key nobody wrote), taken from the port.
TEST_F(MailAccountTest, SecurityIsStoredAndAnAbsentKeyFollowsThePort) {
    CIniFile ini(path());
    MailAccount a = sample();
    a.POP3Security = Accounts::kStartTls;
    a.SMTPSecurity = Accounts::kImplicitTls;
    ASSERT_TRUE(Accounts::SaveAccount(ini, a));
    EXPECT_NE(ReadFile(path()).find("LeaveMessagesOnServer=3\r\nPOP3Security=1\r\nSMTPSecurity=2\r\n"),
              std::string::npos);
    EXPECT_EQ(Accounts::LoadAccount(ini, a.EMailAddress).POP3Security, Accounts::kStartTls);
    EXPECT_EQ(Accounts::LoadAccount(ini, a.EMailAddress).SMTPSecurity, Accounts::kImplicitTls);

    struct Case {
        const char *stored, *port;
        int tlsPort;
        std::int16_t expected;
    };
    const Case cases[] = {
        {nullptr, "995", Accounts::kPop3TlsPort, Accounts::kImplicitTls},
        {nullptr, " 465 ", Accounts::kSmtpTlsPort, Accounts::kImplicitTls},
        {nullptr, "110", Accounts::kPop3TlsPort, Accounts::kPlain},
        {nullptr, "", Accounts::kSmtpTlsPort, Accounts::kPlain},
        {"", "465", Accounts::kSmtpTlsPort, Accounts::kImplicitTls},
        {"0", "995", Accounts::kPop3TlsPort, Accounts::kPlain},
        {"1", "587", Accounts::kSmtpTlsPort, Accounts::kStartTls},
        {" 2 ", "110", Accounts::kPop3TlsPort, Accounts::kImplicitTls},
        {"7", "995", Accounts::kPop3TlsPort, Accounts::kImplicitTls},
        {"junk", "25", Accounts::kSmtpTlsPort, Accounts::kPlain},
    };
    for (const Case& c : cases) {
        CIniFile old(path());
        old.ClearSection("old@example.com");
        old.Value("old@example.com", "POP3ServerPort", c.port);
        old.Value("old@example.com", "SMTPServerPort", c.port);
        if (c.stored) old.Value("old@example.com", c.tlsPort == Accounts::kPop3TlsPort ? "POP3Security" : "SMTPSecurity", c.stored);
        const MailAccount loaded = Accounts::LoadAccount(old, "old@example.com");
        const std::int16_t got = c.tlsPort == Accounts::kPop3TlsPort ? loaded.POP3Security : loaded.SMTPSecurity;
        EXPECT_EQ(got, c.expected) << (c.stored ? c.stored : "(absent)") << " port " << c.port;
    }
}

TEST(AccountSecurityPort, TheTlsChoiceProposesTheTlsPortOnlyInPlaceOfThePlainDefault) {
    using Accounts::PortForSecurity;
    EXPECT_EQ(PortForSecurity("110", Accounts::kImplicitTls, 110, 995), "995");
    EXPECT_EQ(PortForSecurity("", Accounts::kImplicitTls, 25, 465), "465");
    EXPECT_EQ(PortForSecurity("995", Accounts::kPlain, 110, 995), "110");
    EXPECT_EQ(PortForSecurity("465", Accounts::kStartTls, 25, 465), "25");
    EXPECT_EQ(PortForSecurity("587", Accounts::kImplicitTls, 25, 465), "587");
    EXPECT_EQ(PortForSecurity("2525", Accounts::kPlain, 25, 465), "2525");
    EXPECT_EQ(PortForSecurity("110", Accounts::kStartTls, 110, 995), "110");
}

}  // namespace

// ---------------------------------------------------------------- the whole list

class AccountListTest : public MailAccountTest {
protected:
    void SetUp() override {
        MailAccountTest::SetUp();
        Registry::SetRegistryFile(dir() / "config" / "registry.reg");
    }
    void TearDown() override {
        Registry::SetRegistryFile({});
        MailAccountTest::TearDown();
    }
    static MailAccount named(const std::string& loaded, const std::string& address) {
        MailAccount a = sample();
        a.LoadedSection = loaded;
        a.EMailAddress = address;
        return a;
    }
    void makeFolder(const std::string& account, const std::string& marker) {
        WriteFile(dir() / "accounts" / account / "MailDir" / "InBox" / "marker.eml", marker);
    }
    std::string marker(const std::string& account) {
        return ReadFile(dir() / "accounts" / account / "MailDir" / "InBox" / "marker.eml");
    }
};

TEST_F(AccountListTest, AddRenameSwapAndDeleteGiveTheExpectedFile) {
    WriteFile(path(), sampleSection("a@example.com") + "RegFileNo=0\r\n" + sampleSection("b@example.com") +
                          "UnAuthSenderMaxMessageCount=4\r\n" + sampleSection("c@example.com") +
                          sampleSection("d@example.com"));
    for (const char* who : {"a@example.com", "b@example.com", "c@example.com", "d@example.com"}) makeFolder(who, who);
    CIniFile ini(path());
    std::vector<MailAccount> list = Accounts::LoadAccounts(ini);
    ASSERT_EQ(list.size(), 4u);
    // Swap the first two addresses, rename the third, delete the fourth, add one.
    std::swap(list[0].EMailAddress, list[1].EMailAddress);
    list[2].EMailAddress = "C2@example.com";
    ASSERT_TRUE(Accounts::DeleteAccount(ini, list[3].LoadedSection));
    list.pop_back();
    MailAccount added = Accounts::NewAccount(3);
    added.EMailAddress = "new@example.com";
    list.push_back(added);

    std::string error;
    bool renamed = false;
    ASSERT_TRUE(Accounts::SaveAccountList(ini, list, &error, &renamed)) << error;
    EXPECT_TRUE(renamed);
    const auto section = [](const std::string& name) {
        std::string s = sampleSection(name);
        return s;
    };
    EXPECT_EQ(ReadFile(path()),
              section("b@example.com") + "RegFileNo=0\r\n" + section("a@example.com") +
                  "UnAuthSenderMaxMessageCount=4\r\n" + section("C2@example.com") +
                  "[new@example.com]\r\nDisplayName=\r\nPOP3CollectorInterval=10\r\nPOP3Server=\r\nPOP3UserName=\r\n"
                  "POP3Password=" + MiscFuncs::ScrambleText("") + "\r\nPOP3ServerPort=110\r\nPOP3UseSPA=0\r\n"
                  "SMTPServer=\r\nSMTPServerPort=25\r\nSMTPRequiresAuth=0\r\nSMTPAuthType=0\r\nSMTPAuthUserName=\r\n"
                  "SMTPAuthPassword=" + MiscFuncs::ScrambleText("") + "\r\nAccountTested=0\r\nAccountEnabled=0\r\n"
                  "LeaveMessagesOnServer=0\r\n" + kSecurityKeys);
    // The folders followed their accounts; the deleted account's folder stays.
    EXPECT_EQ(marker("b@example.com"), "a@example.com");
    EXPECT_EQ(marker("a@example.com"), "b@example.com");
    EXPECT_EQ(marker("C2@example.com"), "c@example.com");
    EXPECT_EQ(marker("d@example.com"), "d@example.com");
    EXPECT_FALSE(fs::exists(dir() / "accounts" / "c@example.com"));
    // Only the owner may read the scrambled passwords.
    EXPECT_EQ(fs::status(path()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(AccountListTest, ABlankSectionHidesNoAccountAndASaveKeepsEverySectionInItsPlace) {
    // A "[ ]" left by hand between two accounts: both are accounts, and a save of the
    // list leaves the blank section where it was instead of moving the accounts behind it.
    WriteFile(path(), sampleSection("a@example.com") + "[ ]\r\nNote=by hand\r\n" + sampleSection("b@example.com") +
                          "RegFileNo=2\r\n");
    CIniFile ini(path());
    std::vector<MailAccount> list = Accounts::LoadAccounts(ini);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].EMailAddress, "b@example.com");
    list[1].DisplayName = "Bob B.";
    ASSERT_TRUE(Accounts::SaveAccountList(ini, list));
    EXPECT_EQ(ini.AllSectionsArray(), (std::vector<std::string>{"a@example.com", "", "b@example.com"}));
    EXPECT_EQ(Accounts::AccountNames(ini), (std::vector<std::string>{"a@example.com", "b@example.com"}));
    EXPECT_EQ(ini.Value("b@example.com", "DisplayName"), "Bob B.");
    EXPECT_EQ(Accounts::RegFileNoOf(ini, "b@example.com"), 2);
    // Saved again, the file does not change.
    const std::string saved = ReadFile(path());
    ASSERT_TRUE(Accounts::SaveAccountList(ini, Accounts::LoadAccounts(ini)));
    EXPECT_EQ(ReadFile(path()), saved);
}

TEST_F(AccountListTest, AChainOfRenamesLosesNoAccount) {
    WriteFile(path(), sampleSection("a@example.com") + "RegFileNo=1\r\n" + sampleSection("b@example.com") +
                          "RegFileNo=2\r\n");
    makeFolder("a@example.com", "A");
    makeFolder("b@example.com", "B");
    CIniFile ini(path());
    // b moves to c, a moves to b: processed one by one, a would land on b's keys.
    std::vector<MailAccount> list = {named("a@example.com", "b@example.com"), named("b@example.com", "c@example.com")};
    ASSERT_TRUE(Accounts::SaveAccountList(ini, list));
    EXPECT_EQ(ini.AllSectionsArray(), (std::vector<std::string>{"b@example.com", "c@example.com"}));
    EXPECT_EQ(Accounts::RegFileNoOf(ini, "b@example.com"), 1);
    EXPECT_EQ(Accounts::RegFileNoOf(ini, "c@example.com"), 2);
    EXPECT_EQ(marker("b@example.com"), "A");
    EXPECT_EQ(marker("c@example.com"), "B");
}

TEST_F(AccountListTest, ListsThatCannotBeSavedAreRefusedWithoutAChange) {
    const std::string before = sampleSection("a@example.com") + sampleSection("b@example.com");
    makeFolder("old@example.com", "kept from a deleted account");
    struct Case {
        const char* name;
        std::vector<MailAccount> list;
        int index;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"new account left unnamed",
         {named("a@example.com", "a@example.com"), named("NewAccount1", "<New account>")}, 1,
         "has no valid e-mail address"},
        {"address not valid", {named("a@example.com", "a@@example.com")}, 0, "has no valid e-mail address"},
        {"addresses differ only in case",
         {named("a@example.com", "a@example.com"), named("b@example.com", "A@Example.COM")}, 1, "used by two"},
        {"new account onto an existing one",
         {named("a@example.com", "a@example.com"), named("b@example.com", "b@example.com"),
          named("NewAccount2", " b@example.com ")}, 2, "used by two"},
        {"rename onto a folder left behind", {named("a@example.com", "old@example.com")}, 0, "can not be renamed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(path(), before);
        CIniFile ini(path());
        const auto fault = Accounts::CheckAccountList(ini, c.list);
        ASSERT_TRUE(fault.has_value());
        EXPECT_EQ(fault->index, c.index);
        EXPECT_NE(fault->message.find(c.message), std::string::npos) << fault->message;
        std::string error;
        EXPECT_FALSE(Accounts::SaveAccountList(ini, c.list, &error));
        EXPECT_EQ(error, fault->message);
        EXPECT_EQ(ReadFile(path()), before);
    }
}

TEST_F(AccountListTest, ACaseOnlyRenameIsAccepted) {
    WriteFile(path(), sampleSection("a@example.com"));
    makeFolder("a@example.com", "A");
    CIniFile ini(path());
    ASSERT_TRUE(Accounts::SaveAccountList(ini, {named("a@example.com", "A@example.com")}));
    EXPECT_EQ(ini.AllSectionsArray(), std::vector<std::string>{"A@example.com"});
    EXPECT_EQ(marker("A@example.com"), "A");
}

TEST_F(AccountListTest, DeletingRestoresTheMailClientOnlyFromACompleteCheckedPair) {
    const std::string key = "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts\\00000001";
    struct Case {
        const char* name;
        const char* regFileNo;  // nullptr: no key
        bool undoFile, savedFile, goodSaved;
        Accounts::MailClientRestore result;
        bool keyRestored;
        bool otherRegistry = false;  // the export records another registry file
    };
    const std::vector<Case> cases = {
        {"no RegFileNo", nullptr, true, true, true, Accounts::MailClientRestore::NothingToRestore, false},
        {"restored", " 3 ", true, true, true, Accounts::MailClientRestore::Restored, true},
        {"a path is no number", "../3", true, true, true, Accounts::MailClientRestore::NotANumber, false},
        {"a fraction is no number", "2.6", true, true, true, Accounts::MailClientRestore::NotANumber, false},
        {"saved settings missing", "3", true, false, true, Accounts::MailClientRestore::FilesMissing, false},
        {"undo file missing", "3", false, true, true, Accounts::MailClientRestore::FilesMissing, false},
        {"saved settings unreadable", "3", true, true, false, Accounts::MailClientRestore::ImportFailed, false},
        {"saved from another registry file", "3", true, true, true, Accounts::MailClientRestore::ImportFailed, false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(dir() / "config" / "registry.reg");
        WriteFile(dir() / "seed.reg", "REGEDIT4\r\n\r\n[" + key + "]\r\n\"POP3 Server\"=\"localhost\"\r\n");
        ASSERT_TRUE(Registry::ImportRegistryFile(dir() / "seed.reg"));
        const fs::path undo = dir() / "clracc3.reg", saved = dir() / "Account3.reg";
        fs::remove(undo);
        fs::remove(saved);
        if (c.undoFile) WriteFile(undo, "REGEDIT4\r\n[-" + key + "]\r\n");
        if (c.savedFile)
            WriteFile(saved, c.goodSaved ? "REGEDIT4\r\n" +
                                               (c.otherRegistry ? UndoFiles::RecordLine(dir() / "elsewhere.reg") : "") +
                                               "\r\n[" + key + "]\r\n\"POP3 Server\"=\"pop.example.com\"\r\n"
                                         : std::string("not a registry file"));
        WriteFile(path(), sampleSection("a@example.com") + (c.regFileNo ? "RegFileNo=" + std::string(c.regFileNo) + "\r\n" : ""));
        CIniFile ini(path());
        Accounts::MailClientRestore result{};
        ASSERT_TRUE(Accounts::DeleteAccount(ini, "a@example.com", &result));
        EXPECT_EQ(result, c.result);
        EXPECT_FALSE(ini.SectionExists("a@example.com"));
        const Registry::RegistryValues values = Registry::EnumRegistryValues(key);
        const Registry::RegistryItem* server = values.Find("POP3 Server");
        ASSERT_NE(server, nullptr);
        EXPECT_EQ(server->text, c.keyRestored ? "pop.example.com" : "localhost");
        const bool imported = c.result == Accounts::MailClientRestore::Restored;
        EXPECT_EQ(fs::exists(undo), c.undoFile && !imported);
        EXPECT_EQ(fs::exists(saved), c.savedFile && !imported);
    }
}

namespace {

TEST(AccountServerPort, BlankIsTheProtocolsPortAndAnythingElseMustBeAPort) {
    struct Case { const char* stored; int blankPort; std::optional<int> port; };
    const Case cases[] = {
        {"", Accounts::kSmtpPort, 25},   {"  ", Accounts::kSmtpPort, 25}, {"", Accounts::kPop3Port, 110},
        {" 587 ", 25, 587},              {"1", 25, 1},                   {"65535", 25, 65535},
        {"0", 25, std::nullopt},         {"65536", 25, std::nullopt},    {"25x", 25, std::nullopt},
        {"-25", 25, std::nullopt},       {"2 5", 25, std::nullopt},      {"0000025", 25, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(Accounts::ServerPort(c.stored, c.blankPort), c.port) << '"' << c.stored << '"';
}

}  // namespace
