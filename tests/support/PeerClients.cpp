// The real clients (Python's smtplib and poplib, curl, swaks, fetchmail) run as child
// processes with deadlines, and the environment checks of the peers.
#include "support/PeerInternals.h"
#include "support/Peers.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtCore/qtestsupport_core.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <algorithm>

namespace testing_support {

namespace detail {

QString PeersDir() { return QStringLiteral(GLP_PEERS_DIR); }

QProcessEnvironment ChildEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"PYTHONPATH", "PYTHONHOME", "PYTHONSTARTUP", "PYTHONUSERBASE"})
        env.remove(name);
    env.insert("PYTHONDONTWRITEBYTECODE", "1");  // keep the source folder clean
    return env;
}

void DieWithParent(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

QList<QJsonObject> ReadJsonLines(const QString& path) {
    QFile file(path);
    QList<QJsonObject> records;
    if (!file.open(QIODevice::ReadOnly)) return records;
    const QByteArray all = file.readAll();
    const qsizetype end = all.lastIndexOf('\n');
    for (const QByteArray& line : all.left(end + 1).split('\n')) {
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (doc.isObject()) records.append(doc.object());
    }
    return records;
}

QByteArray FileTail(const QString& path, qsizetype max) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    if (file.size() > max) file.seek(file.size() - max);
    return file.readAll();
}

}  // namespace detail

namespace {

struct ProgramCheck {
    PeerProgram program;
    const char* path;
    const char* package;
};

constexpr ProgramCheck kPrograms[] = {
    {PeerProgram::Python, detail::kPython, "python3"},
    {PeerProgram::Aiosmtpd, detail::kPython, "python3-aiosmtpd"},
    {PeerProgram::Dovecot, "/usr/lib/dovecot/pop3", "dovecot-pop3d"},
    {PeerProgram::Curl, "/usr/bin/curl", "curl"},
    {PeerProgram::Swaks, "/usr/bin/swaks", "swaks"},
    {PeerProgram::Fetchmail, "/usr/bin/fetchmail", "fetchmail"},
    {PeerProgram::Mpop, "/usr/bin/mpop", "mpop"},
    {PeerProgram::Msmtp, "/usr/bin/msmtp", "msmtp"},
    {PeerProgram::Openssl, "/usr/bin/openssl", "openssl"},
};

bool Executable(const char* path) { return ::access(path, X_OK) == 0; }

bool AiosmtpdImports() {
    static const bool imports = RunPython("import aiosmtpd.smtp").ok();
    return imports;
}

// "" when the program can run here, else what stands in the way.
QString Obstacle(const ProgramCheck& check) {
    if (!Executable(check.path)) return QString("%1 (%2 is missing)").arg(check.package, check.path);
    if (check.program == PeerProgram::Aiosmtpd && !AiosmtpdImports())
        return QString("%1 (%2 cannot import aiosmtpd)").arg(check.package, check.path);
    if (check.program == PeerProgram::Dovecot) {
        if (!Executable("/usr/sbin/dovecot")) return "dovecot-core (/usr/sbin/dovecot is missing)";
        if (::geteuid() != 0) return "dovecot-pop3d (a private dovecot instance needs root)";
    }
    return {};
}

}  // namespace

std::string MissingPeers(std::initializer_list<PeerProgram> programs) {
    QStringList obstacles;
    for (const ProgramCheck& check : kPrograms) {
        if (std::find(programs.begin(), programs.end(), check.program) == programs.end()) continue;
        const QString obstacle = Obstacle(check);
        if (!obstacle.isEmpty()) obstacles << obstacle;
    }
    if (obstacles.isEmpty()) return {};
    return ("real mail peer not available: " + obstacles.join(", ") +
            "; scripts/setup-debian.sh installs the packages").toStdString();
}

bool PeersAvailable(std::initializer_list<PeerProgram> programs, std::string* missing) {
    std::string text = MissingPeers(programs);
    if (missing) *missing = text;
    return text.empty();
}

bool InCI() { return qEnvironmentVariable("CI") == "true"; }

quint16 FreePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
    return probe.serverPort();
}

