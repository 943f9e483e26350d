#pragma once
// A TCP socket control in the manner of the platform's Winsock control, over
// QTcpSocket and QTcpServer, for the one event thread.
//
// Client: connect(host, port) -> connected() or error(); listening: listen(port) ->
// connectionRequest(id) on the listener, and accept(id) on another (closed) control
// takes that connection over. Received bytes are announced by dataArrival(bytesTotal)
// and taken with read() or looked at with peek(); send() queues bytes, reported by
// sendProgress() and sendComplete(). closed() means the peer closed; close() is ours
// and raises no event. Bytes stay bytes: nothing passes through a text encoding.
//
// Delivery rules the engines rely on:
// - dataArrival is never entered again while its handler runs (a handler that lets
//   events run); data that arrives meanwhile is announced once the handler returns.
// - closed() (or the error that ends a connection) comes only after every byte that
//   arrived before it has been announced; the bytes stay readable afterwards.
// - A connection request that no handler accepts is closed when the handler returns.
// - Addresses read as text; an IPv4-mapped IPv6 address reads as plain IPv4.
// - Reading can be paused, by the caller or automatically while more than a set
//   amount of output is queued, so a server need not buffer without end for a client
//   that sends but never reads. Received data is kept up to kReadBufferCap bytes;
//   beyond that the peer is held back by TCP until the data is read.
// - After closed() the state reads 8, after error() 9, until close(); connect() and
//   listen() close such a dead control first, and refuse one that is still busy.
// - close() returns the control to state 0 at once; output still queued is delivered
//   in the background (for at most kLingerMs) before the connection goes down.
//
// Listening binds 127.0.0.1 unless setBindAddress() says otherwise: the local servers
// serve this machine only.
//
// TLS towards a provider (platform/SocketTls.cpp): connect(host, port, Tls::Implicit)
// speaks TLS from the first byte and raises connected() only once the handshake has
// passed; Tls::Later connects in plain and startTls() upgrades the connection when the
// protocol says so (STLS, STARTTLS), raising tlsStarted(). Bytes received before the
// upgrade and not yet read are discarded: whatever follows is read afresh from the
// encrypted stream. The server's certificate is verified against the system's trust
// store and the certificates named by SSL_CERT_FILE and SSL_CERT_DIR, and must name
// the host connected to; there is no way to turn that off. A failed handshake ends
// the connection with error(kTlsFailed, why), the word "certificate" and Qt's reason
// in the text when the certificate was refused, and is logged at level 0.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>

#include <string>
#include <string_view>

class QTcpServer;
class QTcpSocket;

namespace platform {

class SocketControl : public QObject {
    Q_OBJECT

public:
    // The control's State, numbered as on the platform.
    enum State : int {
        kClosed = 0, kOpen = 1, kListening = 2, kConnectionPending = 3, kResolvingHost = 4,
        kHostResolved = 5, kConnecting = 6, kConnected = 7, kClosing = 8, kError = 9,
    };
    static constexpr qint64 kReadBufferCap = 1 << 20;
    static constexpr int kLingerMs = 30000;
    static constexpr int kAcceptRetryMs = 1000;
    // How a client connection is secured.
    enum class Tls { None, Later, Implicit };
    // The securing of a connection for an account's POP3Security or SMTPSecurity
    // (Accounts::Security in core/MailAccount.h).
    static Tls TlsFor(int accountSecurity);

    explicit SocketControl(QObject* parent = nullptr);
    ~SocketControl() override;

    int state() const;
    // The port listened on or bound locally; before that, the port set for the next
    // connect or listen (0: any free port).
    quint16 localPort() const;
    void setLocalPort(quint16 port) { localPort_ = port; }
    const std::string& remoteHost() const { return remoteHost_; }
    void setRemoteHost(std::string host) { remoteHost_ = std::move(host); }
    // The peer's port once connected (also for an accepted connection).
    int remotePort() const;
    void setRemotePort(int port) { remotePort_ = port; }
    // The peer's address ("" before there is a connection).
    std::string remoteHostIP() const;
    // This end's address of the connection; "127.0.0.1" when there is none.
    std::string localIP() const;
    static std::string localHostName();
    // Bytes received and not yet read.
    qint64 bytesReceived() const;
    // Bytes handed to send() and not yet passed to the system.
    qint64 bytesPending() const;
    void setBindAddress(const QHostAddress& address) { bindAddress_ = address; }
    // Sends what is queued at once instead of holding small pieces back until the peer
    // acknowledges the last one (TCP_NODELAY), for the connection there is now. A reply
    // that leaves in several writes otherwise waits for the peer's delayed ACK.
    void setLowDelay(bool on);

