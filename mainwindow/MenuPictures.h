#pragma once
// The pictures of the tray menu and of the senders grid's menu, by key:
//   tray menu: "Open", "CheckMail", "Close";
//   grid menu: "MailPreview", "AcceptMessage", "DeleteMessage", "OkSender",
//   "BlockSender", "AddSender", "DeleteSender", "OkDomain", "BlockDomain".
// An unknown key gives a null pixmap. Pictures are drawn once and kept.

#include <QPixmap>

#include <string_view>

namespace mainwindow {

inline constexpr int kMenuPictureSize = 16;

QPixmap MenuPicture(std::string_view key);

}  // namespace mainwindow
