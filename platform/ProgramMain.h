#pragma once
// The start of both programs' main: --help, --version and a wrong option are answered
// before anything is made (no display, no data folder); then the application object is
// made, the toolkit takes its own options out of the arguments, and what is left is
// read again, so that an option only this program knows can still be refused.

#include <QApplication>

#include <functional>

#include "core/CommandLine.h"

namespace platform {

// Runs `run` with the application and the parsed command line and returns its exit
// code, or answers the command line and returns that code without calling it.
int RunProgramMain(int argc, char** argv, const CommandLine::Usage& usage,
                   const std::function<int(QApplication&, const CommandLine::Parsed&)>& run);

}  // namespace platform
