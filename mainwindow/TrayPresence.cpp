#include "mainwindow/TrayPresence.h"

#include <QSystemTrayIcon>

namespace mainwindow {
namespace {

TrayPresenceFn& presence() {
    static TrayPresenceFn fn;
    return fn;
}

}  // namespace

bool TrayAvailable() { return presence() ? presence()() : QSystemTrayIcon::isSystemTrayAvailable(); }

void SetTrayAvailable(TrayPresenceFn fn) { presence() = std::move(fn); }

}  // namespace mainwindow
