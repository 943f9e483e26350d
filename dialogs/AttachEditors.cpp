// Attaches this family of dialogs to the program (filled as the dialogs arrive).
#include "dialogs/DialogsAttach.h"
#include "dialogs/AttachDomainEditors.h"

namespace dialogs {

void AttachEditors(ProgramDialogs& dialogs, mainwindow::GlimmerpostProgram& program) {
    AttachDomainAndRuleEditors(dialogs, program);
}

}  // namespace dialogs
