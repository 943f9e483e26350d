// The SMTP proxy's protocol, as transcripts: bytes from the client and the server in,
// the bytes the session sends either way out.
#include "protocol/SmtpProxySession.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/Log.h"
#include "core/TempFolder.h"

namespace {

using SmtpProxyText::ServerAddress;

struct FakeSink : SmtpProxySession::Sink {
    void toClient(std::string_view bytes) override { client += bytes; }
    void toServer(std::string_view bytes) override { server += bytes; }
    void connectServer(const ServerAddress& address) override { connects.push_back(address); }
    void dropServer() override { ++drops; }
    void startServerTls() override { ++upgrades; }
    bool clientBacklogged() const override { return backlogged; }

    std::string client, server;
    int upgrades = 0;
    std::vector<ServerAddress> connects;
    int drops = 0;
    bool backlogged = false;
};

std::string Take(std::string& bytes) {
    std::string taken;
    taken.swap(bytes);
    return taken;
}

const std::string kEhloReply = "250-glimmerpost\r\n250-PIPELINING\r\n250 8BITMIME\r\n";

class SmtpProxySessionTest : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        testing_support::WriteFile(dir() / "accounts.ini",
                                   "[alice@example.test]\r\nSMTPServer=127.0.0.1\r\nSMTPServerPort=2525\r\n"
                                   "[bob@example.test]\r\nSMTPServer= smtp.bob.test \r\n"
                                   "[nohost@example.test]\r\nSMTPServer=\r\n"
                                   "[badport@example.test]\r\nSMTPServer=h.test\r\nSMTPServerPort=99999\r\n");
        session.start();
        EXPECT_EQ(Take(sink.client), "220 glimmerpost ESMTP\r\n");
    }

    std::string client(std::string_view bytes) {
        session.clientBytes(bytes);
        return Take(sink.client);
    }
    std::string server(std::string_view bytes) {
        session.serverBytes(bytes);
        return Take(sink.client);
    }
    // EHLO, MAIL FROM for alice and the server's set-up, up to the 250 for MAIL.
    void openTransaction() {
        ASSERT_EQ(client("EHLO pc.test\r\nMAIL FROM:<alice@example.test>\r\n"), kEhloReply);
        ASSERT_EQ(server("220 upstream\r\n"), "");
        ASSERT_EQ(server("250 upstream\r\n"), "");
        ASSERT_EQ(Take(sink.server), "EHLO pc.test\r\nMAIL FROM:<alice@example.test>\r\n");
        ASSERT_EQ(server("250 2.1.0 sender ok\r\n"), "250 2.1.0 sender ok\r\n");
    }

    FakeSink sink;
    SmtpProxySession session{1, sink};
};

// ---------------------------------------------------------------- replies of its own

TEST_F(SmtpProxySessionTest, AnswersWithoutAServerWhatNeedsNone) {
    struct Case { const char* line; const char* reply; };
    const Case cases[] = {
        {"HELO pc.test\r\n", "250 glimmerpost\r\n"},
        {"ehlo pc.test\r\n", "250-glimmerpost\r\n250-PIPELINING\r\n250 8BITMIME\r\n"},
        {"RSET\r\n", "250 flushed\r\n"},
        {"NOOP\r\n", "250 OK\r\n"},
        {"RCPT TO:<x@example.test>\r\n", "503 5.5.1 Bad sequence of commands\r\n"},
        {"DATA\r\n", "503 5.5.1 Bad sequence of commands\r\n"},
        {"STARTTLS\r\n", "502 5.5.1 Command not implemented\r\n"},
        {"XYZZY\r\n", "500 5.5.2 Command not recognized\r\n"},
        {"MAIL FROM:alice@example.test\r\n", "501 5.5.4 Syntax: MAIL FROM:<address>\r\n"},
        {"MAIL FROM:<alice@example.test>\r\n", "503 5.5.1 Send HELO or EHLO first\r\n"},
    };
    for (const Case& c : cases) {
        FakeSink fresh;
        SmtpProxySession s(1, fresh);
        s.clientBytes(c.line);
        EXPECT_EQ(fresh.client, c.reply) << c.line;
        EXPECT_TRUE(fresh.server.empty() && fresh.connects.empty()) << c.line;
        EXPECT_FALSE(s.finished()) << c.line;
    }
}

