// Draws the main window frame offscreen and saves it as mainwindow.png (page 1, with
// some mail activity) and mainwindow-options.png (page 4) in the build folder, so that
// a reviewer can look at the frame.
#include <QPixmap>

#include <filesystem>

#include "MainFormTestSupport.h"
#include "platform/ProgressDisplay.h"
#include "support/Screenshot.h"

namespace {

using testing_support::MainFormTest;

using testing_support::SaveScreenshot;

TEST_F(MainFormTest, ScreenshotOfTheFrame) {
    auto& form = startedForm();
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
