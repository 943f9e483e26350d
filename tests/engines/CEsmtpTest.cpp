// CEsmtp against real servers on loopback: aiosmtpd (with AUTH CRAM-MD5, LOGIN and
// PLAIN, refusals and drops) and dovecot for POP-before-SMTP; what arrived is read
// back with Python's email package.
#include "engines/CEsmtp.h"

#include <gtest/gtest.h>

#include "SmtpPeerFixture.h"
#include "protocol/SmtpText.h"

using namespace testing_support;

namespace {

constexpr const char* kRecipient = "Ann Other <ann@example.test>";

QString Q(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

class CEsmtpTest : public SmtpPeerFixture {
protected:
    bool sendRequest(CEsmtp& esmtp, const char* recipient = kRecipient, const char* subject = "Lunch?") {
        return esmtp.SendMessage(MessageType::RegistrationRequest, kAccount, recipient, subject, socket);
    }
};

}  // namespace

TEST_F(CEsmtpTest, RegistrationRequestArrivesAsMultipartAlternative) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    account(smtp.port());
    CEsmtp esmtp;
    ASSERT_TRUE(sendRequest(esmtp)) << esmtp.LastError;
    EXPECT_TRUE(esmtp.SmtpPassed);
    EXPECT_FALSE(esmtp.RelayRefused);
    EXPECT_EQ(esmtp.LastError, "");
    EXPECT_EQ(socket.state(), platform::SocketControl::kClosed);

    ASSERT_TRUE(smtp.waitForTransactions(1));
    const SmtpTransaction t = smtp.transactions()[0];
    EXPECT_TRUE(t.esmtp);
    EXPECT_EQ(t.ehlo, Q(SmtpText::EhloDomain(platform::SocketControl::localHostName(), "127.0.0.1")));
    EXPECT_EQ(t.mailFrom, "me@example.test");
    EXPECT_EQ(t.rcptTos, QStringList{"ann@example.test"});

    const ParsedMail mail = ParseMail(t.data);
    EXPECT_EQ(mail.json["defects"].toArray().size(), 0) << QJsonDocument(mail.json).toJson().toStdString();
    EXPECT_EQ(mail.json["type"].toString(), "multipart/alternative");
    EXPECT_EQ(mail.header("From"), "\"Me Myself\" <me@example.test>");
    EXPECT_EQ(mail.header("To"), kRecipient);
    EXPECT_EQ(mail.header("Reply-To"), kAccount);
    EXPECT_EQ(mail.header("Subject"), "RE:Lunch?");
    EXPECT_EQ(mail.header("X-GLP-RCPT"), "ann@example.test");
    EXPECT_EQ(mail.header("X-GLP-MESSAGE"), "REGREQUEST");
    EXPECT_TRUE(mail.header("Message-ID").endsWith(
        Q("@" + SmtpText::MessageIdDomain(platform::SocketControl::localHostName(), "127.0.0.1") + ">")));
    EXPECT_EQ(mail.headerCount("Date"), 0);
    ASSERT_EQ(mail.parts(), 2);
    EXPECT_EQ(mail.part(0)["type"].toString(), "text/plain");
    EXPECT_EQ(mail.part(1)["type"].toString(), "text/html");
    // The dot lines of the user's text come back as they were written.
    EXPECT_EQ(mail.part(0)["content"].toString(), Q(esmtp.TextBody + "\r\n"));
    EXPECT_EQ(mail.part(1)["content"].toString(), Q(esmtp.HtmlBody + "\r\n"));
    EXPECT_NE(esmtp.TextBody.find("\r\n.\r\nand a lone dot"), std::string::npos);
}

TEST_F(CEsmtpTest, AuthenticatesWithTheBestOfferedMechanism) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    struct Case { QStringList offered; bool libraryPrompts; QString used; };
    const Case cases[] = {
        {{}, false, "CRAM-MD5"},
        {{"CRAM-MD5"}, false, "CRAM-MD5"},
        {{"LOGIN", "PLAIN"}, false, "LOGIN"},
        {{"LOGIN"}, true, "LOGIN"},
        {{"PLAIN"}, false, "PLAIN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.used.toStdString() + (c.libraryPrompts ? " with aiosmtpd's prompts" : ""));
        SmtpPeer smtp({.auth = true, .user = "bob", .password = "pa55 w0rd", .mechanisms = c.offered,
                       .requireAuth = true, .libraryLoginPrompts = c.libraryPrompts});
        ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
        account(smtp.port(), "bob", "pa55 w0rd");
        CEsmtp esmtp;
        ASSERT_TRUE(sendRequest(esmtp)) << esmtp.LastError;
        EXPECT_EQ(esmtp.LastError, "");
        ASSERT_TRUE(smtp.waitForTransactions(1));
        EXPECT_EQ(smtp.transactions()[0].authMechanism, c.used);
        EXPECT_EQ(smtp.transactions()[0].authUser, "bob");
    }
}

