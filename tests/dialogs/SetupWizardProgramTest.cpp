// The setup wizard inside the program, against dovecot and aiosmtpd. A first start on
// an empty data folder shows it; this test, as the user, takes the mail program's
// account over, tests it and finishes, and the program then runs and collects the
// account's mail. Run again from the options dialog's button, it keeps the aliases,
// opens the import and the engines collect the new account at once.
// Before any Qt header: the registry store has a member named like a Qt macro.
#include "core/MailClientsFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest/QTest>

#include <filesystem>
#include <functional>

#include "dialogs/AccountsOptionsDialog.h"
#include "dialogs/DialogsAttach.h"
#include "dialogs/SetupWizard.h"
#include "mainwindow/ProgramEngines.h"
#include "mainwindow/SendersPage.h"
#include "platform/GridControl.h"
#include "mainwindow/ProgramPages.h"
#include "mainwindow/ProgramTestSupport.h"
#include "support/Peers.h"
#include "support/Screenshot.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

constexpr int kCollectMs = 20000;

class WizardInProgramTest : public ProgramTest {
protected:
    void TearDown() override {
        program_.reset();
        dialogs_.reset();
        pages_.reset();
        engines_.reset();
        Registry::SetRegistryFile({});
        ProgramTest::TearDown();
    }
    dialogs::SetupWizard* openWizard() const {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* wizard = qobject_cast<dialogs::SetupWizard*>(w); wizard && wizard->isVisible()) return wizard;
        return nullptr;
    }
    // What the user does in the wizard: Outlook Express, alice tested, bob not wanted.
    void drive(dialogs::SetupWizard& w) {
        w.NextClicked();
        w.findChild<QRadioButton*>(QStringLiteral("oOutlookExpress"))->setChecked(true);
        w.NextClicked();
        ASSERT_EQ(w.Accounts().size(), 2u);
        QTest::keyClicks(w.findChild<QLineEdit*>(QStringLiteral("tPOP3Password")), QStringLiteral("alice-pw"));
        w.findChild<QPushButton*>(QStringLiteral("bTest"))->click();
        ASSERT_EQ(w.Accounts()[0].AccountTested, 1) << (prompts_.empty() ? std::string() : prompts_.back().text);
        QComboBox* list = w.findChild<QComboBox*>(QStringLiteral("cbAccounts"));
        list->setCurrentIndex(1);
        emit list->activated(1);
        w.findChild<QPushButton*>(QStringLiteral("bDeleteAcount"))->click();  // answered Yes: on to page 4
        ASSERT_EQ(w.Page(), 4);
        w.NextClicked();
        ASSERT_EQ(w.Page(), 5);
        sawWizard_ = true;
        w.NextClicked();
    }

    // dovecot with alice's mail, aiosmtpd, and the fixture's mail program pointing at them.
    void startPeers() {
        pop_ = std::make_unique<DovecotPeer>(QList<QPair<QString, QString>>{{"alice", "alice-pw"}});
        ASSERT_TRUE(pop_->start()) << pop_->error().toStdString();
        smtp_ = std::make_unique<SmtpPeer>();
        ASSERT_TRUE(smtp_->start()) << smtp_->error().toStdString();
        ASSERT_FALSE(pop_->deliver("alice", "From: friend@there.test\r\nTo: alice@example.com\r\nSubject: hello\r\n\r\nhi\r\n")
                         .isEmpty());
        ASSERT_TRUE(SeedRegistry(dir(), MailClientsFixture("127.0.0.1", pop_->port(), "127.0.0.1", smtp_->port())));
        setValue("options", "POP3ServerPort", std::to_string(pop3Port_.port()));
        setValue("options", "SMTPServerPort", std::to_string(smtpPort_.port()));
        answerer_ = [](const Prompt::Request& r) {
            return r.text.find("DO NOT want to protect") != std::string::npos ? Prompt::Answer::Yes
                                                                               : Prompt::DefaultAnswer(r);
        };
    }
    // Put together as the program's main puts it together.
    mainwindow::GlimmerpostProgram& attachedProgram() {
        engines_ = std::make_unique<mainwindow::ProgramEngines>();
        pages_ = std::make_unique<mainwindow::ProgramPages>();
        dialogs_ = std::make_unique<dialogs::ProgramDialogs>();
        auto& program = makeProgram(false);
        engines_->Attach(program);
        pages_->Attach(program, *engines_);
        dialogs_->Attach(program, *engines_);
        return program;
    }
    // Acts on the wizard as soon as it shows.
    void whenShown(std::function<void(dialogs::SetupWizard&)> act) {
        QObject::connect(&poll_, &QTimer::timeout, [this, act] {
            dialogs::SetupWizard* w = openWizard();
            if (!w) return;
            poll_.stop();
            act(*w);
        });
        poll_.start(20);
    }
    void driveWhenShown() {
        whenShown([this](dialogs::SetupWizard& w) { drive(w); });
    }
    bool aliceMailStored() {
        const fs::path mailDir = dir() / "accounts" / "alice@example.com" / "MailDir";
        return platform::WaitUntil(
            [&] {
                std::error_code ec;
                for (const auto& e : fs::recursive_directory_iterator(mailDir, ec))
                    if (e.path().extension() == ".eml") return true;
                return false;
            },
            kCollectMs);
    }

    std::unique_ptr<DovecotPeer> pop_;
    std::unique_ptr<SmtpPeer> smtp_;
    // The engines' ports, held for them until the test ends.
    const ReservedPort pop3Port_, smtpPort_;
    QTimer poll_;
    std::unique_ptr<mainwindow::ProgramEngines> engines_;
    std::unique_ptr<mainwindow::ProgramPages> pages_;
    std::unique_ptr<dialogs::ProgramDialogs> dialogs_;
    bool sawWizard_ = false;
};

