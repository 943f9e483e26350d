#include "platform/WebPages.h"

#include <QDesktopServices>

#include <string>

#include "core/Log.h"
#include "platform/Text8.h"

namespace platform {
namespace {

WebPageOpenerFn& opener() {
    static WebPageOpenerFn fn;
    return fn;
}

constexpr std::size_t kAddressCap = kWebAddressCap;
constexpr std::size_t kLoggedCap = 200;

// The address as it may appear in a log line: bounded, one line.
std::string forLog(std::string_view address) {
    std::string text(address.substr(0, kLoggedCap));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return text;
}

}  // namespace

bool OpenWebPage(std::string_view address) {
    const QUrl url = QUrl(FromText8(address.substr(0, kAddressCap)).trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (address.size() > kAddressCap || !url.isValid() || url.host().isEmpty() ||
        (scheme != "http" && scheme != "https")) {
        MiscFuncs::WriteLog(0, "!", "Not a web page address: " + forLog(address));
        return false;
    }
    return opener() ? opener()(url) : QDesktopServices::openUrl(url);
}

void SetWebPageOpener(WebPageOpenerFn fn) { opener() = std::move(fn); }

}  // namespace platform
