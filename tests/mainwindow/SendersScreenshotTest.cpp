// Draws the senders and messages page with data, offscreen: senders-<tab key>.png for
// each tab and senders-menu.png with the right-button menu of two selected senders,
// in the build folder, so that a reviewer can look at them.
#include <QMenu>
#include <QPixmap>

#include <filesystem>

#include "SendersPageFixture.h"
#include "mainwindow/SystrayMenuForm.h"
#include "support/Screenshot.h"

namespace {

using testing_support::SendersPageTest;
using namespace mainwindow;

using testing_support::SaveScreenshot;

// The menu as the page set it up; while the tray-menu window has no menus of its
// own, a plain menu drawn from the same states stands in.
QMenu* menuOf(SendersView& view, SystrayMenuForm* form, QMenu& standIn) {
    if (form && form->mIndividuals()) return form->mIndividuals();
    for (const MenuItemState& s : view.lastMenu().items) {
        if (!s.visible) continue;
        if (s.name.rfind("mDiv", 0) == 0) {
            standIn.addSeparator();
            continue;
        }
        QAction* a = standIn.addAction(QString::fromStdString(s.caption).replace("&", "&&"));
        a->setEnabled(s.enabled);
        if (s.name == "mPreviewMessages") standIn.setDefaultAction(a);
    }
    return &standIn;
}

TEST_F(SendersPageTest, ScreenshotsOfThePageWithData) {
    startWithPages();
    program_->MainForm()->resize(1000, 640);
    MiscFuncs::SetClock([] { return MiscFuncs::LocalTime{2026, 12, 7, 9, 30, 0}; });
    sender("anna.meyer@example.org", SenderStatus::Unknown, "Message received from unknown sender");
    sender("orders@shop.example.com", SenderStatus::Unknown, "Message received from unknown sender");
    sender("boss@work.example.com", SenderStatus::Approved, "Manualy registered by user");
    sender("lists@news.example.com", SenderStatus::Approved, "Mail recepient");
    sender("spam@bulk.example.biz", SenderStatus::Blocked, "Manualy blocked by user");
    senders().SetStatus("Tom Baker", "tom@friends.example.net", SenderStatus::WaitingAuth, "Registered via the approval page");
    message("anna.meyer@example.org", "1", "WaitingAuth", "Minutes of Tuesday's meeting");
    message("anna.meyer@example.org", "2", "WaitingAuth", "Re: <b>Holiday</b> plans & photos");
    message("tom@friends.example.net", "3", "WaitingAuth", "Long time no see");
    message("boss@work.example.com", "4", "InBox", "Quarterly figures");
    message("spam@bulk.example.biz", "5", "Recycled", "You have won!!!");

    static const char* const kKeys[] = {"Unknown", "WaitingAuth", "Registered", "Blocked", "All", "Messages"};
    for (int tab = 1; tab <= 6; ++tab) {
        showTab(tab);
        grid().SetSelection(0, 0);
        platform::PumpEvents();
        EXPECT_TRUE(SaveScreenshot(*program_->MainForm(), std::string("senders-") + kKeys[tab - 1] + ".png")) << tab;
    }

    showTab(1);
    grid().SetSelection(0, 1);
    view().fgSenders_MouseUp(1, program_->MainForm()->mapToGlobal(QPoint(300, 300)));
    QMenu standIn;
    QMenu* menu = menuOf(view(), pages_.TrayMenu(), standIn);
    menu->adjustSize();
    EXPECT_TRUE(SaveScreenshot(*menu, "senders-menu.png"));
    menu->hide();
}

}  // namespace
