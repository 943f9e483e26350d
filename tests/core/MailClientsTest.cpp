// Detection of the mail programs' accounts, the undo files and the rewrite, on a
// registry stand-in of the test's own.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <functional>

#include "core/CIniFile.h"
#include "core/MailClientFiles.h"
#include "core/MailClients.h"
#include "core/MiscUtils.h"
#include "core/ProgramFiles.h"
#include "core/RegFile.h"
#include "core/Prompt.h"
#include "core/ProgramSettings.h"
#include "core/SetupSave.h"
#include "core/StartupFiles.h"
#include "MailClientsFixture.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

std::vector<std::string> addressesOf(const MailClients::Detection& d) {
    std::vector<std::string> out;
    for (const MailAccount& a : d.accounts) out.push_back(a.EMailAddress);
    return out;
}

class MailClientsTest : public RegistryPromptTest {
public:
    void SetUp() override {
        RegistryPromptTest::SetUp();
        ASSERT_TRUE(SeedRegistry(dir(), MailClientsFixture("pop.example.com", 110, "smtp.example.com", 25)));
        accounts_.IniFile(ProgramFiles::AccountsIniPath().string());
        aliases_.IniFile(ProgramFiles::AliasesIniPath().string());
    }
    void addOeAccount(const std::string& sub, const std::string& address, const std::string& pop3Server) {
        const std::string key = kOeKey + "\\" + sub;
        ASSERT_TRUE(Registry::Store().CreateKey(key));
        Registry::SetStringValue(key, "SMTP Email Address", address);
        Registry::SetStringValue(key, "POP3 Server", pop3Server);
        Registry::SetStringValue(key, "SMTP Server", "smtp.example.com");
    }
    MailAccount detected(MailClients::ClientKind kind, const std::string& address) {
        for (const MailAccount& a : MailClients::Detect(kind, accounts_).accounts)
            if (a.EMailAddress == address) return a;
        ADD_FAILURE() << address << " not detected";
        return {};
    }

    CIniFile accounts_, aliases_;
};

