// Draws the main window offscreen, with its pages attached and some held mail, as a
// user sees it: mainwindow-started.png right after the start, mainwindow.png (page 1,
// with mail activity in the status bar) and mainwindow-options.png (page 4), in the
// build folder, so that a reviewer can look at them.
#include <QPixmap>

#include "SendersPageFixture.h"
#include "platform/ProgressDisplay.h"
#include "support/Screenshot.h"

namespace {

using testing_support::SaveScreenshot;
using testing_support::SendersPageTest;

class MainWindowScreenshotTest : public SendersPageTest {
protected:
    void heldMail() {
        MiscFuncs::SetClock([] { return MiscFuncs::LocalTime{2026, 12, 7, 9, 30, 0}; });
        const int fills = view().fillCount();
        sender("anna.meyer@example.org", SenderStatus::Unknown, "Message received from unknown sender");
        sender("orders@shop.example.com", SenderStatus::Unknown, "Message received from unknown sender");
        message("anna.meyer@example.org", "1", "WaitingAuth", "Minutes of Tuesday's meeting");
        message("orders@shop.example.com", "2", "WaitingAuth", "Your order has shipped");
        ASSERT_TRUE(refilled(fills));
        grid().SetSelection(0, 0);
        platform::PumpEvents();
    }
};

TEST_F(MainWindowScreenshotTest, ScreenshotOfTheStartedProgram) {
    setValue("display", "windowstate", "0");
    setValue("options", "StartWithWindows", "0");
    auto& program = startWithPages();
    auto* form = program.MainForm();
    ASSERT_TRUE(form->isVisible());
    heldMail();
    EXPECT_TRUE(SaveScreenshot(*form, "mainwindow-started.png"));
}

TEST_F(MainWindowScreenshotTest, ScreenshotOfTheFrame) {
    auto& form = *startWithPages().MainForm();
    heldMail();
    form.SetListIcons();
    form.POP3SessionStarted();
    form.SMTPSessionStarted();
    form.POP3SessionEnded(3);
    modProgress::ShowCollectProgress();
    modProgress::SetCollectProgressText("Fetched msg 2 of 5");
    modProgress::SetCollectProgressMax(5);
    modProgress::SetCollectProgressValue(2);
    platform::PumpEvents();
    EXPECT_TRUE(SaveScreenshot(form, "mainwindow.png"));

    modProgress::HideCollectProgress();
    form.ShowPage(4);
    platform::PumpEvents();
    EXPECT_TRUE(SaveScreenshot(form, "mainwindow-options.png"));
}

}  // namespace