TEST_F(WizardInProgramTest, TheWizardConfiguresTheAccountAndTheProgramThenRunsWithIt) {
    startPeers();
    auto& program = attachedProgram();
    int imports = 0;
    program.SetAddressImport([&](mainwindow::GlimmerpostProgram&, QWidget*) { ++imports; });
    driveWhenShown();

    ASSERT_EQ(program.Start(), mainwindow::GlimmerpostProgram::StartResult::Running);
    EXPECT_TRUE(sawWizard_);
    EXPECT_EQ(imports, 1);
    CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    EXPECT_EQ(accounts.AllSectionsArray(), std::vector<std::string>{"alice@example.com"});
    EXPECT_EQ(accounts.Value("alice@example.com", "RegFileNo"), "0");
    const Registry::RegistryValues alice = Registry::EnumRegistryValues(kAliceKey);
    EXPECT_EQ(alice.Find("POP3 Server")->text, "localhost");
    EXPECT_EQ(alice.Find("POP3 Port")->number, static_cast<std::uint32_t>(program.LocalPOP3Port()));
    EXPECT_EQ(alice.Find("SMTP Port")->number, static_cast<std::uint32_t>(program.LocalSMTPPort()));
    EXPECT_EQ(value("options", "POP3ServerPort"), std::to_string(program.LocalPOP3Port()));
    EXPECT_EQ(Registry::EnumRegistryValues(kBobKey).Find("POP3 Server")->text, "127.0.0.1");
    EXPECT_TRUE(program.Engines().IsLoaded("POP3CollectorForm"));
    // The start-up's folder check after the wizard finds every folder there.
    for (const Prompt::Request& p : prompts_)
        EXPECT_EQ(p.text.find("Directory structure of application data have been ruined!"), std::string::npos);
    for (const char* folder : {"InBox", "OutBox", "WaitingAuth", "Recycled"})
        EXPECT_TRUE(fs::is_directory(dir() / "accounts" / "alice@example.com" / "MailDir" / folder)) << folder;
    // The collector fetches the account's mail from dovecot.
    EXPECT_TRUE(aliceMailStored()) << programLog();
    // What the user sees on opening the window from the tray, for a reviewer.
    program.MainForm()->mOpen_Click();
    // The grid shows the collected mail's sender once its refill has run.
    ASSERT_TRUE(platform::WaitUntil(
        [&] {
            const platform::GridControl& grid = *program.MainForm()->sendersPage()->fgSenders();
            return grid.Rows() > 0 && grid.Model().Text(0, 1) == "friend@there.test";
        },
        kCollectMs));
    EXPECT_TRUE(SaveScreenshot(*program.MainForm(), "first-start-after-wizard.png"));
}

