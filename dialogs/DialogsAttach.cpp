#include "dialogs/DialogsAttach.h"

namespace dialogs {

ProgramDialogs::ProgramDialogs() = default;

ProgramDialogs::~ProgramDialogs() {
    while (!parts_.empty()) parts_.pop_back();
}

void ProgramDialogs::Attach(mainwindow::GlimmerpostProgram& program, mainwindow::ProgramEngines& engines) {
    AttachEditors(*this, program);
    AttachOptions(*this, program, engines);
    AttachSetupWizard(*this, program, engines);
    AttachImports(*this, program);
    AttachAboutAndForms(*this, program);
}

}  // namespace dialogs
