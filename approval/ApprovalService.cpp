#include "approval/ApprovalService.h"

#include <QDateTime>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <QTcpSocket>

#include <iostream>

#include "core/Address.h"
#include "core/Digest.h"
#include "core/Log.h"
#include "core/MiscUtils.h"
#include "engines/SmtpSocketDriver.h"
#include "platform/AliveGuard.h"
#include "platform/SocketControl.h"
#include "protocol/SmtpClientSession.h"
#include "protocol/SmtpText.h"

namespace OwnMails {
extern const std::string_view kButtonImageBase64;
}

namespace approval {
namespace {

using Status = QHttpServerResponder::StatusCode;

// A listener whose connections may bring a bounded number of bytes: past it the
// client gets 413 and the connection ends, before the request is held in memory.
class BoundedListener : public QTcpServer {
public:
    explicit BoundedListener(QObject* parent) : QTcpServer(parent) {}

protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        // Connected before the HTTP server's own handler, so it runs first.
        auto received = std::make_shared<qint64>(0);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, received] {
            *received += socket->bytesAvailable();
            if (*received <= ApprovalService::kMaxConnectionBytes) return;
            socket->readAll();
            if (socket->property("glpRefused").toBool()) return;
            socket->setProperty("glpRefused", true);
            socket->write("HTTP/1.1 413 Payload Too Large\r\nContent-Type: text/plain\r\nContent-Length: 18\r\n"
                          "Connection: close\r\n\r\nRequest too large\n");
            socket->disconnectFromHost();
        });
        addPendingConnection(socket);
    }
};

std::string text(const QByteArray& bytes) { return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size())); }
QByteArray bytes(std::string_view s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

std::string fieldOr(const ApprovalRequest::Fields& fields, std::string_view key) {
    const auto it = fields.find(key);
    return it == fields.end() ? std::string() : it->second;
}

constexpr std::string_view kPageHead =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>";
constexpr std::string_view kReplySubject = "Glimmerpost registration";

}  // namespace

ApprovalService::ApprovalService(ServiceOptions options, QObject* parent)
    : QAbstractHttpServer(parent), options_(std::move(options)) {}

ApprovalService::~ApprovalService() = default;

quint16 ApprovalService::start() {
    auto* listener = new BoundedListener(this);
    QHostAddress address;
    if (options_.listen.host == "localhost") address = QHostAddress::LocalHost;
    else if (!address.setAddress(QString::fromStdString(options_.listen.host))) {
        note("cannot listen: " + options_.listen.host + " is no IP address");
        return 0;
    }
    if (!listener->listen(address, static_cast<quint16>(options_.listen.port))) {
        note("cannot listen on " + options_.listen.host + ":" + std::to_string(options_.listen.port) + ": " +
             listener->errorString().toStdString());
        delete listener;
        return 0;
    }
    bind(listener);
    listener_ = listener;
    return listener->serverPort();
}

std::string ApprovalService::Masked(std::string_view address) {
    std::string name;
    const std::string bare = MiscFuncs::ParseAddress(address, name);
    const std::size_t at = bare.find('@');
    if (bare.empty() || at == std::string::npos || at == 0) return "***";
    return std::string(1, bare[0]) + "***" + MiscFuncs::OneLineText(bare.substr(at), 100);
}

void ApprovalService::note(std::string_view line) const {
    const std::string clean = MiscFuncs::OneLineText(line, 400);
    if (log_) log_(clean);
    else std::cerr << QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString() << " " << clean << std::endl;
}

qint64 ApprovalService::now() const { return clock_ ? clock_() : QDateTime::currentSecsSinceEpoch(); }

