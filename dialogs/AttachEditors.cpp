// Attaches this family of dialogs to the program: the editors of ProgramEditors.
#include <QPointer>

#include "dialogs/AddUserForm.h"
#include "dialogs/AttachDomainEditors.h"
#include "dialogs/DialogsAttach.h"
#include "mainwindow/ProgramStartup.h"

namespace dialogs {
namespace {

// The editors, made at their first use and kept for the run. An editor shown over
// an owner belongs to it from then on; one that never was is deleted here.
struct Editors : ProgramDialogs::Part {
    QPointer<AddUserForm> addUser;

    ~Editors() override {
        if (addUser && !addUser->parent()) delete addUser.data();
    }

    int editSender(std::string& name, std::string& address, QWidget* owner) {
        if (!addUser) addUser = new AddUserForm(owner);
        const QPointer<AddUserForm> form = addUser;
        const int result = form->Edit(name, address, owner);
        if (result != AddUserForm::kOk || !form) return AddUserForm::kCancel;
        name = form->DisplayName();
        address = form->Email();
        return result;
    }
};

}  // namespace

void AttachEditors(ProgramDialogs& dialogs, mainwindow::GlimmerpostProgram& program) {
    Editors& editors = dialogs.Keep<Editors>();
    program.Editors().editSender = [&editors](std::string& name, std::string& address, QWidget* owner) {
        return editors.editSender(name, address, owner);
    };
    AttachDomainAndRuleEditors(dialogs, program);
}

}  // namespace dialogs
