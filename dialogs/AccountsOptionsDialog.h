#pragma once
// AccountsOptionsDialog: "E-mail accounts options", where the user edits the program's
// settings: the [options] section (core/ProgramSettings.h), the accounts
// (core/MailAccount.h), the aliases (core/Aliases.h), the start with the desktop
// session (core/AutoStart.h) and the texts of the program's own mails. Four tabs:
// 1 General, 2 E-mail accounts, 3 Aliases, 4 Messages.
//
// Nothing reaches a file before OK, except the deletion of an account. OK checks the
// fields (a number outside its limits, an account without a valid address, two
// accounts of one address, a rename onto an address in use, an enabled account without
// POP3 server, user name or password are refused with a box naming the field, which
// gets the focus, and the dialog stays open); then stops the four engines, saves [options], the aliases,
// the start entry and the accounts with their folder moves as one save, all or
// nothing (core/OptionsSave.h), starts the engines again (mainwindow::EngineSet's
// orders) and, after renames, reloads the message store. A save that fails shows a
// box saying what was saved (nothing, unless a file could not be put back) and keeps
// the dialog open. Once events ran, the program is used only while its RunningWatch
// says it runs.
//
// Every change of any control marks the dialog modified ("Modified" in the status
// bar); Cancel, Escape and the close box then ask "You have made changes to options!
// Do you want to save changes?": No drops the edits, Yes keeps the dialog open. While
// an account test runs every way out is closed; only the program's end closes it
// then, abandoning the test.

#include <QDialog>

#include <filesystem>
#include <functional>

#include "core/OptionsSave.h"
#include "core/ProgramSettings.h"
#include "platform/OpenFile.h"

class QLabel;
class QPushButton;
class QStatusBar;
class QTabWidget;

namespace mainwindow {
class GlimmerpostProgram;
}

namespace dialogs {

class OptionsAccountsTab;
class OptionsAliasesTab;
class OptionsGeneralTab;
class OptionsMessagesTab;

// What opening the preview file with the desktop's mail program gave.
using OpenFileResult = platform::OpenFileResult;

// The platform services the dialog uses, filled by the attach step; tests fill their own.
struct OptionsDialogServices {
    // Opens a file with the desktop's program for its type.
    std::function<OpenFileResult(const std::filesystem::path&)> openFile;
    // Sets or removes the start with the desktop session; false when it failed.
    std::function<bool(bool on)> setAutoStart;
    // Runs the setup wizard modally over the owner; empty when there is none.
    std::function<void(QWidget* owner)> runSetupWizard;
};

// The services of the running program: the desktop opens the file, the session's
// autostart entry and the registry stand-in's Run value, and the setup wizard set
// with SetOptionsSetupWizard.
OptionsDialogServices DesktopOptionsServices();
// The setup wizard the options dialog's "Run setup wizard" button runs (filled by
// the wizard's attach step); empty when there is none.
void SetOptionsSetupWizard(std::function<void(QWidget* owner)> wizard);
std::function<void(QWidget* owner)> OptionsSetupWizard();

class AccountsOptionsDialog : public QDialog {
    Q_OBJECT

public:
    // The tab the next dialog opens on (1 to 4), set by the options buttons.
    static int OptionsStartTab;

    AccountsOptionsDialog(mainwindow::GlimmerpostProgram& program, OptionsDialogServices services,
                          QWidget* owner = nullptr);
    ~AccountsOptionsDialog() override;

    bool Modified() const { return modified_; }
    // OK: saves and closes; false (the dialog open) when something was refused or failed.
    bool Save();

    OptionsGeneralTab* GeneralTab() const { return general_; }
    OptionsAccountsTab* AccountsTab() const { return accounts_; }
    OptionsAliasesTab* AliasesTab() const { return aliases_; }
    OptionsMessagesTab* MessagesTab() const { return messages_; }
    QTabWidget* AccountsOptionsTabStrip() const { return tabs_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }
    QStatusBar* sbTips() const { return status_; }

    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void load();
    void SetModified(bool modified);
    void SetTip(const QString& tip);
    bool askToDrop();
    void testingChanged(bool testing);
    void previewMessage();
    void runSetupWizard();
    bool refuse(const std::string& message, int tab, QWidget* focus);
    bool checkEnabledAccounts();
    // Stops the engines, saves the files, starts the engines again (while the program
    // runs) and, after renames, reloads the message store.
    // Static: the dialog may be gone once events ran.
    static OptionsSave::Result saveStopped(mainwindow::GlimmerpostProgram& program, const OptionsSave::Files& files,
                                           const OptionsSave::Request& request);
    static void reloadMessages(mainwindow::GlimmerpostProgram& program);

    mainwindow::GlimmerpostProgram& program_;
    OptionsDialogServices services_;
    QTabWidget* tabs_ = nullptr;
    OptionsGeneralTab* general_ = nullptr;
    OptionsAccountsTab* accounts_ = nullptr;
    OptionsAliasesTab* aliases_ = nullptr;
    OptionsMessagesTab* messages_ = nullptr;
    QPushButton *ok_ = nullptr, *cancel_ = nullptr;
    QStatusBar* status_ = nullptr;
    QLabel *tip_ = nullptr, *modifiedPanel_ = nullptr;
    bool modified_ = false;
    bool loading_ = false;
};

}  // namespace dialogs
