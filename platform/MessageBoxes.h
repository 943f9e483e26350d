#pragma once
// The message boxes of the windowed programs: answers the core's prompt seam
// (core/Prompt.h) with a modal QMessageBox. An empty caption shows the application's
// display name.

#include <QWidget>

#include "core/Prompt.h"

namespace platform {

// Shows the request as a modal box over `parent` (or the active window) and returns
// the button pressed; a box closed without a button (Escape, its close box, or the
// program closing it) answers as Cancel would (Prompt::CancelAnswer), never Yes.
Prompt::Answer ShowMessageBox(const Prompt::Request& request, QWidget* parent = nullptr);

// Makes ShowMessageBox the answerer of every prompt.
void InstallMessageBoxes();

}  // namespace platform