quint16 ListenOnFreePort(const std::function<bool(quint16 port)>& listen, int tries) {
    for (int i = 0; i < tries; ++i) {
        const quint16 port = FreePort();
        if (port != 0 && listen(port)) return port;
    }
    return 0;
}

HeldPort::HeldPort(bool shared) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    const int on = 1;
    if (shared) ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port_ = ntohs(address.sin_port);
    }
}

HeldPort::~HeldPort() {
    if (fd_ >= 0) ::close(fd_);
}

std::string CommandResult::describe() const {
    QString how = !started ? "did not start" : !finished ? "was killed at its deadline"
                                                         : QString("exited with %1").arg(exitCode);
    return QString("command %1\n--- stdout:\n%2\n--- stderr:\n%3")
        .arg(how, QString::fromLatin1(out), QString::fromLatin1(err)).toStdString();
}

CommandResult RunCommand(const QString& program, const QStringList& args, int deadlineMs,
                         const QByteArray& input) {
    CommandResult result;
    QProcess process;
    process.setProcessEnvironment(detail::ChildEnvironment());
    detail::DieWithParent(process);
    process.start(program, args);
    if (!process.waitForStarted(deadlineMs)) {
        result.err = process.errorString().toUtf8();
        return result;
    }
    result.started = true;
    if (!input.isEmpty()) process.write(input);
    process.closeWriteChannel();
    // A real event loop runs meanwhile, without pauses: the client may be talking to an
    // engine of ours, a thousand round trips in a row.
    if (process.state() != QProcess::NotRunning) {
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(deadlineMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    result.finished = process.state() == QProcess::NotRunning;
    if (!result.finished) {
        process.kill();
        process.waitForFinished(1000);
    } else if (process.exitStatus() == QProcess::NormalExit) {
        result.exitCode = process.exitCode();
    }
    result.out = process.readAllStandardOutput();
    result.err += process.readAllStandardError();
    return result;
}

CommandResult RunPython(const QString& code, const QStringList& args, int deadlineMs) {
    return RunCommand(detail::kPython, QStringList{"-c", code} + args, deadlineMs);
}

namespace {

QString Seconds(int deadlineMs) { return QString::number(std::max(1, deadlineMs / 1000 - 1)); }

const char kSmtplibSend[] = R"PY(
import json, smtplib, sys
port, timeout, source, sender, user, password, helo_only = sys.argv[1:8]
recipients = sys.argv[8:]
message = sys.stdin.buffer.read()
try:
    with smtplib.SMTP("127.0.0.1", int(port), timeout=float(timeout),
                      source_address=(source, 0) if source else None) as s:
        s.helo() if helo_only == "1" else s.ehlo_or_helo_if_needed()
        if user:
            s.login(user, password)
        refused = s.sendmail(sender, recipients, message)
except Exception as error:
    sys.stderr.write(f"{type(error).__name__}: {error}\n")
    sys.exit(1)
print(json.dumps({r: [c, m.decode("latin-1")] for r, (c, m) in refused.items()}))
)PY";

const char kPoplibFetch[] = R"PY(
import base64, json, poplib, socket, sys
port, timeout, source, user, password, delete = sys.argv[1:7]

class POP3(poplib.POP3):
    def _create_socket(self, timeout):
        return socket.create_connection((self.host, self.port), timeout,
                                        source_address=(source, 0) if source else None)

result = {"welcome": "", "messages": []}
try:
    c = POP3("127.0.0.1", int(port), timeout=float(timeout))
    result["welcome"] = c.getwelcome().decode("latin-1")
    c.user(user)
    c.pass_(password)
    for number in range(1, c.stat()[0] + 1):
        lines = c.retr(number)[1]
        result["messages"].append(base64.b64encode(b"".join(l + b"\r\n" for l in lines)).decode())
        if delete == "1":
            c.dele(number)
    c.quit()
except Exception as error:
    sys.stderr.write(f"{type(error).__name__}: {error}\n")
    print(json.dumps(result))
    sys.exit(1)
print(json.dumps(result))
)PY";

// Only loopback addresses may be used, ever.
bool LoopbackOrNone(const QString& address, CommandResult* refusal) {
    if (address.isEmpty() || QHostAddress(address).isLoopback()) return true;
    refusal->err = "not a loopback address: " + address.toUtf8();
    return false;
}

}  // namespace

