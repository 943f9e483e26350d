// Attaches the options dialog and the SMTP authentication dialog to the program: the
// main window's options buttons open AccountsOptionsDialog on their tab, and the
// slot "AuthSettingsDialog" holds the one authentication dialog of the run.
#include <QCoreApplication>
#include <QDir>
#include <QPointer>

#include <memory>

#include "core/AutoStart.h"
#include "core/Environment.h"
#include "dialogs/AccountsOptionsDialog.h"
#include "dialogs/AuthSettingsDialog.h"
#include "dialogs/DialogsAttach.h"
#include "mainwindow/EngineSet.h"
#include "mainwindow/ProgramStartup.h"

namespace dialogs {
namespace {

struct OptionsPart : ProgramDialogs::Part {
    std::unique_ptr<AuthSettingsDialog> auth;
    ~OptionsPart() override {
        AuthSettingsDialog::SetLoaded(nullptr);
    }
};

// The data folder goes on the start line only when the program would not find it
// by itself (the XDG default).
std::string dataFolderForStartLine() {
    QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (xdg.isEmpty() || !QDir::isAbsolutePath(xdg)) xdg = QDir::homePath() + "/.local/share";
    const QString standard = QDir::cleanPath(xdg + "/glimmerpost");
    const QString current = QDir::cleanPath(QString::fromStdString(MiscFuncs::ProgramFolder().string()));
    return current == standard ? std::string() : current.toStdString();
}

bool setAutoStart(bool on) {
    return AutoStart::SetStartWithWindows(on, QCoreApplication::applicationFilePath().toStdString(),
                                          AutoStart::DefaultDesktopFile(), dataFolderForStartLine());
}

}  // namespace

OptionsDialogServices DesktopOptionsServices() {
    OptionsDialogServices services;
    services.openFile = platform::OpenWithDesktop;
    services.setAutoStart = setAutoStart;
    services.runSetupWizard = OptionsSetupWizard();
    return services;
}

void AttachOptions(ProgramDialogs& dialogs, mainwindow::GlimmerpostProgram& program, mainwindow::ProgramEngines&) {
    OptionsPart& part = dialogs.Keep<OptionsPart>();
    mainwindow::LoadableWindow auth;
    auth.name = std::string(mainwindow::EngineSet::kAuthDialog);
    auth.load = [&part](mainwindow::GlimmerpostProgram&) {
        part.auth = std::make_unique<AuthSettingsDialog>();
        AuthSettingsDialog::SetLoaded(part.auth.get());
    };
    auth.unload = [&part] {
        AuthSettingsDialog::SetLoaded(nullptr);
        part.auth.reset();
    };
    program.Engines().Register(std::move(auth));

    program.FormHooks().showOptions = [&program](int startTab) {
        if (!program.Senders()) return;  // the program is closing
        AccountsOptionsDialog::OptionsStartTab = startTab;
        // On the heap: the owner may be destroyed while the dialog is open.
        QPointer<AccountsOptionsDialog> dialog =
            new AccountsOptionsDialog(program, DesktopOptionsServices(), program.MainForm());
        dialog->exec();
        delete dialog.data();
    };
}

}  // namespace dialogs