TEST_F(SmtpProxySessionTest, QuitIsAnsweredAndEndsTheSession) {
    EXPECT_EQ(client("QUIT\r\nNOOP\r\n"), "221 closing transmission channel\r\n");
    EXPECT_TRUE(session.finished());
    EXPECT_EQ(client("NOOP\r\n"), "");
}

// ---------------------------------------------------------------- the road of a message

TEST_F(SmtpProxySessionTest, PipelinedCommandsWaitForTheServerAndGoInLockStep) {
    EXPECT_EQ(client("EHLO pc.test\r\nMAIL FROM:<alice@example.test>\r\nRCPT TO:<Carol@Example.test>\r\n"
                     "RCPT TO:<dave@example.test>\r\nDATA\r\n"),
              kEhloReply);
    ASSERT_EQ(sink.connects.size(), 1u);
    EXPECT_EQ(sink.connects[0].host, "127.0.0.1");
    EXPECT_EQ(sink.connects[0].port, 2525);
    EXPECT_EQ(session.sender(), "alice@example.test");
    EXPECT_EQ(sink.server, "") << "nothing goes out before the server greets";

    EXPECT_EQ(server("220-upstream\r\n220 ready\r\n"), "");
    EXPECT_EQ(Take(sink.server), "EHLO pc.test\r\n") << "the client's own EHLO line";
    EXPECT_EQ(server("250-upstream\r\n250 PIPELINING\r\n"), "");
    EXPECT_EQ(Take(sink.server), "MAIL FROM:<alice@example.test>\r\n");
    EXPECT_EQ(server("250 sender ok\r\n"), "250 sender ok\r\n");
    EXPECT_EQ(Take(sink.server), "RCPT TO:<Carol@Example.test>\r\n");
    EXPECT_EQ(server("250 one\r\n"), "250 one\r\n");
    EXPECT_EQ(Take(sink.server), "RCPT TO:<dave@example.test>\r\n");
    EXPECT_EQ(server("250 two\r\n"), "250 two\r\n");
    EXPECT_EQ(Take(sink.server), "DATA\r\n");
    EXPECT_EQ(server("354 go ahead\r\n"), "354 go ahead\r\n");
    EXPECT_TRUE(session.inMessageText());
    EXPECT_EQ(session.state(), SmtpProxySession::RemoteState::InData);
    EXPECT_EQ(session.takeApprovedRecipients(), (std::vector<std::string>{"carol@example.test", "dave@example.test"}));
}

// A bare CR would end the line for a server that reads it as a line end: the rest
// would reach it as a command of its own (a MAIL FROM of a stranger after an RSET).
TEST_F(SmtpProxySessionTest, ACommandLineHoldingACrOrNulIsRefusedAndGoesNowhere) {
    const std::string nul("RSET\0MAIL FROM:<stranger@far.test>\r\n", 36);
    for (const std::string& line : {std::string("RSET\rMAIL FROM:<stranger@far.test>\r\n"), nul,
                                    std::string("NOOP\r\r\n")}) {
        SCOPED_TRACE(line);
        FakeSink fresh;
        SmtpProxySession s(1, fresh);
        s.clientBytes("EHLO pc.test\rMAIL FROM:<stranger@far.test>\r\n");
        EXPECT_EQ(fresh.client, "501 5.5.2 Syntax error: bare CR or NUL in the command line\r\n");
        fresh.client.clear();
        s.clientBytes("EHLO pc.test\r\nMAIL FROM:<alice@example.test>\r\n");
        s.serverBytes("220 up\r\n");
        s.serverBytes("250 up\r\n");
        EXPECT_EQ(fresh.server, "EHLO pc.test\r\nMAIL FROM:<alice@example.test>\r\n") << "the stored EHLO line";
        s.serverBytes("250 ok\r\n");
        fresh.client.clear();
        fresh.server.clear();
        s.clientBytes(line);
        EXPECT_EQ(fresh.client, "501 5.5.2 Syntax error: bare CR or NUL in the command line\r\n");
        EXPECT_EQ(fresh.server, "") << "nothing of it reaches the server";
        EXPECT_FALSE(s.finished());
    }
}

