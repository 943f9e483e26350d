// The start-up and shut-down sequences of the whole program: their order, the
// windows' slots, the running marker, the unconfigured end, failures and a shut-down
// asked for while starting.
#include <QMessageBox>

#include <stdexcept>

#include "ProgramTestSupport.h"
#include "core/CMessages.h"
#include "core/StartupFiles.h"
#include "platform/TrayIcon.h"

namespace {

using Result = mainwindow::GlimmerpostProgram::StartResult;
using testing_support::ProgramTest;
using testing_support::ReadFile;
using testing_support::WriteFile;
using testing_support::kAccount;

std::vector<std::string> without(const std::vector<std::string>& events, const std::string& prefix) {
    std::vector<std::string> out;
    for (const std::string& e : events)
        if (e.rfind(prefix, 0) != 0) out.push_back(e);
    return out;
}

std::size_t indexOf(const std::vector<std::string>& events, const std::string& e) {
    return static_cast<std::size_t>(std::find(events.begin(), events.end(), e) - events.begin());
}

TEST_F(ProgramTest, StartsInOrderAndEndsInTheReverseOrder) {
    addAccount();
    bool listsAliveAtUnload = true;
    onUnload_ = [&](const std::string&) { listsAliveAtUnload = listsAliveAtUnload && program_->Messages(); };
    ASSERT_EQ(start(), Result::Running);

    const std::vector<std::string> expected = {
        "OptionsIni",         "accounts.ini",            "aliases.ini",        "resources.ini",
        "CDomains",           "CSenders",                "CMessages",          "CMailRules",
        "load:AuthSettingsDialog", "load:SystrayMenuForm", "load:RegRequestForm", "load:MessagePreviewForm",
        "load:SMTPProxyForm", "load:POP3ServerForm",     "load:SMTPSpooler",   "load:POP3CollectorForm"};
    EXPECT_EQ(without(events_, "ran:"), expected);
    // Pending events run after each load, before the next window loads.
    for (std::size_t i = 1; i + 1 < mainwindow::EngineSet::kLoadOrder.size(); ++i) {
        const std::string name(mainwindow::EngineSet::kLoadOrder[i]);
        const std::string next(mainwindow::EngineSet::kLoadOrder[i + 1]);
        EXPECT_LT(indexOf(events_, "ran:" + name), indexOf(events_, "load:" + next)) << name;
    }
    const std::string log = programLog();
    EXPECT_EQ(log.find("glimmerpost 1.0 is loading"), log.find(" i ") + 3) << "the first line";
    EXPECT_TRUE(logHas("glimmerpost has been loaded successfuly"));
    EXPECT_EQ(program_->MainForm()->windowTitle(), "Glimmerpost 1.0.0");
    EXPECT_TRUE(program_->MainForm()->loaded());
    EXPECT_NE(MiscFuncs::TrayIcon(), nullptr);

    events_.clear();
    program_->RequestShutDown();
    EXPECT_EQ(eventsOf("unload:"),
              (std::vector<std::string>{"POP3CollectorForm", "POP3ServerForm", "SMTPProxyForm", "SMTPSpooler",
                                        "AuthSettingsDialog", "RegRequestForm", "MessagePreviewForm",
                                        "SystrayMenuForm"}));
    EXPECT_TRUE(listsAliveAtUnload) << "windows go before the lists";
    EXPECT_EQ(program_->Messages(), nullptr);
    EXPECT_EQ(program_->Senders(), nullptr);
    EXPECT_EQ(MiscFuncs::TrayIcon(), nullptr);
    EXPECT_EQ(quitCodes_, std::vector<int>{0});
    EXPECT_TRUE(programLog().ends_with("glimmerpost closed\r\n"));
    program_->RequestShutDown();
    EXPECT_EQ(quitCodes_.size(), 1u) << "the end runs once";
}

TEST_F(ProgramTest, WindowsThatNobodyProvidedAreLoggedOnceAndSkipped) {
    addAccount();
    ASSERT_EQ(start(false), Result::Running);
    for (std::string_view name : mainwindow::EngineSet::kUnloadOrder) {
        const std::size_t expected = name == mainwindow::EngineSet::kTellAFriend ? 0 : 1;
        EXPECT_EQ(logCount(std::string(name) + " is not available"), expected) << name;
    }
    EXPECT_TRUE(logHas("glimmerpost has been loaded successfuly"));
    EXPECT_TRUE(std::filesystem::exists(marker()));
}

TEST_F(ProgramTest, TheMarkerIsWrittenLastAndRemovedAtTheEnd) {
    addAccount();
    bool markerDuringLoads = false, loadedLineDuringLoads = false;
    onLoad_ = [&](const std::string&, mainwindow::GlimmerpostProgram&) {
        markerDuringLoads = markerDuringLoads || std::filesystem::exists(marker());
        loadedLineDuringLoads = loadedLineDuringLoads || logHas("has been loaded successfuly");
    };
    ASSERT_EQ(start(), Result::Running);
    EXPECT_FALSE(markerDuringLoads);
    EXPECT_FALSE(loadedLineDuringLoads);
    EXPECT_EQ(ReadFile(marker()), "12-08-2026 07:52:06\r\n");
    program_->RequestShutDown();
    EXPECT_FALSE(std::filesystem::exists(marker()));
}

TEST_F(ProgramTest, AMarkerLeftByACrashRebuildsTheMessageIndex) {
    addAccount();
    const auto inBox = dir() / "accounts" / kAccount / "MailDir";
    WriteFile(inBox / "InBox" / "friend@example.org 1@x.eml", "From: friend@example.org\r\nSubject: hi\r\n\r\nbody\r\n");
    WriteFile(inBox / "msgcache.txt", "");
    ASSERT_EQ(start(), Result::Running);
    EXPECT_EQ(program_->Messages()->Count(), 0u) << "a clean last run: the cache is believed";
    program_.reset();

    WriteFile(marker(), "12-07-2026 22:10:00\r\n");
    ASSERT_EQ(start(), Result::Running);
    EXPECT_EQ(program_->Messages()->Count(), 1u);
    EXPECT_EQ(ReadFile(marker()), "12-08-2026 07:52:06\r\n");
    program_->RequestShutDown();
    EXPECT_FALSE(std::filesystem::exists(marker()));
    EXPECT_NE(ReadFile(inBox / "msgcache.txt").find("friend@example.org 1@x.eml"), std::string::npos);
}

TEST_F(ProgramTest, NoAccountAfterTheWizardEndsBeforeAnyEngine) {
    mainwindow::GlimmerpostProgram& program = makeProgram();
    QWidget* owner = nullptr;
    int wizardRuns = 0;
    program.SetSetupWizard([&](mainwindow::GlimmerpostProgram& p, QWidget* o) {
        ++wizardRuns;
        owner = o;
        EXPECT_EQ(&p, &program);
        return mainwindow::SetupWizardResult{};
    });
    EXPECT_EQ(program.Start(), Result::Unconfigured);
    EXPECT_EQ(wizardRuns, 1);
    EXPECT_NE(owner, nullptr) << "the main window owns the wizard";
    EXPECT_TRUE(logHas("glimmerpost is closing due to unconfigured accounts"));
    for (std::string_view name : mainwindow::EngineSet::kLoadOrder)
        EXPECT_EQ(indexOf(events_, "load:" + std::string(name)), events_.size()) << name;
    EXPECT_FALSE(std::filesystem::exists(marker()));
    EXPECT_EQ(value("display", "windowstate"), "") << "the window was never laid out";
    EXPECT_FALSE(logHas("has been loaded successfuly"));
    EXPECT_EQ(quitCodes_, std::vector<int>{0});
    EXPECT_TRUE(program.shutDownDone());
}

TEST_F(ProgramTest, AWizardThatAddsAnAccountGoesOnToTheImportAndTheRest) {
    mainwindow::GlimmerpostProgram& program = makeProgram();
    std::vector<std::string> order;
    program.SetSetupWizard([&](mainwindow::GlimmerpostProgram& p, QWidget*) {
        order.push_back("wizard");
        p.AccountsIni().Value(kAccount, "AccountEnabled", "1");
        return mainwindow::SetupWizardResult{true};
    });
    program.SetAddressImport([&](mainwindow::GlimmerpostProgram&, QWidget* owner) {
        order.push_back(owner ? "import" : "import without owner");
    });
    EXPECT_EQ(program.Start(), Result::Running);
    EXPECT_EQ(order, (std::vector<std::string>{"wizard", "import"}));
    EXPECT_TRUE(std::filesystem::is_directory(dir() / "accounts" / kAccount / "MailDir" / "Recycled"));
    EXPECT_TRUE(std::filesystem::exists(marker()));
}

TEST_F(ProgramTest, WithoutAWizardAnUnconfiguredStartSaysSoAndEnds) {
    EXPECT_EQ(start(false), Result::Unconfigured);
    EXPECT_TRUE(logHas("SetupWizard is not available"));
    EXPECT_TRUE(logHas("glimmerpost is closing due to unconfigured accounts"));
}

TEST_F(ProgramTest, RuinedAccountFoldersAreReportedAndRecreated) {
    addAccount(kAccount, false);
    ASSERT_EQ(start(), Result::Running);
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text, Startup::RuinedFoldersText());
    EXPECT_EQ(prompts_[0].caption, "Glimmerpost 1.0.0");
    EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Critical);
    EXPECT_TRUE(logHas("has been loaded successfuly")) << "start-up goes on";
    program_->RequestShutDown();
    prompts_.clear();
    ASSERT_EQ(start(), Result::Running);
    EXPECT_TRUE(prompts_.empty());
}

