// Closing the main window: the close box, the exit question, the orderly end, and the
// desktop without a tray.
#include <QTest>

#include "MainFormTestSupport.h"
#include <csignal>

#include "mainwindow/ActivityDisplay.h"
#include "platform/ShutdownRequests.h"

namespace {

using testing_support::MainFormTest;

constexpr const char* kNotice =
    "To close application please Right-click on the icon in the tray, and select \"Close Glimmerpost\"";
constexpr const char* kQuestion = "Are you sure you want to close Glimmerpost?";

TEST_F(MainFormTest, CloseBoxHidesInTheTrayWithTheNoticeOnlyTheFirstTimeEver) {
    auto& form = startedForm();
    EXPECT_FALSE(form.close());
    EXPECT_FALSE(form.isVisible());
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text, kNotice);
    EXPECT_EQ(prompts_[0].caption, "Glimmerpost 1.0.7");
    EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Information);
    EXPECT_EQ(prompts_[0].buttons, Prompt::Buttons::OK);
    EXPECT_EQ(options_->Value("display", "TrayCloseMsgShow"), "1");

    form.mOpen_Click();
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.close());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(prompts_.size(), 1u);

    // The next run reads the flag and stays silent too.
    form_.reset();
    auto& next = startedForm();
    EXPECT_FALSE(next.close());
    EXPECT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(calls("shutDown"), 0);
}

TEST_F(MainFormTest, ExitAnsweredNoLeavesEverythingAsItWas) {
    auto& form = startedForm();
    form.POP3SessionStarted();
    const mainwindow::TrayStatus before = form.activity().status();
    answer_ = Prompt::Answer::No;
    form.mExit_Click();
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text, kQuestion);
    EXPECT_EQ(prompts_[0].buttons, Prompt::Buttons::YesNo);
    EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Question);
    EXPECT_EQ(calls("shutDown"), 0);
    EXPECT_EQ(calls("quit"), 0);
    EXPECT_TRUE(form.isVisible());
    EXPECT_NE(MiscFuncs::TrayIcon(), nullptr);
    EXPECT_EQ(form.activity().status(), before);
    EXPECT_TRUE(form.activity().trayTimer().enabled());
}

TEST_F(MainFormTest, ExitAnsweredYesShutsDownOnceAndRemovesTheIcon) {
    auto& form = startedForm();
    form.POP3SessionStarted();
    form.mExit_Click();
    EXPECT_EQ(calls("shutDown"), 0) << "not inside the handler that asked";
    EXPECT_FALSE(form.shutDownDone());
    platform::PumpEvents();
    EXPECT_EQ(calls("shutDown"), 1);
    EXPECT_EQ(calls("quit"), 1);
    EXPECT_TRUE(form.shutDownDone());
    EXPECT_EQ(MiscFuncs::TrayIcon(), nullptr);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.activity().trayTimer().enabled());
    EXPECT_FALSE(form.activity().statusBarGetTimer().enabled());

    form.ShutDown();
    form.mExit_Click();
    platform::PumpEvents();
    EXPECT_EQ(calls("shutDown"), 1) << "the orderly end runs once";
}

TEST_F(MainFormTest, OrderlyEndAsksNothingAndSeesTheWindowAsItWas) {
    bool hiddenAtShutDown = true;
    auto hooks = countingHooks();
    hooks.shutDown = [&] { hiddenAtShutDown = form_->hiddenOrMinimised(); };
    auto& form = makeForm(hooks);
    form.ShowAtStart(false);
    form.MarkLoaded();
    form.ShutDown();
    EXPECT_TRUE(prompts_.empty());
    EXPECT_FALSE(hiddenAtShutDown) << "the shut-down hook runs before the window closes";
    EXPECT_EQ(calls("quit"), 1);
}

TEST_F(MainFormTest, BeforeStartUpHasEndedACloseGoesThroughUnasked) {
    auto& form = makeForm();
    form.show();
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(prompts_.empty());
    EXPECT_EQ(calls("shutDown"), 0);
}

TEST_F(MainFormTest, WithoutATrayTheWindowIsNeverOutOfReach) {
    trayAvailable_ = false;
    auto& form = makeForm();
    form.ShowAtStart(true);
    EXPECT_TRUE(form.isVisible()) << "starting hidden needs a tray";
    form.MarkLoaded();
    form.AddTrayIcon();

    form.showMinimized();
    platform::PumpEvents();
    EXPECT_TRUE(form.isVisible()) << "minimised into the task bar, not hidden";
    form.showNormal();

    answer_ = Prompt::Answer::No;
    EXPECT_FALSE(form.close());
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text, kQuestion);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(calls("shutDown"), 0);

    answer_ = Prompt::Answer::Yes;
    form.close();
    EXPECT_EQ(calls("shutDown"), 0) << "not inside the close handler";
    platform::PumpEvents();
    EXPECT_EQ(calls("shutDown"), 1);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(MainFormTest, WithATrayMinimisingHidesAndStartingHiddenStaysInTheTray) {
    auto& form = makeForm();
    form.ShowAtStart(true);
    EXPECT_FALSE(form.isVisible());
    form.MarkLoaded();
    form.ShowAtStart(false);
    form.showMinimized();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 2000));
    EXPECT_TRUE(form.hiddenOrMinimised());
    form.mOpen_Click();
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.isMinimized());
}

}  // namespace

namespace {

TEST_F(MainFormTest, TerminationSignalTakesTheOrderlyEndWithoutAQuestion) {
    auto& form = startedForm();
    platform::ShutdownRequests requests([&] { form.ShutDown(); });
    ASSERT_TRUE(requests.watchSignals({SIGTERM}));
    std::raise(SIGTERM);
    EXPECT_TRUE(platform::WaitUntil([&] { return form.shutDownDone(); }, 2000));
    EXPECT_TRUE(prompts_.empty());
    EXPECT_EQ(calls("shutDown"), 1);
    EXPECT_EQ(MiscFuncs::TrayIcon(), nullptr);
}

}  // namespace
