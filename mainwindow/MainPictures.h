#pragma once
// The main window's picture lists, looked up by key as the window uses them:
//   - tray: "R" (rest) and the animation frames "D1".."D4", "U1".."U4", "N1", "N2",
//     "A1", "A2"; an animation's frames run from 1 to the first number without a
//     picture;
//   - status bar: "GetMail", "SendMail", "NewMessages";
//   - main toolbar: the button keys of MainToolBar (see MainToolBar.h);
//   - tabs: "User" followed by a tab key of the senders page, "Domain" followed by a
//     tab key of the domains page.
// An unknown key gives a null pixmap. Pictures are drawn once and kept.

#include <QPixmap>

#include <string_view>

#include "mainwindow/TrayState.h"

namespace mainwindow {

inline constexpr int kTrayPictureSize = 32;
inline constexpr int kStatusPictureSize = 16;
inline constexpr int kToolbarPictureSize = 32;
inline constexpr int kTabPictureSize = 16;

QPixmap TrayPicture(std::string_view key);
// The number of frames of the state's animation (0 for the rest states).
int TrayFrameCount(TrayState state);

QPixmap StatusBarPicture(std::string_view key);
QPixmap ToolbarPicture(std::string_view key);
QPixmap TabPicture(std::string_view key);

}  // namespace mainwindow
