// The scripted peer and the client runner, checked with real clients.
#include "support/Peers.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

using namespace testing_support;

namespace {

const QByteArray kMail =
    "From: a@example.test\r\nTo: b@example.test\r\nSubject: hello\r\n\r\n"
    "line one\r\n.\r\n..two dots\r\nend\r\n";

}  // namespace

// ---------------------------------------------------------------- scripted peer

TEST(ScriptedPeerTest, PlaysAWholeSmtpSessionToSmtplib) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    ScriptedPeer peer(R"(
sendline 220 scripted ready
expect EHLO *
sendline 250 scripted
expect MAIL FROM:<a@example.test>*
sendline 250 ok
expect RCPT TO:<b@example.test>*
sendline 250 ok
expect DATA
sendline 354 go ahead
expect-data
sendline 250 queued
expect QUIT
sendline 221 bye
)");
    ASSERT_TRUE(peer.start()) << peer.error().toStdString();
    const CommandResult run =
        SendWithSmtplib(peer.port(), {"a@example.test", {"b@example.test"}, kMail});
    ASSERT_TRUE(run.ok()) << run.describe();
    ASSERT_TRUE(peer.waitForClosed(1));
    EXPECT_TRUE(peer.faults().isEmpty()) << peer.faults().join('\n').toStdString();
    EXPECT_TRUE(peer.received(1).contains("...two dots")) << "data lines are recorded as sent";
}

TEST(ScriptedPeerTest, Pop3FaultsReachTheClient) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    const QString login = "sendline +OK ready\nexpect USER alice\nsendline +OK\nexpect PASS secret\n";
    const struct { QString script; QByteArray clientError; } cases[] = {
        {"sendline +OK ready\nexpect USER alice\nsendline +OK\nexpect PASS *\n"
         "sendline -ERR [AUTH] go away\nexpect QUIT\nsendline +OK\n", "-ERR [AUTH] go away"},
        {login + "sendline +OK\nexpect STAT\nsendline +OK 1 30\nexpect RETR 1\n"
                 "send +OK 30 octets\\r\\nFrom: a@example.test\\r\\nSub\nclose\n", "-ERR EOF"},
        {login + "sendline +OK\nexpect STAT\nsend +OK \nfill 100000 9\nsend \\r\\n\n",
         "line too long"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clientError.toStdString());
        ScriptedPeer peer(c.script);
        ASSERT_TRUE(peer.start()) << peer.error().toStdString();
        const PopFetch fetch = FetchWithPoplib(peer.port(), {"alice", "secret"});
        EXPECT_FALSE(fetch.run.ok());
        EXPECT_TRUE(fetch.run.err.contains(c.clientError)) << fetch.run.describe();
        EXPECT_TRUE(peer.faults().isEmpty()) << peer.faults().join('\n').toStdString();
        EXPECT_EQ(peer.received(1).value(0), "USER alice");
    }
}

TEST(ScriptedPeerTest, SplitsAReplyByteByByte) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    ScriptedPeer peer("split 1 +OK split greeting\\r\\n\nexpect QUIT\nsendline +OK bye\n");
    ASSERT_TRUE(peer.start()) << peer.error().toStdString();
    const CommandResult run = RunPython(R"PY(
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=3)
data, pieces = b"", 0
while not data.endswith(b"\r\n"):
    data += s.recv(100)
    pieces += 1
s.sendall(b"QUIT\r\n")
print(pieces, data)
)PY", {QString::number(peer.port())});
    ASSERT_TRUE(run.ok()) << run.describe();
    EXPECT_TRUE(run.out.contains("b'+OK split greeting\\r\\n'")) << run.out.toStdString();
    EXPECT_GT(run.out.split(' ').value(0).toInt(), 1) << "the greeting came in one piece";
    EXPECT_TRUE(peer.faults().isEmpty()) << peer.faults().join('\n').toStdString();
}

TEST(ScriptedPeerTest, NeverGreetsAndRecordsWhatTheClientDid) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    ScriptedPeer peer("stall\n");
    ASSERT_TRUE(peer.start()) << peer.error().toStdString();
    const CommandResult run = RunPython(R"PY(
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=0.3)
try:
    s.recv(1)
