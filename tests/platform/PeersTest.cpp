// The SMTP and POP3 test peers, checked with real clients (smtplib, poplib, curl,
// swaks, fetchmail) before any engine of ours relies on them.
#include "support/Peers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTcpSocket>

using namespace testing_support;

namespace {

const QByteArray kMail =
    "From: a@example.test\r\nTo: b@example.test\r\nSubject: hello\r\n\r\n"
    "line one\r\n.\r\n..two dots\r\nend\r\n";

bool Listening(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", port);
    return socket.waitForConnected(1000);
}

// Sends EHLO and one more command on a raw socket; prints every reply line.
CommandResult RawSmtp(quint16 port, const QString& command) {
    return RunPython(R"PY(
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=3)
f = s.makefile("rb")
f.readline()
for line in ("EHLO client.test", sys.argv[2]):
    s.sendall(line.encode() + b"\r\n")
    while True:
        reply = f.readline()
        sys.stdout.write(reply.decode("latin-1"))
        if reply[3:4] != b"-":
            break
)PY", {QString::number(port), command});
}

}  // namespace

// ---------------------------------------------------------------- SMTP peer

TEST(SmtpPeerTest, RecordsEachTransactionFromSmtplibAndCurl) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Curl);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();

    const CommandResult sent = SendWithSmtplib(
        smtp.port(), {"a@example.test", {"b@example.test", "c@example.test"}, kMail});
    ASSERT_TRUE(sent.ok()) << sent.describe();
    const CommandResult curl = RunCommand(
        "/usr/bin/curl", {"-sS", QString("smtp://127.0.0.1:%1").arg(smtp.port()), "--mail-from",
                          "d@example.test", "--mail-rcpt", "e@example.test", "-T", "-"},
        kClientDeadlineMs, kMail);
    ASSERT_TRUE(curl.ok()) << curl.describe();

    ASSERT_TRUE(smtp.waitForTransactions(2));
    const QList<SmtpTransaction> list = smtp.transactions();
    ASSERT_EQ(list.size(), 2);
    EXPECT_EQ(list[0].mailFrom, "a@example.test");
    EXPECT_EQ(list[0].rcptTos, QStringList({"b@example.test", "c@example.test"}));
    EXPECT_EQ(list[0].data, kMail) << "dot-stuffing must be undone, CR LF kept";
    EXPECT_TRUE(list[0].esmtp);
    EXPECT_FALSE(list[0].ehlo.isEmpty());
    EXPECT_TRUE(list[0].authUser.isEmpty());
    EXPECT_TRUE(list[0].complete);
    EXPECT_EQ(list[1].mailFrom, "d@example.test");
    EXPECT_EQ(list[1].data, kMail);
}

TEST(SmtpPeerTest, AuthenticatesEachMechanismWithSwaks) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Swaks);
    SmtpPeer smtp({.auth = true, .user = "bob", .password = "pa55"});
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();

    int expected = 0;
    for (const QString mechanism : {"CRAM-MD5", "LOGIN", "PLAIN"}) {
        SCOPED_TRACE(mechanism.toStdString());
        const QStringList wrong{"--auth", mechanism, "--auth-user", "bob", "--auth-password", "x"};
        EXPECT_FALSE(RunSwaks(smtp.port(), "a@example.test", "b@example.test", wrong).ok());
        const QStringList right{"--auth", mechanism, "--auth-user", "bob", "--auth-password", "pa55"};
        const CommandResult run = RunSwaks(smtp.port(), "a@example.test", "b@example.test", right);
        ASSERT_TRUE(run.ok()) << run.describe();
        ASSERT_TRUE(smtp.waitForTransactions(++expected));
        const SmtpTransaction t = smtp.transactions().last();
        EXPECT_EQ(t.authMechanism, mechanism);
        EXPECT_EQ(t.authUser, "bob");
    }
    EXPECT_EQ(smtp.transactions().size(), 3) << "a refused login must not send";
}

TEST(SmtpPeerTest, AdvertisesOnlyTheConfiguredAuth) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    struct Case { SmtpPeerOptions options; QByteArray present, absent; };
    const Case cases[] = {
        {{}, "250 HELP", "AUTH"},
        {{.auth = true}, "250-AUTH CRAM-MD5 LOGIN PLAIN", ""},
        {{.auth = true, .mechanisms = {"CRAM-MD5"}}, "250-AUTH CRAM-MD5\r\n", "PLAIN"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.present.toStdString());
        SmtpPeer smtp(c.options);
        ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
        const CommandResult run = RawSmtp(smtp.port(), "NOOP");
        ASSERT_TRUE(run.ok()) << run.describe();
        EXPECT_TRUE(run.out.contains(c.present)) << run.out.toStdString();
        if (!c.absent.isEmpty()) {
            EXPECT_FALSE(run.out.contains(c.absent)) << run.out.toStdString();
        }
    }
}

