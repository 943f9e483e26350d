#pragma once
// Real mail peers on loopback for the engine tests, and the real clients to talk to them.
//
// Each peer is one of our scripts in tests/peers/, run by Debian's /usr/bin/python3:
// `SmtpPeer` (aiosmtpd, RFC 5321 with AUTH PLAIN, LOGIN and CRAM-MD5), `DovecotPeer`
// (a private dovecot POP3 server, RFC 1939) and `ScriptedPeer` (a scripted TCP server
// for the faults real servers won't produce). A peer listens on 127.0.0.1 and a free
// port; start() waits, with a deadline, for the script's "READY <port>". The destructor
// stops the peer, also when the test failed: it closes the script's standard input (the
// script then shuts down and removes its files), and terminates or kills it when that is
// not enough. A peer also dies with the test program, however that ends.
//
// Every wait here runs the event loop, so that an engine of ours in the same thread
// keeps working while a test waits for a peer or a client; the test program must
// therefore create a QCoreApplication (or QApplication) in its main().
//
// Typical use:
//     GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
//     SmtpPeer smtp({.auth = true});
//     ASSERT_TRUE(smtp.start()) << smtp.error();
//     ... let the engine send to smtp.port() ...
//     ASSERT_TRUE(smtp.waitForTransactions(1));
//     EXPECT_EQ(smtp.transactions()[0].mailFrom, "a@example.test");

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>

namespace testing_support {

inline constexpr int kPeerStartDeadlineMs = 10000;  // dovecot takes a few hundred ms
inline constexpr int kPeerWaitDeadlineMs = 5000;
inline constexpr int kClientDeadlineMs = 10000;

// ---------------------------------------------------------------- availability

enum class PeerProgram { Python, Aiosmtpd, Dovecot, Curl, Swaks, Fetchmail, Mpop, Msmtp, Openssl };

// "" when every program can run here, else one message naming what is missing and
// the Debian package that brings it (scripts/setup-debian.sh installs them all).
std::string MissingPeers(std::initializer_list<PeerProgram> programs);
bool PeersAvailable(std::initializer_list<PeerProgram> programs, std::string* missing = nullptr);
// True when the environment variable CI is "true": a missing peer is then a failure.
bool InCI();

// Skips the test when a peer program is missing, or fails it in CI.
#define GLP_REQUIRE_PEERS(...)                                                      \
    do {                                                                            \
        const std::string glpMissingPeers_ = ::testing_support::MissingPeers({__VA_ARGS__}); \
        if (!glpMissingPeers_.empty()) {                                            \
            if (::testing_support::InCI()) FAIL() << glpMissingPeers_;              \
            else GTEST_SKIP() << glpMissingPeers_;                                  \
        }                                                                           \
    } while (false)

// A port on 127.0.0.1 that was free a moment ago. Another process may take it before
// it is used: start a listener of ours with ListenOnFreePort or on a ReservedPort, and
// keep a port where nothing must answer with RefusingPort.
quint16 FreePort();

// Starts a listener of ours (an engine, the whole program) on a free port of 127.0.0.1:
// listen(port) binds it and says whether it could. When the port was taken between
// FreePort() and the bind, a new port is tried, a few times. The port, or 0.
quint16 ListenOnFreePort(const std::function<bool(quint16 port)>& listen, int tries = 5);

// A port of 127.0.0.1 held bound, never listening, for the object's lifetime: nobody
// who asks the system for a free port gets it meanwhile. 0 when none could be had.
class HeldPort {
public:
    ~HeldPort();
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;
    quint16 port() const { return port_; }
    operator quint16() const { return port_; }

protected:
    explicit HeldPort(bool shared);

private:
    int fd_ = -1;
    quint16 port_ = 0;
};

// Nothing can listen there: a connection to it is refused.
class RefusingPort : public HeldPort {
public:
    RefusingPort() : HeldPort(false) {}
};

// Held with SO_REUSEADDR, which Qt's listeners set too on Linux: a listener of ours
// (an engine, the whole program, also in a child process) may take the port the test
// names in its settings, while no other program's bind can.
class ReservedPort : public HeldPort {
public:
    ReservedPort() : HeldPort(true) {}
};

// ---------------------------------------------------------------- running clients

struct CommandResult {
    bool started = false;  // the program could be run at all
    bool finished = false;  // it ended by itself before the deadline (else it was killed)
    int exitCode = -1;
    QByteArray out{};
    QByteArray err{};
    bool ok() const { return started && finished && exitCode == 0; }
    // For failure messages: how it ended and what it printed.
    std::string describe() const;
};

// Runs a program with arguments, feeding it `input`; kills it at the deadline.
CommandResult RunCommand(const QString& program, const QStringList& args,
                         int deadlineMs = kClientDeadlineMs, const QByteArray& input = {});
// Runs Python code with Debian's interpreter; `args` arrive as sys.argv[1:].
CommandResult RunPython(const QString& code, const QStringList& args = {},
                        int deadlineMs = kClientDeadlineMs);

struct SmtplibMail {
    QString from{};
    QStringList to{};
    QByteArray message{};  // CR LF line ends; smtplib adds the dot-stuffing
    QString user{};  // AUTH when not empty (smtplib picks the mechanism)
    QString password{};
    bool heloOnly = false;  // HELO instead of EHLO
    QString sourceAddress{};  // connect from this loopback address (e.g. 127.0.0.2)
};
// Sends one mail with smtplib. Exit code 0: accepted by every recipient;
// stdout is a JSON object of refused recipients; stderr the exception otherwise.
CommandResult SendWithSmtplib(quint16 port, const SmtplibMail& mail,
                              int deadlineMs = kClientDeadlineMs);

struct PopFetch {
    CommandResult run{};
    QByteArray welcome{};
    QList<QByteArray> messages{};  // as poplib retrieved them: CR LF, dot-stuffing removed
};
struct PopLogin {
    QString user{};
    QString password{};
    bool deleteAfter = false;  // DELE every message before QUIT
    QString sourceAddress{};  // connect from this loopback address (e.g. 127.0.0.2)
};
// Logs in with poplib, retrieves every message, deletes them when asked, sends QUIT.
PopFetch FetchWithPoplib(quint16 port, const PopLogin& login, int deadlineMs = kClientDeadlineMs);

CommandResult RunCurl(const QStringList& args, int deadlineMs = kClientDeadlineMs);
// swaks with --server 127.0.0.1:port --from --to, then `args`.
CommandResult RunSwaks(quint16 port, const QString& from, const QString& to,
                       const QStringList& args = {}, int deadlineMs = kClientDeadlineMs);

struct FetchmailRun {
    CommandResult run{};  // fetchmail's exit code 0: mail came, 1: no mail
    QList<QByteArray> delivered{};  // each message as its delivery command received it
};
// Collects a POP3 mailbox with fetchmail (plain POP3, --nokeep unless `keep`); each
// message goes to a delivery command of ours, in order. With a CA file: TLS from the
// first byte (--ssl), the certificate checked against that CA for the name localhost.
FetchmailRun RunFetchmail(quint16 port, const QString& user, const QString& password,
                          bool keep = false, int deadlineMs = kClientDeadlineMs, const QString& caFile = {});

// ---------------------------------------------------------------- peers

// A peer script run as a child process; not copyable. See the file comment.
class PeerProcess {
public:
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;
    virtual ~PeerProcess();

