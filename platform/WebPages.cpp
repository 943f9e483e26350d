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

}  // namespace

bool OpenWebPage(std::string_view address) {
    const QUrl url = QUrl(FromText8(address.substr(0, kWebAddressCap)).trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (address.size() > kWebAddressCap || !url.isValid() || url.host().isEmpty() ||
        (scheme != "http" && scheme != "https")) {
        MiscFuncs::WriteLog(0, "!", "Not a web page address: " + std::string(address));
        return false;
    }
    return opener() ? opener()(url) : QDesktopServices::openUrl(url);
}

void SetWebPageOpener(WebPageOpenerFn fn) { opener() = std::move(fn); }

}  // namespace platform
