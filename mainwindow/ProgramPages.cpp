#include "mainwindow/ProgramPages.h"

#include "mainwindow/DomainsAndRulesPages.h"

namespace mainwindow {

ProgramPages::ProgramPages() = default;
ProgramPages::~ProgramPages() = default;

void ProgramPages::Attach(GlimmerpostProgram& program, ProgramEngines&) {
    domainsAndRules_ = AttachDomainsAndRulesPages(program);
}

}  // namespace mainwindow
