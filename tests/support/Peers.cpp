// The peer processes: start with a deadline on "READY <port>", commands and records,
// and a bounded stop.
#include "support/Peers.h"

#include "support/PeerInternals.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtCore/qtestsupport_core.h>

namespace testing_support {

namespace {

// A peer's own shutdown (dovecot's included) takes about a second.
constexpr int kStopDeadlineMs = 5000;
constexpr int kKillDeadlineMs = 2000;

bool WriteText(const QString& path, const QString& text) {
    QFile file(path);
    const QByteArray bytes = text.toUtf8();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

QByteArray Latin1(const QJsonObject& o, const char* key) {
    return o.value(key).toString().toLatin1();
}

QStringList Strings(const QJsonValue& value) {
    QStringList list;
    for (const QJsonValue& v : value.toArray()) list << v.toString();
    return list;
}

}  // namespace

// ---------------------------------------------------------------- PeerProcess

PeerProcess::PeerProcess(QString name) : name_(std::move(name)) {}

PeerProcess::~PeerProcess() { stop(); }

QByteArray PeerProcess::stderrText() const { return detail::FileTail(workPath("stderr.txt")); }

bool PeerProcess::fail(const QString& what) {
    error_ = name_ + ": " + what;
    const QByteArray tail = stderrText();
    if (!tail.isEmpty()) error_ += "\n--- its stderr:\n" + QString::fromLocal8Bit(tail);
    return false;
}

bool PeerProcess::launch(const QString& script, const QStringList& args, int deadlineMs,
                         QList<QByteArray>* preamble) {
    if (running()) return fail("already started");
    if (!dir_.isValid()) return fail("no temporary folder: " + dir_.errorString());
    proc_.setProcessEnvironment(detail::ChildEnvironment());
    detail::DieWithParent(proc_);
    proc_.setStandardErrorFile(workPath("stderr.txt"));
    proc_.start(detail::kPython, QStringList{detail::PeersDir() + "/" + script} + args);
    if (!proc_.waitForStarted(deadlineMs)) return fail("could not run: " + proc_.errorString());
    const QDeadlineTimer deadline(deadlineMs);
    while (std::optional<QByteArray> line = readLine(int(deadline.remainingTime()))) {
        if (!line->startsWith("READY ")) {
            if (preamble) preamble->append(*line);
            continue;
        }
        port_ = quint16(line->mid(6).trimmed().toUInt());
        if (port_ != 0) return true;
        return fail("reported no port: " + QString::fromLatin1(*line));
    }
    stop();
    return fail(QString("did not report READY within %1 ms").arg(deadlineMs));
}

std::optional<QByteArray> PeerProcess::readLine(int deadlineMs) {
    if (!QTest::qWaitFor([&] { return proc_.canReadLine() || !running(); },
                         std::max(deadlineMs, 0)) ||
        !proc_.canReadLine())
        return std::nullopt;
    QByteArray line = proc_.readLine();
    while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
    return line;
}

bool PeerProcess::writeLine(const QByteArray& line) {
    if (!running()) return fail("not running");
    proc_.write(line + "\n");
    return true;
}

void PeerProcess::stop() {
    if (!running()) return;
    // A closed standard input asks the script to shut down and clean up after itself.
    proc_.closeWriteChannel();
    if (proc_.waitForFinished(kStopDeadlineMs)) return;
    proc_.terminate();
    if (proc_.waitForFinished(kKillDeadlineMs)) return;
    proc_.kill();
    proc_.waitForFinished(kKillDeadlineMs);
}

// ---------------------------------------------------------------- SmtpPeer

SmtpPeer::SmtpPeer(SmtpPeerOptions options)
    : PeerProcess("smtp_server.py"), options_(std::move(options)) {}

bool SmtpPeer::start(int deadlineMs) {
    QStringList args{"--record", workPath("transactions.jsonl"), "--user", options_.user,
                     "--password", options_.password};
    if (options_.auth) args << "--auth";
    if (!options_.mechanisms.isEmpty()) args << "--mechanisms" << options_.mechanisms.join(' ');
    if (options_.requireAuth) args << "--require-auth";
    if (options_.libraryLoginPrompts) args << "--library-login-prompts";
    for (const QString& address : options_.refuseRcpt) args << "--refuse-rcpt" << address;
    if (options_.refuseAllRcpt) args << "--refuse-all-rcpt";
    if (options_.refuseData) args << "--refuse-data";
    if (options_.dropInData) args << "--drop-in-data";
    if (options_.noEhloCode != 0) args << "--no-ehlo" << QString::number(options_.noEhloCode);
    if (options_.tls.enabled()) args << "--tls-cert" << options_.tls.cert << "--tls-key" << options_.tls.key;
    if (options_.starttls) args << "--starttls";
    if (options_.implicitTls) args << "--implicit-tls";
    args << "--auth-record" << workPath("auth.txt");
    return launch("smtp_server.py", args, deadlineMs);
}

QList<SmtpTransaction> SmtpPeer::transactions() const {
    QList<SmtpTransaction> list;
    for (const QJsonObject& o : detail::ReadJsonLines(workPath("transactions.jsonl"))) {
        SmtpTransaction t;
        t.clientAddress = o.value("client").toString();
        t.ehlo = o.value("ehlo").toString();
        t.esmtp = o.value("esmtp").toBool();
        t.authUser = o.value("auth_user").toString();
        t.authMechanism = o.value("auth_mechanism").toString();
        t.mailFrom = o.value("mail_from").toString();
        for (const QJsonValue& v : o.value("mail_options").toArray()) t.mailOptions.append(v.toString());
        t.rcptTos = Strings(o.value("rcpt_tos"));
        t.refusedRcpts = Strings(o.value("refused_rcpts"));
        t.data = QByteArray::fromBase64(Latin1(o, "data_b64"));
        t.complete = o.value("complete").toBool();
        t.tls = o.value("tls").toBool();
        list.append(t);
    }
    return list;
}

QStringList SmtpPeer::authAttempts() const {
    QFile file(workPath("auth.txt"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

bool SmtpPeer::waitForTransactions(int count, int deadlineMs) const {
    return QTest::qWaitFor([&] { return transactions().size() >= count; }, deadlineMs);
}

// ---------------------------------------------------------------- DovecotPeer

DovecotPeer::DovecotPeer(QList<QPair<QString, QString>> users)
    : PeerProcess("dovecot.py"), users_(std::move(users)) {}

void DovecotPeer::setTls(PeerTls tls, bool required, bool pop3s) {
    tls_ = std::move(tls);
    tlsRequired_ = required;
    pop3s_ = pop3s;
}

bool DovecotPeer::start(int deadlineMs) {
    QStringList args;
    for (const auto& [user, password] : users_) args << "--user" << user + ":" + password;
    if (tls_.enabled()) {
        args << "--ssl-cert" << tls_.cert << "--ssl-key" << tls_.key << "--ssl" << (tlsRequired_ ? "required" : "yes");
        if (pop3s_) args << "--pop3s";
    }
    QList<QByteArray> preamble;
    const bool started = launch("dovecot.py", args, deadlineMs, &preamble);
    for (const QByteArray& line : preamble) {
        if (line.startsWith("HOME ")) home_ = QString::fromLocal8Bit(line.mid(5));
        if (line.startsWith("POP3S ")) pop3sPort_ = quint16(line.mid(6).trimmed().toUInt());
    }
    return started;
}

std::optional<QByteArray> DovecotPeer::command(const QByteArray& line,
                                                const QByteArray& replyVerb) {
    if (!writeLine(line)) return std::nullopt;
    const std::optional<QByteArray> reply = readLine(kPeerWaitDeadlineMs);
    if (!reply) {
        fail("no answer to " + QString::fromLatin1(line.left(40)));
        return std::nullopt;
    }
    if (!reply->startsWith(replyVerb + " ")) {
        fail(QString::fromLatin1(*reply));
        return std::nullopt;
    }
    return reply->mid(replyVerb.size() + 1);
}

QString DovecotPeer::deliver(const QString& user, const QByteArray& message) {
    const auto name = command("DELIVER " + user.toUtf8() + " " + message.toBase64(), "OK");
    return name ? QString::fromLatin1(*name) : QString();
}

std::optional<QList<MaildirMessage>> DovecotPeer::leftOnServer(const QString& user) {
    const auto json = command("LIST " + user.toUtf8(), "LIST");
    if (!json) return std::nullopt;
    QList<MaildirMessage> list;
    for (const QJsonValue& v : QJsonDocument::fromJson(*json).array()) {
        const QJsonObject o = v.toObject();
        list.append({o.value("folder").toString(), o.value("name").toString(),
                     QByteArray::fromBase64(Latin1(o, "data_b64"))});
    }
    return list;
}

QByteArray DovecotPeer::serverLog() const {
    return home_.isEmpty() ? QByteArray() : detail::FileTail(home_ + "/dovecot.log", 16000);
}

// ---------------------------------------------------------------- ScriptedPeer

ScriptedPeer::ScriptedPeer(QString script, ScriptedPeerOptions options)
    : PeerProcess("scripted_server.py"), script_(std::move(script)), options_(options) {}

bool ScriptedPeer::start(int deadlineMs) {
    if (!WriteText(workPath("script.txt"), script_)) return fail("could not write the script");
    const QStringList args{"--script", workPath("script.txt"), "--record",
                           workPath("events.jsonl"), "--expect-timeout",
                           QString::number(options_.expectTimeoutMs / 1000.0), "--piece-pause-ms",
                           QString::number(options_.piecePauseMs)};
    return launch("scripted_server.py", args, deadlineMs);
}

QList<ScriptEvent> ScriptedPeer::events() const {
    QList<ScriptEvent> list;
    for (const QJsonObject& o : detail::ReadJsonLines(workPath("events.jsonl"))) {
        list.append({o.value("conn").toInt(), o.value("event").toString(),
                     o.value("peer").toString(), Latin1(o, "text"),
                     Latin1(o, "eol"), o.value("expected").toString(), o.value("by").toString()});
    }
    return list;
}

QList<QByteArray> ScriptedPeer::received(int conn) const {
    QList<QByteArray> lines;
    for (const ScriptEvent& e : events())
        if (e.event == "line" && (conn == 0 || e.conn == conn)) lines.append(e.text);
    return lines;
}

QStringList ScriptedPeer::faults() const {
    QStringList found;
    for (const ScriptEvent& e : events()) {
        if (e.event == "mismatch")
            found << QString("connection %1: expected \"%2\", got \"%3\"")
                         .arg(e.conn).arg(e.expected, QString::fromLatin1(e.text));
        else if (e.event == "timeout")
            found << QString("connection %1: no line for \"%2\" in time").arg(e.conn).arg(e.expected);
    }
    return found;
}

bool ScriptedPeer::waitFor(const std::function<bool(const ScriptEvent&)>& match,
                           int deadlineMs) const {
    return QTest::qWaitFor([&] {
        const QList<ScriptEvent> all = events();
        return std::any_of(all.begin(), all.end(), match);
    }, deadlineMs);
}

bool ScriptedPeer::waitForClosed(int conn, int deadlineMs) const {
    return waitFor([conn](const ScriptEvent& e) { return e.conn == conn && e.event == "closed"; },
                   deadlineMs);
}

}  // namespace testing_support
