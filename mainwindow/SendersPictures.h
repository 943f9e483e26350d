#pragma once
// The pictures of the senders page: the grid rows' icons ("UserOk", "UserUnknown",
// "UserWaitingAuth", "UserBlocked", "MessageOk", "MessageUnknown", "MessageDeleted")
// and the toolbar buttons ("Ok", "Block", "UserAdd", "UserDelete",
// "PreviewMessages"). Drawn once per key; an unknown key gives a null pixmap.

#include <QPixmap>

#include <string_view>

namespace mainwindow {

inline constexpr int kSendersRowPictureSize = 16;
inline constexpr int kSendersButtonSize = 24;

QPixmap SendersRowPicture(std::string_view key);
QPixmap SendersButtonPicture(std::string_view key);

}  // namespace mainwindow
