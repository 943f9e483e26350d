#pragma once
// Program-wide window services: the busy pointer that the engines switch on while they
// work, the form that was activated last, the main window's event procedure, a window
// shown on top without taking the focus, and pictures on menu items.
//
// None of them reports a failure: a pointer on a closed form, a missing menu item or a
// window that is gone are ignored (SetMenuItemBitmap alone returns whether it worked).
// Only the user-interface thread calls them.

#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <cstdint>

namespace MiscFuncs {

// The count of running busy sections, never below 0. While it is above 0 the
// application shows the busy pointer (arrow with hourglass) over all its windows.
std::int32_t BusyCounter();
void BeginBusy();
// Ends one section; the last one restores the default pointer.
void EndBusy();
// Forces the busy state off: default pointer, count 0.
void ResetBusyCursor();
// True while the busy pointer is shown.
bool BusyCursorShown();

// The form that was activated last; each form's activation handler sets it.
QWidget* BusyCursorForm();
void SetBusyCursorForm(QWidget* form);

// Installs the main window's own event procedure (an event filter) on the window.
// UnhookWindow leaves it in place until the window is destroyed.
void HookWindow(QWidget* window, QObject* procedure);
void UnhookWindow(QWidget* window);

// true: the window joins the always-on-top windows; false: it leaves them. Either way
// it is shown where it is, at its size, without being activated.
void SetFormTopmost(QWidget* form, bool topmost);

// Sets the pictures of the item at `itemPosition` of the menu at `menuPosition` in
// the window's menu bar (positions from 0, separators counted): `unchecked` for the
// item's normal state, `checked` for its checked state. False when there is no such
// item or it is a separator.
bool SetMenuItemBitmap(QWidget* window, int menuPosition, int itemPosition, const QPixmap& unchecked,
                       const QPixmap& checked);

}  // namespace MiscFuncs