TEST_F(CEsmtpTest, AuthFailureIsNotedAndTheServerDecides) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    MiscFuncs::SetLogLevel(9);
    for (const bool required : {false, true}) {
        SCOPED_TRACE(required ? "server requires AUTH" : "AUTH optional");
        SmtpPeer smtp({.auth = true, .password = "right", .requireAuth = required});
        ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
        account(smtp.port(), "alice", "wrong-password");
        CEsmtp esmtp;
        EXPECT_EQ(sendRequest(esmtp), !required);
        EXPECT_TRUE(esmtp.LastError.starts_with("authenticating user on SMTP server failed\r\n"
                                                "Authenticating user on SMTP server failed\r\n"
                                                "Authenticating user on SMTP server failed\r\n"))
            << esmtp.LastError;
        if (required) {
            EXPECT_NE(esmtp.LastError.find("SMTP server did not reply positively to client's command\r\n\r\n"
                                           "Client sent: MAIL FROM:<me@example.test>\r\nServer replied: 530"),
                      std::string::npos)
                << esmtp.LastError;
        }
    }
    const std::string log = programLog();
    EXPECT_NE(log.find("Client sent: MAIL FROM:<me@example.test>"), std::string::npos) << "the failure is logged";
    EXPECT_EQ(log.find("wrong-password"), std::string::npos);
    EXPECT_EQ(log.find(CEsmtp::Base64EncodeString("wrong-password")), std::string::npos);
}

TEST_F(CEsmtpTest, ServerWithoutAuthTakesTheMailWithoutLogin) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    account(smtp.port(), "alice", "secret");
    CEsmtp esmtp;
    ASSERT_TRUE(sendRequest(esmtp)) << esmtp.LastError;
    ASSERT_TRUE(smtp.waitForTransactions(1));
    EXPECT_EQ(smtp.transactions()[0].authUser, "");
}

TEST_F(CEsmtpTest, RefusalsAndDrops) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    struct Case { SmtpPeerOptions options; bool relayRefused; std::string firstLines; };
    const Case cases[] = {
        {{.refuseAllRcpt = true}, true, "SMTP server refused to accept/relay email message\r\n"},
        {{.refuseData = true}, false, "SMTP server refused to accept/relay email message\r\n"},
        {{.dropInData = true}, false,
         "Remote host disconnected\r\nSMTP server refused to accept/relay email message\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstLines);
        SmtpPeer smtp(c.options);
        ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
        account(smtp.port());
        CEsmtp esmtp;
        EXPECT_FALSE(sendRequest(esmtp));
        EXPECT_EQ(esmtp.RelayRefused, c.relayRefused);
        EXPECT_FALSE(esmtp.SmtpPassed);
        EXPECT_TRUE(esmtp.LastError.starts_with(c.firstLines)) << esmtp.LastError;
        EXPECT_EQ(socket.state(), platform::SocketControl::kClosed);
    }
}

TEST_F(CEsmtpTest, HeloWhenTheServerKnowsNoEhlo) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp({.noEhloCode = 502});
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    account(smtp.port(), "alice", "secret");
    CEsmtp esmtp;
    ASSERT_TRUE(sendRequest(esmtp)) << esmtp.LastError;
    ASSERT_TRUE(smtp.waitForTransactions(1));
    EXPECT_FALSE(smtp.transactions()[0].esmtp);
}

TEST_F(CEsmtpTest, StrangersFromAndSubjectCannotAddHeadersOrRecipients) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    account(smtp.port());
    options("msg_RegRequest_Text3", "bare\nline ends\r.\rRSET\n.\nQUIT");
    CEsmtp esmtp;
    ASSERT_TRUE(sendRequest(esmtp, "Evil <evil@example.test>\r\nBcc: victim@example.test",
                            "Hi\r\nBcc: other@example.test\r\n.\r\nRCPT TO:<third@example.test>"))
        << esmtp.LastError;
    ASSERT_TRUE(smtp.waitForTransactions(1));
    const SmtpTransaction t = smtp.transactions()[0];
    EXPECT_EQ(t.rcptTos, QStringList{"evil@example.test"});
    const ParsedMail mail = ParseMail(t.data);
    EXPECT_EQ(mail.headerCount("Bcc"), 0);
    EXPECT_EQ(mail.headerCount("Subject"), 1);
    EXPECT_EQ(mail.header("Subject"), "RE:Hi  Bcc: other@example.test  .  RCPT TO:<third@example.test>");
    EXPECT_EQ(mail.parts(), 2);
    EXPECT_TRUE(mail.part(0)["content"].toString().endsWith("bare\r\nline ends\r\n.\r\nRSET\r\n.\r\nQUIT\r\n"));
    EXPECT_EQ(smtp.transactions().size(), 1);
}

