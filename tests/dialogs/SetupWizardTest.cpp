// The setup wizard's pages, checks and account list, with the account test played by
// the test.
#include "SetupWizardFixture.h"

#include <QComboBox>

#include <filesystem>

#include "core/Log.h"
#include "core/MailClientFiles.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

TEST_F(SetupWizardTest, ManualConfigurationGivesOnePlaceholderAccountAndNeedsATest) {
    auto& w = make();
    EXPECT_FALSE(button("bBack")->isEnabled());
    toAccounts("oManual");
    ASSERT_EQ(w.Page(), 3);
    ASSERT_EQ(w.Accounts().size(), 1u);
    EXPECT_EQ(w.Accounts()[0].EMailAddress, dialogs::SetupWizard::kManualAddress);
    EXPECT_EQ(child<QSpinBox>("tPOP3ServerPort")->value(), 110);
    EXPECT_EQ(child<QSpinBox>("tSMTPServerPort")->value(), 25);
    EXPECT_FALSE(testedShown());
    EXPECT_FALSE(button("bDeleteAcount")->isEnabled());

    w.NextClicked();
    EXPECT_EQ(w.Page(), 3);
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text,
              "You have to configure atleast one POP3 account in order for Glimmerpost to operate correctly!");
    EXPECT_TRUE(fs::is_empty(dir()) || !fs::exists(ProgramFiles::AccountsIniPath()));
}

TEST_F(SetupWizardTest, TheTestFindsTheFirstBlankFieldAndAPassedTestMarksTheAccount) {
    MiscFuncs::SetLogLevel(1);
    auto& w = make();
    toAccounts("oOutlookExpress");
    ASSERT_EQ(w.Accounts().size(), 2u);
    button("bTest")->click();
    ASSERT_EQ(promptTexts(), std::vector<std::string>{
                                 "You must enter your email password.  It was given to you at the time you setup "
                                 "your email!"});
    EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Critical);
    EXPECT_TRUE(tested_.empty());

    fillAccount("secret");
    testPasses_ = false;
    button("bTest")->click();
    EXPECT_EQ(prompts_.back().text, "Account test failed!!\r\nServer replied: -ERR no");
    EXPECT_EQ(w.Accounts()[0].AccountTested, 0);
    EXPECT_NE(programLog().find("Account test failedalice@example.comServer replied"), std::string::npos);

    testPasses_ = true;
    button("bTest")->click();
    ASSERT_EQ(tested_.size(), 2u);
    EXPECT_EQ(tested_[1].POP3Password, "secret");
    EXPECT_EQ(tested_[1].POP3ServerPort, "110");
    EXPECT_EQ(w.Accounts()[0].AccountTested, 1);
    EXPECT_TRUE(testedShown());
    EXPECT_NE(programLog().find("Account alice@example.comhas been successfuly tested"), std::string::npos);
}

TEST_F(SetupWizardTest, SelectingKeepsTheTestAndEveryChangedSettingLosesIt) {
    auto& w = make();
    toAccounts("oOutlookExpress");
    authResult_ = Auth{0, "bob-smtp", ""};  // what bob already has: no change
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"user name", [&] { type("tPOP3UserName", "other"); }},
        {"POP3 server", [&] { type("tPOP3Server", "pop2.example.com"); }},
        {"POP3 port", [&] { child<QSpinBox>("tPOP3ServerPort")->setValue(995); }},
        {"SMTP port", [&] { child<QSpinBox>("tSMTPServerPort")->setValue(587); }},
        {"SPA", [&] { child<QCheckBox>("cbPOP3UseSPA")->click(); }},
        {"requires auth", [&] { child<QCheckBox>("cbSMTPServerRequiresAuthentication")->click(); }},
        {"address", [&] { type("tEMailAddress", "robert@example.com"); }},
        {"authentication", [&] {
             authResult_ = Auth{3, "someone", "pw"};
             child<QToolButton>("bSMTPAuthConfig")->click();
         }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        selectAccount(1);
        fillAccount("pw");
        if (!child<QCheckBox>("cbSMTPServerRequiresAuthentication")->isChecked())
            child<QCheckBox>("cbSMTPServerRequiresAuthentication")->click();
        button("bTest")->click();
        ASSERT_EQ(w.Accounts()[1].AccountTested, 1);
        selectAccount(0);
        selectAccount(1);
        child<QToolButton>("bSMTPAuthConfig")->click();  // OK without a change
        EXPECT_EQ(w.Accounts()[1].AccountTested, 1);
        EXPECT_TRUE(testedShown());
        change();
        EXPECT_EQ(w.Accounts()[1].AccountTested, 0);
        EXPECT_FALSE(testedShown());
    }
    EXPECT_EQ(w.Accounts()[1].SMTPAuthType, 3);
    EXPECT_EQ(w.Accounts()[1].SMTPAuthUserName, "someone");
}

