// The account test inside the options dialog, against real servers: every way out is
// closed while it runs, and an account added, tested and saved in the dialog is
// collected by the running program. Also the screenshots of the dialogs.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "OptionsDialogSupport.h"
#include "core/CMessages.h"
#include "core/MailAccount.h"
#include "dialogs/AuthSettingsDialog.h"
#include "dialogs/OptionsAccountsTab.h"
#include "dialogs/OptionsAliasesTab.h"
#include "dialogs/OptionsGeneralTab.h"
#include "dialogs/OptionsMessagesTab.h"
#include "engines/POP3ServerForm.h"
#include "engines/SMTPProxyForm.h"
#include "support/Peers.h"
#include "support/Screenshot.h"

namespace {

using namespace testing_support;
using dialogs::AccountsOptionsDialog;

void typeInto(QLineEdit* field, const QString& text) {
    field->selectAll();
    QTest::keyClicks(field, text);
}

class OptionsAccountTestFlowTest : public OptionsDialogTest {
protected:
    void SetUp() override {
        OptionsDialogTest::SetUp();
        writeAccount("me@example.com");
        setValue("options", "POP3ServerPort", std::to_string(pop3Port.port()));
        setValue("options", "SMTPServerPort", std::to_string(smtpPort.port()));
    }
    void TearDown() override {
        Prompt::SetClosing(false);
        OptionsDialogTest::TearDown();
    }
    // The engines' ports, held for them until the test ends.
    const ReservedPort pop3Port, smtpPort;
    // Fills the selected account's page as a user types it.
    void fillAccount(dialogs::OptionsAccountsTab& tab, const QString& address, quint16 pop3, quint16 smtp) {
        typeInto(tab.tEMailAddress, address);
        ASSERT_TRUE(tab.CommitAddress());
        typeInto(tab.tPOP3Server, "127.0.0.1");
        typeInto(tab.tPOP3ServerPort, QString::number(pop3));
        typeInto(tab.tPOP3UserName, "alice");
        typeInto(tab.tPOP3Password, "secret");
        typeInto(tab.tSMTPServer, "127.0.0.1");
        typeInto(tab.tSMTPServerPort, QString::number(smtp));
    }
};

TEST_F(OptionsAccountTestFlowTest, WhileATestRunsEveryWayOutIsClosedUntilTheProgramEnds) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    ScriptedPeer stalling("stall\n");
    ASSERT_TRUE(stalling.start()) << stalling.error().toStdString();
    startProgram();
    AccountsOptionsDialog& d = openDialog(2);
    dialogs::OptionsAccountsTab& tab = *d.AccountsTab();
    fillAccount(tab, "me@example.com", stalling.port(), stalling.port());
    d.show();
    bool checked = false;
    QTimer::singleShot(0, &d, [&] {
        checked = true;
        EXPECT_TRUE(tab.Testing());
        EXPECT_TRUE(tab.TestingFrame->isVisibleTo(&d));
        for (QWidget* w : std::initializer_list<QWidget*>{d.OkButton(), d.CancelButton(), d.AccountsOptionsTabStrip()->tabBar(),
                                                          tab.lbPOP3Accounts, tab.bTestAccount, tab.bAddAccount})
            EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
        d.reject();
        EXPECT_FALSE(d.close());
        EXPECT_EQ(d.result(), 0);
        EXPECT_FALSE(d.Save());
        // The program's end closes it, abandoning the test.
        Prompt::SetClosing(true);
        EXPECT_TRUE(d.close());
    });
    const qint64 began = platform::MonotonicMs();
    tab.bTestAccount->click();
    EXPECT_LT(platform::MonotonicMs() - began, 10000);
    EXPECT_TRUE(checked);
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_FALSE(tab.Testing());
    EXPECT_TRUE(prompts_.empty());  // no failure box for an abandoned test
}