bool ApprovalService::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    const QPointer<QTcpSocket> client(socket);
    if (socket->property("glpRefused").toBool()) return true;
    const QString path = request.url().path();
    const bool get = request.method() == QHttpServerRequest::Method::Get;
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    Answer answer;
    if (path == QLatin1String(ApprovalRequest::kPagePath.data(), ApprovalRequest::kPagePath.size())) {
        if (get) answer = formPage(request);
        else if (post) answer = submit(request);
        else answer = page(405, "Not allowed", "This page takes GET and POST only.");
    } else if (path == QLatin1String(ApprovalRequest::kButtonPath.data(), ApprovalRequest::kButtonPath.size())) {
        answer = get ? button() : page(405, "Not allowed", "This picture takes GET only.");
    } else {
        answer = page(404, "Not found", "There is no such page here.");
    }
    // The client may have gone while the reply was sent.
    if (!client) return true;
    // Only our own paths are named: any other could carry what a stranger typed.
    const bool known = answer.status != 404;
    note(std::string(get ? "GET " : post ? "POST " : "other ") + (known ? path.toStdString() : "(unknown path)") + " " +
         std::to_string(answer.status));
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.write(answer.body, {{"Content-Type", answer.type}, {"Cache-Control", "no-store"}},
                    static_cast<Status>(answer.status));
    return true;
}

void ApprovalService::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.write(QByteArray("Not found\n"), QByteArray("text/plain"), Status::NotFound);
}

ApprovalService::Answer ApprovalService::page(int status, std::string_view title, std::string_view body) {
    std::string html(kPageHead);
    html += ApprovalRequest::HtmlEscape(title) + "</title></head><body>\n<h1>" + ApprovalRequest::HtmlEscape(title) +
            "</h1>\n<p>" + ApprovalRequest::HtmlEscape(body) + "</p>\n</body></html>\n";
    return {status, "text/html; charset=utf-8", bytes(html)};
}

ApprovalService::Answer ApprovalService::formPage(const QHttpServerRequest& request) {
    const std::optional<ApprovalRequest::Fields> query =
        ApprovalRequest::ParseUrlEncoded(text(request.url().query(QUrl::FullyEncoded).toLatin1()));
    std::optional<ApprovalRequest::Target> target;
    if (query) target = ApprovalRequest::ReadTarget(fieldOr(*query, "d"), fieldOr(*query, "t"));
    if (!target) return page(400, "Bad link", "This registration link is damaged. Please copy the whole link from the mail.");
    using ApprovalRequest::HtmlEscape;
    std::string html(kPageHead);
    html += "Registration</title></head><body>\n<h1>Registration</h1>\n";
    html += "<p>You wrote to " + HtmlEscape(target->account) + ". Please confirm that you, " +
            HtmlEscape(target->sender) + ", are a person writing to this address: give your name and say in a few "
            "words why you are writing.</p>\n";
    html += "<form method=\"post\" action=\"" + std::string(ApprovalRequest::kPagePath) + "\">\n";
    html += "<input type=\"hidden\" name=\"d\" value=\"" + HtmlEscape(fieldOr(*query, "d")) + "\">\n";
    html += "<input type=\"hidden\" name=\"t\" value=\"" + HtmlEscape(target->token) + "\">\n";
    html += "<p><label>Your name <input type=\"text\" name=\"name\" maxlength=\"" +
            std::to_string(ApprovalRequest::kMaxNameLength) + "\" required></label></p>\n";
    html += "<p><label>Why you are writing<br><textarea name=\"reason\" rows=\"4\" cols=\"60\" maxlength=\"" +
            std::to_string(ApprovalRequest::kMaxReasonLength) + "\"></textarea></label></p>\n";
    html += "<p><input type=\"submit\" value=\"Register\"></p>\n</form>\n</body></html>\n";
    return {200, "text/html; charset=utf-8", bytes(html)};
}

