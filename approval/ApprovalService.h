#pragma once
// glimmerpost-approval: the approval page that the program's registration requests
// link to. A sender opens the link, gives his name and a reason, and the service mails
// the registration reply to the account he wrote to, through an SMTP relay; the
// program then approves him (engines/POP3CollectorForm.h).
//
//   GET  /r.asp?d=..&t=..      a plain HTML form: the sender's address (escaped text),
//                              the fields "name" and "reason", d and t hidden
//   POST /r.asp                d, t, name, reason (form-encoded): the reply is sent,
//                              200 and a thank-you page
//   GET  /files/regbtn.gif     the button picture of the request
//
// A "d" that does not unscramble to a sender and an account, or a token that is
// missing or not of its form, gets 400 and nothing is sent (protocol/ApprovalRequest.h).
// The service holds no installation's secret: it cannot tell a right token from a
// wrong one, returns the one it was given, and the installation decides.
//
// Everything from the web is hostile: a connection may bring at most kMaxConnectionBytes
// (then 413 and the connection ends), a form at most ApprovalRequest::kMaxQueryBytes;
// the name (required) and the reason are cleaned of control bytes and cut at their
// limits; nothing a sender types reaches a header of the reply, which goes From the
// service's address To the account with a fixed subject; each sender and account pair
// gets at most kMaxRepliesPerHour replies in an hour (then 429), so that the service
// cannot be used to send mail in bulk. The log (one line per request, on standard error)
// masks addresses and never holds a name, a reason, a "d" or a token.
//
// The SMTP send runs on the event thread with events running (engines/SmtpSocketDriver.h):
// other requests are served meanwhile, and a request whose client left during the
// send gets no answer.

#include <QAbstractHttpServer>
#include <QHash>
#include <QPointer>

#include <deque>
#include <functional>
#include <string>

#include "approval/ServiceOptions.h"
#include "protocol/ApprovalRequest.h"

class QTcpServer;

namespace approval {

class ApprovalService : public QAbstractHttpServer {
    Q_OBJECT
public:
    static constexpr qint64 kMaxConnectionBytes = 64 * 1024;
    static constexpr int kMaxRepliesPerHour = 3;
    static constexpr int kMaxTrackedPairs = 10000;

    explicit ApprovalService(ServiceOptions options, QObject* parent = nullptr);
    ~ApprovalService() override;

    // Starts listening; the port, or 0 when it could not listen.
    quint16 start();

    // Seams for the tests: the clock in seconds, and where the log lines go.
    void setClock(std::function<qint64()> nowSeconds) { clock_ = std::move(nowSeconds); }
    void setLog(std::function<void(const std::string&)> sink) { log_ = std::move(sink); }

    // An address as the log shows it: "a***@domain".
    static std::string Masked(std::string_view address);

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Answer {
        int status = 200;
        QByteArray type = "text/html; charset=utf-8";
        QByteArray body;
    };
    Answer formPage(const QHttpServerRequest& request);
    Answer submit(const QHttpServerRequest& request);
    Answer button() const;
    static Answer page(int status, std::string_view title, std::string_view text);
    bool allowReply(const std::string& pair);
    bool sendReply(const ApprovalRequest::Target& target, const std::string& name, const std::string& reason);
    void note(std::string_view line) const;
    qint64 now() const;

    ServiceOptions options_;
    QTcpServer* listener_ = nullptr;
    QHash<QString, std::deque<qint64>> replies_;
    std::function<qint64()> clock_;
    std::function<void(const std::string&)> log_;
};

}  // namespace approval