TEST(SmtpPeerTest, LoginPromptsAreTheUsualOnesUnlessAskedOtherwise) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    // "Username:" is what clients wait for; aiosmtpd itself sends "User Name\0".
    const std::pair<bool, QByteArray> cases[] = {{false, "334 VXNlcm5hbWU6\r\n"},
                                                 {true, "334 VXNlciBOYW1lAA==\r\n"}};
    for (const auto& [library, prompt] : cases) {
        SmtpPeer smtp({.auth = true, .libraryLoginPrompts = library});
        ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
        const CommandResult run = RawSmtp(smtp.port(), "AUTH LOGIN");
        EXPECT_TRUE(run.out.endsWith(prompt)) << run.out.toStdString();
    }
}

TEST(SmtpPeerTest, RequiredAuthRefusesMailBeforeLogin) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp({.auth = true, .requireAuth = true});
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    SmtplibMail mail{"a@example.test", {"b@example.test"}, kMail};
    const CommandResult anonymous = SendWithSmtplib(smtp.port(), mail);
    EXPECT_FALSE(anonymous.ok());
    EXPECT_TRUE(anonymous.err.contains("530")) << anonymous.describe();
    mail.user = "alice";
    mail.password = "secret";
    const CommandResult logged = SendWithSmtplib(smtp.port(), mail);
    ASSERT_TRUE(logged.ok()) << logged.describe();
    ASSERT_TRUE(smtp.waitForTransactions(1));
    EXPECT_EQ(smtp.transactions().size(), 1);
}

TEST(SmtpPeerTest, RefusesChosenRecipientsOrAll) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer some({.refuseRcpt = {"Bad@Example.test"}});
    ASSERT_TRUE(some.start()) << some.error().toStdString();
    const CommandResult partly = SendWithSmtplib(
        some.port(), {"a@example.test", {"good@example.test", "bad@example.test"}, kMail});
    ASSERT_TRUE(partly.ok()) << partly.describe();
    EXPECT_TRUE(partly.out.contains("\"bad@example.test\": [550")) << partly.out.toStdString();
    ASSERT_TRUE(some.waitForTransactions(1));
    EXPECT_EQ(some.transactions()[0].rcptTos, QStringList{"good@example.test"});
    EXPECT_EQ(some.transactions()[0].refusedRcpts, QStringList{"bad@example.test"});

    SmtpPeer all({.refuseAllRcpt = true});
    ASSERT_TRUE(all.start()) << all.error().toStdString();
    const CommandResult none =
        SendWithSmtplib(all.port(), {"a@example.test", {"b@example.test"}, kMail});
    EXPECT_FALSE(none.ok());
    EXPECT_TRUE(none.err.contains("SMTPRecipientsRefused")) << none.describe();
    EXPECT_TRUE(all.transactions().isEmpty());
}

TEST(SmtpPeerTest, DataFaultsAreSeenByTheClientAndRecorded) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    struct Case { SmtpPeerOptions options; QByteArray clientError; bool complete; QByteArray data; };
    const Case cases[] = {
        {{.dropInData = true}, "SMTPServerDisconnected", false, "From: a@example.test\r\n"},
        {{.refuseData = true}, "554", true, kMail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clientError.toStdString());
        SmtpPeer smtp(c.options);
        ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
        const CommandResult run =
            SendWithSmtplib(smtp.port(), {"a@example.test", {"b@example.test"}, kMail});
        EXPECT_FALSE(run.ok());
        EXPECT_TRUE(run.err.contains(c.clientError)) << run.describe();
        ASSERT_TRUE(smtp.waitForTransactions(1));
        EXPECT_EQ(smtp.transactions()[0].complete, c.complete);
        EXPECT_EQ(smtp.transactions()[0].data, c.data);
    }
}

TEST(SmtpPeerTest, ServerWithoutEhloTakesHelo) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp({.noEhloCode = 502});
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    const CommandResult raw = RawSmtp(smtp.port(), "HELO client.test");
    EXPECT_TRUE(raw.out.startsWith("502 ")) << raw.out.toStdString();
    EXPECT_TRUE(raw.out.contains("\n250 ")) << raw.out.toStdString();
    const CommandResult sent =
        SendWithSmtplib(smtp.port(), {"a@example.test", {"b@example.test"}, kMail});
    ASSERT_TRUE(sent.ok()) << sent.describe();
    ASSERT_TRUE(smtp.waitForTransactions(1));
    EXPECT_FALSE(smtp.transactions()[0].esmtp);
}

TEST(SmtpPeerTest, RecordsTheClientsLoopbackAddress) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    SmtplibMail mail{"a@example.test", {"b@example.test"}, kMail};
    mail.sourceAddress = "127.0.0.2";
    const CommandResult sent = SendWithSmtplib(smtp.port(), mail);
    ASSERT_TRUE(sent.ok()) << sent.describe();
    ASSERT_TRUE(smtp.waitForTransactions(1));
    EXPECT_EQ(smtp.transactions()[0].clientAddress, "127.0.0.2");

    mail.sourceAddress = "192.0.2.7";
    const CommandResult refused = SendWithSmtplib(smtp.port(), mail);
    EXPECT_FALSE(refused.started) << "only loopback addresses are ever used";
    EXPECT_TRUE(refused.err.contains("not a loopback address"));
}

