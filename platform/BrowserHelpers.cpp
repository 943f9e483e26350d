#include "platform/BrowserHelpers.h"

#include <QStandardPaths>
#include <QStringList>

#include "core/MiscUtils.h"
#include "core/Prompt.h"
#include "platform/WebPages.h"

namespace BrowserHelpers {
namespace {

AssociatedProgramFn& finder() {
    static AssociatedProgramFn fn;
    return fn;
}

std::string desktopLookup(std::string_view extension) {
    const std::string ext = MiscFuncs::LowerCase(extension);
    if (ext != "htm" && ext != "html") return {};
    const QString browser = qEnvironmentVariable("BROWSER").split(':', Qt::SkipEmptyParts).value(0).trimmed();
    QString path = browser.isEmpty() ? QString() : QStandardPaths::findExecutable(browser.split(' ').value(0));
    if (path.isEmpty()) path = QStandardPaths::findExecutable("xdg-open");
    return path.toStdString();
}

}  // namespace

std::string FindAssociatedProgram(std::string_view extension) {
    const std::string path = finder() ? finder()(extension) : desktopLookup(extension);
    return std::string(MiscFuncs::TrimBlanks(path));
}

bool HasDefaultBrowser() { return FindAssociatedProgram("htm").size() > 10; }

bool IsInternetExplorerDefault() {
    const std::string path = MiscFuncs::LowerCase(FindAssociatedProgram("htm"));
    return path.find("iexplore.exe") != std::string::npos || path.find("internet explorer") != std::string::npos;
}

void SetAssociatedProgramFinder(AssociatedProgramFn fn) { finder() = std::move(fn); }

bool TheirBrowser2(std::string_view address) {
    if (!HasDefaultBrowser()) {
        Prompt::Ask("Could not find associated Browser", "Browser Not Found", Prompt::Buttons::OK,
                    Prompt::Kind::Exclamation);
        return false;
    }
    if (address.size() > platform::kWebAddressCap) {
        Prompt::Ask("Web Page not Opened\r\n\r\nThe text is too long to be passed to the browser. "
                    "Please shorten it and try again.",
                    "URL Failed", Prompt::Buttons::OK, Prompt::Kind::Exclamation);
        return false;
    }
    if (platform::OpenWebPage(address)) return true;
    Prompt::Ask("Web Page not Opened", "URL Failed", Prompt::Buttons::OK, Prompt::Kind::Exclamation);
    return false;
}

}  // namespace BrowserHelpers
