#pragma once
// dialogs::Attach: plugs every dialog of the program into it before start-up: the
// sender, domain and rule editors (GlimmerpostProgram::Editors), the options, import,
// about and feedback commands of the main window (FormHooks), the setup wizard and
// the address import of the start-up, and the dialogs that live in EngineSet slots.
// Each family of dialogs attaches itself in its own file; this calls them in turn.
//
// The objects made here live in `dialogs`, which must outlive the program (declare
// it before the program, like ProgramEngines).

#include <memory>
#include <vector>

namespace mainwindow {
class GlimmerpostProgram;
class ProgramEngines;
}  // namespace mainwindow

namespace dialogs {

// What the dialogs keep for the whole run; each family adds its own parts.
class ProgramDialogs {
public:
    ProgramDialogs();
    ~ProgramDialogs();
    ProgramDialogs(const ProgramDialogs&) = delete;
    ProgramDialogs& operator=(const ProgramDialogs&) = delete;

    void Attach(mainwindow::GlimmerpostProgram& program, mainwindow::ProgramEngines& engines);

    // One family's state, destroyed with the dialogs (in reverse order of attaching).
    struct Part {
        virtual ~Part() = default;
    };
    template <typename T, typename... Args>
    T& Keep(Args&&... args) {
        auto part = std::make_unique<T>(std::forward<Args>(args)...);
        T& ref = *part;
        parts_.push_back(std::move(part));
        return ref;
    }

private:
    std::vector<std::unique_ptr<Part>> parts_;
};

// The families, one file each.
void AttachEditors(ProgramDialogs& dialogs, mainwindow::GlimmerpostProgram& program);
void AttachOptions(ProgramDialogs& dialogs, mainwindow::GlimmerpostProgram& program,
                   mainwindow::ProgramEngines& engines);
void AttachSetupWizard(ProgramDialogs& dialogs, mainwindow::GlimmerpostProgram& program,
                       mainwindow::ProgramEngines& engines);
void AttachImports(ProgramDialogs& dialogs, mainwindow::GlimmerpostProgram& program);
void AttachAboutAndForms(ProgramDialogs& dialogs, mainwindow::GlimmerpostProgram& program);

}  // namespace dialogs
