// Draws the main window frame offscreen and saves it as mainwindow.png (page 1, with
// some mail activity) and mainwindow-options.png (page 4) in the build folder, so that
// a reviewer can look at the frame.
#include <QPixmap>

#include <filesystem>

#include "MainFormTestSupport.h"
#include "platform/ProgressDisplay.h"

namespace {

using testing_support::MainFormTest;

bool save(QWidget& form, const char* name) {
    const QPixmap shot = form.grab();
    const std::filesystem::path file = std::filesystem::path(GLP_BINARY_DIR) / name;
    return !shot.isNull() && shot.save(QString::fromStdString(file.string()), "PNG") &&
           std::filesystem::file_size(file) > 0;
}

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
    EXPECT_TRUE(save(form, "mainwindow.png"));

    modProgress::HideCollectProgress();
    form.ShowPage(4);
    platform::PumpEvents();
    EXPECT_TRUE(save(form, "mainwindow-options.png"));
}

}  // namespace
