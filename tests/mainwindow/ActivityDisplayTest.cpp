#include "mainwindow/ActivityDisplay.h"

#include <gtest/gtest.h>

#include <QPixmap>

#include <filesystem>

#include "mainwindow/MainPictures.h"
#include "mainwindow/MainStatusBar.h"
#include "platform/TrayIcon.h"
#include "support/Screenshot.h"

namespace {

using mainwindow::ActivityDisplay;
using mainwindow::TrayState;

class ActivityDisplayTest : public ::testing::Test {
protected:
    void SetUp() override {
        MiscFuncs::AddTrayIcon(&form_, "Glimmerpost", QIcon(mainwindow::TrayPicture("R")));
        display_.setWaitingSenders([this] { return waiting_; });
    }
    void TearDown() override { MiscFuncs::RemoveTrayIcon(); }

    // Fires the animation timer until the icon rests or `limit` ticks have run;
    // returns the pictures shown on the way.
    std::vector<std::string> tickUntilRest(int limit = 20) {
        std::vector<std::string> shown;
        for (int i = 0; i < limit && display_.trayTimer().armed(); ++i) {
            display_.trayTimer().fire();
            shown.push_back(display_.shownPicture());
        }
        return shown;
    }
    QString iconTip() const { return MiscFuncs::TrayIcon()->toolTip(); }
    TrayState state() const { return display_.status().state; }

