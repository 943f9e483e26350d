// Draws the tray menu, the senders grid's menu and the preview window with data
// offscreen and saves them as traymenu.png, gridmenu.png and preview.png in the build
// folder, so that a reviewer can look at them.
#include <QMenu>
#include <QPixmap>

#include <filesystem>

#include "PreviewTestSupport.h"
#include "mainwindow/SystrayMenuForm.h"
#include "support/Screenshot.h"

namespace {

using testing_support::PreviewTest;

using testing_support::SaveScreenshot;

TEST(MenuScreenshot, TrayAndGridMenus) {
    mainwindow::SystrayMenuForm form(mainwindow::SystrayMenuForm::Targets{});
    form.SetImages();
    form.PopupSystray(QPoint(20, 20));
    ASSERT_TRUE(platform::WaitUntil([&] { return form.mnuSystray()->isVisible(); }, 2000));
    EXPECT_TRUE(SaveScreenshot(*form.mnuSystray(), "traymenu.png"));
    form.mnuSystray()->close();

    // As the senders page sets it for one waiting sender.
    form.SetCaption("mApproveSender", "Approve tom&jerry@cartoon.test");
    form.SetCaption("mDenySender", "Block tom&jerry@cartoon.test");
    form.SetCaption("mApproveSendersDomain", "Approve cartoon.test");
    form.SetCaption("mBlockMessagesFromThisDomain", "Block cartoon.test");
    form.item("mAddSender")->setVisible(false);
    form.PopupIndividuals(QPoint(20, 20));
    ASSERT_TRUE(platform::WaitUntil([&] { return form.mIndividuals()->isVisible(); }, 2000));
    EXPECT_TRUE(SaveScreenshot(*form.mIndividuals(), "gridmenu.png"));
    form.mIndividuals()->close();
}

TEST_F(PreviewTest, ScreenshotOfThePreview) {
    program_->Senders()->SetStatus("", "ann@far.test", SenderStatus::WaitingAuth, "held");
    store("ann@far.test", "1", "Quarterly <b>report</b> & figures", "WaitingAuth",
          "Hello,\r\n\r\nthe figures you asked for are below.\r\n\r\n<b>not bold</b>\r\n\r\nAnn\r\n");
    store("ann@far.test", "2", "second", "WaitingAuth");
    preview_->ShowMessagesFrom("ann@far.test");
    platform::PumpEvents();
    EXPECT_TRUE(SaveScreenshot(*preview_, "preview.png"));
}

}  // namespace
