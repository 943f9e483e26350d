#include "platform/SocketControl.h"

#include <QCoreApplication>
#include <QHostInfo>
#include <QNetworkProxy>
#include <QPointer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <map>

#include "core/Log.h"
#include "platform/SocketErrors.h"

namespace platform {
namespace {

const char* const kBadStateText = "Wrong protocol or connection state for the requested transaction or request";
const char* const kInvalidPortText = "The port number is not valid";

void logError(const char* procedure, const QString& text) {
    MiscFuncs::WriteLog(0, "#", std::string("Error in SocketControl::") + procedure + " " +
                                    text.toStdString());
}

// Lets a connection we are done with deliver what is still queued, then go down.
// The socket leaves its control (it may be destroyed right after) for the
// application object, which removes it at the latest when the program ends.
void Linger(QTcpSocket* socket) {
    socket->disconnect();
    socket->setParent(QCoreApplication::instance());
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    QObject::connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(SocketControl::kLingerMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->disconnectFromHost();
}

// Connections announced by a listener and not yet taken by accept(). A request is
// refused (closed) as soon as the handler that was told of it returns.
class PendingRequests {
public:
    static int add(QTcpSocket* socket) {
        socket->setParent(QCoreApplication::instance());
        nextId_ = nextId_ >= 0x7fffffff ? 1 : nextId_ + 1;
        pending()[nextId_] = socket;
        return nextId_;
    }
    static QTcpSocket* take(int id) {
        auto it = pending().find(id);
        if (it == pending().end()) return nullptr;
        QTcpSocket* socket = it->second.data();
        pending().erase(it);
        return socket;
    }
    static void refuse(int id) {
        if (QTcpSocket* socket = take(id)) Linger(socket);
    }

private:
    static std::map<int, QPointer<QTcpSocket>>& pending() {
        static std::map<int, QPointer<QTcpSocket>> requests;
        return requests;
    }
    static inline int nextId_ = 0;
};

}  // namespace

std::string PlainAddressText(const QHostAddress& address) {
    if (address.isNull()) return {};
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (address.protocol() == QAbstractSocket::IPv6Protocol && mapped) {
        return QHostAddress(v4).toString().toStdString();
    }
    QHostAddress plain(address);
    plain.setScopeId(QString());
    return plain.toString().toStdString();
}

SocketControl::SocketControl(QObject* parent) : QObject(parent) {}

SocketControl::~SocketControl() { close(); }

int SocketControl::state() const {
    if (failed_) return kError;
    if (server_ != nullptr) return kListening;
    if (starting_) return kConnecting;
    if (socket_ == nullptr) return kClosed;
    if (handshaking_ && !peerGone_) return kConnecting;
    if (peerGone_) return kClosing;
    switch (socket_->state()) {
    case QAbstractSocket::HostLookupState: return kResolvingHost;
    case QAbstractSocket::ConnectingState: return kConnecting;
    case QAbstractSocket::ConnectedState: return kConnected;
    case QAbstractSocket::BoundState: return kOpen;
    case QAbstractSocket::ClosingState: return kClosing;
    default: return kClosed;
    }
}

quint16 SocketControl::localPort() const {
    if (server_ != nullptr) return server_->serverPort();
    if (socket_ != nullptr && socket_->localPort() != 0) return socket_->localPort();
    return localPort_;
}

int SocketControl::remotePort() const {
    if (socket_ != nullptr && socket_->peerPort() != 0) return socket_->peerPort();
    return remotePort_;
}

std::string SocketControl::remoteHostIP() const {
    return socket_ != nullptr ? PlainAddressText(socket_->peerAddress()) : std::string();
}

std::string SocketControl::localIP() const {
    if (socket_ != nullptr && !socket_->localAddress().isNull()) {
        return PlainAddressText(socket_->localAddress());
    }
    return "127.0.0.1";
}

std::string SocketControl::localHostName() { return QHostInfo::localHostName().toStdString(); }

qint64 SocketControl::bytesReceived() const {
    return socket_ != nullptr ? socket_->bytesAvailable() : 0;
}

qint64 SocketControl::bytesPending() const {
    return socket_ != nullptr ? socket_->bytesToWrite() : 0;
}

// A control must be closed before it connects or listens; one whose connection is
// already dead is closed on the way.
bool SocketControl::makeReady(const char* procedure) {
    const int current = state();
    if (current == kClosing || current == kError) close();
    if (state() == kClosed) return true;
    lastErrorNumber_ = winsock::kBadState;
    lastErrorText_ = QString::fromLatin1(kBadStateText);
    logError(procedure, lastErrorText_);
    return false;
}

bool SocketControl::connect(const std::string& host, int port) {
    remoteHost_ = host;
    remotePort_ = port;
    return connect();
}

bool SocketControl::connect(const std::string& host, int port, Tls tls) {
    tls_ = tls;
    const bool started = connect(host, port);
    tls_ = Tls::None;
    return started;
}

bool SocketControl::connect() {
    if (!makeReady("connect")) return false;
    if (remotePort_ < 1 || remotePort_ > 65535) {
        failLater(winsock::kAddressNotAvailable, QString::fromLatin1(kInvalidPortText));
        return true;
    }
    QTcpSocket* socket = newClientSocket();
    adopt(socket);
    everConnected_ = false;
    if (localPort_ != 0 && !socket->bind(QHostAddress::AnyIPv4, localPort_)) {
        if (failed_) return true;  // Qt has reported it already
        failLater(winsock::ErrorNumber(socket->error(), socket->errorString()), socket->errorString());
        return true;
    }
    const QString host = QString::fromStdString(remoteHost_);
    if (tls_ == Tls::Implicit) {
        // connected() waits for the handshake (onEncrypted).
        handshaking_ = true;
        static_cast<QSslSocket*>(socket)->connectToHostEncrypted(host, static_cast<quint16>(remotePort_));
        return true;
    }
    QObject::connect(socket, &QAbstractSocket::connected, this, [this] {
        everConnected_ = true;
        emit connected();
    });
    socket->connectToHost(host, static_cast<quint16>(remotePort_));
    return true;
}

bool SocketControl::listen(int port) {
    if (port < 0 || port > 65535) {
        lastErrorNumber_ = winsock::kAddressNotAvailable;
        lastErrorText_ = QString::fromLatin1(kInvalidPortText);
        logError("listen", lastErrorText_);
        return false;
    }
    localPort_ = static_cast<quint16>(port);
    return listen();
}

bool SocketControl::listen() {
    if (!makeReady("listen")) return false;
    auto* server = new QTcpServer(this);
    server->setProxy(QNetworkProxy::NoProxy);
    if (!server->listen(bindAddress_, localPort_)) {
        lastErrorNumber_ = winsock::ErrorNumber(server->serverError(), server->errorString());
        lastErrorText_ = server->errorString();
        delete server;
        logError("listen", lastErrorText_);
        return false;
    }
    server_ = server;
    QObject::connect(server, &QTcpServer::newConnection, this, &SocketControl::onNewConnection);
    QObject::connect(server, &QTcpServer::acceptError, this, &SocketControl::onAcceptError);
    return true;
}

bool SocketControl::accept(int requestId) {
    QTcpSocket* socket = PendingRequests::take(requestId);
    if (socket == nullptr) {
        logError("accept", QStringLiteral("no pending connection request %1").arg(requestId));
        return false;
    }
    close();
    socket->setParent(this);
    adopt(socket);
    everConnected_ = true;
    if (socket->state() != QAbstractSocket::ConnectedState) {
        peerGone_ = true;
        endDue_ = true;
    }
    queueFlush();  // bytes (or a close) that came before the request was taken
    return true;
}

bool SocketControl::send(const QByteArray& bytes) {
    if (state() != kConnected) {
        lastErrorNumber_ = winsock::kBadState;
        lastErrorText_ = QString::fromLatin1(kBadStateText);
        return false;
    }
    if (socket_->write(bytes) != bytes.size()) {
        lastErrorNumber_ = winsock::ErrorNumber(socket_->error(), socket_->errorString());
        lastErrorText_ = socket_->errorString();
        return false;
    }
    if (highWater_ > 0 && socket_->bytesToWrite() > highWater_ && !pausedByPressure_) {
        pausedByPressure_ = true;
    }
    return true;
}

void SocketControl::setLowDelay(bool on) {
    if (socket_ != nullptr) socket_->setSocketOption(QAbstractSocket::LowDelayOption, on ? 1 : 0);
}

void SocketControl::flushOutput() {
    if (state() == kConnected && socket_->bytesToWrite() > 0) socket_->flush();
}

bool SocketControl::sendText(std::string_view bytes) {
    return send(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

QByteArray SocketControl::peek(qint64 maxLen) const {
    if (socket_ == nullptr) return {};
    const qint64 available = socket_->bytesAvailable();
    return socket_->peek(maxLen < 0 || maxLen > available ? available : maxLen);
}

std::string SocketControl::peekText(qint64 maxLen) const { return peek(maxLen).toStdString(); }

QByteArray SocketControl::read(qint64 maxLen) {
    if (socket_ == nullptr) return {};
    const qint64 available = socket_->bytesAvailable();
    QByteArray bytes = socket_->read(maxLen < 0 || maxLen > available ? available : maxLen);
    consumed_ += bytes.size();
    return bytes;
}

std::string SocketControl::readText(qint64 maxLen) { return read(maxLen).toStdString(); }

void SocketControl::close() {
    ++generation_;
    if (server_ != nullptr) {
        server_->disconnect(this);
        server_->close();
        server_->deleteLater();
        server_ = nullptr;
    }
    if (socket_ != nullptr) {
        Linger(socket_);
        socket_ = nullptr;
    }
    resetConnectionState();
}

void SocketControl::resetConnectionState() {
    starting_ = failed_ = everConnected_ = peerGone_ = false;
    endDue_ = endDelivered_ = false;
    dueErrorNumber_ = 0;
    dueErrorText_.clear();
    inArrival_ = flushQueued_ = false;
    pausedByCaller_ = pausedByPressure_ = false;
    consumed_ = announcedTotal_ = 0;
    handshaking_ = upgrading_ = false;
    tlsErrors_.clear();
}

void SocketControl::pauseReading() {
    pausedByCaller_ = true;
}

void SocketControl::resumeReading() {
    pausedByCaller_ = false;
    queueFlush();
}

void SocketControl::setSendHighWater(qint64 bytes) {
    highWater_ = bytes < 0 ? 0 : bytes;
    if (highWater_ == 0 && pausedByPressure_) {
        pausedByPressure_ = false;
        queueFlush();
    }
}

// Each request is offered once; a handler that lets events run sees later requests
// only after it returns, from this same loop.
void SocketControl::onNewConnection() {
    if (inRequest_) return;
    QPointer<SocketControl> self(this);
    QPointer<QTcpServer> server(server_);
    inRequest_ = true;
    while (self && server && server == server_ && server->hasPendingConnections()) {
        const int id = PendingRequests::add(server->nextPendingConnection());
        emit connectionRequest(id);
        PendingRequests::refuse(id);
    }
    if (!self) return;
    inRequest_ = false;
    // A handler that closed this listener and listened again may have left requests.
    if (server_ != nullptr && server_ != server && server_->hasPendingConnections()) {
        QMetaObject::invokeMethod(this, &SocketControl::onNewConnection, Qt::QueuedConnection);
    }
}

// Qt stops accepting after a failed accept (no descriptors left, say). The listener
// takes requests again a moment later instead of falling silent for the whole run.
void SocketControl::onAcceptError() {
    QTcpServer* const server = server_;
    if (server == nullptr) return;
    QTimer::singleShot(kAcceptRetryMs, server, [server] { server->resumeAccepting(); });
    lastErrorNumber_ = winsock::ErrorNumber(server->serverError(), server->errorString());
    lastErrorText_ = server->errorString();
    emit error(lastErrorNumber_, lastErrorText_);
}

}  // namespace platform