TEST_F(MailClientsTest, OutlookExpressOffersEachPop3AccountOnce) {
    struct Case {
        const char* name;
        std::function<void(MailClientsTest&)> arrange;
        Prompt::Answer answer;
        std::vector<std::string> expected;
        std::size_t questions;
    };
    const std::vector<Case> cases = {
        {"fixture: news account and the identity's duplicate in other case are left out", [](auto&) {},
         Prompt::Answer::No, {"alice@example.com", "bob@example.com"}, 0},
        {"already configured, letter case ignored",
         [](MailClientsTest& t) { t.accounts_.Value("ALICE@example.com", "POP3UserName", "alice"); },
         Prompt::Answer::No, {"bob@example.com"}, 0},
        {"a section without a user name does not count",
         [](MailClientsTest& t) { t.accounts_.Value("alice@example.com", "POP3Server", "x"); },
         Prompt::Answer::No, {"alice@example.com", "bob@example.com"}, 0},
        {"localhost answered No",
         [](MailClientsTest& t) { t.addOeAccount("00000009", "carol@example.com", " LocalHost "); },
         Prompt::Answer::No, {"alice@example.com", "bob@example.com"}, 1},
        {"localhost answered Yes",
         [](MailClientsTest& t) { t.addOeAccount("00000009", "carol@example.com", " LocalHost "); },
         Prompt::Answer::Yes, {"alice@example.com", "bob@example.com", "carol@example.com"}, 1},
        {"an address that is no e-mail address would become a folder name",
         [](MailClientsTest& t) { t.addOeAccount("00000009", "../../x", "pop.example.com"); },
         Prompt::Answer::Yes, {"alice@example.com", "bob@example.com"}, 0},
        {"sub-keys not named 000... are not accounts",
         [](MailClientsTest& t) { t.addOeAccount("Other", "carol@example.com", "pop.example.com"); },
         Prompt::Answer::Yes, {"alice@example.com", "bob@example.com"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(SeedRegistry(dir(), MailClientsFixture("pop.example.com", 110, "smtp.example.com", 25)));
        for (const auto& s : accounts_.AllSectionsArray()) accounts_.ClearSection(s);
        Registry::Store().DeleteKey(kOeKey + "\\00000009");
        Registry::Store().DeleteKey(kOeKey + "\\Other");
        prompts_.clear();
        c.arrange(*this);
        answer_ = c.answer;
        const MailClients::Detection d = MailClients::GetOutlookAccounts(accounts_);
        EXPECT_EQ(addressesOf(d), c.expected);
        EXPECT_EQ(d.found, !c.expected.empty());
        ASSERT_EQ(prompts_.size(), c.questions);
        if (c.questions) {
            EXPECT_EQ(prompts_[0].text.substr(0, 40), "E-mail address carol@example.com seems t");
            EXPECT_EQ(prompts_[0].caption, "Glimmerpost setup wizard");
            EXPECT_EQ(prompts_[0].defaultButton, 2);
        }
    }
}

TEST_F(MailClientsTest, FieldsComeFromEachSourcesValueNames) {
    const MailAccount bob = detected(MailClients::kOutlookExpress, "bob@example.com");
    EXPECT_EQ(bob.DisplayName, "Bob");
    EXPECT_EQ(bob.POP3Server, "pop.example.com");
    EXPECT_EQ(bob.POP3UserName, "bob");
    EXPECT_EQ(bob.POP3ServerPort, "110");
    EXPECT_EQ(bob.SMTPServerPort, "25");
    EXPECT_EQ(bob.SMTPRequiresAuth, 1);
    EXPECT_EQ(bob.SMTPAuthUserName, "bob-smtp");
    EXPECT_EQ(bob.POP3CollectorInterval, 10);
    EXPECT_EQ(bob.AccountTested, 0);
    EXPECT_EQ(bob.ClientKeyPath, kBobKey);
    EXPECT_EQ(bob.ClientKind, MailClients::kOutlookExpress);

    const MailAccount dave = detected(MailClients::kOutlook, "dave@example.net");
    EXPECT_EQ(dave.DisplayName, "Dave M\xfcller");
    EXPECT_EQ(dave.POP3Server, "pop.example.net");
    EXPECT_EQ(dave.POP3UserName, "dave");
    EXPECT_EQ(dave.SMTPServer, "smtp.example.net");
    EXPECT_EQ(dave.SMTPServerPort, "587");
    EXPECT_EQ(dave.POP3UseSPA, 1);
    EXPECT_EQ(dave.SMTPRequiresAuth, 1);
    EXPECT_EQ(dave.SMTPAuthUserName, "dave-out");
    EXPECT_EQ(dave.ClientKeyPath, kDaveKey);
    EXPECT_EQ(dave.ClientKind, MailClients::kOutlook);
}

TEST_F(MailClientsTest, OmiAndVersion8KeysAreReadWithTheirOwnNames) {
    const std::string omi = std::string(MailClients::kOutlookOmiKey) + "\\00000001";
    const std::string v8 = std::string(MailClients::kOutlook8Key) + "\\Any name";
    for (const std::string& key : {omi, v8}) ASSERT_TRUE(Registry::Store().CreateKey(key));
    Registry::SetStringValue(omi, "SMTP Email Address", "erin@example.org");
    Registry::SetDwordValue(omi, "SMTP Use Auth", 1);
    Registry::SetStringValue(v8, "SMTP Email Address", "frank@example.org");
    Registry::SetDwordValue(v8, "POP3 Secure Connection", 1);
    Registry::SetStringValue(v8, "POP3 Port", "not a number");
    Registry::SetStringValue(v8, "SMTP Secure Connection", "x");

    const MailClients::Detection d = MailClients::GetMSOutlookAccounts(accounts_);
    EXPECT_EQ(addressesOf(d), (std::vector<std::string>{"dave@example.net", "erin@example.org", "frank@example.org"}));
    EXPECT_EQ(d.accounts[1].SMTPRequiresAuth, 1);
    EXPECT_EQ(d.accounts[2].POP3UseSPA, 1);
    EXPECT_EQ(d.accounts[2].SMTPRequiresAuth, 0);
    EXPECT_EQ(d.accounts[2].ClientKeyPath, v8);
}

// An account taken over keeps its security towards the provider.
TEST_F(MailClientsTest, SslSwitchesAndPortsGiveTheAccountsSecurity) {
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, int>> dwords;
        const char *pop3Port, *smtpPort;
        std::int16_t pop3, smtp;
    };
    const Case cases[] = {
        {"plain", {}, "110", "25", Accounts::kPlain, Accounts::kPlain},
        {"tls ports", {}, "995", "465", Accounts::kImplicitTls, Accounts::kImplicitTls},
        {"outlook ssl", {{"POP3 Use SSL", 1}, {"SMTP Use SSL", 1}}, "995", "587", Accounts::kImplicitTls,
         Accounts::kStartTls},
        {"express ssl", {{"POP3 Secure Connection", 1}, {"SMTP Secure Connection", 1}}, "110", "465",
         Accounts::kImplicitTls, Accounts::kImplicitTls},
        {"switches off", {{"POP3 Use SSL", 0}, {"SMTP Use SSL", 0}}, "110", "25", Accounts::kPlain, Accounts::kPlain},
    };
    int n = 10;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string key = std::string(MailClients::kOutlookOmiKey) + "\\000000" + std::to_string(n);
        ASSERT_TRUE(Registry::Store().CreateKey(key));
        const std::string address = "ssl" + std::to_string(n++) + "@example.org";
        Registry::SetStringValue(key, "SMTP Email Address", address);
        Registry::SetStringValue(key, "POP3 Port", c.pop3Port);
        Registry::SetStringValue(key, "SMTP Port", c.smtpPort);
        for (const auto& [name, value] : c.dwords) Registry::SetDwordValue(key, name, value);
        const MailClients::Detection d = MailClients::GetMSOutlookAccounts(accounts_);
        const auto found = std::find_if(d.accounts.begin(), d.accounts.end(),
                                        [&](const MailAccount& a) { return a.EMailAddress == address; });
        ASSERT_NE(found, d.accounts.end()) << ::testing::PrintToString(addressesOf(d));
        EXPECT_EQ(found->POP3Security, c.pop3);
        EXPECT_EQ(found->SMTPSecurity, c.smtp);
        ASSERT_TRUE(Registry::Store().DeleteKey(key));
    }
    // Outlook 98's "Secure Connection" values are its authentication settings.
    const std::string v8 = std::string(MailClients::kOutlook8Key) + "\\Any name";
    ASSERT_TRUE(Registry::Store().CreateKey(v8));
    Registry::SetStringValue(v8, "SMTP Email Address", "frank@example.org");
    Registry::SetDwordValue(v8, "SMTP Secure Connection", 1);
    const MailClients::Detection d = MailClients::GetMSOutlookAccounts(accounts_);
    ASSERT_FALSE(d.accounts.empty());
    EXPECT_EQ(d.accounts.back().SMTPRequiresAuth, 1);
    EXPECT_EQ(d.accounts.back().SMTPSecurity, Accounts::kPlain);
}

