#pragma once
// Where the small editors appear: centred over their owner (or left where they are
// without one), kept on the owner's screen.

class QWidget;

namespace dialogs {

void CentreOver(QWidget* dialog, QWidget* owner);

}  // namespace dialogs
