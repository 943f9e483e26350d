#include "platform/SocketErrors.h"

namespace platform::winsock {
namespace {

int networkErrorNumber(const QString& text) {
    if (text.contains(QLatin1String("timed out"), Qt::CaseInsensitive)) return kTimedOut;
    if (text.contains(QLatin1String("network unreachable"), Qt::CaseInsensitive)) {
        return kNetworkUnreachable;
    }
    return kHostUnreachable;
}

}  // namespace

int ErrorNumber(QAbstractSocket::SocketError error, const QString& text) {
    using E = QAbstractSocket::SocketError;
    switch (error) {
    case E::ConnectionRefusedError: return kConnectionRefused;
    case E::RemoteHostClosedError: return kConnectionReset;
    case E::HostNotFoundError: return kHostNotFound;
    case E::SocketAccessError: return kAccessDenied;
    case E::SocketResourceError: return kNoBufferSpace;
    case E::SocketTimeoutError: return kTimedOut;
    case E::NetworkError: return networkErrorNumber(text);
    case E::AddressInUseError: return kAddressInUse;
    case E::SocketAddressNotAvailableError: return kAddressNotAvailable;
    case E::UnsupportedSocketOperationError: return kOperationNotSupported;
    case E::OperationError: return kInvalidArgument;
    default: return kConnectionAborted;
    }
}

}  // namespace platform::winsock