TEST(SmtpPeerTest, StopsWhenDestroyed) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    quint16 port = 0;
    {
        SmtpPeer smtp;
        ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
        port = smtp.port();
        ASSERT_TRUE(Listening(port));
    }
    EXPECT_FALSE(Listening(port));
}

// ---------------------------------------------------------------- dovecot peer

TEST(DovecotPeerTest, ServesDeliveredMailAndKeepsWhatTheClientLeft) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot, PeerProgram::Python, PeerProgram::Curl);
    DovecotPeer pop({{"alice", "secret"}, {"bob", "hunter2"}});
    ASSERT_TRUE(pop.start()) << pop.error().toStdString();
    const QByteArray second = "From: c@example.test\nSubject: two\n\nLF only\n";
    ASSERT_FALSE(pop.deliver("alice", kMail).isEmpty()) << pop.error().toStdString();
    ASSERT_FALSE(pop.deliver("alice", second).isEmpty()) << pop.error().toStdString();
    ASSERT_FALSE(pop.deliver("bob", kMail).isEmpty()) << pop.error().toStdString();

    const PopFetch fetch = FetchWithPoplib(pop.port(), {"alice", "secret"});
    ASSERT_TRUE(fetch.run.ok()) << fetch.run.describe();
    EXPECT_TRUE(fetch.welcome.startsWith("+OK"));
    ASSERT_EQ(fetch.messages.size(), 2) << "bob's mail is his own";
    EXPECT_EQ(fetch.messages[0], kMail) << "served with CR LF, in delivery order";
    EXPECT_EQ(fetch.messages[1], QByteArray(second).replace("\n", "\r\n"));

    const QString url = QString("pop3://127.0.0.1:%1/").arg(pop.port());
    const CommandResult list = RunCurl({"-sS", url, "-u", "alice:secret"});
    ASSERT_TRUE(list.ok()) << list.describe();
    EXPECT_TRUE(list.out.startsWith("1 ") && list.out.contains("\r\n2 ")) << list.out.toStdString();
    const CommandResult dele = RunCurl({"-sS", url, "-u", "alice:secret", "-X", "DELE 1", "-I"});
    ASSERT_TRUE(dele.ok()) << dele.describe();

    const auto left = pop.leftOnServer("alice");
    ASSERT_TRUE(left.has_value()) << pop.error().toStdString();
    ASSERT_EQ(left->size(), 1);
    EXPECT_EQ(left->at(0).data, second);
    EXPECT_EQ(left->at(0).folder, "cur");
    EXPECT_FALSE(pop.leftOnServer("nobody").has_value());
}

TEST(DovecotPeerTest, RefusesAWrongPassword) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot, PeerProgram::Python);
    DovecotPeer pop;
    ASSERT_TRUE(pop.start()) << pop.error().toStdString();
    ASSERT_FALSE(pop.deliver("alice", kMail).isEmpty());
    const PopFetch fetch = FetchWithPoplib(pop.port(), {"alice", "wrong", true});
    EXPECT_FALSE(fetch.run.ok());
    EXPECT_TRUE(fetch.run.err.contains("-ERR")) << fetch.run.describe();
    const auto left = pop.leftOnServer("alice");
    ASSERT_TRUE(left.has_value());
    EXPECT_EQ(left->size(), 1);
}

TEST(DovecotPeerTest, FetchmailCollectsAndDeletes) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot, PeerProgram::Fetchmail);
    DovecotPeer pop;
    ASSERT_TRUE(pop.start()) << pop.error().toStdString();
    ASSERT_FALSE(pop.deliver("alice", kMail).isEmpty());
    ASSERT_FALSE(pop.deliver("alice", "Subject: second\n\nbody two\n").isEmpty());

    const FetchmailRun run = RunFetchmail(pop.port(), "alice", "secret");
    ASSERT_TRUE(run.run.ok()) << run.run.describe();
    ASSERT_EQ(run.delivered.size(), 2);
    EXPECT_TRUE(run.delivered[0].contains("Subject: hello"));
    EXPECT_TRUE(run.delivered[1].contains("body two"));
    const auto left = pop.leftOnServer("alice");
    ASSERT_TRUE(left.has_value());
    EXPECT_TRUE(left->isEmpty());
}

TEST(DovecotPeerTest, RemovesItsFolderWhenStopped) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    DovecotPeer pop;
    ASSERT_TRUE(pop.start()) << pop.error().toStdString();
    ASSERT_TRUE(QDir(pop.home()).exists());
    pop.stop();
    EXPECT_FALSE(pop.running());
    EXPECT_FALSE(QDir(pop.home()).exists());
    EXPECT_FALSE(Listening(pop.port()));
}
