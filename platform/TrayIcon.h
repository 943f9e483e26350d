#pragma once
// The program's one notification-area (tray) icon. Add creates it for a form, Modify
// changes its picture and tip, Remove deletes it. The tip shows at most 63 characters
// (and nothing after a NUL). Where the desktop has no notification area the icon is
// kept but never shown, so the calls stay harmless. The icon's clicks arrive as the
// `activated` signal of TrayIcon().

#include <QIcon>
#include <QSystemTrayIcon>
#include <QWidget>

#include <string>
#include <string_view>

namespace MiscFuncs {

inline constexpr std::size_t kTrayTipLength = 63;

// The part of a tip that the icon shows.
std::string TrayTipText(std::string_view tip);

void AddTrayIcon(QWidget* form, std::string_view tip, const QIcon& icon);
// Does nothing when no icon has been added.
void ModifyTrayIcon(QWidget* form, std::string_view tip, const QIcon& icon);
void RemoveTrayIcon();

// The icon as last added, or nullptr.
QSystemTrayIcon* TrayIcon();

}  // namespace MiscFuncs
