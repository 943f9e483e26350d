// Attaches the setup wizard: the start-up runs it when accounts.ini holds no account,
// and the options dialog's "Run setup wizard" button runs it over the dialog.
#include "dialogs/AccountsOptionsDialog.h"
#include "dialogs/DialogsAttach.h"
#include "dialogs/SetupWizardRun.h"
#include "mainwindow/ProgramStartup.h"

namespace dialogs {
namespace {

// The options dialog's hook names the program; it goes with the program's dialogs.
struct WizardPart : ProgramDialogs::Part {
    ~WizardPart() override { SetOptionsSetupWizard(nullptr); }
};

}  // namespace

void AttachSetupWizard(ProgramDialogs& dialogs, mainwindow::GlimmerpostProgram& program,
                       mainwindow::ProgramEngines&) {
    program.SetSetupWizard([](mainwindow::GlimmerpostProgram& p, QWidget* owner) {
        mainwindow::SetupWizardResult result;
        result.openImportAfterSetup = RunSetupWizard(p, owner).openImport;
        return result;
    });
    dialogs.Keep<WizardPart>();
    SetOptionsSetupWizard([&program](QWidget* owner) { RunSetupWizardFromOptions(program, owner); });
}

}  // namespace dialogs