TEST_F(MailClientsTest, NothingUsableShowsTheBoxAndFindsNothing) {
    ASSERT_TRUE(Registry::Store().DeleteKey(kOeKey));
    ASSERT_TRUE(Registry::Store().DeleteKey("HKEY_CURRENT_USER\\Identities"));
    const MailClients::Detection d = MailClients::GetOutlookAccounts(accounts_);
    EXPECT_FALSE(d.found);
    EXPECT_TRUE(d.accounts.empty());
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text,
              "You do not seem to have any POP3 accounts in Microsoft Outlook Express that can be configured by "
              "Glimmerpost.\r\nNo accounts will be added. Try other application or use Manual Configuration");
    EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Information);
}

TEST_F(MailClientsTest, DetectedTextsAreCleanedAndCapped) {
    EXPECT_EQ(MailClients::CleanDetectedText(std::string(" a\r\nb\0c ", 9)), "abc");
    EXPECT_EQ(MailClients::CleanDetectedText(std::string(300, 'x')).size(), MailClients::kMaxDetectedText);
    Registry::SetStringValue(kBobKey, "SMTP Display Name", "Bob\r\n[evil]=1");
    EXPECT_EQ(detected(MailClients::kOutlookExpress, "bob@example.com").DisplayName, "Bob[evil]=1");
}

TEST(MailClientsText, Utf16LeRoundTripAndOddBytes) {
    EXPECT_EQ(MailClients::ToUtf16LeZ("ab"), std::string("a\0b\0\0\0", 6));
    EXPECT_EQ(MailClients::FromUtf16Le(std::string("a\0b\0\0\0c\0", 8)), "ab");
    EXPECT_EQ(MailClients::FromUtf16Le(std::string("a\0b", 3)), "a");           // odd byte dropped
    EXPECT_EQ(MailClients::FromUtf16Le(std::string("\x3a\x04x\0", 4)), "?x");  // above 255
}

