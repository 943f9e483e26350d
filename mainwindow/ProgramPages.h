#pragma once
// ProgramPages: the main window's pages joined to the program's lists, after the
// manner of ProgramEngines. Attach() fills the program's Views(), the tray-menu and
// preview slots of its EngineSet and the tray menu hook. The page code lives in its
// own files, one per concern; this only joins them.
//
// The object must outlive the program it is attached to (declare it first).

#include <memory>

namespace mainwindow {

class GlimmerpostProgram;
class ProgramEngines;

class ProgramPages {
public:
    ProgramPages();
    ~ProgramPages();
    ProgramPages(const ProgramPages&) = delete;
    ProgramPages& operator=(const ProgramPages&) = delete;

    void Attach(GlimmerpostProgram& program, ProgramEngines& engines);

private:
    // Each page's part, kept for the whole run.
    std::shared_ptr<struct DomainsAndRulesPages> domainsAndRules_;
};

}  // namespace mainwindow
