// The SMTP proxy towards a provider that wants authentication: an aiosmtpd that
// refuses MAIL before AUTH, a dovecot for POP-before-SMTP, smtplib and msmtp as the
// user's mail programs.
#include "SmtpProxyFixture.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include "core/Digest.h"
#include "core/Scramble.h"

namespace smtp_proxy_test {
namespace {

const QByteArray kMessage = "From: alice@example.test\r\nTo: bob@example.test\r\nSubject: auth\r\n\r\nhello\r\n";

const char kEightBit[] = R"PY(
import base64, smtplib, sys
port, message = int(sys.argv[1]), base64.b64decode(sys.argv[2])
with smtplib.SMTP("127.0.0.1", port, timeout=20) as s:
    s.ehlo("pc.example.test")
    s.sendmail("alice@example.test", ["bob@example.test"], message,
               mail_options=["BODY=8BITMIME", "SIZE=%d" % len(message)])
)PY";

class SMTPProxyAuthTest : public SmtpProxyTest {
protected:
    static std::string scrambled(const std::string& password) { return MiscFuncs::ScrambleText(password); }
    CommandResult send() {
        return SendWithSmtplib(port, {"alice@example.test", {"bob@example.test"}, kMessage});
    }
};

TEST_F(SMTPProxyAuthTest, TheProxyAuthenticatesAsTheAccountAsks) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    MiscFuncs::SetLogLevel(4);
    struct Case {
        const char* name;
        QStringList mechanisms;
        std::string keys;
    };
    const Case cases[] = {
        {"type 0, CRAM-MD5", {"CRAM-MD5", "LOGIN", "PLAIN"},
         "SMTPRequiresAuth=1\r\nSMTPAuthType=0\r\nSMTPAuthUserName=alice\r\nSMTPAuthPassword=" + scrambled("secret") +
             "\r\n"},
        {"type 0, LOGIN", {"LOGIN"},
         "SMTPRequiresAuth=1\r\nSMTPAuthUserName=alice\r\nSMTPAuthPassword=" + scrambled("secret") + "\r\n"},
        {"type 2, PLAIN", {"PLAIN"},
         "SMTPRequiresAuth=1\r\nSMTPAuthType=2\r\nPOP3UserName=alice\r\nPOP3Password=" + scrambled("secret") +
             "\r\nSMTPAuthUserName=nobody\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpPeerOptions options;
        options.auth = true;
        options.requireAuth = true;
        options.mechanisms = c.mechanisms;
        SmtpPeer smtp(options);
        ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
        writeAccount(smtp.port(), c.keys);
        ASSERT_TRUE(startProxy());
        const CommandResult run = send();
        ASSERT_TRUE(run.ok()) << run.describe();
        ASSERT_TRUE(smtp.waitForTransactions(1));
        const SmtpTransaction t = smtp.transactions().first();
        EXPECT_EQ(t.authUser, "alice");
        EXPECT_EQ(t.authMechanism, c.mechanisms.first());
        EXPECT_EQ(t.data, kMessage);
        EXPECT_TRUE(allEnded());
        proxy.reset();
    }
    const std::string log = programLog();
    EXPECT_EQ(log.find("secret"), std::string::npos) << "no password in the log";
    EXPECT_EQ(log.find(MiscFuncs::Base64Encode(std::string("\0alice\0secret", 13))), std::string::npos);
}

TEST_F(SMTPProxyAuthTest, AWrongPasswordAnswersTheClientsMailFromWithTheServersRefusal) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    MiscFuncs::SetLogLevel(4);
    SmtpPeerOptions options;
    options.auth = true;
    options.requireAuth = true;
    SmtpPeer smtp(options);
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    writeAccount(smtp.port(), "SMTPRequiresAuth=1\r\nSMTPAuthUserName=alice\r\nSMTPAuthPassword=" +
                                  scrambled("wrong-one") + "\r\n");
    ASSERT_TRUE(startProxy());

    RawClient client;
    ASSERT_TRUE(client.open(port));
    EXPECT_TRUE(client.reply().startsWith("220 "));
    client.send("EHLO pc.test\r\n");
    EXPECT_TRUE(client.reply().startsWith("250-"));
    client.send("MAIL FROM:<alice@example.test>\r\n");
    const QByteArray refused = client.reply();
    EXPECT_TRUE(refused.startsWith("535 ")) << refused.toStdString();
    EXPECT_FALSE(refused.contains("334")) << "the exchange itself never reaches the client";
    client.send("QUIT\r\n");
    EXPECT_TRUE(client.reply().startsWith("221"));

    const CommandResult run = send();
    EXPECT_FALSE(run.ok());
    EXPECT_TRUE(run.err.contains("535")) << run.describe();
    EXPECT_TRUE(smtp.transactions().isEmpty());
    EXPECT_TRUE(allEnded());
    const std::string log = programLog();
    EXPECT_NE(log.find("SMTP server refused the authentication of alice@example.test on proxy socket #"),
              std::string::npos);
    EXPECT_EQ(log.find("wrong-one"), std::string::npos);
}

