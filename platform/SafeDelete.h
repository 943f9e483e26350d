#pragma once
// Releasing a window, menu or engine that Qt may still hold: one of its own handlers
// is on the stack, a pop-up is closing, an event for it is on its way. While an event
// loop runs, the object goes once the loop is back at its own level (deleteLater; the
// application's exec deletes what is left when it returns). With no event loop
// running (before exec, after it, in a test's own pumping) nothing would ever take a
// deferred delete, and nothing of Qt is inside the object's handlers: it goes at once.

class QObject;

namespace platform {

void DeleteWhenSafe(QObject* object);

}  // namespace platform
