#pragma once
// GlimmerpostMainForm: the frame of the main window and the program's lifetime.
//
// The frame holds the toolbar MainToolBar (pages 1-4, check mail, web site with its
// drop-down menu, tell a friend), the four pages MainFormPages(1) to MainFormPages(4)
// (of which exactly one is shown), the progress row and the status bar MainStatusBar,
// and the tray icon's activity display. Its size never goes below its design size nor
// beyond the screen; minimising it hides it in the tray; every activation maximises it.
//
// Closing: the close box hides the window in the tray (the first time ever with a
// notice, remembered through the hooks); the tray's exit asks "Are you sure you want
// to close Glimmerpost?". Where the desktop has no tray the window is never hidden and
// the close box asks the same question. A Yes asks for the end (hook requestShutDown),
// which runs after the menu's, box's or window's handler has returned: nothing is
// released inside its own handler. ShutDown() is the orderly end without a question
// (signals, the end of the desktop session). Until MarkLoaded() a close goes through
// unasked.
//
// Dialogs and engines are reached through MainFormHooks; a missing hook is logged as
// "not available" and otherwise ignored. Message boxes go through core/Prompt.h.

#include <QMainWindow>
#include <QMenu>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "mainwindow/ActivityDisplay.h"

class CIniFile;
class QLabel;
class QProgressBar;
class QStackedWidget;

namespace mainwindow {

class MainStatusBar;
class MainToolBar;
class SendersPage;
class DomainsPage;
class RulesPage;
class OptionsPage;

struct MainFormHooks {
    std::function<void()> checkForNewMail;
    std::function<void(int startTab)> showOptions;  // 1 general .. 4 message texts
    std::function<void()> importAddressBook;
    std::function<void()> showAbout;
    std::function<void()> tellAFriend;
    std::function<void()> sendFeedback;
    std::function<void(const QPoint&)> popupTrayMenu;  // at the mouse position
    std::function<int()> waitingSenders;               // senders waiting for approval
    std::function<bool()> trayCloseMsgShown;           // [display] TrayCloseMsgShow is "1"
    std::function<void()> setTrayCloseMsgShown;        // writes it
    std::function<void()> shutDown;                    // takes the program's parts down
    // Asks for the orderly end from inside a handler (the exit question answered Yes):
    // it runs once that handler has returned. Default: ShutDown() as a queued call.
    std::function<void()> requestShutDown;
    std::function<void()> quitApplication;             // default: QCoreApplication::exit(0)
};

struct MainFormIdentity {
    std::string caption = "Glimmerpost";  // the window caption, also of its message boxes
    std::string productPage;              // http(s) address of the product's web page
    std::string helpPage;                 // http(s) address of the online help
};

// The window's last position and size while not minimised, in pixels.
struct WindowGeometry {
    int x = 0, y = 0, width = 0, height = 0;
};

class GlimmerpostMainForm : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kPages = 4;

    explicit GlimmerpostMainForm(MainFormIdentity identity, MainFormHooks hooks = {}, QWidget* parent = nullptr);
    ~GlimmerpostMainForm() override;

    // Start-up steps, in the order the program calls them.
    void ApplyResources(const CIniFile& resources);
    void SetListIcons();
    void RestoreGeometry(std::optional<int> width, std::optional<int> height, std::optional<int> x,
                         std::optional<int> y);
    // Shown, or hidden in the tray when asked for and the desktop has a tray.
    void ShowAtStart(bool startHidden);
    void MarkLoaded();
    void AddTrayIcon();
    bool loaded() const { return loaded_; }

    // Pages and frame parts.
    int currentPage() const { return currentPage_; }
    void ShowPage(int page);
    QWidget* page(int number) const;
    SendersPage* sendersPage() const { return senders_; }
    DomainsPage* domainsPage() const { return domains_; }
    RulesPage* rulesPage() const { return rules_; }
    OptionsPage* optionsPage() const { return options_; }
    MainToolBar* mainToolBar() const { return toolBar_; }
    MainStatusBar* mainStatusBar() const { return statusBar_; }
    ActivityDisplay& activity() { return *activity_; }
    // The failures of the accounts' last collections in full, wrapped across the
    // window above the progress row; hidden while there is none.
    QLabel* failureLine() const { return failureLine_; }

    // Toolbar and page 4.
    void MainToolBar_ButtonClick(int index);
    void MainToolBar_ButtonMenuClick(const QString& key);
    void bOptions_Click(int index);
    void bImportAddressBook_Click();
    void cmdFeedback_Click();
    void cmdTell_Click();

    // The tray's commands.
    void ShowTrayMenu();
    // The window's own small tray menu, for when the tray-menu window is missing.
    void PopupFallbackTrayMenu(const QPoint& at);
    void mOpen_Click();
    void mCheckNewMail_Click();
    void mExit_Click();
    // A later start of the program asked for this window.
    void ActivateFromOtherInstance();

    // The engines' reports (ActivityDisplay.h).
    void POP3SessionStarted() { activity_->POP3SessionStarted(); }
    void POP3SessionEnded(std::int32_t newMessages) { activity_->POP3SessionEnded(newMessages); }
    void SMTPSessionStarted() { activity_->SMTPSessionStarted(); }
    void SMTPSessionEnded() { activity_->SMTPSessionEnded(); }

    // The orderly end without a question; runs once.
    void ShutDown();
    bool shutDownDone() const { return shutDownDone_; }

    WindowGeometry recordedGeometry() const { return recorded_; }
    // What [display] windowstate records: minimised or not visible.
    bool hiddenOrMinimised() const;
    static QSize designSize();

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;

private:
    QWidget* buildCentre();
    QWidget* buildProgressRow(QWidget* parent);
    void connectParts();
    void showFailures();
    void recordGeometry();
    void hideToTray();
    bool askExit();
    void requestShutDown();
    bool trayNoticeShown() const;
    void notAvailable(const char* what) const;
    void onTrayActivated(int reason);
    QMenu* fallbackTrayMenu();

    MainFormIdentity identity_;
    MainFormHooks hooks_;
    MainToolBar* toolBar_ = nullptr;
    MainStatusBar* statusBar_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    SendersPage* senders_ = nullptr;
    DomainsPage* domains_ = nullptr;
    RulesPage* rules_ = nullptr;
    OptionsPage* options_ = nullptr;
    ActivityDisplay* activity_ = nullptr;
    QLabel* failureLine_ = nullptr;
    QPointer<QMenu> trayMenu_;
    WindowGeometry recorded_;
    int currentPage_ = 1;
    bool loaded_ = false;
    bool closing_ = false;
    bool shutDownDone_ = false;
    bool noticeShownThisRun_ = false;
};

}  // namespace mainwindow