    quint16 port() const { return port_; }
    bool running() const { return proc_.state() != QProcess::NotRunning; }
    // Why the last operation failed, with the end of the script's stderr.
    QString error() const { return error_; }
    QByteArray stderrText() const;
    // Stops the peer; waiting is bounded. Safe to call twice.
    void stop();

protected:
    explicit PeerProcess(QString name);
    // Starts tests/peers/<script> and waits for "READY <port>"; lines printed before
    // it go to `preamble`.
    bool launch(const QString& script, const QStringList& args, int deadlineMs,
                QList<QByteArray>* preamble = nullptr);
    std::optional<QByteArray> readLine(int deadlineMs);
    bool writeLine(const QByteArray& line);
    QString workPath(const QString& name) const { return dir_.filePath(name); }
    bool fail(const QString& what);

private:
    QString name_;
    QTemporaryDir dir_;
    QProcess proc_;
    quint16 port_ = 0;
    QString error_;
};

// TLS on a peer: a certificate and its key (PEM files, see support/TlsCertificates.h).
struct PeerTls {
    QString cert{};
    QString key{};
    bool enabled() const { return !cert.isEmpty(); }
};

struct SmtpPeerOptions {
    PeerTls tls{};
    bool starttls = false;     // offer STARTTLS and refuse everything else before it
    bool implicitTls = false;  // TLS from the first byte
    bool auth = false;
    QString user = "alice";
    QString password = "secret";
    QStringList mechanisms{};  // empty: PLAIN LOGIN CRAM-MD5
    bool requireAuth = false;  // MAIL before AUTH gets 530
    bool libraryLoginPrompts = false;  // aiosmtpd's "User Name\0" instead of "Username:"
    QStringList refuseRcpt{};  // RCPT TO for these gets 550
    bool refuseAllRcpt = false;
    bool refuseData = false;  // the final dot gets 554
    bool dropInData = false;  // the connection closes after the first DATA line
    int noEhloCode = 0;  // EHLO gets this code (e.g. 502), HELO still works
};

struct SmtpTransaction {
    QString clientAddress{};  // where the client connected from
    QString ehlo{};  // the EHLO or HELO name
    bool esmtp = false;  // EHLO rather than HELO
    QString authUser{};  // empty without AUTH
    QString authMechanism{};
    QString mailFrom{};
    QStringList mailOptions{};  // the MAIL FROM parameters (BODY=8BITMIME, SIZE=...)
    QStringList rcptTos{};  // accepted recipients
    QStringList refusedRcpts{};
    QByteArray data{};  // after the final dot, dot-stuffing removed
    bool complete = false;  // false when the server dropped the connection inside DATA
    bool tls = false;  // the transaction came over TLS
};

class SmtpPeer : public PeerProcess {
public:
    explicit SmtpPeer(SmtpPeerOptions options = {});
    bool start(int deadlineMs = kPeerStartDeadlineMs);
    QList<SmtpTransaction> transactions() const;
    bool waitForTransactions(int count, int deadlineMs = kPeerWaitDeadlineMs) const;
    // The mechanism of every AUTH command the server received, TLS or not.
    QStringList authAttempts() const;

private:
    SmtpPeerOptions options_;
};

struct MaildirMessage {
    QString folder{};  // "new" (never fetched) or "cur"
    QString name{};
    QByteArray data{};  // as stored: LF line ends
};

class DovecotPeer : public PeerProcess {
public:
    // Mailboxes and their passwords.
    explicit DovecotPeer(QList<QPair<QString, QString>> users = {{"alice", "secret"}});
    // TLS, before start(): STLS offered (or required) on port(), and with pop3s a second
    // listener, pop3sPort(), speaking TLS from the first byte. Login attempts are logged.
    void setTls(PeerTls tls, bool required = false, bool pop3s = false);
    bool start(int deadlineMs = kPeerStartDeadlineMs);
    quint16 pop3sPort() const { return pop3sPort_; }
    // Puts a message (CR LF or LF line ends) into the user's Maildir/new/; the file
    // name, or "" on failure. Delivery order is the POP3 message order.
    QString deliver(const QString& user, const QByteArray& message);
    // What is left on the server for the user (after the client's QUIT).
    std::optional<QList<MaildirMessage>> leftOnServer(const QString& user);
    QString home() const { return home_; }
    QByteArray serverLog() const;

private:
    std::optional<QByteArray> command(const QByteArray& line, const QByteArray& replyVerb);
    QList<QPair<QString, QString>> users_;
    QString home_;
    PeerTls tls_;
    bool tlsRequired_ = false;
    bool pop3s_ = false;
    quint16 pop3sPort_ = 0;
};

struct ScriptEvent {
    int conn = 0;
    QString event{};  // accepted, line, mismatch, timeout, closed
    QString peer{};  // accepted: the client's address
    QByteArray text{};  // line and mismatch: the client's line without its end
    QByteArray eol{};  // line: "\r\n", "\n" or "" (cut off by the close)
    QString expected{};  // mismatch and timeout: the pattern that was waited for
    QString by{};  // closed: "server" or "client"
};

struct ScriptedPeerOptions {
    int expectTimeoutMs = 5000;  // an expect step waits this long for the client's line
    int piecePauseMs = 3;  // pause between the pieces of a split step
};

// Plays a script (see tests/peers/scripted_server.py) to every connection.
class ScriptedPeer : public PeerProcess {
public:
    explicit ScriptedPeer(QString script, ScriptedPeerOptions options = {});
    bool start(int deadlineMs = kPeerStartDeadlineMs);
    QList<ScriptEvent> events() const;
    // The client's lines on one connection (0: on all), without their line ends.
    QList<QByteArray> received(int conn = 0) const;
    // Mismatches and timeouts, described; empty when the client followed the script.
    QStringList faults() const;
    bool waitFor(const std::function<bool(const ScriptEvent&)>& match,
                 int deadlineMs = kPeerWaitDeadlineMs) const;
    bool waitForClosed(int conn, int deadlineMs = kPeerWaitDeadlineMs) const;

private:
    QString script_;
    ScriptedPeerOptions options_;
};

}  // namespace testing_support
