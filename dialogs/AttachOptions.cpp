// Attaches this family of dialogs to the program (filled as the dialogs arrive).
#include "dialogs/DialogsAttach.h"

namespace dialogs {

void AttachOptions(ProgramDialogs&, mainwindow::GlimmerpostProgram&, mainwindow::ProgramEngines&) {}

}  // namespace dialogs
