// Attaches the address imports: the options page's "Import addresses..." and the
// import the setup wizard asks for.
#include "dialogs/AddressBookImportDialog.h"
#include "dialogs/DialogsAttach.h"
#include "mainwindow/ProgramStartup.h"

namespace dialogs {

void AttachImports(ProgramDialogs&, mainwindow::GlimmerpostProgram& program) {
    program.SetAddressImport(
        [](mainwindow::GlimmerpostProgram& p, QWidget* owner) { ShowAddressBookImport(p, owner); });
}

}  // namespace dialogs