CommandResult SendWithSmtplib(quint16 port, const SmtplibMail& mail, int deadlineMs) {
    CommandResult refusal;
    if (!LoopbackOrNone(mail.sourceAddress, &refusal)) return refusal;
    QStringList args{"-c", kSmtplibSend, QString::number(port), Seconds(deadlineMs),
                     mail.sourceAddress, mail.from, mail.user, mail.password,
                     mail.heloOnly ? "1" : "0"};
    return RunCommand(detail::kPython, args + mail.to, deadlineMs, mail.message);
}

PopFetch FetchWithPoplib(quint16 port, const PopLogin& login, int deadlineMs) {
    PopFetch fetch;
    if (!LoopbackOrNone(login.sourceAddress, &fetch.run)) return fetch;
    fetch.run = RunPython(kPoplibFetch, {QString::number(port), Seconds(deadlineMs),
                                         login.sourceAddress, login.user, login.password,
                                         login.deleteAfter ? "1" : "0"}, deadlineMs);
    const QJsonObject doc = QJsonDocument::fromJson(fetch.run.out).object();
    fetch.welcome = doc.value("welcome").toString().toLatin1();
    for (const QJsonValue& m : doc.value("messages").toArray())
        fetch.messages.append(QByteArray::fromBase64(m.toString().toLatin1()));
    return fetch;
}

CommandResult RunCurl(const QStringList& args, int deadlineMs) {
    return RunCommand("/usr/bin/curl", QStringList{"--max-time", Seconds(deadlineMs)} + args,
                      deadlineMs);
}

CommandResult RunSwaks(quint16 port, const QString& from, const QString& to,
                       const QStringList& args, int deadlineMs) {
    QStringList all{"--server", QString("127.0.0.1:%1").arg(port), "--from", from, "--to", to,
                    "--timeout", Seconds(deadlineMs)};
    return RunCommand("/usr/bin/swaks", all + args, deadlineMs);
}

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes, QFile::Permissions perms) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size() && file.setPermissions(perms);
}

}  // namespace

FetchmailRun RunFetchmail(quint16 port, const QString& user, const QString& password,
                          bool keep, int deadlineMs, const QString& caFile) {
    FetchmailRun run;
    QTemporaryDir dir;
    const QString rc = dir.filePath("fetchmailrc"), mda = dir.filePath("deliver.sh");
    const QString out = dir.filePath("delivered");
    // fetchmail refuses an rc file that others may read.
    const bool ready =
        dir.isValid() && QDir().mkdir(out) &&
        WriteFile(rc, QString("poll 127.0.0.1 protocol pop3 port %1 user \"%2\" password \"%3\"\n")
                          .arg(port).arg(user, password).toUtf8(),
                  QFile::ReadOwner | QFile::WriteOwner) &&
        WriteFile(mda, QString("#!/bin/sh\nexec cat > \"%1/$(date +%s%N)\"\n").arg(out).toUtf8(),
                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!ready) {
        run.run.err = "could not prepare the fetchmail folder";
        return run;
    }
    const QStringList tls = caFile.isEmpty() ? QStringList{"--sslproto", ""}
                                             : QStringList{"--ssl", "--sslcertck", "--sslcertfile", caFile,
                                                           "--sslcommonname", "localhost"};
    QStringList args = QStringList{"-f", rc} + tls + QStringList{"--mda", mda, keep ? "--keep" : "--nokeep"};
    // Its own home keeps its lock and id files apart from other tests running at once.
    run.run = RunCommand("/usr/bin/env", QStringList{"HOME=" + dir.path(),
                         "FETCHMAILHOME=" + dir.path(), "/usr/bin/fetchmail"} + args, deadlineMs);
    for (const QFileInfo& f : QDir(out).entryInfoList(QDir::Files, QDir::Name)) {
        QFile file(f.filePath());
        if (file.open(QIODevice::ReadOnly)) run.delivered.append(file.readAll());
    }
    return run;
}

}  // namespace testing_support