TEST_F(SetupWizardTest, FieldsThatAreNotUtf8KeepTheirBytesAsTheyAreEdited) {
    // A user name and server from the mail program in Latin-1, as many old settings are.
    const std::string user("b\xf6" "b", 3), server("p\xf6p.example.com", 15);
    Registry::SetStringValue(kBobKey, "POP3 User Name", user);
    Registry::SetStringValue(kBobKey, "POP3 Server", server);
    auto& w = make();
    toAccounts("oOutlookExpress");
    selectAccount(1);
    QLineEdit* name = child<QLineEdit>("tPOP3UserName");
    name->end(false);
    QTest::keyClicks(name, "2");
    emit child<QLineEdit>("tEMailAddress")->editingFinished();  // not edited: no box
    EXPECT_TRUE(prompts_.empty()) << ::testing::PrintToString(promptTexts());
    EXPECT_EQ(w.Accounts()[1].POP3UserName, user + "2");
    EXPECT_EQ(w.Accounts()[1].POP3Server, server);
    EXPECT_EQ(w.Accounts()[1].EMailAddress, "bob@example.com");
}

TEST_F(SetupWizardTest, AddingAndEditingRefuseTheSameAddressInAnyLetterCase) {
    auto& w = make();
    toAccounts("oOutlookExpress");
    struct Case {
        std::optional<QString> answer;
        std::string box;  // "" = added
    };
    const std::vector<Case> cases = {
        {QStringLiteral("BOB@example.com"),
         "Found duplicate e-mail address BOB@example.com\r\nIt will not be added due to ambiguity"},
        {QStringLiteral("not an address"), "Entered e-mail address is not valid"},
        {QStringLiteral(""), "Entered e-mail address is not valid"},
        {std::nullopt, "-"},
        {QStringLiteral("  carol@example.com "), ""},
    };
    for (const Case& c : cases) {
        prompts_.clear();
        inputAnswer_ = c.answer;
        const std::size_t before = w.Accounts().size();
        button("bAddAccount")->click();
        if (c.box == "-") {
            EXPECT_TRUE(prompts_.empty());
            EXPECT_EQ(w.Accounts().size(), before);
        } else if (c.box.empty()) {
            EXPECT_TRUE(prompts_.empty());
            ASSERT_EQ(w.Accounts().size(), before + 1);
            EXPECT_EQ(w.Accounts().back().EMailAddress, "carol@example.com");
            EXPECT_EQ(w.CurrentAccount(), static_cast<int>(before));
            EXPECT_EQ(child<QComboBox>("cbAccounts")->currentText(), QStringLiteral("carol@example.com"));
        } else {
            ASSERT_EQ(promptTexts(), std::vector<std::string>{c.box});
            EXPECT_EQ(w.Accounts().size(), before);
        }
    }
    ASSERT_FALSE(inputs_.empty());
    EXPECT_EQ(inputs_[0].prompt, QStringLiteral("Enter new account e-mail address"));
    EXPECT_EQ(inputs_[0].title, QStringLiteral("Glimmerpost Setup Wizard"));

    prompts_.clear();
    setEmail(QStringLiteral("Alice@Example.com"));
    EXPECT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(w.Accounts().back().EMailAddress, "carol@example.com");
    EXPECT_EQ(child<QLineEdit>("tEMailAddress")->text(), QStringLiteral("carol@example.com"));
    // A refused address typed just before TEST stops the test.
    child<QLineEdit>("tEMailAddress")->setText(QStringLiteral("bob@EXAMPLE.com"));
    button("bTest")->click();
    EXPECT_TRUE(tested_.empty());
    EXPECT_EQ(child<QLineEdit>("tEMailAddress")->text(), QStringLiteral("carol@example.com"));
    setEmail(QStringLiteral("caroline@example.com"));
    EXPECT_EQ(w.Accounts().back().EMailAddress, "caroline@example.com");
    EXPECT_EQ(child<QComboBox>("cbAccounts")->currentText(), QStringLiteral("caroline@example.com"));
}

