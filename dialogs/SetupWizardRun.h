#pragma once
// Running the setup wizard: at the first start (through the start-up's wizard hook,
// see AttachSetupWizard.cpp) and from the options dialog's accounts page.
//
// From the options dialog call RunSetupWizardFromOptions(program, dialog): it runs the
// wizard over the dialog, keeps the aliases (the wizard starts from aliases.ini),
// restarts the engines when accounts were saved so that the new accounts are
// collected at once, and opens the address-book import when the user left its box
// ticked. The options dialog reloads its account list afterwards.

#include <functional>
#include <string>

#include "dialogs/SetupWizard.h"

class QWidget;

namespace mainwindow {
class GlimmerpostProgram;
}

namespace dialogs {

struct SetupWizardOutcome {
    bool saved = false;        // accounts were saved
    bool openImport = false;   // the user asked for the address-book import
};

// Runs the wizard modally over owner and returns when it has closed.
SetupWizardOutcome RunSetupWizard(mainwindow::GlimmerpostProgram& program, QWidget* owner);

// The options dialog's way in (see above).
SetupWizardOutcome RunSetupWizardFromOptions(mainwindow::GlimmerpostProgram& program, QWidget* owner);

}  // namespace dialogs