TEST_F(WizardInProgramTest, FromTheOptionsDialogTheAliasesStayAndTheNewAccountIsCollectedAtOnce) {
    startPeers();
    addAccount();
    CIniFile(ProgramFiles::AliasesIniPath().string()).Value("Aliases", "old@example.org", "1");
    auto& program = attachedProgram();
    ASSERT_EQ(program.Start(), mainwindow::GlimmerpostProgram::StartResult::Running);
    EXPECT_FALSE(sawWizard_);
    int imports = 0;
    program.FormHooks().importAddressBook = [&] { ++imports; };
    driveWhenShown();
    // The options dialog's "Run setup wizard" button.
    QTimer optionsPoll;
    bool clicked = false;
    QObject::connect(&optionsPoll, &QTimer::timeout, [&] {
        auto* options = program.MainForm()->findChild<dialogs::AccountsOptionsDialog*>();
        if (!options || !options->isVisible()) return;
        optionsPoll.stop();
        auto* run = options->findChild<QPushButton*>(QStringLiteral("bRunSetupWizard"));
        ASSERT_NE(run, nullptr);
        ASSERT_TRUE(run->isEnabled());
        clicked = true;
        run->click();
    });
    optionsPoll.start(20);
    ASSERT_TRUE(program.FormHooks().showOptions);
    program.FormHooks().showOptions(1);
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(sawWizard_);
    EXPECT_EQ(imports, 1);
    CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    EXPECT_EQ(accounts.AllSectionsArray(), (std::vector<std::string>{kAccount, "alice@example.com"}));
    EXPECT_EQ(CIniFile(ProgramFiles::AliasesIniPath().string()).AllSectionKeysArray("Aliases"),
              std::vector<std::string>{"old@example.org"});
    EXPECT_TRUE(aliceMailStored()) << programLog();
}

TEST_F(WizardInProgramTest, AShutDownWhileTheWizardIsOpenClosesItAndSavesNothing) {
    startPeers();
    auto& program = attachedProgram();
    whenShown([&](dialogs::SetupWizard& w) {
        w.NextClicked();
        w.NextClicked();  // on the accounts page, alice and bob found
        program.RequestShutDown();
    });
    EXPECT_NE(program.Start(), mainwindow::GlimmerpostProgram::StartResult::Running);
    EXPECT_EQ(openWizard(), nullptr);
    EXPECT_TRUE(CIniFile(ProgramFiles::AccountsIniPath().string()).AllSectionsArray().empty());
    EXPECT_EQ(Registry::EnumRegistryValues(kAliceKey).Find("POP3 Server")->text, "127.0.0.1");
    EXPECT_FALSE(fs::exists(dir() / "clracc0.reg"));
    for (const auto& p : prompts_) EXPECT_EQ(p.text.find("Are you sure"), std::string::npos) << p.text;
}

TEST_F(WizardInProgramTest, AShutDownDuringAnAccountTestAbandonsTheTest) {
    startPeers();
    QTcpServer silent;  // accepts and never greets: the test would wait for its time-out
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    ASSERT_TRUE(SeedRegistry(dir(), MailClientsFixture("127.0.0.1", silent.serverPort(), "127.0.0.1", smtp_->port())));
    auto& program = attachedProgram();
    // The shut-down comes once the account test is under way (it waits on the silent
    // server inside the click).
    QTimer testing;
    whenShown([&](dialogs::SetupWizard& w) {
        w.NextClicked();
        w.NextClicked();
        QTest::keyClicks(w.findChild<QLineEdit*>(QStringLiteral("tPOP3Password")), QStringLiteral("alice-pw"));
        QPointer<dialogs::SetupWizard> wizard(&w);
        QObject::connect(&testing, &QTimer::timeout, [&, wizard] {
            if (!wizard || !wizard->Testing()) return;
            testing.stop();
            program.RequestShutDown();
        });
        testing.start(20);
        w.findChild<QPushButton*>(QStringLiteral("bTest"))->click();
        if (testing.isActive()) {
            ADD_FAILURE() << "the account test ended before the shut-down came";
            testing.stop();
            program.RequestShutDown();
        }
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_NE(program.Start(), mainwindow::GlimmerpostProgram::StartResult::Running);
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_TRUE(CIniFile(ProgramFiles::AccountsIniPath().string()).AllSectionsArray().empty());
    EXPECT_TRUE(prompts_.empty()) << prompts_.front().text;
}

}  // namespace
