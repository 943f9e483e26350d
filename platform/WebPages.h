#pragma once
// Opens a web page in the desktop's browser. Only http and https addresses are opened:
// nothing else (a file, a program, a command) is handed to the desktop. Replaceable,
// so that tests see the address instead of starting a browser.

#include <QUrl>

#include <cstddef>
#include <functional>
#include <string_view>

namespace platform {

// The longest address handed to the browser.
inline constexpr std::size_t kWebAddressCap = 2048;

using WebPageOpenerFn = std::function<bool(const QUrl&)>;

// False when the address is not a valid http or https address, or the desktop could
// not open it; a refusal is logged.
bool OpenWebPage(std::string_view address);

// nullptr restores QDesktopServices::openUrl.
void SetWebPageOpener(WebPageOpenerFn opener);

}  // namespace platform
