#include "core/StartupFiles.h"

#include <string>
#include <vector>

#include "TempFolder.h"
#include "core/DisplaySettings.h"
#include "core/ProgramFiles.h"
#include "core/ProgramSettings.h"
#include "core/Prompt.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;
namespace fs = std::filesystem;

class StartupFilesTest : public testing_support::TempFolderTest {
protected:
    void TearDown() override {
        Prompt::SetPrompt(nullptr);
        TempFolderTest::TearDown();
    }
    void recordPrompts() {
        Prompt::SetPrompt([this](const Prompt::Request& r) {
            prompts_.push_back(r);
            return Prompt::Answer::OK;
        });
    }
    std::vector<Prompt::Request> prompts_;
};

TEST(StartupTextsTest, LogLinesAreExact) {
    EXPECT_EQ(Startup::LoadingLogText(), "glimmerpost 1.0 is loading");
    EXPECT_EQ(Startup::ClosingUnconfiguredLogText(), "glimmerpost is closing due to unconfigured accounts");
    EXPECT_EQ(Startup::LoadedLogText(), "glimmerpost has been loaded successfuly");
    EXPECT_EQ(Startup::ClosedLogText(), "glimmerpost closed");
}

TEST(StartupRuleTest, SectionTextLengthDecidesWizardAndClosing) {
    using std::string_literals::operator""s;
    struct Case { std::string text; bool wizard, closes; };
    const Case cases[] = {
        {"", true, true},
        {"ab", true, true},
        {"  ab  ", true, true},
        {"abc", true, false},  // the wizard runs, but the program does not close
        {"a\0b\0c"s, false, false},
        {"bob@example.com", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Startup::NeedsSetupWizard(c.text), c.wizard) << c.text;
        EXPECT_EQ(Startup::ClosesUnconfigured(c.text), c.closes) << c.text;
    }
}

TEST_F(StartupFilesTest, ARuleOnTheFileItself) {
    CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    EXPECT_TRUE(Startup::NeedsSetupWizard(accounts));
    EXPECT_TRUE(Startup::ClosesUnconfigured(accounts));
    accounts.Value("me@example.com", "DisplayName", "Me");
    EXPECT_FALSE(Startup::NeedsSetupWizard(accounts));
    EXPECT_FALSE(Startup::ClosesUnconfigured(accounts));
}

TEST_F(StartupFilesTest, CheckAccountFoldersCreatesTheMissingFoldersAndLogs) {
    MiscFuncs::SetLogLevel(4);
    recordPrompts();
    WriteFile(ProgramFiles::AccountsIniPath(), "[a@x.com]\r\nDisplayName=A\r\n[b@x.com]\r\nDisplayName=B\r\n");
    const CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    const ProgramSettings settings;
    ASSERT_TRUE(Startup::EnsureAccountsFolder());
    EXPECT_FALSE(Startup::CheckAccountFolders(accounts, settings));
    for (const char* account : {"a@x.com", "b@x.com"})
        for (const char* sub : {"MailDir/InBox", "MailDir/OutBox", "MailDir/WaitingAuth", "MailDir/Recycled"})
            EXPECT_TRUE(fs::is_directory(ProgramFiles::InAccountsFolder(account) / sub)) << account << " " << sub;
    const std::string log = programLog();
    EXPECT_NE(log.find("  i Checking account directory structure:a@x.com\r\n"), std::string::npos);
    EXPECT_NE(log.find("  i Checking account directory structure:b@x.com\r\n"), std::string::npos);
    EXPECT_TRUE(prompts_.empty());

    EXPECT_TRUE(Startup::CheckAccountFolders(accounts, settings));  // nothing missing now
    fs::remove(ProgramFiles::InAccountsFolder("b@x.com") / "MailDir" / "Recycled");
    EXPECT_FALSE(Startup::CheckAccountFolders(accounts, settings));
}

TEST_F(StartupFilesTest, CheckAccountFoldersWarnsWhenTheOutBoxHoldsTooManyMails) {
    recordPrompts();
    WriteFile(ProgramFiles::AccountsIniPath(), "[a@x.com]\r\nK=1\r\n[b@x.com]\r\nK=1\r\n");
    WriteFile(ProgramFiles::OptionsIniPath(), "[options]\r\nMaxUnsentMessages=2\r\n");
    const fs::path outA = ProgramFiles::InAccountsFolder("a@x.com") / "MailDir" / "OutBox";
    const fs::path outB = ProgramFiles::InAccountsFolder("b@x.com") / "MailDir" / "OutBox";
    for (const char* f : {"1.eml", "2.EML", "3.eml", "parked.emr"}) WriteFile(outA / f, "x");
    for (const char* f : {"1.eml", "2.eml"}) WriteFile(outB / f, "x");  // at the limit: no warning
    EXPECT_EQ(Startup::CountOutBoxMessages("a@x.com"), 3u);

    const CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    Startup::CheckAccountFolders(accounts, ProgramSettings());
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text, "You have 3 unsent registration requests and confirmations from a@x.com\r\n"
                                "Please check settings of your SMTP server");
    EXPECT_EQ(prompts_[0].caption, "Possible misconfiguration...");
    EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Critical);
    EXPECT_EQ(prompts_[0].buttons, Prompt::Buttons::OK);
}