ApprovalService::Answer ApprovalService::submit(const QHttpServerRequest& request) {
    const QByteArray body = request.body();
    if (body.size() > static_cast<qsizetype>(ApprovalRequest::kMaxQueryBytes))
        return page(413, "Too large", "The form is too large.");
    const std::optional<ApprovalRequest::Fields> form = ApprovalRequest::ParseUrlEncoded(text(body));
    if (!form) return page(400, "Bad form", "The form could not be read.");
    const std::optional<ApprovalRequest::Target> target =
        ApprovalRequest::ReadTarget(fieldOr(*form, "d"), fieldOr(*form, "t"));
    if (!target) return page(400, "Bad link", "This registration link is damaged. Please copy the whole link from the mail.");
    const std::string name = ApprovalRequest::CleanValue(fieldOr(*form, "name"), ApprovalRequest::kMaxNameLength);
    const std::string reason = ApprovalRequest::CleanValue(fieldOr(*form, "reason"), ApprovalRequest::kMaxReasonLength);
    if (name.empty()) return page(400, "Name missing", "Please give your name.");
    const std::string pair = MiscFuncs::LowerCase(target->sender) + " " + MiscFuncs::LowerCase(target->account);
    if (!allowReply(pair))
        return page(429, "Too many requests", "This address has been registered several times in the last hour. "
                                              "Please try again later.");
    if (!sendReply(*target, name, reason)) {
        note("reply for " + Masked(target->sender) + " to " + Masked(target->account) + " could not be sent");
        return page(502, "Not sent", "Your registration could not be passed on just now. Please try again later.");
    }
    note("reply for " + Masked(target->sender) + " sent to " + Masked(target->account));
    return page(200, "Thank you",
                "Thank you for registering. Your message will be delivered once the recipient's mail filter has "
                "received your registration.");
}

ApprovalService::Answer ApprovalService::button() const {
    // Decoded once: the picture never changes.
    static const QByteArray picture = [] {
        std::string base64;
        for (char c : OwnMails::kButtonImageBase64)
            if (c != '\r' && c != '\n') base64 += c;
        return bytes(MiscFuncs::Base64Decode(base64));
    }();
    return {200, "image/gif", picture};
}

bool ApprovalService::allowReply(const std::string& pair) {
    const qint64 t = now();
    // Old entries go first, so the table stays bounded.
    if (replies_.size() >= kMaxTrackedPairs) {
        for (auto it = replies_.begin(); it != replies_.end();) {
            while (!it->empty() && it->front() <= t - 3600) it->pop_front();
            it = it->empty() ? replies_.erase(it) : std::next(it);
        }
        if (replies_.size() >= kMaxTrackedPairs) return false;
    }
    std::deque<qint64>& times = replies_[QString::fromStdString(pair)];
    while (!times.empty() && times.front() <= t - 3600) times.pop_front();
    if (static_cast<int>(times.size()) >= kMaxRepliesPerHour) return false;
    times.push_back(t);
    return true;
}

bool ApprovalService::sendReply(const ApprovalRequest::Target& target, const std::string& name,
                                const std::string& reason) {
    const QDateTime utc = QDateTime::currentDateTimeUtc();
    const std::string time = utc.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss 'UTC'")).toStdString();
    const std::string hostName = platform::SocketControl::localHostName();
    std::string message = "From: <" + options_.from + ">\r\n";
    message += "To: <" + target.account + ">\r\n";
    message += "Subject: " + std::string(kReplySubject) + "\r\n";
    message += "Date: " + utc.toString(Qt::RFC2822Date).toStdString() + "\r\n";
    message += "Message-ID: <" + MiscFuncs::NewGuidString() + "@" + SmtpText::MessageIdDomain(hostName, "127.0.0.1") + ">\r\n";
    message += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=\"utf-8\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
    message += ApprovalRequest::ReplyBody(target, name, reason, time);
    engines::SmtpSessionConfig config;
    config.smtpHost = options_.smtp.host;
    config.smtpPort = options_.smtp.port;
    config.hostName = hostName;
    config.mailFrom = options_.from;
    config.rcptTo = target.account;
    config.message = std::move(message);
    engines::SmtpClientSession session(std::move(config));
    platform::SocketControl socket;
    platform::AliveToken alive;
    const bool ran = engines::SmtpSocketDriver(socket, session, alive.watch()).run();
    return ran && session.outcome().sent;
}

}  // namespace approval
