// SocketControl's TLS against a TLS server in this process (QSslSocket in server mode
// on a free port of 127.0.0.1) with throw-away certificates: the trusted certificates
// named by SSL_CERT_FILE and SSL_CERT_DIR, which Qt alone does not read, and the
// upgrade of a plain connection, which drops what came before the handshake.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>

#include <memory>

#include "SocketTestSupport.h"
#include "platform/SocketErrors.h"
#include "support/TlsCertificates.h"

using namespace testing_support;
using platform::SocketControl;

namespace {

// Accepts connections; speaks TLS at once (implicit) or after its plain greeting.
class TlsServer : public QTcpServer {
public:
    TlsServer(const PeerTls& tls, bool implicit, QByteArray plainGreeting = {})
        : implicit_(implicit), greeting_(std::move(plainGreeting)) {
        QFile cert(tls.cert), key(tls.key);
        cert.open(QIODevice::ReadOnly);
        key.open(QIODevice::ReadOnly);
        cert_ = QSslCertificate(cert.readAll());
        key_ = QSslKey(key.readAll(), QSsl::Ec);
        listen(QHostAddress::LocalHost, 0);
    }
    quint16 port() const { return serverPort(); }

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* peer = new QSslSocket(this);
        peer->setSocketDescriptor(descriptor);
        peer->setLocalCertificate(cert_);
        peer->setPrivateKey(key_);
        QObject::connect(peer, &QSslSocket::encrypted, peer, [peer] { peer->write("hello\r\n"); });
        QObject::connect(peer, &QSslSocket::sslErrors, peer, [peer](const QList<QSslError>&) { peer->abort(); });
        if (implicit_) {
            peer->startServerEncryption();
            return;
        }
        peer->write(greeting_);
        QObject::connect(peer, &QIODevice::readyRead, peer, [peer] {
            if (peer->isEncrypted() || !peer->readAll().startsWith("STLS")) return;
            // An attacker's line rides with the yes (RFC 3207 4.2).
            peer->write("+OK begin\r\n-ERR injected\r\n");
            peer->flush();
            peer->startServerEncryption();
        });
    }

private:
    bool implicit_;
    QByteArray greeting_;
    QSslCertificate cert_;
    QSslKey key_;
};

class SocketTlsTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        if (!PeersAvailable({PeerProgram::Openssl})) GTEST_SKIP() << MissingPeers({PeerProgram::Openssl});
        ASSERT_TRUE(certificates.make()) << certificates.error().toStdString();
    }
    TestCertificates certificates;
};

// Connects with TLS from the first byte; the text received, or why it failed.
std::string ImplicitTls(quint16 port) {
    SocketControl client;
    std::string got, failure;
    QObject::connect(&client, &SocketControl::dataArrival, [&](qint64) { got += client.readText(); });
    QObject::connect(&client, &SocketControl::error, [&](int, const QString& why) { failure = why.toStdString(); });
    client.connect("127.0.0.1", port, SocketControl::Tls::Implicit);
    WaitFor([&] { return got.find("\r\n") != std::string::npos || !failure.empty(); });
    return failure.empty() ? got : "failed: " + failure;
}

}  // namespace

TEST_F(SocketTlsTest, TheCertificatesNamedByTheEnvironmentAreTrustedAsOpenSslToolsDo) {
    TlsServer server(certificates.server(), true);
    // Qt's own default does not read SSL_CERT_FILE: that is why the control adds it.
    {
        const TrustedCa trusted(certificates.caFile());
        QSslSocket plainQt;
        bool refused = false;
        QObject::connect(&plainQt, &QSslSocket::sslErrors, [&](const QList<QSslError>&) { refused = true; });
        plainQt.connectToHostEncrypted("127.0.0.1", server.port());
        WaitFor([&] { return refused || plainQt.isEncrypted(); });
        EXPECT_TRUE(refused) << "Qt now reads SSL_CERT_FILE by itself";
        plainQt.abort();
    }
    EXPECT_NE(ImplicitTls(server.port()).find("failed: the certificate of 127.0.0.1 was refused: "), std::string::npos);
    EXPECT_TRUE(logHas("TLS Error! Port ")) << programLog();
    {
        const TrustedCa trusted(certificates.caFile());
        EXPECT_EQ(ImplicitTls(server.port()), "hello\r\n");
    }
    QTemporaryDir folder;
    ASSERT_TRUE(QFile::copy(certificates.caFile(), folder.filePath("ca.pem")));
    qputenv("SSL_CERT_DIR", QFile::encodeName("/nonexistent:" + folder.path()));
    EXPECT_EQ(ImplicitTls(server.port()), "hello\r\n");
    qunsetenv("SSL_CERT_DIR");
}

TEST_F(SocketTlsTest, AnUpgradeDropsWhatCameBeforeTheHandshake) {
    const TrustedCa trusted(certificates.caFile());
    TlsServer server(certificates.server(), false, "+OK ready\r\n");
    SocketControl client;
    std::string got;
    bool upgraded = false;
    QObject::connect(&client, &SocketControl::dataArrival, [&](qint64) {
        if (!upgraded && got.empty()) {
            got = client.readText();
            client.sendText("STLS\r\n");
            return;
        }
        if (upgraded) got += client.readText();
    });
    QObject::connect(&client, &SocketControl::tlsStarted, [&] { upgraded = true; });
    ASSERT_TRUE(client.connect("127.0.0.1", server.port(), SocketControl::Tls::Later));
    ASSERT_TRUE(WaitFor([&] { return !got.empty(); }));
    EXPECT_EQ(got, "+OK ready\r\n");
    // The server's yes and the injected line arrive unread; the upgrade drops both.
    ASSERT_TRUE(WaitFor([&] { return client.bytesReceived() > 0; }));
    EXPECT_TRUE(client.startTls());
    EXPECT_FALSE(client.startTls());  // one upgrade at a time
    ASSERT_TRUE(WaitFor([&] { return upgraded && got.size() > 11; }));
    EXPECT_TRUE(client.encrypted());
    EXPECT_EQ(got, "+OK ready\r\nhello\r\n");
}
