// GlimmerpostMainForm: the tray's commands, activation, closing and the orderly end.
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QSystemTrayIcon>
#include <QTimer>

#include "core/Prompt.h"
#include "mainwindow/GlimmerpostMainForm.h"
#include "mainwindow/MainPictures.h"
#include "mainwindow/MainToolBar.h"
#include "mainwindow/SendersPage.h"
#include "mainwindow/TrayPresence.h"
#include "platform/TrayIcon.h"
#include "platform/WindowHelpers.h"

namespace mainwindow {
namespace {

constexpr const char* kExitQuestion = "Are you sure you want to close Glimmerpost?";
constexpr const char* kTrayNotice =
    "To close application please Right-click on the icon in the tray, and select \"Close Glimmerpost\"";

void bringToFront(QWidget* w) {
    w->show();
    w->raise();
}

}  // namespace

void GlimmerpostMainForm::ShowAtStart(bool startHidden) {
    if (startHidden && TrayAvailable()) {
        hide();
        return;
    }
    show();
}

void GlimmerpostMainForm::MarkLoaded() {
    activity_->reset();
    loaded_ = true;
}

void GlimmerpostMainForm::AddTrayIcon() {
    MiscFuncs::AddTrayIcon(this, "Glimmerpost", QIcon(TrayPicture("R")));
    if (QSystemTrayIcon* tray = MiscFuncs::TrayIcon())
        connect(tray, &QSystemTrayIcon::activated, this, &GlimmerpostMainForm::onTrayActivated,
                Qt::UniqueConnection);
}

void GlimmerpostMainForm::onTrayActivated(int reason) {
    switch (reason) {
    case QSystemTrayIcon::Context: return ShowTrayMenu();
    // A single click opens as well: some desktops never report the double click.
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick: return mOpen_Click();
    default: return;
    }
}

void GlimmerpostMainForm::ShowTrayMenu() {
    if (hooks_.popupTrayMenu) return hooks_.popupTrayMenu(QCursor::pos());
    fallbackTrayMenu()->popup(QCursor::pos());
}

void GlimmerpostMainForm::PopupFallbackTrayMenu(const QPoint& at) { fallbackTrayMenu()->popup(at); }

QMenu* GlimmerpostMainForm::fallbackTrayMenu() {
    if (trayMenu_) return trayMenu_;
    trayMenu_ = new QMenu(this);
    trayMenu_->setObjectName("mnuSystray");
    QAction* open = trayMenu_->addAction(QIcon(TrayPicture("R")), "Open application", this,
                                         &GlimmerpostMainForm::mOpen_Click);
    trayMenu_->addAction("Check for new &mail", this, &GlimmerpostMainForm::mCheckNewMail_Click);
    trayMenu_->addSeparator();
    trayMenu_->addAction("&Close Glimmerpost", this, &GlimmerpostMainForm::mExit_Click);
    trayMenu_->setDefaultAction(open);
    return trayMenu_;
}

void GlimmerpostMainForm::mOpen_Click() {
    QWidget* last = MiscFuncs::BusyCursorForm();
    const bool mainWasLast = !last || last == this;
    const bool wasMinimised = isMinimized();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    if (!wasMinimised && !mainWasLast) bringToFront(last);
    bringToFront(this);
    activateWindow();
    const int waiting = hooks_.waitingSenders ? hooks_.waitingSenders() : 0;
    if (mainWasLast && waiting > 0) {
        ShowPage(1);
        TabStrip* strip = senders_->tsSenders();
        strip->tabs()->setCurrentIndex(strip->indexOfKey("WaitingAuth"));
    }
}

void GlimmerpostMainForm::ActivateFromOtherInstance() {
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void GlimmerpostMainForm::mCheckNewMail_Click() {
    if (hooks_.checkForNewMail) hooks_.checkForNewMail();
    else notAvailable("The mail collector");
}

void GlimmerpostMainForm::mExit_Click() {
    if (askExit()) requestShutDown();
}

void GlimmerpostMainForm::requestShutDown() {
    if (shutDownDone_) return;
    if (hooks_.requestShutDown) return hooks_.requestShutDown();
    // The menu, button or box that asked is still inside its own handler: the end
    // runs once that handler has returned.
    QMetaObject::invokeMethod(this, &GlimmerpostMainForm::ShutDown, Qt::QueuedConnection);
}

bool GlimmerpostMainForm::askExit() {
    return Prompt::Ask(kExitQuestion, identity_.caption, Prompt::Buttons::YesNo, Prompt::Kind::Question) ==
           Prompt::Answer::Yes;
}

bool GlimmerpostMainForm::trayNoticeShown() const {
    return hooks_.trayCloseMsgShown ? hooks_.trayCloseMsgShown() : noticeShownThisRun_;
}

void GlimmerpostMainForm::hideToTray() {
    if (!trayNoticeShown()) {
        Prompt::Ask(kTrayNotice, identity_.caption, Prompt::Buttons::OK, Prompt::Kind::Information);
        noticeShownThisRun_ = true;
        if (hooks_.setTrayCloseMsgShown) hooks_.setTrayCloseMsgShown();
    }
    hide();
}

void GlimmerpostMainForm::closeEvent(QCloseEvent* e) {
    if (!loaded_ || closing_) return e->accept();
    if (TrayAvailable()) {
        e->ignore();
        return hideToTray();
    }
    // Without a tray a hidden window could never be reached again: the close box ends
    // the program, after the question. The end runs after this handler, and its own
    // close goes through.
    e->ignore();
    if (askExit()) requestShutDown();
}

void GlimmerpostMainForm::ShutDown() {
    if (shutDownDone_) return;
    shutDownDone_ = true;
    activity_->stop();
    if (hooks_.shutDown) hooks_.shutDown();
    MiscFuncs::RemoveTrayIcon();
    closing_ = true;
    close();
    if (hooks_.quitApplication) hooks_.quitApplication();
    else QCoreApplication::exit(0);
}

bool GlimmerpostMainForm::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) {
        MiscFuncs::SetBusyCursorForm(this);
        if (!(windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)))
            setWindowState(windowState() | Qt::WindowMaximized);
    }
    return QMainWindow::event(e);
}

void GlimmerpostMainForm::changeEvent(QEvent* e) {
    QMainWindow::changeEvent(e);
    if (e->type() != QEvent::WindowStateChange || !isMinimized() || !TrayAvailable()) return;
    // Hidden after the state change has been handled, so the platform sees it finished.
    QTimer::singleShot(0, this, [this] {
        if (isMinimized() && TrayAvailable()) hide();
    });
}

}  // namespace mainwindow
