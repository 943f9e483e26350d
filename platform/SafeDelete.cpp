#include "platform/SafeDelete.h"

#include <QObject>
#include <QThread>
#include <QWidget>

namespace platform {

void DeleteWhenSafe(QObject* object) {
    if (object == nullptr) return;
    if (auto* widget = qobject_cast<QWidget*>(object)) widget->hide();
    if (QThread::currentThread()->loopLevel() > 0) object->deleteLater();
    else delete object;
}

}  // namespace platform
