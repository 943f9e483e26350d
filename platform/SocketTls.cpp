// TLS for SocketControl: the client sockets, the trusted certificates, the upgrade of
// a plain connection and the report of a failed handshake (see SocketControl.h).

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>

#include "core/Log.h"
#include "core/MailAccount.h"
#include "platform/SocketControl.h"
#include "platform/SocketErrors.h"

namespace platform {
namespace {

// The certificates OpenSSL's own programs trust beyond the system's store: the file
// named by SSL_CERT_FILE and every file in the folders of SSL_CERT_DIR (a list
// separated by ":"). Qt's backend loads the system's folders and does not read these.
QList<QSslCertificate> certificatesNamedByEnvironment(const QByteArray& file, const QByteArray& dirs) {
    QList<QSslCertificate> found;
    if (!file.isEmpty()) found += QSslCertificate::fromPath(QString::fromLocal8Bit(file), QSsl::Pem);
    for (const QByteArray& dir : dirs.split(':')) {
        if (dir.isEmpty()) continue;
        const QDir folder(QString::fromLocal8Bit(dir));
        for (const QString& name : folder.entryList(QDir::Files | QDir::Readable))
            found += QSslCertificate::fromPath(folder.filePath(name), QSsl::Pem);
    }
    return found;
}

// The configuration of every client connection: the default one (system store,
// verification of the peer) plus the certificates of the environment, re-read when
// the environment changed since the last connection.
QSslConfiguration clientConfiguration() {
    struct Cache {
        QByteArray file, dirs;
        bool made = false;
        QSslConfiguration configuration;
    };
    static Cache cache;
    const QByteArray file = qgetenv("SSL_CERT_FILE");
    const QByteArray dirs = qgetenv("SSL_CERT_DIR");
    if (cache.made && cache.file == file && cache.dirs == dirs) return cache.configuration;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    const QList<QSslCertificate> extra = certificatesNamedByEnvironment(file, dirs);
    if (!extra.isEmpty()) {
        // Naming certificates ends the loading of the system's on demand: name both.
        static const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
        configuration.setCaCertificates(system + extra);
    }
    cache = {file, dirs, true, configuration};
    return configuration;
}

QString joined(const QStringList& list) { return list.join(QStringLiteral("; ")); }

}  // namespace

SocketControl::Tls SocketControl::TlsFor(int accountSecurity) {
    if (accountSecurity == Accounts::kImplicitTls) return Tls::Implicit;
    if (accountSecurity == Accounts::kStartTls) return Tls::Later;
    return Tls::None;
}

QTcpSocket* SocketControl::newClientSocket() {
    if (tls_ == Tls::None) return new QTcpSocket(this);
    auto* socket = new QSslSocket(this);
    socket->setSslConfiguration(clientConfiguration());
    socket->setPeerVerifyName(QString::fromStdString(remoteHost_));
    QObject::connect(socket, &QSslSocket::encrypted, this, &SocketControl::onEncrypted);
    QObject::connect(socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError>& errors) {
        for (const QSslError& e : errors) tlsErrors_ << e.errorString();
    });
    return socket;
}

bool SocketControl::encrypted() const {
    const auto* ssl = qobject_cast<const QSslSocket*>(socket_);
    return ssl != nullptr && ssl->isEncrypted() && !handshaking_ && !upgrading_;
}

bool SocketControl::startTls() {
    auto* ssl = qobject_cast<QSslSocket*>(socket_);
    if (ssl == nullptr || state() != kConnected || ssl->isEncrypted() || upgrading_) {
        lastErrorNumber_ = winsock::kBadState;
        lastErrorText_ = QStringLiteral("No plain connection to upgrade");
        return false;
    }
    // What the server sent before the handshake is not to be believed (RFC 3207 4.2):
    // it is dropped unread, and the peer's words are read afresh once encrypted.
    consumed_ += ssl->skip(ssl->bytesAvailable());
    announcedTotal_ = consumed_;
    upgrading_ = true;
    tlsErrors_.clear();
    ssl->startClientEncryption();
    return true;
}

void SocketControl::onEncrypted() {
    if (handshaking_) {
        handshaking_ = false;
        everConnected_ = true;
        emit connected();
        return;
    }
    if (!upgrading_) return;
    upgrading_ = false;
    emit tlsStarted();
}

// A failed handshake as the engines report it; false for any other socket error.
bool SocketControl::tlsFailure(QString& text) const {
    if (!handshaking_ && !upgrading_) return false;
    const QAbstractSocket::SocketError kind = socket_->error();
    const bool tlsKind = kind == QAbstractSocket::SslHandshakeFailedError ||
                         kind == QAbstractSocket::SslInternalError ||
                         kind == QAbstractSocket::SslInvalidUserDataError;
    if (!tlsKind && tlsErrors_.isEmpty()) {
        // The connection broke during the handshake: a server that does not speak TLS.
        if (kind != QAbstractSocket::RemoteHostClosedError) return false;
    }
    const QString host = QString::fromStdString(remoteHost_);
    if (!tlsErrors_.isEmpty()) {
        text = QStringLiteral("the certificate of %1 was refused: %2").arg(host, joined(tlsErrors_));
    } else {
        text = QStringLiteral("TLS with %1 failed: %2").arg(host, socket_->errorString());
    }
    MiscFuncs::WriteLog(0, "#", "TLS Error! Port " + std::to_string(remotePort_) + ": " + text.toStdString());
    return true;
}

}  // namespace platform