TEST_F(StartupFilesTest, AnAccountNameThatIsNoFolderNameIsSkipped) {
    WriteFile(ProgramFiles::AccountsIniPath(), "[../outside]\r\nK=1\r\n");
    const CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    EXPECT_FALSE(Startup::CheckAccountFolders(accounts, ProgramSettings()));
    EXPECT_FALSE(fs::exists(dir() / "outside"));
}

TEST_F(StartupFilesTest, RunningMarkerIsWrittenFoundAndDeleted) {
    EXPECT_FALSE(Startup::RunningMarkerExists());
    ASSERT_TRUE(Startup::WriteRunningMarker());
    EXPECT_TRUE(Startup::RunningMarkerExists());
    EXPECT_EQ(ReadFile(dir() / "glpcs.flg"), "12-08-2026 07:52:06\r\n");
    ASSERT_TRUE(Startup::WriteRunningMarker());  // replaced, not appended
    EXPECT_EQ(ReadFile(dir() / "glpcs.flg"), "12-08-2026 07:52:06\r\n");
    ASSERT_TRUE(Startup::DeleteRunningMarker());
    EXPECT_FALSE(Startup::RunningMarkerExists());
    EXPECT_TRUE(Startup::DeleteRunningMarker());
}

TEST(DisplayRuleTest, StartsHiddenUnlessBothConvertAndNeitherIsOne) {
    struct Case { const char* windowState; const char* startWithWindows; bool hidden; };
    const Case cases[] = {
        {"0", "0", false}, {"1", "0", true},  {"0", "1", true},   {"1", "1", true},
        {"0", "", true},   {"", "0", true},   {"", "", true},     {"0", "yes", true},
        {"2", "0", false}, {"0", " 0 ", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Display::StartsHidden(c.windowState, c.startWithWindows), c.hidden)
            << '"' << c.windowState << "\" \"" << c.startWithWindows << '"';
}

TEST_F(StartupFilesTest, DisplayStateRoundTrips) {
    CIniFile options(ProgramFiles::OptionsIniPath().string());
    EXPECT_TRUE(Display::StartsHidden(options));  // the very first start
    const Display::WindowGeometry none = Display::ReadWindowGeometry(options);
    EXPECT_FALSE(none.width || none.height || none.left || none.top);

    options.Value("options", "StartWithWindows", "0");
    ASSERT_TRUE(Display::WriteWindowState(options, -8, 40, 1024, 700, false));
    EXPECT_EQ(ReadFile(ProgramFiles::OptionsIniPath()),
              "[options]\r\nStartWithWindows=0\r\n[display]\r\nstartupy=40\r\nstartupx=-8\r\nstartupw=1024\r\n"
              "startuph=700\r\nwindowstate=0\r\n");
    const Display::WindowGeometry g = Display::ReadWindowGeometry(options);
    EXPECT_EQ(g.left, -8);
    EXPECT_EQ(g.top, 40);
    EXPECT_EQ(g.width, 1024);
    EXPECT_EQ(g.height, 700);
    EXPECT_FALSE(Display::StartsHidden(options));
    ASSERT_TRUE(Display::WriteWindowState(options, 0, 0, 800, 600, true));
    EXPECT_TRUE(Display::StartsHidden(options));  // shut down while in the tray

    options.Value("display", "startupw", "wide");
    options.Value("display", "startuph", "99999999999");
    options.Value("display", "startupx", "12.6");
    const Display::WindowGeometry partial = Display::ReadWindowGeometry(options);
    EXPECT_FALSE(partial.width);
    EXPECT_FALSE(partial.height);
    EXPECT_EQ(partial.left, 13);
    EXPECT_EQ(partial.top, 0);

    EXPECT_FALSE(Display::TrayCloseMsgShown(options));
    ASSERT_TRUE(Display::SetTrayCloseMsgShown(options));
    EXPECT_TRUE(Display::TrayCloseMsgShown(options));
    EXPECT_EQ(options.Value("display", "TrayCloseMsgShow"), "1");
}

}  // namespace

