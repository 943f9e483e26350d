#pragma once
// The start of both programs' main: --help, --version and a wrong option are answered
// before anything is made (no display, no data folder); then the application object is
// made, the toolkit takes its own options out of the arguments, and what is left is
// read again, so that an option only this program knows can still be refused.

#include <QApplication>

#include <functional>
#include <string>
#include <vector>

#include "core/CommandLine.h"

namespace platform {

// Runs `run` with the application and the parsed command line and returns its exit
// code, or answers the command line and returns that code without calling it.
int RunProgramMain(int argc, char** argv, const CommandLine::Usage& usage,
                   const std::function<int(QApplication&, const CommandLine::Parsed&)>& run);

// The same start for a program without windows (the approval service): a core
// application, and the arguments after --help and --version were answered, for the
// program to read its own options.
int RunServiceMain(int argc, char** argv, const CommandLine::Usage& usage,
                   const std::function<int(QCoreApplication&, const std::vector<std::string>&)>& run);

}  // namespace platform
