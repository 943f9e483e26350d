// The whole road of a mail program's accounts: detected from the registry stand-in,
// tested against dovecot and aiosmtpd on loopback, saved with their undo files and
// rewritten, then given back by the clean-up tool.
#include "SetupWizardFixture.h"

#include <filesystem>

#include "clear_tool/ClearTool.h"
#include "core/MailClientFiles.h"
#include "support/Peers.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

TEST_F(SetupWizardTest, RoundTripFromDetectionToTheCleanUpTool) {
    DovecotPeer pop(QList<QPair<QString, QString>>{{"alice", "alice-pw"}, {"bob", "bob-pw"}});
    ASSERT_TRUE(pop.start()) << pop.error().toStdString();
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    seed("127.0.0.1", pop.port(), "127.0.0.1", smtp.port());
    const std::string aliceBefore = Registry::Store().ExportText(kAliceKey);
    const std::string bobBefore = Registry::Store().ExportText(kBobKey);
    const std::string daveBefore = Registry::Store().ExportText(kDaveKey);

    auto& w = make(true);
    toAccounts("oOutlookExpress");
    ASSERT_EQ(w.Accounts().size(), 2u);
    const char* passwords[] = {"alice-pw", "bob-pw"};
    for (int i = 0; i < 2; ++i) {
        selectAccount(i);
        fillAccount(QString::fromLatin1(passwords[i]));
        button("bTest")->click();
        ASSERT_EQ(w.Accounts()[i].AccountTested, 1) << (prompts_.empty() ? std::string() : prompts_.back().text) << programLog();
    }
    EXPECT_TRUE(smtp.waitForTransactions(2));
    w.NextClicked();
    child<QLineEdit>("tAliasEmailAddress")->setText(QStringLiteral("*@example.org"));
    button("AddButton")->click();
    w.NextClicked();
    ASSERT_EQ(w.Page(), 5);
    EXPECT_TRUE(prompts_.empty()) << prompts_.front().text;

    // The undo files, byte for byte: each export with the record of its registry file.
    const auto withRecord = [](const std::string& exported) {
        return exported.substr(0, 10) + UndoFiles::RecordLine(std::filesystem::weakly_canonical(Registry::RegistryFile())) +
               exported.substr(10);
    };
    EXPECT_EQ(ReadFile(dir() / "Account0.reg"), withRecord(aliceBefore));
    EXPECT_EQ(ReadFile(dir() / "Account1.reg"), withRecord(bobBefore));
    EXPECT_EQ(ReadFile(dir() / "clracc0.reg"), "REGEDIT4\r\n[-" + kAliceKey + "]\r\n");
    EXPECT_EQ(ReadFile(dir() / "clracc1.reg"), "REGEDIT4\r\n[-" + kBobKey + "]\r\n");
    // The mail program now goes through the local servers.
    const Registry::RegistryValues bob = Registry::EnumRegistryValues(kBobKey);
    EXPECT_EQ(bob.Find("POP3 Server")->text, "localhost");
    EXPECT_EQ(bob.Find("POP3 Port")->number, 3110u);
    EXPECT_EQ(bob.Find("SMTP Port")->number, 3025u);
    EXPECT_EQ(bob.Find("POP3 User Name")->text, "bob@example.com");
    EXPECT_EQ(accounts_.AllSectionsArray(), (std::vector<std::string>{"alice@example.com", "bob@example.com"}));
    EXPECT_EQ(accounts_.Value("bob@example.com", "POP3ServerPort"), std::to_string(pop.port()));
    EXPECT_EQ(accounts_.Value("bob@example.com", "RegFileNo"), "1");
    EXPECT_EQ(accounts_.Value("bob@example.com", "AccountTested"), "1");
    EXPECT_EQ(aliases_.AllSectionKeysArray("Aliases"), std::vector<std::string>{"*@example.org"});
    EXPECT_EQ(Registry::Store().ExportText(kDaveKey), daveBefore);

    w.NextClicked();
    EXPECT_EQ(w.result(), QDialog::Accepted);
    EXPECT_TRUE(w.OpenImportAfterSetup());

    // The clean-up tool gives the mail program its own settings back.
    answers_ = {Prompt::Answer::Yes};
    EXPECT_EQ(modClear::Main(dir()), modClear::kRestored);
    EXPECT_EQ(Registry::Store().ExportText(kAliceKey), aliceBefore);
    EXPECT_EQ(Registry::Store().ExportText(kBobKey), bobBefore);
    for (const char* f : {"Account0.reg", "Account1.reg", "clracc0.reg", "clracc1.reg"})
        EXPECT_FALSE(fs::exists(dir() / f)) << f;
}

}  // namespace
