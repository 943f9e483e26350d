#pragma once
// A program folder with one account and the message texts, a socket control as the
// outgoing queue's window would hand it in, and Python's email package to read what a
// peer received.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <ostream>
#include <string>

#include "core/CIniFile.h"
#include "core/ProgramFiles.h"
#include "core/Prompt.h"
#include "core/Scramble.h"
#include "core/TempFolder.h"
#include "platform/SocketControl.h"
#include "support/Peers.h"

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace testing_support {

inline constexpr const char* kAccount = "me@example.test";

// A received mail as Python's email package (policy.default) reads it.
struct ParsedMail {
    QJsonObject json;
    // The first value of a header, "" when there is none.
    QString header(const QString& name) const {
        for (const QJsonValue& h : json["headers"].toArray()) {
            if (h[0].toString().compare(name, Qt::CaseInsensitive) == 0) return h[1].toString();
        }
        return {};
    }
    int headerCount(const QString& name) const {
        int n = 0;
        for (const QJsonValue& h : json["headers"].toArray()) n += h[0].toString().compare(name, Qt::CaseInsensitive) == 0;
        return n;
    }
    QJsonObject part(int i) const { return json["parts"].toArray().at(i).toObject(); }
    int parts() const { return static_cast<int>(json["parts"].toArray().size()); }
};

inline ParsedMail ParseMail(const QByteArray& data) {
    const CommandResult run = RunPython(R"PY(
import base64, email, json, sys
from email import policy
msg = email.message_from_bytes(base64.b64decode(sys.argv[1]), policy=policy.default)
def part(p):
    return {"type": p.get_content_type(), "charset": p.get_content_charset(),
            "cte": str(p.get("Content-Transfer-Encoding", "")), "content": p.get_content()}
parts = list(msg.iter_parts()) if msg.is_multipart() else [msg]
print(json.dumps({"headers": [[k, str(v)] for k, v in msg.raw_items()],
                  "type": msg.get_content_type(), "multipart": msg.is_multipart(),
                  "defects": [type(d).__name__ for d in msg.defects] +
                             [type(d).__name__ for p in parts for d in p.defects],
                  "parts": [part(p) for p in parts]}))
)PY", {QString::fromLatin1(data.toBase64())});
    EXPECT_TRUE(run.ok()) << run.describe();
    return {QJsonDocument::fromJson(run.out).object()};
}

class SmtpPeerFixture : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        Prompt::SetPrompt([](const Prompt::Request&) { return Prompt::Answer::OK; });
        options("msg_RegRequest_Text1", "Please confirm that you are a person.");
        options("msg_RegRequest_Text2", ".A line that starts with a dot\r\n.\r\nand a lone dot above");
        options("msg_RegRequest_Text3", "Thanks");
        options("msg_Conf_Text1", "Your mail is welcome.");
    }
    void TearDown() override {
        Prompt::SetPrompt(nullptr);
        TempFolderTest::TearDown();
    }
    void options(std::string_view key, std::string_view plain) {
        CIniFile(ProgramFiles::OptionsIniPath().string()).Value("options", key, MiscFuncs::ScrambleText(plain));
    }
    void accountKey(std::string_view key, std::string_view value) {
        CIniFile(ProgramFiles::AccountsIniPath().string()).Value(kAccount, key, value);
    }
    // The account sends through 127.0.0.1:port; with a user name it authenticates
    // with SMTPAuthType 0.
    void account(quint16 port, std::string_view user = {}, std::string_view password = {}) {
        accountKey("DisplayName", "Me Myself");
        accountKey("SMTPServer", "127.0.0.1");
        accountKey("SMTPServerPort", std::to_string(port));
        accountKey("SMTPRequiresAuth", user.empty() ? "0" : "1");
        accountKey("SMTPAuthType", "0");
        accountKey("SMTPAuthUserName", user);
        accountKey("SMTPAuthPassword", MiscFuncs::ScrambleText(password));
    }

    platform::SocketControl socket;
};

}  // namespace testing_support