TEST_F(OptionsAccountTestFlowTest, TheDialogGoneDuringATestIsNotTouchedAgain) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    ScriptedPeer stalling("stall\n");
    ASSERT_TRUE(stalling.start()) << stalling.error().toStdString();
    startProgram();
    openDialog(2);
    fillAccount(*dialog_->AccountsTab(), "me@example.com", stalling.port(), stalling.port());
    QPointer<QPushButton> test = dialog_->AccountsTab()->bTestAccount;
    QTimer::singleShot(0, [this] { dialog_.reset(); });
    test->click();
    EXPECT_TRUE(test.isNull());
}

TEST_F(OptionsAccountTestFlowTest, AMissingFieldStopsTheTestAndAFailedTestShowsTheClientsText) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot, PeerProgram::Aiosmtpd);
    DovecotPeer pop(QList<QPair<QString, QString>>{{"alice", "secret"}});
    ASSERT_TRUE(pop.start()) << pop.error().toStdString();
    startProgram();
    AccountsOptionsDialog& d = openDialog(2);
    dialogs::OptionsAccountsTab& tab = *d.AccountsTab();
    tab.bAddAccount->click();
    const RefusingPort nobody;
    fillAccount(tab, "alice@example.test", pop.port(), nobody);
    tab.tPOP3UserName->selectAll();
    QTest::keyClick(tab.tPOP3UserName, Qt::Key_Backspace);
    tab.bTestAccount->click();
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text, "POP3 username not specified!");
    EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Critical);
    typeInto(tab.tPOP3UserName, "alice");
    tab.bTestAccount->click();
    ASSERT_EQ(prompts_.size(), 2u);
    EXPECT_EQ(prompts_[1].text,
              "Unable to connect to SMTP server\r\n\r\nClient sent: \r\nServer replied: \r\n\r\nAccount test failed!!");
    EXPECT_EQ(prompts_[1].caption, "E-mail accounts options");
    EXPECT_TRUE(tab.lNotTested->isVisibleTo(&d));
    EXPECT_TRUE(d.OkButton()->isEnabled());
}

TEST_F(OptionsAccountTestFlowTest, AnAccountAddedTestedAndSavedIsCollectedByTheRunningProgram) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot, PeerProgram::Aiosmtpd);
    DovecotPeer pop(QList<QPair<QString, QString>>{{"alice", "secret"}});
    ASSERT_TRUE(pop.start()) << pop.error().toStdString();
    SmtpPeer smtp({.auth = true, .user = "alice", .password = "secret", .requireAuth = true});
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    ASSERT_FALSE(pop.deliver("alice", "From: Friend <friend@there.test>\r\nTo: alice@example.test\r\n"
                                      "Subject: hello\r\n\r\nHi Alice.\r\n")
                     .isEmpty());
    startProgram(true);
    AccountsOptionsDialog& d = openDialog(2);
    dialogs::OptionsAccountsTab& tab = *d.AccountsTab();
    tab.bAddAccount->click();
    fillAccount(tab, "alice@example.test", pop.port(), smtp.port());
    tab.cbAccountEnabled->click();
    tab.cbSMTPServerRequiresAuthentication->click();
    // Authentication with the POP3 login, chosen in the authentication dialog.
    dialogs::AuthSettingsDialog authDialog;
    dialogs::AuthSettingsDialog::SetLoaded(&authDialog);
    dialogs::AuthSettingsDialog* auth = &authDialog;
    QTimer::singleShot(0, auth, [auth] {
        auth->oUsePOP3Setting()->click();
        auth->OKButton()->click();
    });
    tab.bSMTPAuthConfig->click();
    tab.bTestAccount->click();
    ASSERT_TRUE(prompts_.empty()) << ::testing::PrintToString(promptTexts());
    EXPECT_TRUE(tab.lTested->isVisibleTo(&d));
    ASSERT_TRUE(smtp.waitForTransactions(1));
    EXPECT_EQ(smtp.transactions()[0].authUser, "alice");
    ASSERT_TRUE(d.Save()) << ::testing::PrintToString(promptTexts());

    CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    EXPECT_EQ(accounts.Value("alice@example.test", "AccountTested"), "1");
    EXPECT_EQ(accounts.Value("alice@example.test", "SMTPAuthType"), "2");
    // The reloaded collector fetches the new account's mail from dovecot.
    ASSERT_TRUE(platform::WaitUntil(
        [&] {
            const auto left = pop.leftOnServer("alice");
            return left && left->isEmpty() && program_->Messages() && program_->Messages()->Count() == 1;
        },
        15000))
        << programLog();
}