// POP-before-SMTP: the POP3 login comes first; a failed one is logged and the SMTP
// server judges, as the program's own SMTP client does.
TEST_F(SMTPProxyAuthTest, PopBeforeSmtpLogsInToThePop3ServerFirst) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Dovecot);
    MiscFuncs::SetLogLevel(4);
    DovecotPeer dovecot;
    ASSERT_TRUE(dovecot.start()) << dovecot.error().toStdString();
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    int sent = 0;
    for (const std::string password : {"secret", "not-it"}) {
        SCOPED_TRACE(password);
        writeAccount(smtp.port(), "SMTPRequiresAuth=1\r\nSMTPAuthType=1\r\nPOP3Server=127.0.0.1\r\nPOP3ServerPort=" +
                                      std::to_string(dovecot.port()) + "\r\nPOP3UserName=alice\r\nPOP3Password=" +
                                      scrambled(password) + "\r\n");
        ASSERT_TRUE(startProxy());
        const CommandResult run = send();
        ASSERT_TRUE(run.ok()) << run.describe();
        ASSERT_TRUE(smtp.waitForTransactions(++sent));
        EXPECT_EQ(smtp.transactions().last().data, kMessage);
        EXPECT_TRUE(smtp.transactions().last().authUser.isEmpty());
        EXPECT_TRUE(allEnded());
        proxy.reset();
        const std::string log = programLog();
        EXPECT_NE(log.find("SMTPR ->1:0 USER alice"), std::string::npos) << log;
        EXPECT_NE(log.find("SMTPR ->1:0 ****"), std::string::npos);
        EXPECT_EQ(log.find(password), std::string::npos);
        EXPECT_EQ(log.find("the POP3 login before SMTP failed") != std::string::npos, password == "not-it");
    }
}

// The proxy offers 8BITMIME: an 8-bit body and the parameters that mark it reach the
// server as they would straight from the mail program.
TEST_F(SMTPProxyAuthTest, MsmtpThroughTheProxyDeliversWhatItDeliversDirectly) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Msmtp);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    writeAccount(smtp.port(), "");
    ASSERT_TRUE(startProxy());
    const QByteArray message = "From: alice@example.test\r\nTo: bob@example.test\r\nSubject: 8bit\r\n"
                               "Date: Thu, 10 Dec 2026 13:00:00 +0000\r\nMessage-ID: <m8@example.test>\r\n"
                               "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
                               "Content-Transfer-Encoding: 8bit\r\n\r\n\xe9t\xe9 \xe0 la plage\r\n.dot\r\n";
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const auto run = [&](quint16 to) {
        const QString rc = home.filePath(QString("msmtprc-%1").arg(to));
        QFile file(rc);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QString("defaults\ntls off\nauth off\naccount default\nhost 127.0.0.1\nport %1\n"
                           "from alice@example.test\n")
                       .arg(to)
                       .toUtf8());
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        return RunCommand("/usr/bin/env", {"HOME=" + home.path(), "/usr/bin/msmtp", "-C", rc, "bob@example.test"},
                          kClientDeadlineMs, message);
    };
    const CommandResult direct = run(smtp.port());
    ASSERT_TRUE(direct.ok()) << direct.describe();
    const CommandResult proxied = run(port);
    ASSERT_TRUE(proxied.ok()) << proxied.describe();
    ASSERT_TRUE(smtp.waitForTransactions(2));
    const QList<SmtpTransaction> list = smtp.transactions();
    EXPECT_EQ(list[1].data, list[0].data);
    EXPECT_EQ(list[1].mailFrom, list[0].mailFrom);
    EXPECT_EQ(list[1].mailOptions, list[0].mailOptions);
    EXPECT_TRUE(list[1].data.contains("\xe9t\xe9 \xe0 la plage"));

    // A client that names its 8-bit body: the server hears BODY=8BITMIME and SIZE.
    const CommandResult marked = RunPython(kEightBit, {QString::number(port), message.toBase64()});
    ASSERT_TRUE(marked.ok()) << marked.describe();
    ASSERT_TRUE(smtp.waitForTransactions(3));
    const SmtpTransaction t = smtp.transactions().last();
    EXPECT_EQ(t.data, message);
    EXPECT_TRUE(t.mailOptions.contains("BODY=8BITMIME")) << t.mailOptions.join(' ').toStdString();
    EXPECT_TRUE(t.mailOptions.contains("SIZE=" + QString::number(message.size()))) << t.mailOptions.join(' ').toStdString();
    EXPECT_TRUE(allEnded());
}

}  // namespace
}  // namespace smtp_proxy_test