    QWidget form_;
    mainwindow::MainStatusBar bar_;
    ActivityDisplay display_{&form_, &bar_};
    int waiting_ = 0;
};

TEST_F(ActivityDisplayTest, CollectionWithoutMailAnimatesThenRestsAndClearsThePanelLater) {
    display_.POP3SessionStarted();
    EXPECT_EQ(state(), TrayState::Collecting);
    EXPECT_EQ(bar_.panelText("GetMail"), "Checking for new mail");
    EXPECT_EQ(bar_.panelPicture("GetMail"), "GetMail");
    EXPECT_EQ(display_.trayTimer().interval(), 125);
    for (const char* frame : {"D1", "D2", "D3"}) {
        ASSERT_TRUE(display_.trayTimer().fire());
        EXPECT_EQ(display_.shownPicture(), frame);
    }
    EXPECT_EQ(iconTip(), "Glimmerpost - Checking for new mail");

    display_.POP3SessionEnded(0);
    EXPECT_EQ(bar_.panelText("GetMail"), "No new messages");
    EXPECT_EQ(bar_.panelPicture("GetMail"), "");
    EXPECT_EQ(state(), TrayState::Collecting) << "the frames are finished first";
    const std::vector<std::string> rest = tickUntilRest();
    EXPECT_EQ(rest, (std::vector<std::string>{"D4", "R"}));
    EXPECT_EQ(state(), TrayState::Rest);
    EXPECT_FALSE(display_.trayTimer().enabled());
    EXPECT_EQ(iconTip(), "Glimmerpost");

    EXPECT_EQ(display_.statusBarGetTimer().interval(), 30000);
    ASSERT_TRUE(display_.statusBarGetTimer().fire());
    EXPECT_EQ(bar_.panelText("GetMail"), "");
    EXPECT_FALSE(display_.statusBarGetTimer().enabled()) << "it fires once";
}

// A refused login is no "No new messages": the failure stays in view until the
// account's next session succeeds.
TEST_F(ActivityDisplayTest, AFailedCollectionShowsWhyUntilTheAccountSucceeds) {
    const std::string failure = "Collecting me@home.test failed: the server refused: -ERR <b>Authentication</b> failed.";
    display_.POP3SessionStarted();
    display_.POP3AccountResult("me@home.test", "the server refused: -ERR <b>Authentication</b> failed.");
    display_.POP3SessionEnded(0);
    EXPECT_EQ(bar_.panelText("GetMail").toStdString(), failure) << "plain text, as the server wrote it";
    tickUntilRest();
    EXPECT_EQ(iconTip().toStdString(), "Glimmerpost - me@home.test failed: the server refused: -ERR ...")
        << "within the tip's limit, the cut marked";
    ASSERT_TRUE(display_.statusBarGetTimer().fire());
    EXPECT_EQ(bar_.panelText("GetMail").toStdString(), failure) << "the rest keeps it";
    bar_.resize(760, bar_.sizeHint().height());
    EXPECT_TRUE(testing_support::SaveScreenshot(bar_, "statusbar-failure.png"));

    // Another account fails too, then the first one succeeds.
    display_.POP3AccountResult("other@home.test", "the server could not be reached: Connection refused");
    display_.POP3SessionEnded(0);
    EXPECT_EQ(bar_.panelText("GetMail").toStdString(),
              "Collecting other@home.test failed: the server could not be reached: Connection refused (and 1 more "
              "account(s))");
    EXPECT_EQ(display_.failureDetails(),
              "Collecting me@home.test failed: the server refused: -ERR <b>Authentication</b> failed.\n"
              "Collecting other@home.test failed: the server could not be reached: Connection refused");
    display_.POP3AccountResult("other@home.test", "");
    display_.POP3AccountResult("me@home.test", "");
    EXPECT_EQ(display_.failureDetails(), "");
    display_.POP3SessionEnded(0);
    EXPECT_EQ(bar_.panelText("GetMail"), "No new messages");
    EXPECT_EQ(display_.failureText(), "");
}

// The icon's tip holds 63 characters: it always names the account and says it failed.
TEST(FailureTrayTipTest, TheAccountAndFailedAlwaysFitTheTip) {
    const std::string longAccount = std::string(70, 'a') + "@home.test";
    const struct {
        std::string account, why, before, expected;
    } cases[] = {
        {"me@home.test", "no reply", "Glimmerpost - ", "Glimmerpost - me@home.test failed: no reply"},
        {"me@home.test", "", "Glimmerpost - ", "Glimmerpost - me@home.test failed"},
        {"me@home.test", std::string(80, 'x'), "Glimmerpost - ",
         "Glimmerpost - me@home.test failed: " + std::string(25, 'x') + "..."},
        {"a<b>@home.test", "<i>", "Glimmerpost - ", "Glimmerpost - a b @home.test failed:  i "},
        // The cut falls inside the two bytes of an "é": the whole letter goes.
        {"me@home.test", std::string(24, 'x') + "\xC3\xA9yyyy", "Glimmerpost - ",
         "Glimmerpost - me@home.test failed: " + std::string(24, 'x') + "..."},
        {std::string(43, 'b') + "@x.test", "why", "Glimmerpost - ", std::string(43, 'b') + "@x.test failed"},
        {longAccount, "why", "Glimmerpost - ", longAccount.substr(0, 53) + "... failed"},
        {"me@home.test", "why", "Glimmerpost - 3 new message(s); ",
         "Glimmerpost - 3 new message(s); me@home.test failed: why"},
    };
    for (const auto& c : cases) {
        const std::string tip = mainwindow::FailureTrayTip(c.account, c.why, c.before);
        EXPECT_EQ(tip, c.expected) << c.account;
        EXPECT_LE(tip.size(), MiscFuncs::kTrayTipLength);
        EXPECT_NE(tip.find(" failed"), std::string::npos);
    }
}

TEST_F(ActivityDisplayTest, NewMailStopsTheCollectionAtOnceAndEndsInWaitingOrRest) {
    display_.POP3SessionStarted();
    display_.trayTimer().fire();
    display_.POP3SessionEnded(3);
    EXPECT_EQ(bar_.panelText("GetMail"), "3 new message(s)");
    EXPECT_EQ(bar_.panelPicture("GetMail"), "NewMessages");
    EXPECT_EQ(state(), TrayState::NewMail);
    EXPECT_EQ(display_.shownPicture(), "R") << "the collection's animation stopped at once";
    EXPECT_EQ(display_.trayTimer().interval(), 400);
    EXPECT_EQ(iconTip(), "Glimmerpost - 3 new message(s)");
    // Without the rest request the new-mail animation loops.
    for (int i = 0; i < 6; ++i) display_.trayTimer().fire();
    EXPECT_EQ(state(), TrayState::NewMail);

    waiting_ = 2;
    display_.statusBarGetTimer().fire();
    for (int i = 0; i < 4 && state() == TrayState::NewMail; ++i) display_.trayTimer().fire();
    EXPECT_EQ(state(), TrayState::Approval);
    EXPECT_EQ(display_.trayTimer().interval(), 400);
    EXPECT_TRUE(display_.trayTimer().enabled());
    EXPECT_EQ(display_.tip(), "There are 2 users waiting approval");
    display_.trayTimer().fire();
    EXPECT_EQ(display_.shownPicture(), "A1");
    EXPECT_EQ(iconTip(), "There are 2 users waiting approval");

    waiting_ = 0;
    display_.SMTPSessionEnded();
    tickUntilRest();
    EXPECT_EQ(state(), TrayState::Rest);
    EXPECT_EQ(display_.shownPicture(), "R");
}

TEST_F(ActivityDisplayTest, SendingDuringACollectionKeepsTheCollectionsIcon) {
    display_.POP3SessionStarted();
    display_.SMTPSessionStarted();
    EXPECT_EQ(state(), TrayState::Collecting);
    EXPECT_EQ(bar_.panelText("SendMail"), "Sending mail");
    EXPECT_EQ(bar_.panelPicture("SendMail"), "SendMail");
    display_.trayTimer().fire();
    EXPECT_EQ(display_.shownPicture(), "D1");

    display_.SMTPSessionEnded();
    EXPECT_EQ(bar_.panelText("SendMail"), "");
    EXPECT_EQ(bar_.panelPicture("SendMail"), "");
    const std::vector<std::string> rest = tickUntilRest();
    EXPECT_EQ(rest, (std::vector<std::string>{"D2", "D3", "D4", "R"}));
}

TEST_F(ActivityDisplayTest, NextAccountsNewMailAnimatesAfterAnEarlierAccountRested) {
    display_.POP3SessionStarted();  // account 1
    display_.POP3SessionStarted();  // account 2, while the icon already collects
    display_.POP3SessionEnded(0);
    tickUntilRest();
    ASSERT_EQ(state(), TrayState::Rest);

    display_.POP3SessionEnded(2);
    EXPECT_EQ(state(), TrayState::NewMail);
    ASSERT_TRUE(display_.trayTimer().fire());
    EXPECT_EQ(display_.shownPicture(), "N1");

    // Rest at once leaves the icon responsive to the next session.
    display_.SetTrayState("RI", "Glimmerpost");
    EXPECT_EQ(state(), TrayState::Rest);
    display_.POP3SessionStarted();
    EXPECT_EQ(state(), TrayState::Collecting);
    EXPECT_EQ(display_.trayTimer().interval(), 125);
}

TEST_F(ActivityDisplayTest, UnknownStateTextChangesOnlyTheTip) {
    display_.POP3SessionStarted();
    const mainwindow::TrayStatus before = display_.status();
    display_.SetTrayState("Z", "some tip");
    EXPECT_EQ(display_.status(), before);
    EXPECT_EQ(display_.tip(), "some tip");
}

TEST(TrayPicturesTest, EveryAnimationHasFramesFromOneWithoutGaps) {
    EXPECT_FALSE(mainwindow::TrayPicture("R").isNull());
    for (TrayState s : {TrayState::Collecting, TrayState::Sending, TrayState::NewMail, TrayState::Approval}) {
        const int frames = mainwindow::TrayFrameCount(s);
        EXPECT_GE(frames, 2) << mainwindow::TrayStateText(s);
        EXPECT_TRUE(mainwindow::TrayPicture(mainwindow::TrayFrameKey(s, frames + 1)).isNull());
    }
    for (const char* key : {"GetMail", "SendMail", "NewMessages"})
        EXPECT_FALSE(mainwindow::StatusBarPicture(key).isNull()) << key;
}

}  // namespace