TEST_F(ProgramTest, AFailureBeforeTheWindowExistsShutsDownInOrderAndExitsNonZero) {
    addAccount(kAccount, false);
    WriteFile(dir() / "accounts", "a file where the accounts folder belongs");
    WriteFile(marker(), "12-07-2026 22:10:00\r\n");
    EXPECT_EQ(start(), Result::Failed);
    EXPECT_EQ(program_->exitCode(), 1);
    EXPECT_EQ(quitCodes_, std::vector<int>{1});
    EXPECT_EQ(program_->MainForm(), nullptr);
    EXPECT_TRUE(eventsOf("load:").empty());
    EXPECT_TRUE(logHas("Error in MainForm::Load "));
    EXPECT_TRUE(programLog().ends_with("glimmerpost closed\r\n"));
    EXPECT_EQ(ReadFile(marker()), "12-07-2026 22:10:00\r\n") << "the caches were not rebuilt: the marker stays";
}

TEST_F(ProgramTest, AFailureOnceTheWindowExistsShowsItWithItsTrayIcon) {
    addAccount();
    setValue("display", "windowstate", "1");
    onLoad_ = [](const std::string& name, mainwindow::GlimmerpostProgram&) {
        if (name == "SMTPProxyForm") throw std::runtime_error("port 3025 is in use");
    };
    ASSERT_EQ(start(), Result::Running);
    EXPECT_TRUE(logHas("Error in MainForm::Load port 3025 is in use"));
    EXPECT_EQ(eventsOf("load:").back(), "SMTPProxyForm") << "the later steps do not run";
    EXPECT_FALSE(logHas("has been loaded successfuly"));
    EXPECT_FALSE(std::filesystem::exists(marker()));
    auto* form = program_->MainForm();
    EXPECT_TRUE(form->isVisible()) << "shown although the last run ended hidden";
    EXPECT_TRUE(form->loaded());
    EXPECT_NE(MiscFuncs::TrayIcon(), nullptr);

    events_.clear();
    program_->RequestShutDown();
    EXPECT_EQ(eventsOf("unload:").front(), "SMTPProxyForm") << "a window that failed half-way is unloaded";
    EXPECT_EQ(quitCodes_, std::vector<int>{0});
    EXPECT_EQ(value("display", "windowstate"), "0");
}

