#include "platform/Online.h"

#include <QNetworkInformation>
#include <QNetworkInterface>

#include <utility>

namespace MiscFuncs {
namespace {

OnlineCheckFn g_check;
bool g_backendTried = false;

bool interfaceIsUp() {
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& i : interfaces) {
        const auto f = i.flags();
        if (f.testFlag(QNetworkInterface::IsLoopBack)) continue;
        if (f.testFlag(QNetworkInterface::IsUp) && f.testFlag(QNetworkInterface::IsRunning) &&
            !i.addressEntries().isEmpty())
            return true;
    }
    return false;
}

}  // namespace

bool SystemIsOnline() {
    // Loading a backend means looking for plugins: once per run is enough.
    if (!g_backendTried) {
        g_backendTried = true;
        if (!QNetworkInformation::instance()) QNetworkInformation::loadDefaultBackend();
    }
    if (const QNetworkInformation* info = QNetworkInformation::instance()) {
        switch (info->reachability()) {
        case QNetworkInformation::Reachability::Disconnected: return false;
        case QNetworkInformation::Reachability::Local:
        case QNetworkInformation::Reachability::Site:
        case QNetworkInformation::Reachability::Online: return true;
        case QNetworkInformation::Reachability::Unknown: break;
        }
    }
    return interfaceIsUp();
}

bool IsOnline() { return g_check ? g_check() : SystemIsOnline(); }

void SetOnlineCheck(OnlineCheckFn check) { g_check = std::move(check); }

}  // namespace MiscFuncs
