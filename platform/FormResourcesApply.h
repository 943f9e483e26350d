#pragma once
// Applies the captions and tool tips of resources.ini to a form: the section is the
// form's object name, each entry names a control by its object name (letter case
// ignored). The entries come from MiscFuncs::FormResources (core/FormResources.h) and
// are applied in order; the first entry whose control the form does not have ends
// the run, and the form goes on as it is.
//
// Caption: the text of a button, label, action (toolbar button, menu item) or check
// box, the title of a group box or menu, else the window title. ToolTipText: the tool
// tip of a widget or action. Members of a control array are named "name(index)".

#include <QWidget>

class CIniFile;

namespace MiscFuncs {

// Returns the number of entries applied.
int ApplyFormResources(QWidget* form, const CIniFile& resources);

}  // namespace MiscFuncs