// The proxy offers 8BITMIME, so the server must hear BODY=8BITMIME; parameters the
// server does not offer are left out rather than refused by it.
TEST_F(SmtpProxySessionTest, TheClientsMailParametersGoOnTheProxysMailFrom) {
    struct Case { const char* ehlo; const char* proxyMail; };
    const Case cases[] = {
        {"250-up\r\n250-8BITMIME\r\n250-SIZE 1000000\r\n250 DSN\r\n",
         "MAIL FROM:<alice@example.test> BODY=8BITMIME SIZE=1234 RET=HDRS\r\n"},
        {"250-up\r\n250 SIZE 1000000\r\n", "MAIL FROM:<alice@example.test> SIZE=1234\r\n"},
        {"250 up\r\n", "MAIL FROM:<alice@example.test>\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ehlo);
        FakeSink fresh;
        SmtpProxySession s(1, fresh);
        s.clientBytes("EHLO pc.test\r\nMAIL FROM:<alice@example.test> BODY=8BITMIME SIZE=1234 RET=HDRS\r\n");
        s.serverBytes("220 up\r\n");
        fresh.server.clear();
        s.serverBytes(c.ehlo);
        EXPECT_EQ(fresh.server, c.proxyMail);
    }
}

TEST_F(SmtpProxySessionTest, PiecesAreReassembledWhereverTheyAreCut) {
    const std::string fromClient = "EHLO pc.test\r\nMAIL FROM:<alice@example.test>\r\n";
    const std::string fromServer = "220-up\r\n220 ready\r\n250-up\r\n250-SIZE 100\r\n250 HELP\r\n";
    for (const std::size_t piece : {1u, 2u, 3u, 5u, 7u}) {
        FakeSink cut;
        SmtpProxySession s(1, cut);
        for (std::size_t i = 0; i < fromClient.size(); i += piece) s.clientBytes(fromClient.substr(i, piece));
        for (std::size_t i = 0; i < fromServer.size(); i += piece) s.serverBytes(fromServer.substr(i, piece));
        EXPECT_EQ(cut.client, kEhloReply) << piece;
        EXPECT_EQ(cut.connects.size(), 1u) << piece;
        EXPECT_EQ(cut.server, "EHLO pc.test\r\nMAIL FROM:<alice@example.test>\r\n") << piece;
    }
}

TEST_F(SmtpProxySessionTest, MessageTextPassesUntouchedUpToItsEnd) {
    // Lines a command parser would take for commands, stuffed dots, and near-ends.
    const std::string text =
        std::string("Subject: t\r\n\r\nQUIT\r\nRSET\r\n..\r\n.. two\r\n. \r\n\n.\n\r\n.x\r\n\xff") + '\0' + "\r\n.\r\n";
    for (const std::size_t piece : {1u, 2u, 3u, 4u, 64u}) {
        SCOPED_TRACE(piece);
        FakeSink cut;
        SmtpProxySession s(1, cut);
        s.clientBytes("EHLO pc\r\nMAIL FROM:<alice@example.test>\r\nRCPT TO:<c@example.test>\r\nDATA\r\n");
        for (const char* reply : {"220 up\r\n", "250 up\r\n", "250 ok\r\n", "250 ok\r\n"}) s.serverBytes(reply);
        s.serverBytes("354 go\r\n");
        cut.server.clear();
        cut.client.clear();
        const std::string all = text + "QUIT\r\n";  // a pipelined QUIT behind the final dot
        for (std::size_t i = 0; i < all.size(); i += piece) s.clientBytes(all.substr(i, piece));
        EXPECT_EQ(cut.server, text);
        EXPECT_EQ(cut.client, "") << "QUIT waits for the reply to the message";
        s.serverBytes("250 queued\r\n");
        EXPECT_EQ(cut.client, "250 queued\r\n221 closing transmission channel\r\n");
        EXPECT_EQ(cut.server, text + "QUIT\r\n");
        EXPECT_TRUE(s.finished());
    }
}

TEST_F(SmtpProxySessionTest, TextSentBeforeThe354IsStillMessageText) {
    openTransaction();
    client("RCPT TO:<c@example.test>\r\n");
    server("250 ok\r\n");
    Take(sink.server);
    EXPECT_EQ(client("DATA\r\nRSET\r\n.\r\n"), "");
    EXPECT_EQ(Take(sink.server), "DATA\r\n");
    EXPECT_EQ(server("354 go\r\n"), "354 go\r\n");
    EXPECT_EQ(Take(sink.server), "RSET\r\n.\r\n");
}

TEST_F(SmtpProxySessionTest, SecondMessageAndAnotherAccountInOneSession) {
    openTransaction();
    client("RCPT TO:<c@example.test>\r\n");
    server("250 ok\r\n");
    client("DATA\r\n");
    server("354 go\r\n");
    client("one\r\n.\r\n");
    EXPECT_EQ(server("250 queued\r\n"), "250 queued\r\n");
    EXPECT_EQ(session.state(), SmtpProxySession::RemoteState::Greeted);
    Take(sink.server);

    // The same account goes on through the open connection.
    EXPECT_EQ(client("mail FROM:<Alice@example.test>\r\n"), "");
    EXPECT_EQ(Take(sink.server), "mail FROM:<Alice@example.test>\r\n");
    EXPECT_EQ(server("250 ok\r\n"), "250 ok\r\n");
    EXPECT_EQ(session.state(), SmtpProxySession::RemoteState::MailSent);
    EXPECT_EQ(client("RSET\r\n"), "");
    EXPECT_EQ(Take(sink.server), "RSET\r\n") << "RSET reaches a connected server";
    EXPECT_EQ(server("250 reset\r\n"), "250 reset\r\n");
    EXPECT_EQ(session.state(), SmtpProxySession::RemoteState::Greeted);

    // Another account sends through its own server.
    client("MAIL FROM:<bob@example.test>\r\n");
    EXPECT_EQ(Take(sink.server), "QUIT\r\n");
    EXPECT_EQ(sink.drops, 1);
    ASSERT_EQ(sink.connects.size(), 2u);
    EXPECT_EQ(sink.connects[1].host, "smtp.bob.test");
    EXPECT_EQ(sink.connects[1].port, 25);
    EXPECT_EQ(session.sender(), "bob@example.test");
}

// ---------------------------------------------------------------- refusals and limits

TEST_F(SmtpProxySessionTest, SendersThatAreNotAccountsAreRefused) {
    struct Case { const char* sender; const char* reply; };
    const Case cases[] = {
        {"stranger@example.test", "550 5.7.1 Relaying denied: the sender is not one of the accounts\r\n"},
        {"", "550 5.7.1 Relaying denied: the sender is not one of the accounts\r\n"},
        {"nohost@example.test", "421 4.3.5 No SMTP server is set for this account\r\n"},
        {"badport@example.test", "421 4.3.5 No SMTP server is set for this account\r\n"},
    };
    for (const Case& c : cases) {
        FakeSink fresh;
        SmtpProxySession s(1, fresh);
        s.clientBytes("HELO pc\r\nMAIL FROM:<" + std::string(c.sender) + ">\r\nRCPT TO:<c@example.test>\r\n");
        EXPECT_EQ(fresh.client, "250 glimmerpost\r\n" + std::string(c.reply)) << c.sender;
        EXPECT_TRUE(s.finished()) << c.sender;
        EXPECT_TRUE(fresh.connects.empty()) << c.sender;
        EXPECT_TRUE(s.takeApprovedRecipients().empty()) << c.sender;
    }
}

TEST_F(SmtpProxySessionTest, LinesOverTheCapEndTheSession) {
    const std::string fits = "NOOP " + std::string(993, 'x') + "\r\n";  // 1000 bytes with CR LF
    EXPECT_EQ(client(fits), "250 OK\r\n");
    for (const std::string& tooLong : {fits.substr(0, 999) + "y\r\n", std::string(1001, 'z')}) {
        FakeSink fresh;
        SmtpProxySession s(1, fresh);
        s.clientBytes(tooLong);
        EXPECT_EQ(fresh.client, "500 5.5.2 Line too long\r\n");
        EXPECT_TRUE(s.finished());
    }
}

TEST_F(SmtpProxySessionTest, ErrorsEndTheSessionAfterTheLimit) {
    std::string replies;
    for (int i = 0; i < SmtpProxySession::kMaxBadCommands; ++i) replies += client("junk\r\n");
    EXPECT_TRUE(session.finished());
    EXPECT_NE(replies.find("421 4.7.0 Too many errors"), std::string::npos);
}

// Only errors in a row count: the proxy's own good answers and the server's good
// replies start the count afresh; the server's 500 and 502 count like the proxy's.
TEST_F(SmtpProxySessionTest, OnlyErrorsInARowEndTheSession) {
    const int n = SmtpProxySession::kMaxBadCommands;
    for (int i = 0; i < n - 1; ++i) ASSERT_EQ(client("junk\r\n"), "500 5.5.2 Command not recognized\r\n");
    EXPECT_EQ(client("NOOP\r\n"), "250 OK\r\n");
    for (int i = 0; i < n - 1; ++i) client("VRFY x\r\n");
    openTransaction();
    for (int i = 0; i < n - 1; ++i) {
        ASSERT_EQ(client("XTND\r\n"), "");
        ASSERT_EQ(server("502 not here\r\n"), "502 not here\r\n");
    }
    client("NOOP\r\n");
    EXPECT_EQ(server("250 fine\r\n"), "250 fine\r\n");
    for (int i = 0; i < n - 1; ++i) {
        client("XTND\r\n");
        server("500 what\r\n");
    }
    EXPECT_FALSE(session.finished());
    client("XTND\r\n");
    EXPECT_EQ(server("500 what\r\n"), "500 what\r\n421 4.7.0 Too many errors, closing transmission channel\r\n")
        << "the last one is answered, then the session ends";
    EXPECT_TRUE(session.finished());
}

TEST_F(SmtpProxySessionTest, RandomBytesGetOnlyWellFormedReplies) {
    std::mt19937 random(20240611);
    const std::string pieces[] = {"\r\n", "\n", ".", "EHLO x\r\n", "MAIL FROM:<", ">", "RCPT TO:<a@b.test>\r\n"};
    for (int round = 0; round < 200; ++round) {
        FakeSink fuzz;
        SmtpProxySession s(1, fuzz);
        for (int chunk = 0; chunk < 40 && !s.finished(); ++chunk) {
            std::string bytes;
            for (int i = random() % 200; i > 0; --i) {
                if (random() % 8 == 0) bytes += pieces[random() % std::size(pieces)];
                else bytes += static_cast<char>(random() % 256);
            }
            s.clientBytes(bytes);
        }
        std::size_t start = 0;
        while (start < fuzz.client.size()) {
            const std::size_t end = fuzz.client.find("\r\n", start);
            ASSERT_NE(end, std::string::npos);
            const std::string line = fuzz.client.substr(start, end - start);
            ASSERT_GE(line.size(), 4u) << line;
            EXPECT_TRUE(isdigit(line[0]) && isdigit(line[1]) && isdigit(line[2])) << line;
            start = end + 2;
        }
    }
}

TEST_F(SmtpProxySessionTest, HoldsItsRepliesWhileTheClientIsBacklogged) {
    sink.backlogged = true;
    EXPECT_EQ(client("NOOP\r\nNOOP\r\n"), "");
    sink.backlogged = false;
    session.resume();
    EXPECT_EQ(Take(sink.client), "250 OK\r\n250 OK\r\n");

    // While the server owes a reply, lines wait; past the cap the client is held back.
    client("EHLO pc\r\nMAIL FROM:<alice@example.test>\r\n");
    std::string many;
    while (many.size() <= SmtpProxySession::kMaxBacklog) many += "NOOP\r\n";
    client(many);
    EXPECT_FALSE(session.wantsClientInput());
}

// ---------------------------------------------------------------- the server's faults

TEST_F(SmtpProxySessionTest, ServerFailuresAnswerTheWaitingClientAndEnd) {
    struct Case { const char* name; std::vector<std::string> replies; bool failConnection; const char* last; };
    const Case cases[] = {
        {"no connection", {}, true, "421 4.4.1 Connection to the SMTP server failed\r\n"},
        {"refusing greeting", {"554 go away\r\n"}, false, "421 4.4.0 SMTP server not ready: 554 go away\r\n"},
        {"neither EHLO nor HELO", {"220 up\r\n", "502 no\r\n", "502 no\r\n"}, false,
         "421 4.4.0 SMTP server not ready: 502 no\r\n"},
        {"over-long reply", {"220 up\r\n", "250-" + std::string(5000, 'x')}, false,
         "421 4.4.0 Bad reply from the SMTP server\r\n"},
    };
    MiscFuncs::SetLogLevel(1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSink fresh;
        SmtpProxySession s(1, fresh);
        s.clientBytes("EHLO pc\r\nMAIL FROM:<alice@example.test>\r\nRCPT TO:<c@example.test>\r\nDATA\r\n");
        fresh.client.clear();
        for (const std::string& reply : c.replies) s.serverBytes(reply);
        if (c.failConnection) s.serverFailed();
        EXPECT_EQ(fresh.client, c.last);
        EXPECT_TRUE(s.finished());
        EXPECT_EQ(fresh.drops, 1);
    }
    EXPECT_NE(programLog().find("REmoteSMTP socket is not connected"), std::string::npos);
}

TEST_F(SmtpProxySessionTest, ServerWithoutEhloIsGreetedWithHelo) {
    client("EHLO pc.test\r\nMAIL FROM:<alice@example.test>\r\n");
    server("220 up\r\n");
    server("502 5.5.1 EHLO not implemented\r\n");
    EXPECT_EQ(Take(sink.server), "EHLO pc.test\r\nHELO pc.test\r\n");
    server("250 up\r\n");
    EXPECT_EQ(Take(sink.server), "MAIL FROM:<alice@example.test>\r\n");
}

TEST_F(SmtpProxySessionTest, LosingTheServerMidMessageEndsButBetweenMessagesDoesNot) {
    openTransaction();
    session.serverFailed();
    EXPECT_FALSE(session.finished()) << "no command was waiting";
    EXPECT_FALSE(session.serverInUse());
    client("MAIL FROM:<alice@example.test>\r\n");
    EXPECT_EQ(sink.connects.size(), 2u);

    FakeSink other;
    SmtpProxySession mid(2, other);
    mid.clientBytes("EHLO pc\r\nMAIL FROM:<alice@example.test>\r\nDATA\r\n");
    for (const char* reply : {"220 up\r\n", "250 up\r\n", "250 ok\r\n", "354 go\r\n"}) mid.serverBytes(reply);
    mid.clientBytes("half a mess");
    other.client.clear();
    mid.serverFailed();
    EXPECT_EQ(other.client, "421 4.4.2 Connection to the SMTP server was lost\r\n");
    EXPECT_TRUE(mid.finished());
}

TEST_F(SmtpProxySessionTest, LosingTheServerInTheMiddleOfAuthEndsTheSession) {
    openTransaction();
    client("AUTH LOGIN\r\n");
    server("334 VXNlcm5hbWU6\r\n");
    Take(sink.server);
    session.serverFailed();
    EXPECT_EQ(Take(sink.client), "421 4.4.2 Connection to the SMTP server was lost\r\n");
    EXPECT_TRUE(session.finished());
    client("YWxpY2U=\r\n");
    EXPECT_EQ(sink.server, "") << "the answer to the 334 goes nowhere";
}

TEST_F(SmtpProxySessionTest, IdleTimeOutSaysGoodbyeToBoth) {
    openTransaction();
    Take(sink.server);
    session.clientIdle();
    EXPECT_EQ(Take(sink.client), "421 4.4.2 Timeout, closing transmission channel\r\n");
    EXPECT_EQ(Take(sink.server), "QUIT\r\n");
    EXPECT_TRUE(session.finished());
}

// ---------------------------------------------------------------- the log

TEST_F(SmtpProxySessionTest, LogsTheTrafficWithPasswordsMaskedAndControlsReplaced) {
    MiscFuncs::SetLogLevel(4);
    openTransaction();
    client("AUTH PLAIN AGFsaWNlAHNlY3JldA==\r\n");
    server("535 no\r\n");
    client("AUTH LOGIN\r\n");
    server("334 VXNlcm5hbWU6\r\n");
    client("YWxpY2U=\r\n");
    server("334 UGFzc3dvcmQ6\r\n");
    client("c2VjcmV0\r\n");
    server("235 ok\r\n");
    client("NOOP \x01\x1b[1m\r\n");
    const std::string log = programLog();
    for (const char* secret : {"AGFsaWNlAHNlY3JldA==", "YWxpY2U=", "c2VjcmV0"})
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;
    for (const char* line : {"SMTPL <-1 EHLO pc.test\r\n",
                             "SMTPL ->1 250-glimmerpost 250-PIPELINING 250 8BITMIME\r\n",
                             "Started SMTP session for alice@example.test on proxy socket #1\r\n",
                             "SMTPR <-1 220 upstream\r\n", "SMTPR ->1:1 EHLO pc.test\r\n",
                             "SMTPR ->1:2 MAIL FROM:<alice@example.test>\r\n", "SMTPL <-1 AUTH PLAIN ****\r\n",
                             "SMTPL <-1 ****\r\n", "SMTPL <-1 NOOP ??[1m\r\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
}

}  // namespace

// Towards an account that asks for STARTTLS: EHLO even after the client's HELO, the
// upgrade on the server's 220, nothing read from the plain stream after it, EHLO
// again, and only then the proxy's MAIL FROM. Without STARTTLS on offer, or when the
// handshake fails, the client hears 421 and the server gets no MAIL FROM.
TEST_F(SmtpProxySessionTest, StartTlsTowardsTheServerComesBeforeTheTransaction) {
    testing_support::WriteFile(dir() / "accounts.ini",
                               "[alice@example.test]\r\nSMTPServer=127.0.0.1\r\nSMTPServerPort=2525\r\n"
                               "SMTPSecurity=1\r\n");
    ASSERT_EQ(client("HELO pc.test\r\nMAIL FROM:<alice@example.test>\r\n"), "250 glimmerpost\r\n");
    ASSERT_EQ(sink.connects.size(), 1u);
    EXPECT_EQ(sink.connects[0].security, 1);
    EXPECT_EQ(server("220 upstream\r\n"), "");
    EXPECT_EQ(Take(sink.server), "EHLO pc.test\r\n");
    EXPECT_EQ(server("250-upstream\r\n250 STARTTLS\r\n"), "");
    EXPECT_EQ(Take(sink.server), "STARTTLS\r\n");
    EXPECT_EQ(server("220 go ahead\r\n250 injected\r\n"), "");
    EXPECT_EQ(sink.upgrades, 1);
    EXPECT_EQ(server("250 2.1.0 injected sender ok\r\n"), "");
    EXPECT_EQ(Take(sink.server), "");
    session.serverTlsStarted();
    EXPECT_EQ(Take(sink.server), "EHLO pc.test\r\n");
    EXPECT_EQ(server("250-upstream\r\n250 8BITMIME\r\n"), "");
    EXPECT_EQ(Take(sink.server), "MAIL FROM:<alice@example.test>\r\n");
    EXPECT_EQ(server("250 2.1.0 sender ok\r\n"), "250 2.1.0 sender ok\r\n");

    for (const bool offered : {false, true}) {
        SCOPED_TRACE(offered ? "handshake fails" : "not offered");
        FakeSink other;
        SmtpProxySession s{2, other};
        s.start();
        s.clientBytes("EHLO pc.test\r\nMAIL FROM:<alice@example.test>\r\n");
        s.serverBytes("220 upstream\r\n");
        s.serverBytes(offered ? "250-upstream\r\n250 STARTTLS\r\n" : "250-upstream\r\n250 AUTH PLAIN\r\n");
        if (offered) {
            s.serverBytes("220 go ahead\r\n");
            s.serverTlsFailed("the certificate of 127.0.0.1 was refused: self-signed");
        }
        EXPECT_TRUE(s.finished());
        EXPECT_NE(other.client.find("421 4.7.0"), std::string::npos) << other.client;
        EXPECT_EQ(other.server.find("MAIL FROM"), std::string::npos) << other.server;
    }
}
