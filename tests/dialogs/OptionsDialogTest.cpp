// The options dialog over a running program: what OK writes and in which order it
// stops and starts the engines, what it refuses, the modified flag and Cancel, the
// account list, and the sample preview.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <functional>

#include "OptionsDialogSupport.h"
#include "support/Screenshot.h"
#include "platform/EventWait.h"
#include "core/Aliases.h"
#include "core/CMessages.h"
#include "core/MailAccount.h"
#include "core/ProgramSettings.h"
#include "core/Scramble.h"
#include "dialogs/OptionsAccountsTab.h"
#include "dialogs/OptionsAliasesTab.h"
#include "dialogs/OptionsGeneralTab.h"
#include "dialogs/OptionsMessagesTab.h"
#include "platform/UpDown.h"
#include "support/Screenshot.h"

namespace {

using namespace testing_support;
using dialogs::AccountsOptionsDialog;

std::string golden(const std::string& name, const std::string& actual) {
    const std::filesystem::path file = std::filesystem::path(GLP_TEST_DATA_DIR) / name;
    if (qEnvironmentVariableIsSet("GLP_UPDATE_GOLDEN")) WriteFile(file, actual);
    return ReadFile(file);
}

class OptionsDialogFlowTest : public OptionsDialogTest {
protected:
    void SetUp() override {
        OptionsDialogTest::SetUp();
        writeAccount("me@example.com");
    }
    std::vector<std::string> engineEvents() const {
        std::vector<std::string> out;
        for (const std::string& e : events_)
            for (std::string_view name : mainwindow::EngineSet::kEngineUnloadOrder)
                if (e == "load:" + std::string(name) || e == "unload:" + std::string(name)) out.push_back(e);
        return out;
    }
};

TEST_F(OptionsDialogFlowTest, ASaveThatFailsPartWayPutsBackWhatItWroteAndSaysNothingWasSaved) {
    const std::filesystem::path optionsIni = ProgramFiles::OptionsIniPath(), aliasesIni = dir() / "aliases.ini",
                                accountsIni = ProgramFiles::AccountsIniPath();
    struct Case {
        const char* name;
        std::function<bool()> lock;  // makes one step fail; false when it cannot
        std::function<void()> unlock;
        const char* message;
        bool autoStart;
    };
    const std::vector<Case> cases = {
        {"aliases.ini read-only", [&] { return SetFileReadOnly(aliasesIni, true); },
         [&] { SetFileReadOnly(aliasesIni, false); }, "The aliases could not be saved to ", false},
        {"desktop entry cannot be written", [&] { return SetFolderReadOnly(desktopFile().parent_path(), true); },
         [&] { SetFolderReadOnly(desktopFile().parent_path(), false); },
         "The start with the desktop session could not be changed.", true},
        {"accounts.ini read-only", [&] { return SetFileReadOnly(accountsIni, true); },
         [&] { SetFileReadOnly(accountsIni, false); }, "Could not write ", false},
    };
    std::filesystem::create_directories(desktopFile().parent_path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dialog_.reset();
        setValue("options", "AutoDeleteUnregisteredInterval", "7");
        CIniFile(aliasesIni.string()).Value("Aliases", "old@alias.example", "1");
        startProgram();
        AccountsOptionsDialog& d = openDialog();
        d.GeneralTab()->tDays->setText("9");
        if (c.autoStart) d.GeneralTab()->cbAutoStart->click();
        d.AliasesTab()->tAliasEmailAddress->setText("new@alias.example");
        d.AliasesTab()->AddButton->click();
        d.AccountsTab()->tDisplayName->setText("Changed");
        emit d.AccountsTab()->tDisplayName->textEdited("Changed");
        const std::string options = ReadFile(optionsIni), aliases = ReadFile(aliasesIni),
                          accounts = ReadFile(accountsIni);
        ASSERT_TRUE(c.lock());
        prompts_.clear();
        events_.clear();
        EXPECT_FALSE(d.Save());
        c.unlock();
        ASSERT_EQ(prompts_.size(), 1u) << ::testing::PrintToString(promptTexts());
        EXPECT_EQ(prompts_[0].text.rfind(c.message, 0), 0u) << prompts_[0].text;
        EXPECT_NE(prompts_[0].text.find("Nothing has been saved; the settings are as they were."), std::string::npos);
        EXPECT_EQ(ReadFile(optionsIni), options);
        EXPECT_EQ(ReadFile(aliasesIni), aliases);
        EXPECT_EQ(ReadFile(accountsIni), accounts);
        EXPECT_EQ(AutoStart::RunValue(), "");
        EXPECT_FALSE(std::filesystem::exists(desktopFile()));
        // The dialog stays open, and the engines run again.
        EXPECT_EQ(d.result(), 0);
        EXPECT_EQ(eventsOf("load:").size(), 4u);
    }
}

TEST_F(OptionsDialogFlowTest, AProgramGoneWhileTheEnginesStopIsNotTouchedAgainAndTheFilesAreSaved) {
    startProgram();
    AccountsOptionsDialog& d = openDialog();
    d.GeneralTab()->tDays->setText("9");
    d.AccountsTab()->tDisplayName->setText("Changed");
    emit d.AccountsTab()->tDisplayName->textEdited("Changed");
    // The program is destroyed by an event that runs while the engines are stopped.
    onUnload_ = [this](const std::string& name) {
        if (name == "SMTPSpooler") QTimer::singleShot(0, context_.get(), [this] { program_.reset(); });
    };
    events_.clear();
    EXPECT_TRUE(d.Save());
    EXPECT_EQ(program_, nullptr);
    EXPECT_EQ(value("options", "AutoDeleteUnregisteredInterval"), "9");
    EXPECT_EQ(CIniFile(ProgramFiles::AccountsIniPath().string()).Value("me@example.com", "DisplayName"), "Changed");
    EXPECT_TRUE(eventsOf("load:").empty());
}

TEST_F(OptionsDialogFlowTest, AFreshOkWritesEveryKeyInOrderBetweenAStopAndAStartOfTheEngines) {
    startProgram();
    AccountsOptionsDialog& d = openDialog();
    events_.clear();
    ASSERT_TRUE(d.Save()) << ::testing::PrintToString(promptTexts());
    // A fresh installation's texts are the defaults, and OK stores them.
    const auto text = [](MessageText t) { return MiscFuncs::ScrambleText(DefaultMessageText(t)); };
    EXPECT_EQ(sectionText(ProgramFiles::OptionsIniPath(), "options"),
              "[options]\r\nLogLevel=1\r\nAutoApproveRecepients=1\r\nAutoDeleteBounced=1\r\nAutoDeleteUnregistered=0\r\n"
              "AutoDeleteUnregisteredInterval=4\r\nLimitMessagesFromUnknown=0\r\nMaxMessagesCountFromUnknown=5\r\n"
              "AutoSendRegRequests=0\r\nAutoRejectSendersExceedingLimit=0\r\nRegDialogShowInterval=1\r\n"
              "msg_RegRequest_Text1=" + text(MessageText::RegRequest1) + "\r\nmsg_RegRequest_Text2=" +
                  text(MessageText::RegRequest2) + "\r\nmsg_RegRequest_Text3=" + text(MessageText::RegRequest3) +
                  "\r\nmsg_Conf_Text1=" + text(MessageText::Conf1) + "\r\nmsg_Conf_Text2=" + text(MessageText::Conf2) +
                  "\r\nmsg_RegRequest_SendAutoDelNote=0\r\nStartWithWindows=0\r\nUseConfirmations=1\r\n"
                  "ShowRegDialogs=0\r\nSMTPServerPort=3025\r\nPOP3ServerPort=3110\r\nServerTimeouts=15\r\n");
    EXPECT_EQ(engineEvents(),
              (std::vector<std::string>{"unload:POP3CollectorForm", "unload:POP3ServerForm", "unload:SMTPProxyForm",
                                        "unload:SMTPSpooler", "load:SMTPProxyForm", "load:POP3ServerForm",
                                        "load:SMTPSpooler", "load:POP3CollectorForm"}));
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_TRUE(prompts_.empty());
    // The accounts file is rewritten for its owner's eyes only.
    EXPECT_EQ(std::filesystem::status(ProgramFiles::AccountsIniPath()).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(OptionsDialogFlowTest, StartingWithTheSessionSetsAndRemovesTheRunValueAndTheAutostartEntry) {
    startProgram();
    openDialog().GeneralTab()->cbAutoStart->click();
    ASSERT_TRUE(dialog_->Save());
    EXPECT_EQ(AutoStart::RunValue(), "/usr/bin/glimmerpost");
    EXPECT_NE(ReadFile(desktopFile()).find("Exec=/usr/bin/glimmerpost\n"), std::string::npos);
    EXPECT_EQ(value("options", "StartWithWindows"), "1");
    openDialog().GeneralTab()->cbAutoStart->click();
    ASSERT_TRUE(dialog_->Save());
    EXPECT_EQ(AutoStart::RunValue(), "");
    EXPECT_FALSE(std::filesystem::exists(desktopFile()));
}

TEST_F(OptionsDialogFlowTest, RefusedFieldsKeepTheDialogOpenAndWriteNothing) {
    startProgram();
    struct Case {
        const char* name;
        std::function<void(AccountsOptionsDialog&)> edit;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"blank deletion days", [](AccountsOptionsDialog& d) { d.GeneralTab()->tDays->clear(); }, "number of days"},
        {"port beyond 65535", [](AccountsOptionsDialog& d) { d.GeneralTab()->tLocalSMTPServerPort->setText("70000"); },
         "local SMTP server port"},
        {"the same port twice", [](AccountsOptionsDialog& d) { d.GeneralTab()->tLocalPOP3ServerPort->setText("3025"); },
         "must differ"},
        {"new account without address", [](AccountsOptionsDialog& d) { d.AccountsTab()->bAddAccount->click(); },
         "no valid e-mail address"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts_.clear();
        events_.clear();
        AccountsOptionsDialog& d = openDialog();
        c.edit(d);
        EXPECT_FALSE(d.Save());
        ASSERT_EQ(prompts_.size(), 1u);
        EXPECT_NE(prompts_[0].text.find(c.message), std::string::npos) << prompts_[0].text;
        EXPECT_EQ(d.result(), 0);
        EXPECT_TRUE(events_.empty());
        EXPECT_EQ(value("options", "AutoDeleteUnregisteredInterval"), "");
    }
}

// An enabled account that could never be collected is refused by OK, which names the
// account and the field, shows the account and puts the cursor in the field.
TEST_F(OptionsDialogFlowTest, AnEnabledAccountWithABlankServerUserOrPasswordIsRefused) {
    const std::string second = "second@example.com";
    writeAccount(second, true);
    CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    accounts.Value(second, "POP3Password", MiscFuncs::ScrambleText("secret"));
    startProgram();
    struct Case {
        const char* key;
        const char* blank;
        QLineEdit* dialogs::OptionsAccountsTab::*field;
        const char* name;
    };
    const Case cases[] = {
        {"POP3Server", " ", &dialogs::OptionsAccountsTab::tPOP3Server, "POP3 server"},
        {"POP3UserName", "", &dialogs::OptionsAccountsTab::tPOP3UserName, "user name"},
        {"POP3Password", "", &dialogs::OptionsAccountsTab::tPOP3Password, "password"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        accounts.Value(second, "POP3Password", MiscFuncs::ScrambleText("secret"));
        accounts.Value(second, "POP3Server", "pop.example.com");
        accounts.Value(second, "POP3UserName", "user");
        accounts.Value(second, c.key, c.blank);
        const std::string written = ReadFile(ProgramFiles::AccountsIniPath());
        prompts_.clear();
        events_.clear();
        AccountsOptionsDialog& d = openDialog();
        EXPECT_FALSE(d.Save());
        ASSERT_EQ(prompts_.size(), 1u);
        EXPECT_EQ(prompts_[0].text, "The account " + second + " checks for new messages, but its " + c.name +
                                        " is empty. Please enter its " + c.name +
                                        ", or uncheck \"Automaticaly check for new messages\".");
        EXPECT_EQ(d.AccountsOptionsTabStrip()->currentIndex(), 1);
        EXPECT_EQ(d.AccountsTab()->Current(), 1) << "the account at fault is shown";
        EXPECT_EQ(d.focusWidget(), d.AccountsTab()->*c.field);
        EXPECT_EQ(d.result(), 0);
        EXPECT_TRUE(events_.empty()) << "the engines ran on";
        EXPECT_EQ(ReadFile(ProgramFiles::AccountsIniPath()), written);
    }
    // Not checking for new messages, it may stay half filled in.
    accounts.Value(second, "AccountEnabled", "0");
    prompts_.clear();
    EXPECT_TRUE(openDialog().Save()) << ::testing::PrintToString(promptTexts());
}

// A fresh installation's General tab: what the program always did is checked, and
// unchecking it is stored as "0".
TEST_F(OptionsDialogFlowTest, AFreshGeneralTabChecksWhatTheProgramAlwaysDid) {
    startProgram();
    AccountsOptionsDialog& d = openDialog(1);
    dialogs::OptionsGeneralTab& g = *d.GeneralTab();
    EXPECT_TRUE(g.cbAutomaticalyAprove->isChecked());
    EXPECT_TRUE(g.cbDeleteBounced->isChecked());
    EXPECT_TRUE(g.cbUseConfirmations->isChecked());
    EXPECT_FALSE(g.cbLimitNumberOfMessages->isChecked());
    EXPECT_FALSE(g.tNMessages->isEnabled());
    EXPECT_FALSE(g.cbAutoRejectSendersExceedingLimit->isEnabled());
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    EXPECT_TRUE(SaveScreenshot(d, "options-general-tab.png"));

    g.cbAutomaticalyAprove->click();
    g.cbUseConfirmations->click();
    g.cbLimitNumberOfMessages->click();
    EXPECT_TRUE(g.cbAutoRejectSendersExceedingLimit->isEnabled());
    ASSERT_TRUE(d.Save()) << ::testing::PrintToString(promptTexts());
    EXPECT_EQ(value("options", "AutoApproveRecepients"), "0");
    EXPECT_EQ(value("options", "AutoDeleteBounced"), "1");
    EXPECT_EQ(value("options", "UseConfirmations"), "0");
    EXPECT_EQ(value("options", "LimitMessagesFromUnknown"), "1");
}

// A status tip, however long, neither widens the dialog nor moves OK and Cancel.
TEST_F(OptionsDialogFlowTest, AStatusTipNeitherWidensTheDialogNorMovesItsButtons) {
    startProgram();
    AccountsOptionsDialog& d = openDialog(1);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    QApplication::processEvents();
    const QSize size = d.size();
    const QRect ok = d.OkButton()->geometry(), cancel = d.CancelButton()->geometry();
    QCheckBox* box = d.GeneralTab()->cbAutoSendRegRequests;
    // As resources.ini may give it: longer than the dialog is wide.
    const QString tip = box->statusTip() + " " + box->statusTip() + " " + box->statusTip();
    box->setStatusTip(tip);
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(box, &enter);
    // The tip's new size reaches the dialog through layout requests, posted one by one.
    for (int i = 0; i < 4; ++i) QApplication::processEvents();
    d.layout()->activate();
    const QList<QLabel*> panels = d.sbTips()->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(panels.begin(), panels.end(), [&](const QLabel* l) { return l->text() == tip; }));
    EXPECT_EQ(d.size(), size);
    EXPECT_EQ(d.OkButton()->geometry(), ok);
    EXPECT_EQ(d.CancelButton()->geometry(), cancel);
}

TEST_F(OptionsDialogFlowTest, AnAccountsFileThatCannotBeWrittenKeepsTheDialogOpenWithTheEnginesRunning) {
    startProgram();
    AccountsOptionsDialog& d = openDialog(2);
    QTest::keyClicks(d.AccountsTab()->tDisplayName, " Junior");
    ASSERT_TRUE(makeFileReadOnly(ProgramFiles::AccountsIniPath()));
    const std::string before = ReadFile(ProgramFiles::AccountsIniPath());
    events_.clear();
    EXPECT_FALSE(d.Save());
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_NE(prompts_[0].text.find("Could not write"), std::string::npos) << prompts_[0].text;
    EXPECT_EQ(d.result(), 0);
    EXPECT_TRUE(d.Modified());
    EXPECT_EQ(ReadFile(ProgramFiles::AccountsIniPath()), before);
    EXPECT_EQ(engineEvents().size(), 8u);  // stopped and started again all the same
}

TEST_F(OptionsDialogFlowTest, TheFiveSpinnersStepTheirFieldsWithinTheirLimitsAndOkStoresTheText) {
    startProgram();
    using dialogs::OptionsGeneralTab;
    struct Case {
        const char* spinner;
        QLineEdit* OptionsGeneralTab::*field;
        const char* key;
        const char* start;
        int steps;  // clicks of the up arrow (down when negative)
        const char* after;
    };
    const Case cases[] = {
        {"udDays", &OptionsGeneralTab::tDays, "AutoDeleteUnregisteredInterval", "98", 3, "99"},
        {"udDays", &OptionsGeneralTab::tDays, "AutoDeleteUnregisteredInterval", "2", -3, "1"},
        {"udNMessages", &OptionsGeneralTab::tNMessages, "MaxMessagesCountFromUnknown", "5", 2, "7"},
        {"udRegDialogShowInterval", &OptionsGeneralTab::tRegDialogShowInterval, "RegDialogShowInterval", "59", 4,
         "60"},
        {"udRegDialogShowInterval", &OptionsGeneralTab::tRegDialogShowInterval, "RegDialogShowInterval", "1", -2,
         "0"},
        {"udLocalSMTPServerPort", &OptionsGeneralTab::tLocalSMTPServerPort, "SMTPServerPort", "65534", 2, "65535"},
        {"udLocalPOP3ServerPort", &OptionsGeneralTab::tLocalPOP3ServerPort, "POP3ServerPort", "3110", -1, "3109"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.spinner) + " from " + c.start);
        setValue("options", c.key, c.start);
        setValue("options", "AutoDeleteUnregistered", "1");  // the fields the spinners step are on
        setValue("options", "LimitMessagesFromUnknown", "1");
        AccountsOptionsDialog& d = openDialog();
        auto* spinner = d.GeneralTab()->findChild<platform::UpDown*>(c.spinner);
        ASSERT_NE(spinner, nullptr);
        QLineEdit* field = d.GeneralTab()->*c.field;
        EXPECT_EQ(spinner->Buddy(), field);
        for (int i = 0; i < std::abs(c.steps); ++i) (c.steps > 0 ? spinner->UpButton() : spinner->DownButton())->click();
        EXPECT_EQ(field->text().toStdString(), c.after);
        EXPECT_TRUE(d.Modified());
        ASSERT_TRUE(d.Save()) << ::testing::PrintToString(promptTexts());
        EXPECT_EQ(value("options", c.key), c.after);
    }
    // The spinner of a switched-off field is off with it.
    setValue("options", "AutoDeleteUnregistered", "0");
    AccountsOptionsDialog& d = openDialog();
    EXPECT_FALSE(d.GeneralTab()->cbAutoDeleteUnregistered->isChecked());
    EXPECT_FALSE(d.GeneralTab()->udDays->isEnabled());
    d.GeneralTab()->cbAutoDeleteUnregistered->click();
    EXPECT_TRUE(d.GeneralTab()->udDays->isEnabled());
    d.resize(720, 600);
    d.show();
    platform::PumpEvents();
    EXPECT_TRUE(SaveScreenshot(d, "options-general-spinners.png"));
    d.hide();
}

TEST_F(OptionsDialogFlowTest, EveryEditMarksTheDialogModifiedAndCancelAsksBeforeDroppingIt) {
    startProgram();
    using D = AccountsOptionsDialog;
    struct Case {
        const char* name;
        std::function<void(D&)> edit;
    };
    const std::vector<Case> cases = {
        {"switch", [](D& d) { d.GeneralTab()->cbDeleteBounced->click(); }},
        {"pop-up minutes", [](D& d) { QTest::keyClicks(d.GeneralTab()->tRegDialogShowInterval, "7"); }},
        {"local port", [](D& d) { QTest::keyClicks(d.GeneralTab()->tLocalPOP3ServerPort, "1"); }},
        {"default ports", [](D& d) { d.GeneralTab()->bUseDefaultPorts->click(); }},
        {"slider", [](D& d) { d.GeneralTab()->TimeOutSlider->triggerAction(QSlider::SliderSingleStepSub); }},
        {"account server", [](D& d) { QTest::keyClicks(d.AccountsTab()->tPOP3Server, "x"); }},
        {"account name", [](D& d) { QTest::keyClicks(d.AccountsTab()->tDisplayName, "x"); }},
        {"check interval", [](D& d) { d.AccountsTab()->tPOP3CheckInterval->stepUp(); }},
        {"leave on server", [](D& d) { d.AccountsTab()->cbLeaveMessageOnServer->click(); }},
        {"SPA", [](D& d) { d.AccountsTab()->cbPOP3UseSPA->click(); }},
        {"new account", [](D& d) { d.AccountsTab()->bAddAccount->click(); }},
        {"alias", [](D& d) {
             d.AliasesTab()->tAliasEmailAddress->setText("*@example.org");
             d.AliasesTab()->AddButton->click();
         }},
        {"message text", [](D& d) { QTest::keyClicks(d.MessagesTab()->tMessageHeader, "Hello"); }},
        {"deletion notice", [](D& d) { d.MessagesTab()->cbAutoRejectNotification->click(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AccountsOptionsDialog& d = openDialog();
        ASSERT_FALSE(d.Modified());
        c.edit(d);
        EXPECT_TRUE(d.Modified());
        // Yes keeps the dialog open for OK; No drops the edits.
        prompts_.clear();
        answerer_ = [](const Prompt::Request&) { return Prompt::Answer::Yes; };
        d.reject();
        ASSERT_EQ(prompts_.size(), 1u);
        EXPECT_EQ(prompts_[0].text, "You have made changes to options! Do you want to save changes?");
        EXPECT_EQ(prompts_[0].caption, "E-mail accounts options");
        EXPECT_EQ(d.result(), 0);
        answerer_ = [](const Prompt::Request&) { return Prompt::Answer::No; };
        d.reject();
        EXPECT_EQ(d.result(), QDialog::Rejected);
        answerer_ = nullptr;
    }
    // Unmodified, Cancel closes without a question.
    prompts_.clear();
    openDialog().reject();
    EXPECT_TRUE(prompts_.empty());
    EXPECT_EQ(dialog_->result(), QDialog::Rejected);
}

TEST_F(OptionsDialogFlowTest, AnAccountKeepsItsEditsAcrossSelectionsAndAServerChangeMarksItUntested) {
    writeAccount("second@example.com");
    startProgram();
    AccountsOptionsDialog& d = openDialog(2);
    dialogs::OptionsAccountsTab& tab = *d.AccountsTab();
    EXPECT_EQ(d.AccountsOptionsTabStrip()->currentIndex(), 1);
    ASSERT_EQ(tab.lbPOP3Accounts->count(), 2);
    EXPECT_TRUE(tab.lTested->isVisibleTo(&d));
    QTest::keyClicks(tab.tPOP3UserName, "-edited");
    EXPECT_FALSE(tab.lTested->isVisibleTo(&d));
    EXPECT_TRUE(tab.lNotTested->isVisibleTo(&d));
    tab.lbPOP3Accounts->setCurrentRow(1);
    EXPECT_EQ(tab.tPOP3UserName->text(), "user");
    EXPECT_TRUE(tab.lTested->isVisibleTo(&d));
    tab.lbPOP3Accounts->setCurrentRow(0);
    EXPECT_EQ(tab.tPOP3UserName->text(), "user-edited");
    EXPECT_FALSE(tab.lTested->isVisibleTo(&d));
    // The leave-on-server days: 0 when unchecked, 2 when checked again.
    tab.cbLeaveMessageOnServer->click();
    EXPECT_EQ(tab.tLeaveForDays->value(), 2);
    tab.cbLeaveMessageOnServer->click();
    EXPECT_EQ(tab.tLeaveForDays->value(), 0);
    ASSERT_TRUE(d.Save());
    CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    EXPECT_EQ(accounts.Value("me@example.com", "POP3UserName"), "user-edited");
    EXPECT_EQ(accounts.Value("me@example.com", "AccountTested"), "0");
    EXPECT_EQ(accounts.Value("second@example.com", "AccountTested"), "1");
}

// The Security choice beside each port: SSL/TLS proposes 995 or 465 in place of the
// plain default and back, a port of the user's own stays, the account becomes
// untested, and OK stores the choice.
TEST_F(OptionsDialogFlowTest, TheSecurityChoiceProposesTheTlsPortAndIsSaved) {
    startProgram();
    AccountsOptionsDialog& d = openDialog(2);
    dialogs::OptionsAccountsTab& tab = *d.AccountsTab();
    EXPECT_EQ(tab.cbPOP3Security->currentText(), "None");
    ASSERT_EQ(tab.cbPOP3Security->count(), 3);
    EXPECT_EQ(tab.cbSMTPSecurity->itemText(1), "STARTTLS");
    EXPECT_EQ(tab.cbSMTPSecurity->itemText(2), "SSL/TLS");
    tab.cbPOP3Security->setCurrentIndex(2);
    EXPECT_EQ(tab.tPOP3ServerPort->text(), "995");
    EXPECT_TRUE(tab.lNotTested->isVisibleTo(&d));
    tab.cbPOP3Security->setCurrentIndex(0);
    EXPECT_EQ(tab.tPOP3ServerPort->text(), "110");
    tab.cbPOP3Security->setCurrentIndex(2);
    tab.cbSMTPSecurity->setCurrentIndex(2);
    EXPECT_EQ(tab.tSMTPServerPort->text(), "465");
    tab.cbSMTPSecurity->setCurrentIndex(1);
    EXPECT_EQ(tab.tSMTPServerPort->text(), "25");
    tab.tSMTPServerPort->setText("587");
    emit tab.tSMTPServerPort->textEdited("587");
    tab.cbSMTPSecurity->setCurrentIndex(2);
    EXPECT_EQ(tab.tSMTPServerPort->text(), "587");
    tab.cbSMTPSecurity->setCurrentIndex(1);
    d.show();
    platform::PumpEvents();
    EXPECT_TRUE(testing_support::SaveScreenshot(d, "options-accounts-security.png"));
    d.hide();
    ASSERT_TRUE(d.Save());
    CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    EXPECT_EQ(accounts.Value("me@example.com", "POP3Security"), "2");
    EXPECT_EQ(accounts.Value("me@example.com", "POP3ServerPort"), "995");
    EXPECT_EQ(accounts.Value("me@example.com", "SMTPSecurity"), "1");
    EXPECT_EQ(accounts.Value("me@example.com", "SMTPServerPort"), "587");
    EXPECT_EQ(accounts.Value("me@example.com", "AccountTested"), "0");
}

TEST_F(OptionsDialogFlowTest, AccountsAreAddedRenamedSwappedAndDeletedThroughTheDialog) {
    writeAccount("second@example.com");
    writeAccount("third@example.com");
    CIniFile(ProgramFiles::AccountsIniPath().string()).Value("third@example.com", "RegFileNo", "4");
    startProgram();
    AccountsOptionsDialog& d = openDialog(2);
    dialogs::OptionsAccountsTab& tab = *d.AccountsTab();
    const auto setAddress = [&](int row, const QString& address) {
        tab.lbPOP3Accounts->setCurrentRow(row);
        tab.tEMailAddress->setText(address);
        ASSERT_TRUE(tab.CommitAddress());
    };
    // Swap the first two, delete the third (its undo files are missing: nothing is restored).
    setAddress(0, "second@example.com");
    setAddress(1, "me@example.com");
    tab.lbPOP3Accounts->setCurrentRow(2);
    answerer_ = [](const Prompt::Request& r) {
        return r.text == "Are you sure you want to delete account?" ? Prompt::Answer::Yes : Prompt::Answer::OK;
    };
    tab.bDeleteAccount->click();
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].caption, "Account deletion");
    EXPECT_EQ(prompts_[0].defaultButton, 2);
    EXPECT_FALSE(CIniFile(ProgramFiles::AccountsIniPath().string()).SectionExists("third@example.com"));
    // Add one, with an address that is not valid first.
    tab.bAddAccount->click();
    tab.tEMailAddress->setText("not an address");
    EXPECT_FALSE(tab.CommitAddress());
    EXPECT_EQ(prompts_.back().text, "Entered e-mail address is not valid");
    EXPECT_EQ(tab.tEMailAddress->text(), "<New account>");
    setAddress(2, "Added@Example.com");
    ASSERT_TRUE(d.Save()) << ::testing::PrintToString(promptTexts());
    const std::string file = ReadFile(ProgramFiles::AccountsIniPath());
    EXPECT_EQ(file, golden("accounts-after-edits.ini", file));
    // The deleted account's folder stays; the new account can collect at once.
    EXPECT_TRUE(std::filesystem::exists(dir() / "accounts" / "third@example.com"));
    EXPECT_TRUE(std::filesystem::is_directory(dir() / "accounts" / "Added@Example.com" / "MailDir" / "InBox"));
}

TEST_F(OptionsDialogFlowTest, AfterARenameTheMessageStoreListsTheMovedFiles) {
    WriteFile(dir() / "accounts" / "me@example.com" / "MailDir" / "InBox" / "friend@there.test 1.eml",
              "From: friend@there.test\r\nSubject: hi\r\n\r\nbody\r\n");
    startProgram();
    ASSERT_EQ(program_->Messages()->Count(), 1u);
    AccountsOptionsDialog& d = openDialog(2);
    d.AccountsTab()->tEMailAddress->setText("renamed@example.com");
    ASSERT_TRUE(d.Save()) << ::testing::PrintToString(promptTexts());
    ASSERT_EQ(program_->Messages()->Count(), 1u);
    const std::string key(program_->Messages()->MessageIndex().begin()->Key());
    EXPECT_EQ(key.rfind("renamed@example.com\\", 0), 0u) << key;
    EXPECT_TRUE(std::filesystem::exists(dir() / "accounts" / "renamed@example.com" / "MailDir" / "InBox" /
                                        "friend@there.test 1.eml"));
}

TEST_F(OptionsDialogFlowTest, TheSetupWizardButtonRunsTheWizardThenClosesWithoutSaving) {
    startProgram();
    EXPECT_FALSE(openDialog(2).AccountsTab()->bRunSetupWizard->isEnabled());  // no wizard attached
    QWidget* owner = nullptr;
    wizard_ = [&owner](QWidget* w) { owner = w; };
    AccountsOptionsDialog& d = openDialog(2);
    d.GeneralTab()->cbDeleteBounced->click();
    d.AccountsTab()->bRunSetupWizard->click();
    EXPECT_EQ(owner, &d);
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_TRUE(prompts_.empty());
    EXPECT_EQ(value("options", "AutoDeleteBounced"), "");
}

TEST_F(OptionsDialogFlowTest, DeletingAnAccountRenamedButNotSavedRemovesTheSectionItWasLoadedFrom) {
    writeAccount("second@example.com");
    startProgram();
    AccountsOptionsDialog& d = openDialog(2);
    dialogs::OptionsAccountsTab& tab = *d.AccountsTab();
    tab.lbPOP3Accounts->setCurrentRow(1);
    tab.tEMailAddress->setText("me@example.com");  // the other account's address, not saved
    ASSERT_TRUE(tab.CommitAddress());
    answerer_ = [](const Prompt::Request&) { return Prompt::Answer::Yes; };
    tab.bDeleteAccount->click();
    const CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    EXPECT_FALSE(accounts.SectionExists("second@example.com"));
    EXPECT_TRUE(accounts.SectionExists("me@example.com"));
    EXPECT_EQ(tab.lbPOP3Accounts->count(), 1);
    EXPECT_FALSE(tab.bDeleteAccount->isEnabled());
}

TEST_F(OptionsDialogFlowTest, DeletingTheOnlyAccountIsRefused) {
    startProgram();
    AccountsOptionsDialog& d = openDialog(2);
    EXPECT_FALSE(d.AccountsTab()->bDeleteAccount->isEnabled());
    d.AccountsTab()->bDeleteAccount->setEnabled(true);  // as if it were
    d.AccountsTab()->bDeleteAccount->click();
    ASSERT_FALSE(prompts_.empty());
    EXPECT_EQ(prompts_.back().text, "You can not delete the only account configured in Glimmerpost!");
    EXPECT_TRUE(CIniFile(ProgramFiles::AccountsIniPath().string()).SectionExists("me@example.com"));
}

TEST_F(OptionsDialogFlowTest, ThePreviewShowsTheTextsAsTypedAndSavesNothing) {
    setValue("options", "msg_Conf_Text1", MiscFuncs::ScrambleText("saved confirmation"));
    startProgram();
    AccountsOptionsDialog& d = openDialog(4);
    dialogs::OptionsMessagesTab& m = *d.MessagesTab();
    for (auto* field : {m.tMessageHeader, m.tMessageMiddle, m.tMessageFooter}) field->clear();
    QTest::keyClicks(m.tMessageHeader, "Hello,");
    QTest::keyClicks(m.tMessageMiddle, "Thanks.");
    QTest::keyClicks(m.tMessageFooter, "Me");
    m.cbAutoRejectNotification->click();
    m.bPreview->click();
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0], dir() / "msgpreview.eml");
    const std::string request = ReadFile(opened_[0]);
    EXPECT_EQ(request, golden("msgpreview-request.eml", request));

    m.cMessageSelect->setCurrentIndex(1);
    EXPECT_EQ(m.tMessageHeader->toPlainText(), "saved confirmation");
    m.tMessageHeader->selectAll();
    QTest::keyClicks(m.tMessageHeader, "Welcome!");
    m.bPreview->click();
    const std::string confirmation = ReadFile(dir() / "msgpreview.eml");
    EXPECT_EQ(confirmation, golden("msgpreview-confirmation.eml", confirmation));
    EXPECT_NE(confirmation.find("Welcome!"), std::string::npos);
    // Back to the request: its three texts are as typed.
    m.cMessageSelect->setCurrentIndex(0);
    EXPECT_EQ(m.tMessageHeader->toPlainText(), "Hello,");
    EXPECT_EQ(m.tMessageFooter->toPlainText(), "Me");
    EXPECT_EQ(value("options", "msg_RegRequest_Text1"), "");
    EXPECT_TRUE(prompts_.empty());

    struct Case {
        dialogs::OpenFileResult result;
        const char* message;
    };
    for (const Case& c : {Case{dialogs::OpenFileResult::NoHandler, "Could not find e-mail client"},
                          Case{dialogs::OpenFileResult::Failed, "Message could not be open by e-mail client"}}) {
        openResult_ = c.result;
        m.bPreview->click();
        ASSERT_FALSE(prompts_.empty());
        EXPECT_EQ(prompts_.back().text, c.message);
        EXPECT_EQ(prompts_.back().kind, Prompt::Kind::Exclamation);
    }
}

TEST_F(OptionsDialogFlowTest, AliasesAreCheckedAndTheListIsRewrittenAtOk) {
    CIniFile(ProgramFiles::AliasesIniPath().string()).Value("Aliases", "old@example.com", "1");
    startProgram();
    AccountsOptionsDialog& d = openDialog(3);
    dialogs::OptionsAliasesTab& a = *d.AliasesTab();
    ASSERT_EQ(a.lbAliases->count(), 1);
    struct Case {
        const char* text;
        bool accepted;
    };
    for (const Case& c : {Case{"*@example.org", true}, Case{"*", false}, Case{"friend@example.net", true},
                          Case{"not an address", false}}) {
        prompts_.clear();
        a.tAliasEmailAddress->setText(c.text);
        a.AddButton->click();
        EXPECT_EQ(prompts_.empty(), c.accepted) << c.text;
        if (!c.accepted) {
            EXPECT_EQ(prompts_[0].text, "Entered e-mail address is invalid");
        }
    }
    a.lbAliases->setCurrentRow(0);
    answerer_ = [](const Prompt::Request&) { return Prompt::Answer::Yes; };
    a.DeleteButton->click();
    ASSERT_TRUE(d.Save());
    EXPECT_EQ(Aliases::ReadAliases(CIniFile(ProgramFiles::AliasesIniPath().string())),
              (std::vector<std::string>{"*@example.org", "friend@example.net"}));
}

}  // namespace
