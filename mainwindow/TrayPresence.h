#pragma once
// Whether the desktop has a notification area to hold the program's icon. Where it has
// none, the main window is never hidden: it starts shown, minimising leaves it in the
// task bar and the close box asks before the program ends, so the running program
// always stays within the user's reach. Replaceable for tests.

#include <functional>

namespace mainwindow {

using TrayPresenceFn = std::function<bool()>;

bool TrayAvailable();
// nullptr restores QSystemTrayIcon::isSystemTrayAvailable.
void SetTrayAvailable(TrayPresenceFn presence);

}  // namespace mainwindow
