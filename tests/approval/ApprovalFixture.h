#pragma once
// The approval service against real peers: curl as the sender's browser, aiosmtpd as
// the SMTP relay the replies go through.

#include <QString>
#include <QStringList>

#include <string>

#include "protocol/ApprovalRequest.h"
#include "support/Peers.h"

namespace testing_support {

struct HttpAnswer {
    CommandResult run{};
    int status = 0;
    std::string body{};
};

// curl with the arguments; the status and the body of the answer.
inline HttpAnswer Curl(QStringList args) {
    HttpAnswer answer;
    args = QStringList{"-sS", "-w", "\n%{http_code}"} + args;
    answer.run = RunCurl(args);
    const QByteArray out = answer.run.out;
    const qsizetype cut = out.lastIndexOf('\n');
    if (cut < 0) return answer;
    answer.status = out.mid(cut + 1).trimmed().toInt();
    answer.body = out.left(cut).toStdString();
    return answer;
}

// A POST of the form fields, each url-encoded by curl.
inline HttpAnswer PostForm(const QString& url, const QList<QPair<QString, QByteArray>>& fields) {
    QStringList args;
    for (const auto& [name, value] : fields) args << "--data-urlencode" << name + "=" + QString::fromLatin1(value);
    args << url;
    return Curl(args);
}

// The "d" and "t" values of a link.
inline ApprovalRequest::Fields LinkQuery(const std::string& link) {
    const std::size_t q = link.find('?');
    return ApprovalRequest::ParseUrlEncoded(q == std::string::npos ? "" : link.substr(q + 1))
        .value_or(ApprovalRequest::Fields{});
}

// The body of a mail as the relay received it.
inline std::string BodyOfMail(const QByteArray& data) {
    const std::string text = data.toStdString();
    const std::size_t end = text.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : text.substr(end + 4);
}

}  // namespace testing_support
