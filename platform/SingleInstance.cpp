#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "core/Log.h"
#include "platform/EventWait.h"

namespace platform {
namespace {

const QByteArray kActivate = "activate\n";
const QByteArray kAnswer = "ok\n";
constexpr int kLineCap = 64;
constexpr int kIdleConnectionMs = 5000;
constexpr qint64 kRetryMs = 100;

void logError(const char* procedure, const std::string& text) {
    MiscFuncs::WriteLog(0, "#", std::string("Error in SingleInstance::") + procedure + " " + text);
}

QString canonicalFolder(const QString& folder) {
    const QFileInfo info(folder);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

// Serves one connection: a line up to kLineCap bytes; "activate" is answered and
// reported, anything else or nothing in time closes the connection.
void serve(QLocalSocket* socket, SingleInstance* owner, const std::function<void()>& activate) {
    auto buffer = std::make_shared<QByteArray>();
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(kIdleConnectionMs, socket, [socket] { socket->abort(); });
    QObject::connect(socket, &QLocalSocket::readyRead, owner, [socket, buffer, activate] {
        buffer->append(socket->read(kLineCap + 1 - buffer->size()));
        if (!buffer->contains('\n')) {
            if (buffer->size() > kLineCap) socket->abort();
            return;
        }
        const bool wanted = buffer->left(buffer->indexOf('\n') + 1) == kActivate;
        if (wanted) {
            socket->write(kAnswer);
            socket->flush();
        }
        socket->disconnectFromServer();
        if (wanted) activate();
    });
}

}  // namespace

SingleInstance::SingleInstance(const QString& dataFolder, QObject* parent)
    : QObject(parent), folder_(dataFolder), serverName_(ServerNameFor(dataFolder)) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
    if (lockFd_ >= 0) ::close(lockFd_);
}

QString SingleInstance::ServerNameFor(const QString& dataFolder) {
    const QByteArray hash =
        QCryptographicHash::hash(canonicalFolder(dataFolder).toUtf8(), QCryptographicHash::Sha256).toHex();
    return QStringLiteral("glimmerpost-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash.left(16)));
}

SingleInstance::Role SingleInstance::start(qint64 answerTimeoutMs) {
    if (role_ != Role::Undecided) return role_;
    role_ = takeLock();
    if (role_ == Role::First) listen();
    if (role_ == Role::Second) answered_ = askFirst(answerTimeoutMs);
    return role_;
}

SingleInstance::Role SingleInstance::takeLock() {
    const QByteArray path = QFile::encodeName(QDir(folder_).filePath(kLockFileName));
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // A folder we may not write to still lets an existing lock file be locked.
    if (fd < 0) fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        logError("start", std::strerror(errno));
        return Role::Failed;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        lockFd_ = fd;
        return Role::First;
    }
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return Role::Second;
    logError("start", std::strerror(error));
    return Role::Failed;
}

void SingleInstance::listen() {
    // Holding the lock, no other instance of this folder lives: a socket of that name
    // is a leftover of a crash.
    QLocalServer::removeServer(serverName_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    if (!server_->listen(serverName_)) logError("listen", server_->errorString().toStdString());
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = server_->nextPendingConnection())
        serve(socket, this, [this] { emit activationRequested(); });
}

bool SingleInstance::askFirst(qint64 timeoutMs) {
    const qint64 deadline = MonotonicMs() + std::max<qint64>(0, timeoutMs);
    // The first instance may be starting and not listen yet: try again until the deadline.
    do {
        QLocalSocket socket;
        socket.connectToServer(serverName_);
        WaitUntil([&] { return socket.state() != QLocalSocket::ConnectingState; }, deadline - MonotonicMs());
        if (socket.state() == QLocalSocket::ConnectedState) {
            socket.write(kActivate);
            QByteArray reply;
            WaitUntil(
                [&] {
                    reply.append(socket.read(kLineCap - reply.size()));
                    return reply.contains('\n') || reply.size() >= kLineCap ||
                           socket.state() == QLocalSocket::UnconnectedState;
                },
                deadline - MonotonicMs());
            reply.append(socket.read(kLineCap - reply.size()));
            return reply.startsWith(kAnswer);
        }
        WaitWithEvents(std::min(kRetryMs, deadline - MonotonicMs()));
    } while (MonotonicMs() < deadline);
    return false;
}

}  // namespace platform