TEST_F(OptionsAccountTestFlowTest, APassedTestMarksTheAccountTestedAndSelectsTheNextOne) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot, PeerProgram::Aiosmtpd);
    DovecotPeer pop(QList<QPair<QString, QString>>{{"alice", "secret"}});
    ASSERT_TRUE(pop.start()) << pop.error().toStdString();
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    writeAccount("second@example.com");
    startProgram();
    AccountsOptionsDialog& d = openDialog(2);
    dialogs::OptionsAccountsTab& tab = *d.AccountsTab();
    fillAccount(tab, "me@example.com", pop.port(), smtp.port());
    EXPECT_TRUE(tab.lNotTested->isVisibleTo(&d));
    tab.bTestAccount->click();
    ASSERT_TRUE(prompts_.empty()) << ::testing::PrintToString(promptTexts());
    EXPECT_EQ(tab.Current(), 1);
    EXPECT_EQ(tab.Records()[0].AccountTested, 1);
    ASSERT_TRUE(d.Save());
    EXPECT_EQ(CIniFile(ProgramFiles::AccountsIniPath().string()).Value("me@example.com", "AccountTested"), "1");
}

TEST_F(OptionsAccountTestFlowTest, TheEnginesStartedAgainListenOnTheLocalPortsJustSaved) {
    startProgram(true);
    AccountsOptionsDialog& d = openDialog(1);
    const ReservedPort pop3, smtp;
    typeInto(d.GeneralTab()->tLocalPOP3ServerPort, QString::number(pop3.port()));
    typeInto(d.GeneralTab()->tLocalSMTPServerPort, QString::number(smtp.port()));
    ASSERT_TRUE(d.Save()) << ::testing::PrintToString(promptTexts());
    ASSERT_NE(engines_->Pop3Server(), nullptr);
    ASSERT_NE(engines_->Proxy(), nullptr);
    EXPECT_EQ(engines_->Pop3Server()->Port(), pop3.port());
    EXPECT_EQ(engines_->Proxy()->listenPort(), smtp.port());
    EXPECT_TRUE(engines_->Pop3Server()->Listening());
}

TEST_F(OptionsAccountTestFlowTest, Screenshots) {
    writeAccount("work@example.org");
    CIniFile(ProgramFiles::AliasesIniPath().string()).Value("Aliases", "*@example.net", "1");
    CIniFile(ProgramFiles::AliasesIniPath().string()).Value("Aliases", "old.address@example.com", "1");
    startProgram();
    AccountsOptionsDialog& d = openDialog(1);
    d.AccountsTab()->tPOP3UserName->setText("me");
    d.AccountsTab()->tPOP3Password->setText("secret");
    d.MessagesTab()->tMessageHeader->setPlainText("Hello, I get a lot of spam, so I only accept mail from people I know.");
    d.MessagesTab()->tMessageMiddle->setPlainText("Thank you!");
    d.MessagesTab()->tMessageFooter->setPlainText("John Smith, john@example.com");
    d.show();
    const auto save = testing_support::SaveScreenshot;
    const char* names[] = {"options-general.png", "options-accounts.png", "options-aliases.png", "options-messages.png"};
    for (int tab = 0; tab < 4; ++tab) {
        d.AccountsOptionsTabStrip()->setCurrentIndex(tab);
        platform::PumpEvents();
        EXPECT_TRUE(save(d, names[tab]));
    }
    dialogs::AuthSettingsDialog authDialog;
    dialogs::AuthSettingsDialog* auth = &authDialog;
    QTimer::singleShot(0, auth, [auth, &save] {
        platform::PumpEvents();
        EXPECT_TRUE(save(*auth, "auth-settings.png"));
        auth->CancelButton()->click();
    });
    auth->Edit(0, "john", "secret", &d);
    d.hide();
}

}  // namespace
