// The SMTP client's protocol as transcripts, without a socket: the server says a
// line, the client is expected to answer with exact bytes.
#include "protocol/SmtpClientSession.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Digest.h"
#include "core/TempFolder.h"

using engines::SmtpAction;
using engines::SmtpClientSession;
using engines::SmtpSessionConfig;

namespace {

const std::string kMessage = "Subject: hi\r\n\r\nbody\r\n.hidden\r\n";
const std::string kEhloAuth = "250-smtp.peer.test\r\n250-AUTH CRAM-MD5 LOGIN PLAIN\r\n250 HELP\r\n";

SmtpSessionConfig Config() {
    SmtpSessionConfig c;
    c.smtpHost = "127.0.0.1";
    c.smtpPort = 2525;
    c.hostName = "client.example.test";
    c.mailFrom = "me@example.test";
    c.rcptTo = "you@example.test";
    c.message = kMessage;
    return c;
}

// Plays one session: performs nothing, records what the client did.
class Transcript {
public:
    explicit Transcript(SmtpSessionConfig config) : session(std::move(config)) { take(session.start()); }

    void connect() { take(session.connected("127.0.0.1")); }
    void server(std::string_view bytes) { take(session.received(bytes)); }
    void serverBytewise(std::string_view bytes) {
        for (char c : bytes) take(session.received(std::string_view(&c, 1)));
    }
    // Everything the client sent since the last call.
    std::string sent() {
        std::string out;
        out.swap(sent_);
        return out;
    }
    const engines::SmtpOutcome& outcome() const { return session.outcome(); }
    void take(const std::vector<SmtpAction>& actions) {
        for (const SmtpAction& a : actions) {
            all.push_back(a);
            if (a.kind == SmtpAction::Kind::Send) sent_ += a.text;
            if (a.kind == SmtpAction::Kind::Connect) connects.push_back(a.text + ":" + std::to_string(a.number));
            if (a.kind == SmtpAction::Kind::Progress) progress.push_back(std::to_string(a.number) + " " + a.text);
        }
    }
    // Greeting and EHLO answered; the client's EHLO taken.
    void greet(std::string_view ehloReply = "250 smtp.peer.test\r\n") {
        connect();
        server("220 smtp.peer.test ESMTP\r\n");
        EXPECT_EQ(sent(), "EHLO client.example.test\r\n");
        server(ehloReply);
    }
    void envelopeAndData() {
        EXPECT_EQ(sent(), "MAIL FROM:<me@example.test>\r\n");
        server("250 ok\r\n");
        EXPECT_EQ(sent(), "RCPT TO:<you@example.test>\r\n");
        server("250 ok\r\n");
        EXPECT_EQ(sent(), "DATA\r\n");
        server("354 go ahead\r\n");
        EXPECT_EQ(sent(), "Subject: hi\r\n\r\nbody\r\n..hidden\r\n.\r\n");
    }

    SmtpClientSession session;
    std::vector<SmtpAction> all;
    std::vector<std::string> connects;
    std::vector<std::string> progress;

private:
    std::string sent_;
};

std::string B64(std::string_view s) { return MiscFuncs::Base64Encode(s); }

}  // namespace