TEST_F(ProgramTest, AShutDownAskedForWhileStartingIsTakenAfterTheStepAtHand) {
    addAccount();
    onLoad_ = [](const std::string& name, mainwindow::GlimmerpostProgram& p) {
        if (name == "POP3ServerForm") p.RequestShutDown();
    };
    EXPECT_EQ(start(), Result::ShutDown);
    EXPECT_EQ(eventsOf("load:").back(), "POP3ServerForm");
    EXPECT_EQ(eventsOf("unload:").front(), "POP3ServerForm");
    EXPECT_FALSE(std::filesystem::exists(marker()));
    EXPECT_FALSE(logHas("has been loaded successfuly"));
    EXPECT_TRUE(programLog().ends_with("glimmerpost closed\r\n"));
    EXPECT_EQ(quitCodes_, std::vector<int>{0});
}

TEST_F(ProgramTest, AShutDownWhileABoxIsOpenClosesTheBox) {
    addAccount(kAccount, false);
    bool boxLeftOpen = false;
    answerer_ = [&](const Prompt::Request&) {
        QMessageBox box(QMessageBox::Critical, "Glimmerpost", "folders");
        QTimer::singleShot(0, &box, [&] { program_->RequestShutDown(); });
        QTimer::singleShot(5000, &box, [&] {
            boxLeftOpen = true;
            box.close();
        });
        box.exec();
        return Prompt::Answer::OK;
    };
    EXPECT_EQ(start(), Result::ShutDown);
    EXPECT_FALSE(boxLeftOpen);
    EXPECT_TRUE(eventsOf("load:").size() == 1u) << "only the dialog before the box";
}

TEST_F(ProgramTest, ALaterStartDuringStartUpBringsTheWindowForwardAfterIt) {
    addAccount();
    onLoad_ = [](const std::string& name, mainwindow::GlimmerpostProgram& p) {
        if (name == "SMTPSpooler") p.ActivateFromOtherInstance();
    };
    ASSERT_EQ(start(), Result::Running);
    EXPECT_TRUE(program_->MainForm()->isVisible()) << "a first start would stay in the tray";
}

}  // namespace