TEST_F(CEsmtpTest, LongLinesAndEightBitTextsArriveIntact) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    account(smtp.port());
    const std::string paragraph = "Caf\xe9 " + std::string(1500, 'w');
    options("msg_RegRequest_Text1", paragraph);
    CEsmtp esmtp;
    ASSERT_TRUE(sendRequest(esmtp)) << esmtp.LastError;
    ASSERT_TRUE(smtp.waitForTransactions(1));
    const ParsedMail mail = ParseMail(smtp.transactions()[0].data);
    ASSERT_EQ(mail.parts(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(mail.part(i)["cte"].toString(), "quoted-printable");
        EXPECT_EQ(mail.part(i)["charset"].toString(), "iso-8859-1");
    }
    EXPECT_EQ(mail.part(0)["content"].toString(), Q(esmtp.TextBody + "\r\n"));
    EXPECT_EQ(mail.part(1)["content"].toString(), Q(esmtp.HtmlBody + "\r\n"));
}

TEST_F(CEsmtpTest, ConfirmationCarriesItsMarkerAndNoRePrefix) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    account(smtp.port());
    CEsmtp esmtp;
    ASSERT_TRUE(esmtp.SendMessage(MessageType::Confirmation, kAccount, kRecipient, "Thank you for registering",
                                  socket))
        << esmtp.LastError;
    ASSERT_TRUE(smtp.waitForTransactions(1));
    const ParsedMail mail = ParseMail(smtp.transactions()[0].data);
    EXPECT_EQ(mail.header("Subject"), "Thank you for registering");
    EXPECT_EQ(mail.header("X-GLP-MESSAGE"), "CONFIRMATION");
    EXPECT_TRUE(mail.part(0)["content"].toString().contains("Your mail is welcome."));
}

// ---------------------------------------------------------------- POP-before-SMTP

TEST_F(CEsmtpTest, PopBeforeSmtpLogsInFirstAndAWrongPasswordDoesNotStopTheSend) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Dovecot);
    DovecotPeer pop(QList<QPair<QString, QString>>{{"alice", "pop-secret"}});
    ASSERT_TRUE(pop.start()) << pop.error().toStdString();
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    for (const char* password : {"pop-secret", "wrong"}) {
        SCOPED_TRACE(password);
        account(smtp.port());
        accountKey("SMTPRequiresAuth", "1");
        accountKey("SMTPAuthType", "1");
        accountKey("POP3Server", "127.0.0.1");
        accountKey("POP3ServerPort", std::to_string(pop.port()));
        accountKey("POP3UserName", "alice");
        accountKey("POP3Password", MiscFuncs::ScrambleText(password));
        CEsmtp esmtp;
        ASSERT_TRUE(sendRequest(esmtp)) << esmtp.LastError;
        const bool right = std::string(password) == "pop-secret";
        EXPECT_EQ(esmtp.Pop3Passed, right);
        EXPECT_EQ(esmtp.LastError, right ? "" : "Unable to authorize POP server, server refused password\r\n");
    }
    EXPECT_TRUE(smtp.waitForTransactions(2));
    EXPECT_TRUE(pop.serverLog().contains("alice")) << pop.serverLog().toStdString();
}

TEST_F(CEsmtpTest, AccountTestSendsTheTestMailToTheAccountItself) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Dovecot);
    MiscFuncs::SetLogLevel(1);
    DovecotPeer pop(QList<QPair<QString, QString>>{{"alice", "pop-secret"}});
    ASSERT_TRUE(pop.start()) << pop.error().toStdString();
    SmtpPeer smtp({.auth = true, .user = "bob", .password = "smtp-secret", .requireAuth = true});
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    CEsmtp esmtp;
    ASSERT_TRUE(esmtp.TestAccount(kAccount, "127.0.0.1", std::to_string(smtp.port()), 1, 0, "bob", "smtp-secret",
                                  "127.0.0.1", std::to_string(pop.port()), "alice", "pop-secret", socket))
        << esmtp.LastError;
    EXPECT_TRUE(esmtp.Pop3Passed);
    EXPECT_TRUE(esmtp.SmtpPassed);
    EXPECT_NE(programLog().find("Testing smtp server 127.0.0.1 on port " + std::to_string(smtp.port())),
              std::string::npos);

    ASSERT_TRUE(smtp.waitForTransactions(1));
    const SmtpTransaction t = smtp.transactions()[0];
    EXPECT_EQ(t.rcptTos, QStringList{kAccount});
    const ParsedMail mail = ParseMail(t.data);
    EXPECT_FALSE(mail.json["multipart"].toBool());
    EXPECT_EQ(mail.headerCount("MIME-Version"), 0);
    EXPECT_EQ(mail.header("From"), "\"me@example.test\" <me@example.test>");
    EXPECT_EQ(mail.header("To"), kAccount);
    EXPECT_EQ(mail.header("Subject"), "Glimmerpost test message");
    EXPECT_EQ(mail.header("X-GLP-MESSAGE"), "TEST");
    EXPECT_EQ(mail.part(0)["content"].toString(), Q(esmtp.TextBody + "\r\n\r\n"));
}
