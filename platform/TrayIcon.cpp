#include "platform/TrayIcon.h"

#include <QPointer>

#include "platform/Text8.h"

namespace MiscFuncs {
namespace {

QPointer<QSystemTrayIcon> g_tray;

void fill(QSystemTrayIcon* tray, std::string_view tip, const QIcon& icon) {
    tray->setToolTip(platform::FromText8(TrayTipText(tip)));
    tray->setIcon(icon);
    // Showing without a picture or without a notification area only draws warnings.
    if (!icon.isNull() && QSystemTrayIcon::isSystemTrayAvailable()) tray->show();
}

}  // namespace

std::string TrayTipText(std::string_view tip) {
    tip = tip.substr(0, tip.find('\0'));
    return std::string(tip.substr(0, kTrayTipLength));
}

void AddTrayIcon(QWidget* form, std::string_view tip, const QIcon& icon) {
    if (!g_tray) g_tray = new QSystemTrayIcon(form);
    else if (form && g_tray->parent() != form) g_tray->setParent(form);
    fill(g_tray, tip, icon);
}

void ModifyTrayIcon(QWidget*, std::string_view tip, const QIcon& icon) {
    if (g_tray) fill(g_tray, tip, icon);
}

void RemoveTrayIcon() {
    if (!g_tray) return;
    g_tray->hide();
    delete g_tray.data();
}

QSystemTrayIcon* TrayIcon() { return g_tray.data(); }

}  // namespace MiscFuncs