    // Starts connecting to the host (a name or an address) and port, or to the
    // remoteHost and remotePort set before. False, with nothing started, when the
    // control is busy (listening or connected); a dead control (8, 9) is closed first.
    bool connect(const std::string& host, int port);
    bool connect();
    // The same, secured as asked (see the file comment).
    bool connect(const std::string& host, int port, Tls tls);
    // Upgrades a connection made with Tls::Later: discards the bytes not yet read and
    // starts the handshake. False when there is no such connection (nothing happens).
    bool startTls();
    // True once the connection is encrypted.
    bool encrypted() const;
    // Listens on the port given or set before. False when busy or when the port
    // cannot be had; lastErrorNumber() tells why (10048 address in use).
    bool listen(int port);
    bool listen();
    // Takes over the connection of a pending request; the control is closed first.
    bool accept(int requestId);
    // Queues bytes for the peer; false when not connected (error 40006).
    bool send(const QByteArray& bytes);
    bool sendText(std::string_view bytes);
    // Hands what is queued to the system now rather than at the next turn of the event
    // loop, so a reply leaves while its handler still runs; what the system cannot
    // take yet stays queued. Send progress may be reported before it returns.
    void flushOutput();
    // The received bytes (at most maxLen, all when negative), kept or taken.
    QByteArray peek(qint64 maxLen = -1) const;
    std::string peekText(qint64 maxLen = -1) const;
    QByteArray read(qint64 maxLen = -1);
    std::string readText(qint64 maxLen = -1);
    void close();

    // Back-pressure. While reading is paused no data arrival is announced; what
    // arrives is kept (up to kReadBufferCap, then TCP holds the peer back) and
    // announced in one piece on resuming. A pause by the caller also holds a due
    // close until resumeReading().
    void pauseReading();
    void resumeReading();
    bool readingPaused() const { return pausedByCaller_ || pausedByPressure_; }
    // Pauses reading while more than bytes of output are queued and resumes once half
    // of it has gone out; 0 switches this off.
    void setSendHighWater(qint64 bytes);

    int lastErrorNumber() const { return lastErrorNumber_; }
    const QString& lastErrorText() const { return lastErrorText_; }

signals:
    void connected();
    void closed();
    void dataArrival(qint64 bytesTotal);
    void connectionRequest(int requestId);
    void error(int number, const QString& description);
    void sendProgress(qint64 bytesSent, qint64 bytesRemaining);
    void sendComplete();
    // The upgrade of startTls() has passed.
    void tlsStarted();

private:
    bool makeReady(const char* procedure);
    void adopt(QTcpSocket* socket);
    void resetConnectionState();
    void failLater(int number, const QString& text);
    void raiseError(int number, const QString& text);
    qint64 received() const;
    bool unannounced() const;
    void queueFlush();
    void flush();
    void announce();
    void deliverEnd();
    void onReadyRead();
    void onDisconnected();
    void onSocketError();
    void onBytesWritten(qint64 bytes);
    void onNewConnection();
    void onAcceptError();
    QTcpSocket* newClientSocket();
    void onEncrypted();
    bool tlsFailure(QString& text) const;

    QTcpSocket* socket_ = nullptr;
    QTcpServer* server_ = nullptr;
    QHostAddress bindAddress_{QHostAddress::LocalHost};
    quint16 localPort_ = 0;
    std::string remoteHost_;
    int remotePort_ = 0;
    Tls tls_ = Tls::None;          // of the next connect()
    bool handshaking_ = false;     // an implicit-TLS connection before its handshake passed
    bool upgrading_ = false;       // startTls() before its handshake passed
    QStringList tlsErrors_;        // the certificate's faults of this handshake
    unsigned generation_ = 0;      // bumped by close(): stale queued steps do nothing
    bool starting_ = false;        // a connect whose failure is still to be reported
    bool failed_ = false;          // state 9 until close()
    bool everConnected_ = false;
    bool peerGone_ = false;        // state 8: the peer closed or the connection broke
    bool endDue_ = false;          // closed() or error() waits for pending data
    bool endDelivered_ = false;
    int dueErrorNumber_ = 0;
    QString dueErrorText_;
    bool inArrival_ = false;
    bool inRequest_ = false;
    bool flushQueued_ = false;
    bool pausedByCaller_ = false;
    bool pausedByPressure_ = false;
    qint64 highWater_ = 0;
    qint64 consumed_ = 0;          // bytes taken by read() on this connection
    qint64 announcedTotal_ = 0;    // received() when dataArrival was last raised
    int lastErrorNumber_ = 0;
    QString lastErrorText_;
};

// The text of an address, IPv4-mapped IPv6 addresses as plain IPv4, without a scope.
std::string PlainAddressText(const QHostAddress& address);

}  // namespace platform
