// What start-up does with the window and the settings: shown or in the tray, the
// [display] round trip, missing settings, LogLevel, the pages' refills on the lists'
// Change events, the close-to-tray notice, and a picture of the started window.
#include <QPixmap>

#include <optional>

#include "ProgramTestSupport.h"
#include "core/CDomains.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/Log.h"

namespace {

using Result = mainwindow::GlimmerpostProgram::StartResult;
using testing_support::kAccount;
using testing_support::ProgramTest;
using testing_support::WriteFile;

TEST_F(ProgramTest, TheWindowStartsShownOrInTheTrayAsTheLastRunAndTheSettingsSay) {
    struct Row {
        std::optional<std::string> windowState, startWithWindows;
        bool tray;
        bool shown;
    };
    const Row rows[] = {
        {"0", "0", true, true},
        {"1", "0", true, false},
        {"0", "1", true, false},
        {std::nullopt, "0", true, false},  // the very first start
        {"0", std::nullopt, true, false},
        {"0", "yes", true, false},
        {"1", "1", false, true},  // without a tray the window is never out of reach
    };
    addAccount();
    for (const Row& row : rows) {
        CIniFile options(ProgramFiles::OptionsIniPath().string());
        options.ClearSection("display");
        options.DeleteKey("options", "StartWithWindows");
        if (row.windowState) options.Value("display", "windowstate", *row.windowState);
        if (row.startWithWindows) options.Value("options", "StartWithWindows", *row.startWithWindows);
        trayAvailable_ = row.tray;
        const std::string label = row.windowState.value_or("-") + "/" + row.startWithWindows.value_or("-");
        ASSERT_EQ(start(), Result::Running) << label;
        EXPECT_EQ(program_->MainForm()->isVisible(), row.shown) << label;
        EXPECT_TRUE(program_->MainForm()->loaded()) << label;
        program_->RequestShutDown();
    }
}

TEST_F(ProgramTest, DisplayComesBackAfterAStartAndAShutDown) {
    addAccount();
    setValue("display", "startupw", "760");
    setValue("display", "startuph", "540");
    setValue("display", "startupx", "12");
    setValue("display", "startupy", "34");
    setValue("display", "windowstate", "1");
    setValue("options", "StartWithWindows", "0");
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(start(), Result::Running);
        auto* form = program_->MainForm();
        EXPECT_FALSE(form->isVisible()) << "hidden at shut-down, hidden again";
        EXPECT_EQ(form->size(), QSize(760, 540));
        EXPECT_EQ(form->pos(), QPoint(12, 34));
        program_->RequestShutDown();
        EXPECT_EQ(value("display", "startupw"), "760");
        EXPECT_EQ(value("display", "startuph"), "540");
        EXPECT_EQ(value("display", "startupx"), "12");
        EXPECT_EQ(value("display", "startupy"), "34");
        EXPECT_EQ(value("display", "windowstate"), "1");
    }

    setValue("display", "windowstate", "0");
    ASSERT_EQ(start(), Result::Running);
    auto* form = program_->MainForm();
    ASSERT_TRUE(form->isVisible());
    const mainwindow::WindowGeometry g = form->recordedGeometry();
    program_->RequestShutDown();
    EXPECT_EQ(value("display", "windowstate"), "0");
    EXPECT_EQ(value("display", "startupw"), std::to_string(g.width));
    EXPECT_EQ(value("display", "startupy"), std::to_string(g.y));
}

TEST_F(ProgramTest, ASettingsFileWithEveryKeyMissingStartsOnTheDefaults) {
    addAccount();
    ASSERT_FALSE(std::filesystem::exists(ProgramFiles::OptionsIniPath()));
    ASSERT_EQ(start(), Result::Running);
    EXPECT_EQ(program_->LocalPOP3Port(), 3110);
    EXPECT_EQ(program_->LocalSMTPPort(), 3025);
    EXPECT_EQ(MiscFuncs::LogLevel(), 0);
    EXPECT_FALSE(program_->MainForm()->isVisible()) << "a first start goes to the tray";
    EXPECT_TRUE(std::filesystem::exists(marker()));
    program_->RequestShutDown();
    EXPECT_EQ(value("display", "windowstate"), "1");
}

TEST_F(ProgramTest, LogLevelIsTakenWhenItIsASixteenBitNumberElseTheDefault) {
    const std::pair<std::string, int> rows[] = {{"", 0}, {"abc", 0}, {"4", 4}, {"70000", 0}, {"-3", -3}, {" 2 ", 2}};
    addAccount();
    for (const auto& [text, level] : rows) {
        setValue("options", "LogLevel", text);
        WriteFile(dir() / "glplog.txt", "");
        ASSERT_EQ(start(), Result::Running) << text;
        EXPECT_EQ(MiscFuncs::LogLevel(), level) << text;
        EXPECT_EQ(logHas("Checking account directory structure:me@example.com"), level >= 4) << text;
        EXPECT_EQ(logHas("has been loaded successfuly"), level >= 0) << text;
        EXPECT_TRUE(std::filesystem::exists(marker())) << text << ": the start is complete";
        program_->RequestShutDown();
    }
}

TEST_F(ProgramTest, TheListsChangeEventsRefillTheirPages) {
    addAccount();
    int senders = 0, domains = 0, rules = 0;
    auto& program = makeProgram();
    program.Views().fillSenders = [&](mainwindow::GlimmerpostProgram&) { ++senders; };
    program.Views().fillDomains = [&](mainwindow::GlimmerpostProgram&) { ++domains; };
    program.Views().fillRules = [&](mainwindow::GlimmerpostProgram&) { ++rules; };
    ASSERT_EQ(program.Start(), Result::Running);
    EXPECT_EQ(std::vector<int>({senders, domains, rules}), std::vector<int>({1, 1, 1})) << "filled once at start";

    program.Domains()->SetStatus("example.net", DomainStatus::Approved, "partner");
    EXPECT_EQ(domains, 2);
    program.Senders()->SetStatus("", "friend@example.org", SenderStatus::Approved, "by hand");
    EXPECT_EQ(senders, 2);
    WriteFile(dir() / "accounts" / kAccount / "MailDir" / "InBox" / "friend@example.org 2@x.eml",
              "From: friend@example.org\r\nSubject: hi\r\n\r\nbody\r\n");
    program.Messages()->AddMessage(kAccount, "friend@example.org 2@x.eml", "MailDir\\InBox");
    EXPECT_EQ(senders, 3) << "the message store's page is page 1";
    EXPECT_EQ(program.MainForm()->activity().status().state, mainwindow::TrayState::Rest);

    program.RequestShutDown();
    EXPECT_EQ(std::vector<int>({senders, domains, rules}), std::vector<int>({3, 2, 1})) << "no refill at the end";
}

TEST_F(ProgramTest, TheCloseBoxNoticeIsShownOnlyTheFirstTimeEver) {
    addAccount();
    setValue("display", "windowstate", "0");
    setValue("options", "StartWithWindows", "0");
    for (int run = 0; run < 2; ++run) {
        prompts_.clear();
        ASSERT_EQ(start(), Result::Running);
        program_->MainForm()->close();
        EXPECT_FALSE(program_->MainForm()->isVisible());
        EXPECT_EQ(prompts_.size(), run == 0 ? 1u : 0u) << run;
        EXPECT_EQ(value("display", "TrayCloseMsgShow"), "1");
        EXPECT_FALSE(program_->shutDownDone()) << "the close box only hides";
        program_->RequestShutDown();
    }
}

}  // namespace
