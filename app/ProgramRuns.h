#pragma once
// The body of Glimmerpost's main function, kept apart from main() itself so that a
// test program runs exactly what the real program runs, and drives it with real
// mouse and key events from `beforeStart` (tests/exit_paths). ClearGLP's is
// clear_tool/ClearToolRun.h.

#include <QApplication>

#include <functional>

#include "core/CommandLine.h"

namespace mainwindow {
class GlimmerpostProgram;
class ProgramEngines;
}  // namespace mainwindow

namespace app {

// What a driver of the running program may look at.
struct RunningGlimmerpost {
    mainwindow::GlimmerpostProgram& program;
    mainwindow::ProgramEngines& engines;
};

// Glimmerpost: one instance per data folder, started and ended as one whole. Returns
// the exit code. `beforeStart` runs once the program is put together, just before its
// start-up (which may already wait on the setup wizard).
int RunGlimmerpost(QApplication& app, const CommandLine::Parsed& parsed,
                   const std::function<void(RunningGlimmerpost&)>& beforeStart = {});
extern const CommandLine::Usage kGlimmerpostUsage;

}  // namespace app