// STARTTLS (RFC 3207): no AUTH before the upgrade, nothing read from the plain stream
// after the 220, EHLO again afterwards with only the new reply's mechanisms; a server
// that does not offer it, or a failed handshake, gets no credential.
TEST(SmtpClientSession, StartTlsComesBeforeAuthAndForgetsThePlainStream) {
    SmtpSessionConfig config = Config();
    config.smtpSecurity = 1;
    config.authUser = "bob";
    config.authPassword = "pw";
    Transcript t(config);
    ASSERT_EQ(t.all.size(), 2u);
    EXPECT_EQ(t.all[1].security, 1);
    t.greet("250-smtp.peer.test\r\n250-AUTH PLAIN\r\n250 STARTTLS\r\n");
    EXPECT_EQ(t.sent(), "STARTTLS\r\n");
    t.server("220 go ahead\r\n250 injected\r\n");
    EXPECT_EQ(t.all.back().kind, SmtpAction::Kind::StartTls);
    t.server("250 more injected\r\n");
    EXPECT_EQ(t.sent(), "");
    t.take(t.session.tlsStarted());
    EXPECT_EQ(t.sent(), "EHLO client.example.test\r\n");
    t.server("250-smtp.peer.test\r\n250 AUTH LOGIN\r\n");
    EXPECT_EQ(t.sent(), "AUTH LOGIN\r\n");

    struct Case {
        const char* name;
        std::string ehlo;
        bool handshakeFails;
        const char* error;
    };
    const Case cases[] = {
        {"not offered", "250-smtp.peer.test\r\n250 AUTH PLAIN\r\n", false, "does not offer STARTTLS"},
        {"handshake failed", "250-smtp.peer.test\r\n250-AUTH PLAIN\r\n250 STARTTLS\r\n", true,
         "Unable to connect to SMTP server securely: the certificate"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Transcript f(config);
        f.greet(c.ehlo);
        if (c.handshakeFails) {
            EXPECT_EQ(f.sent(), "STARTTLS\r\n");
            f.server("220 go ahead\r\n");
            f.take(f.session.tlsFailed("the certificate of 127.0.0.1 was refused: self-signed"));
        }
        EXPECT_TRUE(f.session.finished());
        EXPECT_EQ(f.sent().find("AUTH"), std::string::npos);
        EXPECT_FALSE(f.outcome().sent);
        EXPECT_NE(f.outcome().lastError.find(c.error), std::string::npos) << f.outcome().lastError;
    }
}

TEST(SmtpClientSession, SendsOneMailFromGreetingToQuit) {
    Transcript t(Config());
    EXPECT_EQ(t.connects, std::vector<std::string>{"127.0.0.1:2525"});
    EXPECT_EQ(t.session.waitSeconds(), SmtpClientSession::kGreetingSeconds);
    t.greet();
    EXPECT_EQ(t.session.waitSeconds(), SmtpClientSession::kReplySeconds);
    t.envelopeAndData();
    EXPECT_FALSE(t.session.finished());
    t.server("250 queued as 1\r\n");
    EXPECT_EQ(t.sent(), "QUIT\r\n");
    EXPECT_TRUE(t.outcome().sent);
    EXPECT_TRUE(t.outcome().smtpPassed);
    t.server("221 bye\r\n");
    EXPECT_TRUE(t.session.finished());
    EXPECT_EQ(t.all.back().kind, SmtpAction::Kind::Progress);
    EXPECT_EQ(t.progress, (std::vector<std::string>{"1 Sending msg - Initialising..",
                                                    "3 Sending msg - Composing message..",
                                                    "4 Sending msg - Completed"}));
    EXPECT_EQ(t.outcome().lastError, "");
    EXPECT_FALSE(t.outcome().relayRefused);
}

TEST(SmtpClientSession, RepliesAreWholeHoweverTheyArrive) {
    // Byte by byte, and a multi-line EHLO reply whose AUTH lines come in separate
    // pieces, the mechanisms on a continuation line and on the last line.
    SmtpSessionConfig c = Config();
    c.authUser = "alice";
    c.authPassword = "secret";
    Transcript t(c);
    t.connect();
    t.serverBytewise("220-smtp.peer.test first\r\n220 ready\r\n");
    EXPECT_EQ(t.sent(), "EHLO client.example.test\r\n");
    t.server("250-smtp.peer.test\r\n250-AU");
    t.server("TH LOGIN\r\n");
    EXPECT_EQ(t.sent(), "") << "the reply is not over yet";
    t.server("250 AUTH PLAIN\r\n");
    EXPECT_EQ(t.sent(), "AUTH LOGIN\r\n") << "CRAM-MD5 was not offered";
    // Two replies in one piece: the second answers the command the first one led to.
    t.server("334 VXNlcm5hbWU6\r\n334 UGFzc3dvcmQ6\r\n");
    EXPECT_EQ(t.sent(), B64("alice") + "\r\n" + B64("secret") + "\r\n");
    t.server("235 ok\r\n");
    t.envelopeAndData();
}

TEST(SmtpClientSession, AuthenticatesWithCramMd5ByRfc2195) {
    SmtpSessionConfig c = Config();
    c.authUser = "tim";
    c.authPassword = "tanstaaftanstaaf";
    Transcript t(c);
    t.greet(kEhloAuth);
    EXPECT_EQ(t.sent(), "AUTH CRAM-MD5\r\n");
    // The example exchange of RFC 2195 section 2.
    t.server("334 PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+\r\n");
    EXPECT_EQ(t.sent(), "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw\r\n");
    t.server("235 2.7.0 Authentication successful\r\n");
    t.envelopeAndData();
}

TEST(SmtpClientSession, LoginAnswersThePromptsWhateverTheySay) {
    SmtpSessionConfig c = Config();
    c.authUser = "alice";
    c.authPassword = "secret";
    Transcript t(c);
    t.greet("250-x\r\n250 AUTH LOGIN\r\n");
    EXPECT_EQ(t.sent(), "AUTH LOGIN\r\n");
    t.server("334 " + B64(std::string("User Name\0", 10)) + "\r\n");
    EXPECT_EQ(t.sent(), B64("alice") + "\r\n");
    t.server("334 " + B64(std::string("Password\0", 9)) + "\r\n");
    EXPECT_EQ(t.sent(), B64("secret") + "\r\n");
    t.server("235 ok\r\n");
    t.envelopeAndData();
}

TEST(SmtpClientSession, FailedAuthTriesTheNextMechanismThenLeavesItToTheServer) {
    SmtpSessionConfig c = Config();
    c.authUser = "alice";
    c.authPassword = "wrong";
    Transcript t(c);
    t.greet(kEhloAuth);
    EXPECT_EQ(t.sent(), "AUTH CRAM-MD5\r\n");
    t.server("334 !!not base64!!\r\n");
    EXPECT_EQ(t.sent(), "*\r\n") << "an unreadable challenge is cancelled";
    t.server("501 cancelled\r\n");
    EXPECT_EQ(t.sent(), "AUTH LOGIN\r\n");
    t.server("334 VXNlcm5hbWU6\r\n");
    t.sent();
    t.server("535 no such user\r\n");
    EXPECT_EQ(t.sent(), "AUTH PLAIN\r\n") << "a refusal after the user name ends LOGIN";
    t.server("334 \r\n");
    EXPECT_EQ(t.sent(), B64(std::string("\0alice\0wrong", 12)) + "\r\n");
    t.server("535 5.7.8 bad\r\n");
    t.envelopeAndData();
    EXPECT_EQ(t.outcome().lastError,
              "Authenticating user on SMTP server failed\r\nAuthenticating user on SMTP server failed\r\n");
}

TEST(SmtpClientSession, CramMd5RefusalHasItsOwnLine) {
    SmtpSessionConfig c = Config();
    c.authUser = "alice";
    Transcript t(c);
    t.greet("250 AUTH CRAM-MD5\r\n");
    t.sent();
    t.server("334 PDE+\r\n");
    t.sent();
    t.server("535 no\r\n");
    EXPECT_EQ(t.sent(), "MAIL FROM:<me@example.test>\r\n");
    EXPECT_EQ(t.outcome().lastError, "authenticating user on SMTP server failed\r\n");
}

TEST(SmtpClientSession, NoUserNameMeansNoAuth) {
    Transcript t(Config());
    t.greet(kEhloAuth);
    t.envelopeAndData();
}

TEST(SmtpClientSession, HeloWhenEhloIsNotKnownAndNoAuthAfterIt) {
    SmtpSessionConfig c = Config();
    c.authUser = "alice";
    for (const char* code : {"500", "502", "554"}) {
        SCOPED_TRACE(code);
        Transcript t(c);
        t.greet(std::string(code) + " unknown command\r\n");
        EXPECT_EQ(t.sent(), "HELO client.example.test\r\n");
        t.server("250 AUTH PLAIN\r\n");
        t.envelopeAndData();
    }
    Transcript refused(c);
    refused.greet("502 no\r\n");
    refused.sent();
    refused.server("500 no HELO either\r\n");
    EXPECT_TRUE(refused.session.finished());
    EXPECT_FALSE(refused.outcome().sent);
    EXPECT_EQ(refused.outcome().lastError,
              "SMTP server did not reply positively to client's command\r\n\r\n"
              "Client sent: HELO client.example.test\r\nServer replied: 500 no HELO either\r\n");
}

TEST(SmtpClientSession, RefusalsEndTheSendAndNameTheCommand) {
    struct Case {
        int step;  // 0 MAIL, 1 RCPT, 2 DATA, 3 the final dot
        std::string reply;
        std::string line;
        bool relayRefused;
    };
    const Case cases[] = {
        {0, "550 sender refused", "SMTP server did not reply positively to client's command", false},
        {1, "550 5.7.1 Relay access denied", "SMTP server refused to accept/relay email message", true},
        {1, "450 try again later", "SMTP server refused to accept/relay email message", false},
        {2, "250 ok but no", "SMTP server did not reply positively to client's command", false},
        {3, "554 5.6.0 Message refused", "SMTP server refused to accept/relay email message", false},
    };
    const char* commands[] = {"MAIL FROM:<me@example.test>", "RCPT TO:<you@example.test>", "DATA", "."};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        Transcript t(Config());
        t.greet();
        const char* replies[] = {"250 ok\r\n", "250 ok\r\n", "354 go\r\n"};
        for (int i = 0; i < c.step; ++i) t.server(replies[i]);
        t.sent();
        t.server(c.reply + "\r\n");
        EXPECT_EQ(t.sent(), "QUIT\r\n") << "nothing more, and never the message as commands";
        EXPECT_TRUE(t.session.finished());
        EXPECT_FALSE(t.outcome().sent);
        EXPECT_EQ(t.outcome().relayRefused, c.relayRefused);
        EXPECT_EQ(t.outcome().lastError, c.line + "\r\n\r\nClient sent: " + commands[c.step] +
                                             "\r\nServer replied: " + c.reply + "\r\n");
    }
}