TEST(MailClientsKeys, OnlyAccountKeysMayBeDeleted) {
    const std::string ident = "HKEY_CURRENT_USER\\Identities\\{X}\\Software\\Microsoft\\Internet Account Manager\\Accounts";
    const std::string profile = std::string(MailClients::kOutlookProfileKey);
    const struct {
        std::string path;
        bool ok;
    } cases[] = {
        {kAliceKey, true},
        {MiscFuncs::UpperCase(kAliceKey), true},
        {ident + "\\00000001", true},
        {std::string(MailClients::kOutlookOmiKey) + "\\00000001", true},
        {std::string(MailClients::kOutlook8Key) + "\\x", true},
        {kDaveKey, true},
        {kOeKey, false},                      // the accounts key itself
        {kAliceKey + "\\deeper", false},
        {profile + "\\service", false},
        {"HKEY_CURRENT_USER\\Software", false},
        {"HKEY_CURRENT_USER", false},
        {"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Internet Account Manager\\Accounts\\1", false},
        {"HKEY_CURRENT_USER\\Identities\\{X}\\Software\\Other\\Accounts\\1", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(MailClients::IsAccountKey(c.path), c.ok) << c.path;
}

TEST_F(MailClientsTest, SavedKeyMakesAByteExactPairAtTheLowestFreeNumber) {
    WriteFile(dir() / "clracc0.reg", "x");
    WriteFile(dir() / "Account1.reg", "orphan");
    const std::string before = Registry::Store().ExportText(kAliceKey);
    int n = -1;
    std::string error;
    ASSERT_TRUE(UndoFiles::SaveAccountKey(dir(), kAliceKey, n, error)) << error;
    EXPECT_EQ(n, 2);
    // The export, with the record of the registry stand-in it came from after its header.
    const std::string registry = fs::weakly_canonical(Registry::RegistryFile()).string();
    ASSERT_EQ(before.rfind("REGEDIT4\r\n", 0), 0u);
    EXPECT_EQ(ReadFile(dir() / "Account2.reg"),
              "REGEDIT4\r\n; Glimmerpost registry file: " + registry + "\r\n" + before.substr(10));
    EXPECT_EQ(UndoFiles::RecordedRegistry(ReadFile(dir() / "Account2.reg")), fs::path(registry));
    EXPECT_EQ(ReadFile(dir() / "clracc2.reg"), "REGEDIT4\r\n[-" + kAliceKey + "]\r\n");
    EXPECT_EQ(ReadFile(dir() / "Account1.reg"), "orphan");
}

TEST_F(MailClientsTest, AKeyThatCannotBeSavedLeavesNoFile) {
    for (const std::string& key : {kOeKey + "\\00000077", std::string("HKEY_CURRENT_USER\\Software")}) {
        int n = -1;
        std::string error;
        EXPECT_FALSE(UndoFiles::SaveAccountKey(dir(), key, n, error)) << key;
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(UndoFiles::PairNumbers(dir()).empty());
        EXPECT_FALSE(fs::exists(dir() / "Account0.reg"));
    }
}

TEST_F(MailClientsTest, RewriteWritesTheValuesOfEachKind) {
    const std::string omi = std::string(MailClients::kOutlookOmiKey) + "\\00000001";
    const std::string v8 = std::string(MailClients::kOutlook8Key) + "\\00000001";
    for (const std::string& key : {omi, v8}) ASSERT_TRUE(Registry::Store().CreateKey(key));
    struct Case {
        std::string key;
        std::int16_t kind;
        std::vector<std::pair<std::string, std::uint32_t>> dwords;
        std::vector<std::string> absent;
    };
    const std::vector<Case> cases = {
        {kAliceKey, 1, {{"POP3 Port", 3110}, {"SMTP Port", 3025}, {"POP3 Use Sicily", 0}, {"SMTP Use Sicily", 0},
                        {"POP3 Secure Connection", 0}, {"SMTP Secure Connection", 0}},
         {"POP3 Use SPA", "SMTP Use Auth"}},
        {omi, 2, {{"POP3 Port", 3110}, {"POP3 Use SPA", 0}, {"POP3 Use SSL", 0}, {"SMTP Use Auth", 0},
                  {"SMTP Use SPA", 0}, {"SMTP Use SSL", 0}}, {"Leave Mail On Server", "POP3 Secure Connection"}},
        {v8, 2, {{"POP3 Secure Connection", 0}, {"Leave Mail On Server", 0}, {"SMTP Use SSL", 0}},
         {"POP3 Use SSL"}},
        {kDaveKey, 2, {{"POP3 Port", 3110}, {"SMTP Port", 3025}, {"POP3 Use SSL", 0}, {"SMTP Use SPA", 0}},
         {"POP3 User Name"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        MailAccount a;
        a.EMailAddress = "who@example.com";
        a.ClientKeyPath = c.key;
        a.ClientKind = c.kind;
        ASSERT_TRUE(MailClients::RewriteAccount(a, 3110, 3025));
        const Registry::RegistryValues v = Registry::EnumRegistryValues(c.key);
        for (const auto& [name, number] : c.dwords) {
            ASSERT_NE(v.Find(name), nullptr) << name;
            EXPECT_EQ(v.Find(name)->type, RegFile::kRegDword) << name;
            EXPECT_EQ(v.Find(name)->number, number) << name;
        }
        for (const std::string& name : c.absent) EXPECT_EQ(v.Find(name), nullptr) << name;
        const bool profile = c.key == kDaveKey;
        const Registry::RegistryItem* server = v.Find("SMTP Server");
        ASSERT_NE(server, nullptr);
        EXPECT_EQ(server->type, profile ? RegFile::kRegBinary : RegFile::kRegSz);
        EXPECT_EQ(server->text, profile ? MailClients::ToUtf16LeZ("localhost") : "localhost");
        const Registry::RegistryItem* user = v.Find(profile ? "POP3 User" : "POP3 User Name");
        ASSERT_NE(user, nullptr);
        EXPECT_EQ(user->text, profile ? MailClients::ToUtf16LeZ("who@example.com") : "who@example.com");
    }
}

TEST_F(MailClientsTest, RestoringAPairPutsTheKeyBackAndRemovesBothFiles) {
    const std::string before = Registry::Store().ExportText(kDaveKey);
    int n = -1;
    std::string error;
    ASSERT_TRUE(UndoFiles::SaveAccountKey(dir(), kDaveKey, n, error));
    MailAccount a;
    a.EMailAddress = "dave@example.net";
    a.ClientKeyPath = kDaveKey;
    a.ClientKind = 2;
    ASSERT_TRUE(MailClients::RewriteAccount(a, 3110, 3025));
    ASSERT_NE(Registry::Store().ExportText(kDaveKey), before);
    ASSERT_TRUE(UndoFiles::RestorePair(dir(), n, error)) << error;
    EXPECT_EQ(Registry::Store().ExportText(kDaveKey), before);
    EXPECT_TRUE(UndoFiles::PairNumbers(dir()).empty());
    EXPECT_FALSE(fs::exists(UndoFiles::ExportFile(dir(), n)));
}

TEST_F(MailClientsTest, APairThatFailsItsChecksIsNotImportedAndStays) {
    const std::string registryBefore = Registry::Store().Text();
    struct Case {
        const char* name;
        std::string undo;
        std::string exportText;  // "" = no export file
    };
    const std::string oeExport = Registry::Store().ExportText(kAliceKey);
    const std::string foreign = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"x\"=\"1\"\r\n\r\n";
    const std::vector<Case> cases = {
        {"export file missing", UndoFiles::UndoText(kAliceKey), ""},
        {"undo deletes a key outside the accounts keys", UndoFiles::UndoText("HKEY_CURRENT_USER\\Software"),
         oeExport},
        {"undo deletes the whole accounts key", UndoFiles::UndoText(kOeKey), oeExport},
        {"undo has a third line", UndoFiles::UndoText(kAliceKey) + "[-HKEY_CURRENT_USER\\Software]\r\n", oeExport},
        {"export writes elsewhere", UndoFiles::UndoText(kAliceKey), foreign},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(UndoFiles::UndoFile(dir(), 12), c.undo);
        if (!c.exportText.empty()) WriteFile(UndoFiles::ExportFile(dir(), 12), c.exportText);
        std::string error;
        EXPECT_FALSE(UndoFiles::RestorePair(dir(), 12, error));
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(fs::exists(UndoFiles::UndoFile(dir(), 12)));
        EXPECT_EQ(fs::exists(UndoFiles::ExportFile(dir(), 12)), !c.exportText.empty());
        EXPECT_EQ(Registry::Store().Text(), registryBefore);
        UndoFiles::DiscardPair(dir(), 12);
    }
}

TEST_F(MailClientsTest, APairGoesBackOnlyIntoItsOwnRegistryAndOnlyOverItsKey) {
    const fs::path registry = Registry::RegistryFile();
    struct Case {
        const char* name;
        std::function<void()> arrange;  // after the account was saved and rewritten
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"another registry file in use", [&] { Registry::SetRegistryFile(dir() / "other" / "registry.reg"); },
         "holds the settings of the registry file"},
        {"the registry file moved away", [&] { fs::rename(registry, dir() / "moved.reg"); }, "is not in the registry"},
        {"the key is gone", [&] { ASSERT_TRUE(Registry::Store().DeleteKey(kAliceKey)); }, "is not in the registry"},
        {"an export without the record, the key gone",
         [&] {
             const fs::path saved = UndoFiles::ExportFile(dir(), 0);
             std::string text = ReadFile(saved);
             const std::size_t record = text.find("; Glimmerpost");
             text.erase(record, text.find("\r\n", record) + 2 - record);
             WriteFile(saved, text);
             ASSERT_FALSE(UndoFiles::RecordedRegistry(text).has_value());
             ASSERT_TRUE(Registry::Store().DeleteKey(kAliceKey));
         },
         "is not in the registry"},
        {"a record naming a path with a line end",
         [&] {
             const fs::path saved = UndoFiles::ExportFile(dir(), 0);
             std::string text = ReadFile(saved);
             const std::size_t record = text.find("; Glimmerpost");
             text.replace(record, text.find("\r\n", record) + 2 - record,
                          "; Glimmerpost registry file: /x%0D%0AError forged%07\r\n");
             WriteFile(saved, text);
         },
         "/x%0D%0AError forged%07"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Registry::SetRegistryFile(registry);
        fs::remove(registry);
        fs::remove(dir() / "moved.reg");
        ASSERT_TRUE(Registry::Store().ImportText(MailClientsFixture("pop.example.com", 110, "smtp.example.com", 25)));
        int n = -1;
        std::string error;
        ASSERT_TRUE(UndoFiles::SaveAccountKey(dir(), kAliceKey, n, error)) << error;
        MailAccount a;
        a.EMailAddress = "alice@example.com";
        a.ClientKeyPath = kAliceKey;
        a.ClientKind = 1;
        ASSERT_TRUE(MailClients::RewriteAccount(a, 3110, 3025));
        c.arrange();
        const bool hadFile = fs::exists(Registry::RegistryFile());
        const std::string text = Registry::Store().Text();
        EXPECT_FALSE(UndoFiles::RestorePair(dir(), n, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        EXPECT_EQ(error.find_first_of("\r\n\a"), std::string::npos) << error;
        // Nothing was "restored" into the file in use, and both files stay.
        EXPECT_EQ(fs::exists(Registry::RegistryFile()), hadFile);
        EXPECT_EQ(Registry::Store().Text(), text);
        EXPECT_TRUE(fs::exists(UndoFiles::UndoFile(dir(), n)));
        EXPECT_TRUE(fs::exists(UndoFiles::ExportFile(dir(), n)));
        UndoFiles::DiscardPair(dir(), n);
    }
}

TEST_F(MailClientsTest, AKeyNameWithBracketsIsSavedRewrittenAndRestored) {
    for (const std::string sub : {"0000]1", "0000[2]", "00003]]"}) {
        SCOPED_TRACE(sub);
        const std::string key = kOeKey + "\\" + sub;
        addOeAccount(sub, "brackets@example.com", "pop.example.com");
        const std::string before = Registry::Store().ExportText(key);
        int n = -1;
        std::string error;
        ASSERT_TRUE(UndoFiles::SaveAccountKey(dir(), key, n, error)) << error;
        EXPECT_EQ(UndoFiles::ReadUndoFile(UndoFiles::UndoFile(dir(), n)), key);
        MailAccount a;
        a.EMailAddress = "brackets@example.com";
        a.ClientKeyPath = key;
        a.ClientKind = 1;
        ASSERT_TRUE(MailClients::RewriteAccount(a, 3110, 3025));
        ASSERT_TRUE(UndoFiles::RestorePair(dir(), n, error)) << error;
        EXPECT_EQ(Registry::Store().ExportText(key), before);
        EXPECT_TRUE(UndoFiles::PairNumbers(dir()).empty());
    }
}

TEST_F(MailClientsTest, ARewriteThatCannotBeWrittenLeavesTheAccountAsItWas) {
    // A full disk: the registry file may grow by a few bytes only. Each value on its
    // own would fit up to the longer user name; the account as a whole does not.
    MailAccount a;
    a.EMailAddress = "a.rather.long.address.for.alice@example.com";
    a.ClientKeyPath = kAliceKey;
    a.ClientKind = 1;
    const std::string before = Registry::Store().ExportText(kAliceKey);
    const auto size = fs::file_size(Registry::RegistryFile());
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(size + 8);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool rewritten = MailClients::RewriteAccount(a, 3110, 3025);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(rewritten);
    EXPECT_EQ(Registry::Store().ExportText(kAliceKey), before);
    // With room, every value is written.
    ASSERT_TRUE(MailClients::RewriteAccount(a, 3110, 3025));
    const Registry::RegistryValues v = Registry::EnumRegistryValues(kAliceKey);
    EXPECT_EQ(v.Find("POP3 Server")->text, "localhost");
    EXPECT_EQ(v.Find("POP3 User Name")->text, a.EMailAddress);
}

TEST_F(MailClientsTest, AnUnreadableRegistryFileIsNamedWithTheReason) {
    const std::string fixture = MailClientsFixture("pop.example.com", 110, "smtp.example.com", 25);
    std::string utf16 = "\xff\xfe";
    for (char c : fixture) utf16 += std::string{c, '\0'};
    std::string huge = fixture + "[" + kOeKey + "\\00000009]\r\n\"Big\"=hex:";
    for (std::size_t i = 0; i <= RegFile::kMaxValueDataSize; ++i) huge += i ? ",00" : "00";
    huge += "\r\n";
    struct Case {
        const char* name;
        std::string text;
        const char* reason;  // nullptr: the file reads
    };
    const std::vector<Case> cases = {
        {"a UTF-8 byte-order mark", std::string(RegFile::kUtf8ByteOrderMark) + fixture, nullptr},
        {"a UTF-16 file", utf16, "UTF-16"},
        {"one value over 1 MiB", huge, "value too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts_.clear();
        WriteFile(Registry::RegistryFile(), c.text);
        const MailClients::Detection d = MailClients::GetOutlookAccounts(accounts_);
        if (!c.reason) {
            EXPECT_TRUE(d.found);
            EXPECT_EQ(addressesOf(d), (std::vector<std::string>{"alice@example.com", "bob@example.com"}));
            continue;
        }
        EXPECT_FALSE(d.found);
        ASSERT_EQ(prompts_.size(), 1u);
        const std::string& text = prompts_[0].text;
        EXPECT_EQ(text.rfind("The settings of your e-mail application could not be read from " +
                                 Registry::RegistryFile().string() + ":\r\n",
                             0),
                  0u)
            << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        EXPECT_EQ(text.find("You do not seem to have"), std::string::npos);
    }
}

TEST_F(MailClientsTest, PairNumbersTakesEveryNumberHighestFirst) {
    for (const char* name : {"clracc0.reg", "clracc11.reg", "clracc250.reg", "clracc3.reg", "clracc03.reg",
                             "clracc.reg", "clraccx.reg", "Account7.reg", "clracc-1.reg"})
        WriteFile(dir() / name, "");
    EXPECT_EQ(UndoFiles::PairNumbers(dir()), (std::vector<int>{250, 11, 3, 0}));
}

class SetupSaveTest : public MailClientsTest {
protected:
    std::vector<MailAccount> testedOeAccounts() {
        std::vector<MailAccount> list = MailClients::GetOutlookAccounts(accounts_).accounts;
        for (MailAccount& a : list) {
            a.AccountTested = 1;
            a.POP3Password = "pw";
        }
        return list;
    }
};

TEST_F(SetupSaveTest, SavesAccountsThenRewritesTheirMailProgram) {
    // Alice's mail program speaks SSL to her provider.
    Registry::SetDwordValue(kAliceKey, "POP3 Secure Connection", 1);
    Registry::SetDwordValue(kAliceKey, "SMTP Secure Connection", 1);
    std::vector<MailAccount> list = testedOeAccounts();
    MailAccount manual;
    manual.EMailAddress = "hand@example.com";
    manual.AccountTested = 1;
    list.push_back(manual);
    MailAccount untested = manual;
    untested.EMailAddress = "later@example.com";
    untested.AccountTested = 0;
    list.push_back(untested);

    const SetupSave::Outcome out =
        SetupSave::SaveWizardAccounts(list, {"*@example.org", "me@example.org"}, accounts_, aliases_, 3110, 3025);
    EXPECT_TRUE(out.accountsSaved);
    EXPECT_TRUE(out.aliasesSaved);
    EXPECT_TRUE(out.notRewritten.empty());
    EXPECT_EQ(accounts_.AllSectionsArray(),
              (std::vector<std::string>{"alice@example.com", "bob@example.com", "hand@example.com"}));
    EXPECT_EQ(accounts_.Value("alice@example.com", "RegFileNo"), "0");
    EXPECT_EQ(accounts_.Value("bob@example.com", "RegFileNo"), "1");
    EXPECT_FALSE(accounts_.FindValue("hand@example.com", "RegFileNo"));
    EXPECT_EQ(accounts_.Value("bob@example.com", "AccountEnabled"), "1");
    // The provider is still reached with SSL; the mail program talks plain to us.
    EXPECT_EQ(accounts_.Value("alice@example.com", "POP3Security"), "2");
    EXPECT_EQ(accounts_.Value("alice@example.com", "SMTPSecurity"), "1");
    EXPECT_EQ(accounts_.Value("bob@example.com", "POP3Security"), "0");
    EXPECT_EQ(Registry::EnumRegistryValues(kAliceKey).Find("POP3 Secure Connection")->number, 0u);
    EXPECT_EQ(Registry::EnumRegistryValues(kAliceKey).Find("SMTP Secure Connection")->number, 0u);
    EXPECT_EQ(Registry::EnumRegistryValues(kBobKey).Find("POP3 Server")->text, "localhost");
    EXPECT_EQ(Registry::EnumRegistryValues(kBobKey).Find("POP3 User Name")->text, "bob@example.com");
    EXPECT_TRUE(fs::is_directory(dir() / "accounts" / "bob@example.com" / "MailDir" / "WaitingAuth"));
    EXPECT_EQ(aliases_.AllSectionKeysArray("Aliases"), (std::vector<std::string>{"*@example.org", "me@example.org"}));
    EXPECT_FALSE(fs::exists(dir() / "accounts" / "later@example.com")) << "an untested account is not saved";
}

// The first start after the wizard checks the account folders: a fresh setup has
// every one of them (Recycled too), so the start-up never calls it ruined.
TEST_F(SetupSaveTest, TheStartUpCheckAfterTheWizardFindsNothingMissing) {
    std::vector<MailAccount> list = testedOeAccounts();
    MailAccount manual;
    manual.EMailAddress = "hand@example.com";
    manual.AccountTested = 1;
    list.push_back(manual);
    ASSERT_TRUE(SetupSave::SaveWizardAccounts(list, {}, accounts_, aliases_, 3110, 3025).accountsSaved);
    for (const char* account : {"alice@example.com", "bob@example.com", "hand@example.com"})
        for (const char* folder : {"InBox", "OutBox", "WaitingAuth", "Recycled"})
            EXPECT_TRUE(fs::is_directory(dir() / "accounts" / account / "MailDir" / folder)) << account << " " << folder;
    EXPECT_TRUE(Startup::CheckAccountFolders(CIniFile(ProgramFiles::AccountsIniPath().string()), ProgramSettings()));
}

TEST_F(SetupSaveTest, AKeyThatCannotBeExportedIsSavedUnrewrittenWithoutAPair) {
    std::vector<MailAccount> list = testedOeAccounts();
    const std::string aliceBefore = Registry::Store().ExportText(kAliceKey);
    list[1].ClientKeyPath = kOeKey + "\\00000077";  // gone since it was found
    const SetupSave::Outcome out = SetupSave::SaveWizardAccounts(list, {}, accounts_, aliases_, 3110, 3025);
    EXPECT_TRUE(out.accountsSaved);
    EXPECT_EQ(out.notRewritten, std::vector<std::string>{"bob@example.com"});
    EXPECT_FALSE(accounts_.FindValue("bob@example.com", "RegFileNo"));
    EXPECT_EQ(accounts_.Value("bob@example.com", "POP3Server"), "pop.example.com");
    EXPECT_EQ(UndoFiles::PairNumbers(dir()), std::vector<int>{0});
    EXPECT_NE(Registry::Store().ExportText(kAliceKey), aliceBefore);
    EXPECT_NE(SetupSave::NotRewrittenText(out.notRewritten, 3110, 3025).find("bob@example.com"), std::string::npos);
}

TEST_F(SetupSaveTest, AFailedSaveOfTheAccountsChangesNoMailProgramAndLeavesNoFile) {
    std::vector<MailAccount> list = testedOeAccounts();
    const std::vector<MailAccount> original = list;
    // A folder where accounts.ini should be: no write can replace it, also for root.
    fs::create_directories(ProgramFiles::AccountsIniPath());
    const std::string registryBefore = Registry::Store().Text();
    const SetupSave::Outcome out = SetupSave::SaveWizardAccounts(list, {}, accounts_, aliases_, 3110, 3025);
    EXPECT_FALSE(out.accountsSaved);
    EXPECT_EQ(Registry::Store().Text(), registryBefore);
    EXPECT_TRUE(UndoFiles::PairNumbers(dir()).empty());
    EXPECT_FALSE(fs::exists(dir() / "Account0.reg"));
    EXPECT_EQ(list[1].RegFileNo, original[1].RegFileNo);
    EXPECT_EQ(list[1].ClientKind, original[1].ClientKind);
}

}  // namespace
