// Attaches the setup wizard: the start-up runs it when accounts.ini holds no account.
#include "dialogs/DialogsAttach.h"
#include "dialogs/SetupWizardRun.h"
#include "mainwindow/ProgramStartup.h"

namespace dialogs {

void AttachSetupWizard(ProgramDialogs&, mainwindow::GlimmerpostProgram& program, mainwindow::ProgramEngines&) {
    program.SetSetupWizard([](mainwindow::GlimmerpostProgram& p, QWidget* owner) {
        mainwindow::SetupWizardResult result;
        result.openImportAfterSetup = RunSetupWizard(p, owner).openImport;
        return result;
    });
}

}  // namespace dialogs