TEST_F(SetupWizardTest, DontConfigureRemovesOnlyAfterYesAndOnlyThenMovesOn) {
    auto& w = make();
    toAccounts("oOutlookExpress");
    fillAccount("pw");
    button("bTest")->click();
    selectAccount(1);
    fillAccount("pw");
    button("bTest")->click();
    selectAccount(0);

    answers_ = {Prompt::Answer::No};
    button("bDeleteAcount")->click();
    EXPECT_EQ(prompts_.back().text, "Are you sure that you DO NOT want to protect alice@example.com by Glimmerpost?");
    EXPECT_EQ(prompts_.back().defaultButton, 2);
    EXPECT_EQ(w.Accounts().size(), 2u);
    EXPECT_EQ(w.Page(), 3);

    answers_ = {Prompt::Answer::Yes};
    button("bDeleteAcount")->click();
    ASSERT_EQ(w.Accounts().size(), 1u);
    EXPECT_EQ(w.Accounts()[0].EMailAddress, "bob@example.com");
    EXPECT_FALSE(button("bDeleteAcount")->isEnabled());
    EXPECT_EQ(w.Page(), 4);
}

TEST_F(SetupWizardTest, UntestedAccountsAreNamedAndYesKeepsThePage) {
    auto& w = make();
    toAccounts("oOutlookExpress");
    fillAccount("pw");
    button("bTest")->click();
    answers_ = {Prompt::Answer::Yes};
    w.NextClicked();
    EXPECT_EQ(w.Page(), 3);
    EXPECT_EQ(prompts_.back().text, "The following account(s) have not been configured!\r\nbob@example.com\r\n"
                                    "Do you wish to continue configuring listed above account(s)?");
    answers_ = {Prompt::Answer::No};
    w.NextClicked();
    EXPECT_EQ(w.Page(), 4);
}

TEST_F(SetupWizardTest, BackToTheMailProgramRebuildsTheList) {
    auto& w = make();
    toAccounts("oOutlookExpress");
    inputAnswer_ = QStringLiteral("carol@example.com");
    button("bAddAccount")->click();
    ASSERT_EQ(w.Accounts().size(), 3u);
    w.BackClicked();
    EXPECT_EQ(w.Page(), 2);
    EXPECT_TRUE(w.Accounts().empty());
    EXPECT_EQ(child<QComboBox>("cbAccounts")->count(), 0);
    w.NextClicked();
    EXPECT_EQ(w.Accounts().size(), 2u);
}

TEST_F(SetupWizardTest, NothingFoundStaysOnTheMailProgramPage) {
    auto& w = make();
    w.NextClicked();
    child<QRadioButton>("oOutlook")->setChecked(true);
    ASSERT_TRUE(Registry::Store().DeleteKey(kDaveKey));
    w.NextClicked();
    EXPECT_EQ(w.Page(), 2);
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text.substr(0, 57), "You do not seem to have any POP3 accounts Microsoft Outlo");
}

TEST_F(SetupWizardTest, WhileATestRunsNothingElseMoves) {
    auto& w = make();
    toAccounts("oOutlookExpress");
    fillAccount("pw");
    bool checked = false;
    onTest_ = [&] {
        checked = true;
        EXPECT_TRUE(w.Testing());
        for (const char* b : {"bBack", "bNext", "bCancel"}) EXPECT_FALSE(button(b)->isEnabled()) << b;
        EXPECT_TRUE(child<QLabel>("AccountTestingFrame")->isVisible());
        w.NextClicked();
        w.CancelClicked();
        w.close();
        platform::PumpEvents();
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(w.Page(), 3);
    };
    button("bTest")->click();
    EXPECT_TRUE(checked);
    EXPECT_TRUE(prompts_.empty());
    EXPECT_FALSE(w.Testing());
    EXPECT_TRUE(button("bNext")->isEnabled());
    EXPECT_FALSE(child<QLabel>("AccountTestingFrame")->isVisible());
}

TEST_F(SetupWizardTest, AWizardDestroyedDuringItsTestIsNotTouchedAgain) {
    make();
    toAccounts("oOutlookExpress");
    fillAccount("pw");
    onTest_ = [&] { wizard_.reset(); };
    QPushButton* test = button("bTest");
    test->click();
    EXPECT_EQ(wizard_, nullptr);
    EXPECT_TRUE(prompts_.empty());
}

