#include "platform/WindowHelpers.h"

#include <QAction>
#include <QGuiApplication>
#include <QIcon>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

#include <limits>

namespace MiscFuncs {
namespace {

std::int32_t g_busyCounter = 0;
bool g_cursorShown = false;
QPointer<QWidget> g_busyCursorForm;

bool haveGuiApplication() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

// The override cursor is a stack: push it once when the busy state begins and pop it
// once when it ends, however often the sections nest.
void showBusyCursor(bool busy) {
    if (busy == g_cursorShown || !haveGuiApplication()) return;
    if (busy) QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
    else QGuiApplication::restoreOverrideCursor();
    g_cursorShown = busy;
}

QMenuBar* menuBarOf(QWidget* window) {
    if (auto* main = qobject_cast<QMainWindow*>(window))
        if (auto* bar = qobject_cast<QMenuBar*>(main->menuWidget())) return bar;
    return window->findChild<QMenuBar*>();
}

QAction* actionAt(const QList<QAction*>& actions, int position) {
    return position >= 0 && position < actions.size() ? actions[position] : nullptr;
}

}  // namespace

std::int32_t BusyCounter() { return g_busyCounter; }
bool BusyCursorShown() { return g_cursorShown; }

void BeginBusy() {
    if (g_busyCounter < std::numeric_limits<std::int32_t>::max()) ++g_busyCounter;
    showBusyCursor(true);
}

void EndBusy() {
    --g_busyCounter;
    if (g_busyCounter >= 1) return;
    showBusyCursor(false);
    g_busyCounter = 0;
}

void ResetBusyCursor() {
    showBusyCursor(false);
    g_busyCounter = 0;
}

QWidget* BusyCursorForm() { return g_busyCursorForm.data(); }
void SetBusyCursorForm(QWidget* form) { g_busyCursorForm = form; }

void HookWindow(QWidget* window, QObject* procedure) {
    if (window && procedure) window->installEventFilter(procedure);
}

void UnhookWindow(QWidget*) {}

void SetFormTopmost(QWidget* form, bool topmost) {
    if (!form) return;
    const QRect geometry = form->geometry();
    const Qt::WindowFlags flags = form->windowFlags();
    // Changing the flags re-creates the native window (and hides it): only when needed.
    if (flags.testFlag(Qt::WindowStaysOnTopHint) != topmost)
        form->setWindowFlags(flags ^ Qt::WindowStaysOnTopHint);
    const bool quiet = form->testAttribute(Qt::WA_ShowWithoutActivating);
    form->setAttribute(Qt::WA_ShowWithoutActivating, true);
    form->setGeometry(geometry);
    form->show();
    form->setAttribute(Qt::WA_ShowWithoutActivating, quiet);
}

bool SetMenuItemBitmap(QWidget* window, int menuPosition, int itemPosition, const QPixmap& unchecked,
                       const QPixmap& checked) {
    QMenuBar* bar = window ? menuBarOf(window) : nullptr;
    QAction* menuAction = bar ? actionAt(bar->actions(), menuPosition) : nullptr;
    QMenu* menu = menuAction ? menuAction->menu() : nullptr;
    QAction* item = menu ? actionAt(menu->actions(), itemPosition) : nullptr;
    if (!item || item->isSeparator()) return false;
    QIcon icon;
    if (!unchecked.isNull()) icon.addPixmap(unchecked, QIcon::Normal, QIcon::Off);
    if (!checked.isNull()) icon.addPixmap(checked, QIcon::Normal, QIcon::On);
    item->setIcon(icon);
    return true;
}

}  // namespace MiscFuncs