TEST(SmtpClientSession, GreetingFailures) {
    Transcript notConnected(Config());
    notConnected.take(notConnected.session.closed());
    EXPECT_TRUE(notConnected.outcome().lastError.starts_with("Unable to connect to SMTP server\r\n"));
    EXPECT_EQ(notConnected.sent(), "");

    Transcript silent(Config());
    silent.connect();
    silent.take(silent.session.timedOut());
    EXPECT_TRUE(silent.outcome().lastError.starts_with("SMTP server is not functioning properly\r\n"));

    Transcript busy(Config());
    busy.connect();
    busy.server("554 no service here\r\n");
    EXPECT_TRUE(busy.outcome().lastError.starts_with("SMTP server is not functioning properly\r\n"));
    EXPECT_EQ(busy.sent(), "QUIT\r\n");
}

TEST(SmtpClientSession, OverLongRepliesEndTheSend) {
    const std::string longLine = "250-" + std::string(engines::ReplyReader::kMaxLineOctets, 'x');
    std::string manyLines;
    while (manyLines.size() <= engines::ReplyReader::kMaxReplyOctets) manyLines += "250-" + std::string(1000, 'y') + "\r\n";
    for (const std::string& reply : {longLine, manyLines}) {
        Transcript t(Config());
        t.greet(reply);
        EXPECT_TRUE(t.session.finished());
        EXPECT_FALSE(t.outcome().sent);
        EXPECT_TRUE(t.outcome().lastError.starts_with("Server reply exceeds the length limit\r\n"));
        EXPECT_LE(t.outcome().lastReply.size(), SmtpClientSession::kMaxReplyReport);
    }
}