TEST_F(SetupWizardTest, CancelAsksWithNoPreselectedAndTheCloseBoxCountsAsCancel) {
    auto& w = make();
    answers_ = {Prompt::Answer::No};
    w.close();
    EXPECT_TRUE(w.isVisible());
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text, "Are you sure you want to close setup wizard?\r\nApplication will not be able to function!");
    EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Critical);
    EXPECT_EQ(prompts_[0].defaultButton, 2);

    accounts_.Value("someone@example.com", "POP3UserName", "x");
    answers_ = {Prompt::Answer::Yes};
    button("bCancel")->click();
    EXPECT_EQ(prompts_.back().text, "Are you sure you want to close setup wizard?");
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), QDialog::Rejected);
    EXPECT_FALSE(w.Saved());
}

TEST_F(SetupWizardTest, WhileTheProgramClosesTheWizardClosesWithoutAsking) {
    auto& w = make();
    Prompt::SetClosing(true);
    w.close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(prompts_.empty());
}

TEST_F(SetupWizardTest, AliasesAcceptAStarForTheMailbox) {
    auto& w = make();
    aliases_.Value("Aliases", "kept@example.org", "1");
    wizard_.reset();
    make();
    QListWidget* list = child<QListWidget>("lbAliases");
    ASSERT_EQ(list->count(), 1);  // the aliases already kept stay
    const struct {
        const char* text;
        bool ok;
    } cases[] = {{"*@example.com", true}, {"*", false}, {"me@example.com", true}, {"me@", false}};
    for (const auto& c : cases) {
        prompts_.clear();
        child<QLineEdit>("tAliasEmailAddress")->setText(QString::fromLatin1(c.text));
        button("AddButton")->click();
        EXPECT_EQ(prompts_.empty(), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_EQ(prompts_[0].text, "Entered e-mail address is invalid");
        }
    }
    ASSERT_EQ(list->count(), 3);
    list->setCurrentRow(0);
    answers_ = {Prompt::Answer::Yes};
    button("DeleteButton")->click();
    EXPECT_EQ(prompts_.back().caption, "Alias deletion");
    EXPECT_EQ(list->count(), 2);
    (void)w;
}

TEST_F(SetupWizardTest, AFailedSaveStaysOnTheAliasesPageAndChangesNoMailProgram) {
    auto& w = make();
    toAccounts("oOutlookExpress");
    fillAccount("pw");
    button("bTest")->click();
    answers_ = {Prompt::Answer::No};
    w.NextClicked();
    ASSERT_EQ(w.Page(), 4);
    // A folder where accounts.ini should be: no write can replace it, also for root.
    fs::create_directories(ProgramFiles::AccountsIniPath());
    const std::string registry = Registry::Store().Text();
    prompts_.clear();
    w.NextClicked();
    EXPECT_EQ(w.Page(), 4);
    EXPECT_FALSE(w.Saved());
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Critical);
    EXPECT_EQ(Registry::Store().Text(), registry);
    EXPECT_TRUE(UndoFiles::PairNumbers(dir()).empty());
}

TEST_F(SetupWizardTest, TwoAccountsKeepTheirOwnAuthenticationSettings) {
    auto& w = make();
    toAccounts("oOutlookExpress");
    const Auth auths[] = {{3, "alice-out", "a-pw"}, {0, "bob-out", "b-pw"}};
    for (int i = 0; i < 2; ++i) {
        selectAccount(i);
        fillAccount("pw");
        if (!child<QCheckBox>("cbSMTPServerRequiresAuthentication")->isChecked())
            child<QCheckBox>("cbSMTPServerRequiresAuthentication")->click();
        authResult_ = auths[i];
        child<QToolButton>("bSMTPAuthConfig")->click();
        button("bTest")->click();
    }
    toSaved();
    ASSERT_EQ(w.Page(), 5);
    EXPECT_EQ(accounts_.Value("alice@example.com", "SMTPAuthType"), "3");
    EXPECT_EQ(accounts_.Value("alice@example.com", "SMTPAuthUserName"), "alice-out");
    EXPECT_EQ(accounts_.Value("bob@example.com", "SMTPAuthType"), "0");
    EXPECT_EQ(accounts_.Value("bob@example.com", "SMTPAuthUserName"), "bob-out");
    EXPECT_NE(accounts_.Value("alice@example.com", "SMTPAuthPassword"), accounts_.Value("bob@example.com", "SMTPAuthPassword"));
}

