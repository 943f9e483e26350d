#include "dialogs/EditorPlacement.h"

#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace dialogs {

void CentreOver(QWidget* dialog, QWidget* owner) {
    if (!dialog || !owner) return;
    dialog->adjustSize();
    QRect frame(QPoint(0, 0), dialog->size());
    frame.moveCenter(owner->frameGeometry().center());
    if (const QScreen* screen = owner->screen()) {
        const QRect area = screen->availableGeometry();
        frame.moveLeft(std::max(area.left(), std::min(frame.left(), area.right() - frame.width())));
        frame.moveTop(std::max(area.top(), std::min(frame.top(), area.bottom() - frame.height())));
    }
    dialog->move(frame.topLeft());
}

}  // namespace dialogs