TEST(SmtpClientSession, DisconnectsAndTimeoutsAfterTheGreeting) {
    Transcript dropped(Config());
    dropped.greet();
    dropped.server("250 ok\r\n");
    dropped.take(dropped.session.closed());
    EXPECT_TRUE(dropped.outcome().lastError.starts_with(
        "Remote host disconnected\r\nSMTP server refused to accept/relay email message\r\n"));
    EXPECT_FALSE(dropped.outcome().relayRefused) << "a lost connection is no refusal";

    Transcript slow(Config());
    slow.greet();
    slow.take(slow.session.timedOut());
    EXPECT_TRUE(slow.outcome().lastError.starts_with("SMTP server did not reply positively to client's command"));

    Transcript quit(Config());
    quit.greet();
    quit.envelopeAndData();
    quit.server("250 ok\r\n");
    quit.take(quit.session.closed());
    EXPECT_TRUE(quit.outcome().sent) << "the answer to QUIT is not needed";
}

TEST(SmtpClientSession, AddressesThatCannotBeAnEnvelopeAreNeverSent) {
    SmtpSessionConfig c = Config();
    c.rcptTo = "you@example.test>\r\nRCPT TO:<other@example.test";
    Transcript t(c);
    EXPECT_TRUE(t.session.finished());
    EXPECT_TRUE(t.connects.empty());
    EXPECT_TRUE(t.outcome().relayRefused) << "no server could take it: parked like a refused relay";
    EXPECT_TRUE(t.outcome().lastError.starts_with("Invalid recipient address\r\n"));

    c = Config();
    c.mailFrom = "";
    Transcript noSender(c);
    EXPECT_TRUE(noSender.connects.empty());
    EXPECT_FALSE(noSender.outcome().relayRefused);
}

// ---------------------------------------------------------------- POP-before-SMTP

namespace {

SmtpSessionConfig PopConfig() {
    SmtpSessionConfig c = Config();
    c.pop3Host = "127.0.0.1";
    c.pop3Port = 1110;
    c.pop3User = "alice";
    c.pop3Password = "secret";
    return c;
}

}  // namespace

