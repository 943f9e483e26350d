#pragma once
// The body of ClearGLP's main function (message boxes only, ClearTool.h), kept apart
// from main() so that a test program runs exactly what the tool runs and answers its
// boxes with real mouse and key events from `beforeStart`, which runs just before
// the first box.

#include <QApplication>

#include <functional>

#include "core/CommandLine.h"

namespace modClear {

extern const CommandLine::Usage kUsage;

int RunProgram(QApplication& app, const CommandLine::Parsed& parsed, const std::function<void()>& beforeStart = {});

}  // namespace modClear