// The Security choice of each account: SSL/TLS proposes the TLS port in place of the
// plain default, the choice makes the account untested, and it is saved with it.
TEST_F(SetupWizardTest, TheSecurityChoiceProposesTheTlsPortAndIsSaved) {
    auto& w = make();
    toAccounts("oOutlookExpress");
    selectAccount(0);
    fillAccount("pw");
    button("bTest")->click();
    ASSERT_TRUE(testedShown());
    QComboBox* pop3 = child<QComboBox>("cbPOP3Security");
    QComboBox* smtp = child<QComboBox>("cbSMTPSecurity");
    EXPECT_EQ(pop3->currentIndex(), 0);
    pop3->setCurrentIndex(2);
    EXPECT_EQ(child<QSpinBox>("tPOP3ServerPort")->value(), 995);
    EXPECT_FALSE(testedShown());
    smtp->setCurrentIndex(2);
    EXPECT_EQ(child<QSpinBox>("tSMTPServerPort")->value(), 465);
    smtp->setCurrentIndex(1);
    EXPECT_EQ(child<QSpinBox>("tSMTPServerPort")->value(), 25);
    // Another account and back: the page shows each account's own choice.
    selectAccount(1);
    EXPECT_EQ(pop3->currentIndex(), 0);
    selectAccount(0);
    EXPECT_EQ(pop3->currentIndex(), 2);
    EXPECT_EQ(smtp->currentIndex(), 1);
    button("bTest")->click();
    selectAccount(1);
    fillAccount("pw");
    button("bTest")->click();
    toSaved();
    ASSERT_EQ(w.Page(), 5);
    EXPECT_EQ(accounts_.Value("alice@example.com", "POP3Security"), "2");
    EXPECT_EQ(accounts_.Value("alice@example.com", "POP3ServerPort"), "995");
    EXPECT_EQ(accounts_.Value("alice@example.com", "SMTPSecurity"), "1");
    EXPECT_EQ(accounts_.Value("bob@example.com", "POP3Security"), "0");
}

TEST_F(SetupWizardTest, AnAccountWhoseSettingsCannotBeSavedIsKeptUnchangedAndTheUserIsTold) {
    auto& w = make();
    toAccounts("oOutlookExpress");
    for (int i = 0; i < 2; ++i) {
        selectAccount(i);
        fillAccount("pw");
        button("bTest")->click();
    }
    w.NextClicked();
    ASSERT_TRUE(Registry::Store().DeleteKey(kBobKey));  // gone before it could be saved
    prompts_.clear();
    w.NextClicked();
    ASSERT_EQ(w.Page(), 5);
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Exclamation);
    EXPECT_NE(prompts_[0].text.find("\r\nbob@example.com\r\n"), std::string::npos) << prompts_[0].text;
    EXPECT_EQ(accounts_.Value("alice@example.com", "RegFileNo"), "0");
    EXPECT_FALSE(accounts_.FindValue("bob@example.com", "RegFileNo"));
    EXPECT_EQ(accounts_.Value("bob@example.com", "AccountEnabled"), "1");
    EXPECT_EQ(UndoFiles::PairNumbers(dir()), std::vector<int>{0});
}

}  // namespace

// The mails the program sends for an account show the user's name: the wizard asks for
// it, keeps it per account and saves it as DisplayName, without a new test.
TEST_F(SetupWizardTest, TheUsersNameIsAskedForAndSavedAsTheDisplayName) {
    auto& w = make();
    toAccounts("oOutlookExpress");
    for (int i = 0; i < 2; ++i) {
        selectAccount(i);
        fillAccount("pw");
        button("bTest")->click();
        type("tDisplayName", i == 0 ? "Alice Example" : "Bob Example");
        EXPECT_TRUE(testedShown()) << "a name needs no new test";
    }
    selectAccount(0);
    EXPECT_EQ(child<QLineEdit>("tDisplayName")->text(), "Alice Example");
    toSaved();
    ASSERT_EQ(w.Page(), 5);
    EXPECT_EQ(accounts_.Value("alice@example.com", "DisplayName"), "Alice Example");
    EXPECT_EQ(accounts_.Value("bob@example.com", "DisplayName"), "Bob Example");
}