except socket.timeout:
    print("no greeting")
s.sendall(b"NOOP\nhalf")
s.close()
)PY", {QString::number(peer.port())});
    ASSERT_TRUE(run.ok()) << run.describe();
    EXPECT_EQ(run.out.trimmed(), "no greeting");
    ASSERT_TRUE(peer.waitForClosed(1));
    const QList<ScriptEvent> events = peer.events();
    ASSERT_EQ(events.size(), 4);
    EXPECT_EQ(events[1].text, "NOOP");
    EXPECT_EQ(events[1].eol, "\n") << "a bare LF is recorded as such";
    EXPECT_EQ(events[2].text, "half");
    EXPECT_EQ(events[2].eol, "");
    EXPECT_EQ(events[3].by, "client");
}

TEST(ScriptedPeerTest, RecordsAMismatchAndEndsTheConnection) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    ScriptedPeer peer("sendline +OK\nexpect USER *\nsendline +OK\n");
    ASSERT_TRUE(peer.start()) << peer.error().toStdString();
    const PopFetch fetch = FetchWithPoplib(peer.port(), {"alice", "secret"});
    EXPECT_FALSE(fetch.run.ok());
    ASSERT_TRUE(peer.waitForClosed(1));
    EXPECT_TRUE(peer.faults().isEmpty()) << "USER alice matches";

    ScriptedPeer strict("sendline +OK\nexpect PASS *\n");
    ASSERT_TRUE(strict.start()) << strict.error().toStdString();
    EXPECT_FALSE(FetchWithPoplib(strict.port(), {"alice", "secret"}).run.ok());
    ASSERT_TRUE(strict.waitForClosed(1));
    EXPECT_EQ(strict.faults(),
              QStringList{"connection 1: expected \"PASS *\", got \"USER alice\""});
}

TEST(ScriptedPeerTest, EachConnectionPlaysItsOwnSection) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    ScriptedPeer peer("sendline +OK first\nconnection\nsendline +OK second\n");
    ASSERT_TRUE(peer.start()) << peer.error().toStdString();
    QList<QByteArray> greetings;
    for (const QString from : {"127.0.0.1", "127.0.0.2", "127.0.0.3"})
        greetings << FetchWithPoplib(peer.port(), {"a", "b", false, from}).welcome;
    EXPECT_EQ(greetings, QList<QByteArray>({"+OK first", "+OK second", "+OK second"}));
    ASSERT_TRUE(peer.waitForClosed(3));
    QStringList peers;
    for (const ScriptEvent& e : peer.events())
        if (e.event == "accepted") peers << e.peer;
    EXPECT_EQ(peers, QStringList({"127.0.0.1", "127.0.0.2", "127.0.0.3"}));
}

// ---------------------------------------------------------------- client runner

TEST(RunCommandTest, ReturnsOutputAndExitCodeAndFeedsInput) {
    const CommandResult run = RunCommand("/bin/sh", {"-c", "cat; echo oops >&2; exit 3"},
                                         kClientDeadlineMs, "from stdin");
    EXPECT_TRUE(run.started);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(run.out, "from stdin");
    EXPECT_EQ(run.err, "oops\n");
    EXPECT_FALSE(RunCommand("/nonexistent/program", {}).started);
}

TEST(RunCommandTest, KillsAHangingCommandAtTheDeadline) {
    QElapsedTimer clock;
    clock.start();
    const CommandResult run = RunCommand("/bin/sleep", {"30"}, 300);
    EXPECT_TRUE(run.started);
    EXPECT_FALSE(run.finished);
    EXPECT_FALSE(run.ok());
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST(RunCommandTest, KeepsTheEventLoopRunningWhileItWaits) {
    // An engine of ours in this thread must keep serving the client being run.
    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    ASSERT_TRUE(RunCommand("/bin/sleep", {"0.3"}).ok());
    EXPECT_TRUE(fired);
}
