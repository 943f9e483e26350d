#include "platform/FormResourcesApply.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>

#include "core/CIniFile.h"
#include "core/FormResources.h"
#include "platform/Text8.h"

namespace MiscFuncs {
namespace {

QObject* findControl(QWidget* form, const std::string& name) {
    const QString wanted = platform::FromText8(name);
    const QList<QObject*> all = form->findChildren<QObject*>();
    for (QObject* o : all)
        if (o->objectName().compare(wanted, Qt::CaseInsensitive) == 0) return o;
    return nullptr;
}

void setCaption(QObject* control, const QString& text) {
    if (auto* a = qobject_cast<QAction*>(control)) a->setText(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(control)) b->setText(text);
    else if (auto* l = qobject_cast<QLabel*>(control)) l->setText(text);
    else if (auto* g = qobject_cast<QGroupBox*>(control)) g->setTitle(text);
    else if (auto* m = qobject_cast<QMenu*>(control)) m->setTitle(text);
    else if (auto* w = qobject_cast<QWidget*>(control)) w->setWindowTitle(text);
}

void setToolTip(QObject* control, const QString& text) {
    if (auto* a = qobject_cast<QAction*>(control)) a->setToolTip(text);
    else if (auto* w = qobject_cast<QWidget*>(control)) w->setToolTip(text);
}

}  // namespace

int ApplyFormResources(QWidget* form, const CIniFile& resources) {
    if (!form || form->objectName().isEmpty()) return 0;
    int applied = 0;
    for (const FormResource& r : FormResources(resources, form->objectName().toStdString())) {
        QObject* control = findControl(form, r.control);
        if (!control) break;
        const QString text = platform::FromText8(r.text);
        if (r.property == kCaptionProperty) setCaption(control, text);
        else setToolTip(control, text);
        ++applied;
    }
    return applied;
}

}  // namespace MiscFuncs