TEST(SmtpClientSession, LogsInToPop3FirstThenSendsOnANewConnection) {
    Transcript t(PopConfig());
    EXPECT_EQ(t.connects, std::vector<std::string>{"127.0.0.1:1110"});
    t.connect();
    t.server("+OK dovecot ready\r\n");
    EXPECT_EQ(t.sent(), "USER alice\r\n");
    t.server("+OK\r\n");
    EXPECT_EQ(t.sent(), "PASS secret\r\n");
    t.server("+OK logged in\r\n");
    EXPECT_EQ(t.sent(), "STAT\r\n");
    t.server("+OK 0 0\r\n");
    EXPECT_EQ(t.sent(), "QUIT\r\n");
    EXPECT_TRUE(t.outcome().pop3Passed);
    t.server("+OK bye\r\n");
    EXPECT_EQ(t.connects, (std::vector<std::string>{"127.0.0.1:1110", "127.0.0.1:2525"}));
    EXPECT_EQ(t.progress[1], "2 Sending msg - Authenticating..");
    t.greet();
    t.envelopeAndData();
}

TEST(SmtpClientSession, Pop3FailuresAreNotedAndTheSendGoesOn) {
    struct Case {
        std::vector<std::string> replies;
        std::string line;
    };
    const Case cases[] = {
        {{"-ERR go away"}, "Unable to connect to POP host for authorization"},
        {{"535 wrong protocol"}, "Unable to connect to POP host for authorization"},
        {{"+OK", "-ERR no such user"}, "Unable to authorize POP server, server refused user"},
        {{"+OK", "+OK", "-ERR [AUTH] wrong"}, "Unable to authorize POP server, server refused password"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Transcript t(PopConfig());
        t.connect();
        for (const std::string& reply : c.replies) t.server(reply + "\r\n");
        if (c.replies.size() > 1) {
            EXPECT_TRUE(t.sent().ends_with("QUIT\r\n"));
            t.server("+OK bye\r\n");
        }
        EXPECT_EQ(t.outcome().lastError, c.line + "\r\n");
        EXPECT_FALSE(t.outcome().pop3Passed);
        ASSERT_EQ(t.connects.size(), 2u);
        t.greet();
        t.envelopeAndData();
    }

    Transcript dropped(PopConfig());
    dropped.connect();
    dropped.server("+OK\r\n+OK\r\n");
    dropped.take(dropped.session.closed());
    EXPECT_EQ(dropped.outcome().lastError,
              "Remote host disconnected\r\nUnable to authorize POP server, server refused password\r\n");
    EXPECT_EQ(dropped.sent(), "USER alice\r\nPASS secret\r\n") << "no QUIT on a dead connection";
    EXPECT_EQ(dropped.connects.size(), 2u) << "one SMTP connection";
}

// ---------------------------------------------------------------- what is logged

class SmtpClientSessionLog : public testing_support::TempFolderTest {};

TEST_F(SmtpClientSessionLog, TranscriptAndErrorTextNeverShowSecrets) {
    MiscFuncs::SetLogLevel(9);
    SmtpSessionConfig c = PopConfig();
    c.pop3Password = "pop-secret";
    c.authUser = "alice";
    c.authPassword = "smtp-secret";
    Transcript t(c);
    t.connect();
    for (const char* reply : {"+OK\r\n", "+OK\r\n", "+OK\r\n", "+OK 0 0\r\n", "+OK\r\n"}) t.server(reply);
    t.sent();
    t.greet(kEhloAuth);
    t.server("334 PDE+\r\n");
    t.server("535 no\r\n");
    t.server("334 VXNlcm5hbWU6\r\n");
    t.server("334 UGFzc3dvcmQ6\r\n");
    t.server("535 no\r\n");
    t.server("334 \r\n");
    t.take(t.session.closed());  // right after the PLAIN answer
    ASSERT_TRUE(t.session.finished());

    const std::string log = programLog();
    EXPECT_NE(log.find("SMTP client sent: PASS ****"), std::string::npos) << log;
    EXPECT_NE(log.find("SMTP client received: 334 PDE+"), std::string::npos) << log;
    const std::string secrets[] = {"pop-secret", "smtp-secret", B64("smtp-secret"),
                                   B64(std::string("\0alice\0smtp-secret", 18)),
                                   B64("alice ") /* start of the CRAM-MD5 answer */};
    for (const std::string& secret : secrets) {
        EXPECT_EQ(log.find(secret.substr(0, 12)), std::string::npos) << secret << "\n" << log;
        EXPECT_EQ(t.outcome().lastError.find(secret.substr(0, 12)), std::string::npos) << secret;
    }
    EXPECT_NE(t.outcome().lastError.find("Client sent: ****\r\n"), std::string::npos) << t.outcome().lastError;
}
