#pragma once
// The error numbers the socket layer reports, on the platform's Winsock scale, so the
// numbers that reach the logs read as they always have ("Winsock Error: #10061").
// The description that goes with a number is Qt's own error text.

#include <QAbstractSocket>
#include <QString>

namespace platform::winsock {

inline constexpr int kAccessDenied = 10013;          // WSAEACCES
inline constexpr int kOperationNotSupported = 10045; // WSAEOPNOTSUPP
inline constexpr int kAddressInUse = 10048;          // WSAEADDRINUSE
inline constexpr int kAddressNotAvailable = 10049;   // WSAEADDRNOTAVAIL
inline constexpr int kNetworkUnreachable = 10051;    // WSAENETUNREACH
inline constexpr int kConnectionAborted = 10053;     // WSAECONNABORTED
inline constexpr int kConnectionReset = 10054;       // WSAECONNRESET
inline constexpr int kNoBufferSpace = 10055;         // WSAENOBUFS
inline constexpr int kTimedOut = 10060;              // WSAETIMEDOUT
inline constexpr int kConnectionRefused = 10061;     // WSAECONNREFUSED
inline constexpr int kHostUnreachable = 10065;       // WSAEHOSTUNREACH
inline constexpr int kInvalidArgument = 10022;       // WSAEINVAL
inline constexpr int kHostNotFound = 11001;          // WSAHOST_NOT_FOUND
// The socket control's own "wrong protocol or connection state" (sckBadState).
inline constexpr int kBadState = 40006;
// A TLS handshake failed (the server's certificate was refused, or the server does
// not speak TLS); the description says why. Our own number: Winsock has none.
inline constexpr int kTlsFailed = 40100;

// The number for a Qt socket error. Qt folds several system errors into NetworkError;
// its text tells a time-out and an unreachable network from an unreachable host.
int ErrorNumber(QAbstractSocket::SocketError error, const QString& text);

}  // namespace platform::winsock
