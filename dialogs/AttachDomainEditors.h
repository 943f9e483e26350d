#pragma once
// The domain editor and the rule editor, joined to the program's editor hooks.

#include "dialogs/DialogsAttach.h"

namespace dialogs {

void AttachDomainAndRuleEditors(ProgramDialogs& dialogs, mainwindow::GlimmerpostProgram& program);

}  // namespace dialogs
