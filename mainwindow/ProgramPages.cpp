#include "mainwindow/ProgramPages.h"

namespace mainwindow {

ProgramPages::ProgramPages() = default;
ProgramPages::~ProgramPages() = default;

void ProgramPages::Attach(GlimmerpostProgram&, ProgramEngines&) {}

}  // namespace mainwindow
