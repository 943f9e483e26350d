// Attaches this family of dialogs to the program (filled as the dialogs arrive).
#include "dialogs/DialogsAttach.h"

namespace dialogs {

void AttachEditors(ProgramDialogs&, mainwindow::GlimmerpostProgram&) {}

}  // namespace dialogs
