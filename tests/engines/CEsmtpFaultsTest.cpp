// CEsmtp against the faults real servers won't produce: replies in odd pieces,
// over-long replies, silence, drops, no listener, and the socket or the client going
// away while the send waits.
#include "engines/CEsmtp.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

#include "SmtpPeerFixture.h"
#include "platform/EventWait.h"

using namespace testing_support;

namespace {

constexpr const char* kRecipient = "ann@example.test";

class CEsmtpFaultsTest : public SmtpPeerFixture {
protected:
    bool sendTo(quint16 port, CEsmtp& esmtp) {
        account(port, "alice", "secret");
        return esmtp.SendMessage(MessageType::RegistrationRequest, kAccount, kRecipient, "Lunch?", socket);
    }
};

}  // namespace

TEST_F(CEsmtpFaultsTest, RepliesSplitIntoPiecesAreReadWhole) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    ScriptedPeer peer(R"(
split 1 220-scripted\r\n220 ready\r\n
expect EHLO *
split 3 250-scripted\r\n250-AUTH PLAIN\r\n250 OK\r\n
expect AUTH PLAIN
sendline 334\s
expect AGFsaWNlAHNlY3JldA==
split 2 235 ok\r\n
expect MAIL FROM:<me@example.test>
sendline 250 ok
expect RCPT TO:<ann@example.test>
split 1 250 ok\r\n
expect DATA
sendline 354 go ahead
expect-data
split 4 250 queued\r\n
expect QUIT
sendline 221 bye
)");
    ASSERT_TRUE(peer.start()) << peer.error().toStdString();
    CEsmtp esmtp;
    EXPECT_TRUE(sendTo(peer.port(), esmtp)) << esmtp.LastError;
    ASSERT_TRUE(peer.waitForClosed(1));
    EXPECT_TRUE(peer.faults().isEmpty()) << peer.faults().join('\n').toStdString();
}

TEST_F(CEsmtpFaultsTest, OverLongReplyOrADropMidReplyEndsTheSend) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    struct Case { QString script; std::string firstLines; };
    const Case cases[] = {
        {"sendline 220 hi\nexpect EHLO *\nsend 250-\nfill 100000 x\nsendline\nstall\n",
         "Server reply exceeds the length limit\r\n"},
        {"sendline 220 hi\nexpect EHLO *\nsend 250-partial\\r\\n250-AUTH PL\nclose\n",
         "Remote host disconnected\r\nSMTP server did not reply positively to client's command\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstLines);
        ScriptedPeer peer(c.script);
        ASSERT_TRUE(peer.start()) << peer.error().toStdString();
        CEsmtp esmtp;
        EXPECT_FALSE(sendTo(peer.port(), esmtp));
        EXPECT_TRUE(esmtp.LastError.starts_with(c.firstLines)) << esmtp.LastError;
        EXPECT_FALSE(esmtp.RelayRefused);
        EXPECT_EQ(socket.state(), platform::SocketControl::kClosed);
        EXPECT_TRUE(peer.waitForClosed(1)) << "the client hangs up";
    }
}

TEST_F(CEsmtpFaultsTest, SilentServerTimesOutOnTheMonotonicClock) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    ScriptedPeer peer("stall\n");
    ASSERT_TRUE(peer.start()) << peer.error().toStdString();
    qint64 now = 5'000'000;
    platform::SetMonotonicClock([&] { return now += 500; });
    CEsmtp esmtp;
    QElapsedTimer real;
    real.start();
    const bool sent = sendTo(peer.port(), esmtp);
    platform::SetMonotonicClock(nullptr);
    EXPECT_FALSE(sent);
    EXPECT_TRUE(esmtp.LastError.starts_with("SMTP server is not functioning properly\r\n")) << esmtp.LastError;
    EXPECT_LT(real.elapsed(), 10000) << "15 s on the replaced clock, not in real time";
}

TEST_F(CEsmtpFaultsTest, NoListenerMeansUnableToConnect) {
    MiscFuncs::SetLogLevel(1);
    CEsmtp esmtp;
    const RefusingPort nobody;
    EXPECT_FALSE(sendTo(nobody, esmtp));
    EXPECT_TRUE(esmtp.LastError.starts_with("Unable to connect to SMTP server\r\n")) << esmtp.LastError;
    EXPECT_NE(programLog().find("Unable to connect to SMTP server"), std::string::npos);
}

TEST_F(CEsmtpFaultsTest, SocketOrClientGoneDuringTheWait) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    ScriptedPeer peer("stall\n");
    ASSERT_TRUE(peer.start()) << peer.error().toStdString();
    account(peer.port());

    // The window that owns the socket is unloaded while the client waits.
    auto* owned = new platform::SocketControl;
    QTimer::singleShot(200, [&owned] {
        delete owned;
        owned = nullptr;
    });
    CEsmtp first;
    QElapsedTimer real;
    real.start();
    EXPECT_FALSE(first.SendMessage(MessageType::Confirmation, kAccount, kRecipient, "x", *owned));
    EXPECT_EQ(owned, nullptr);
    EXPECT_LT(real.elapsed(), 5000);

    // The client itself is released by its owner during the wait; the socket comes
    // back closed.
    auto* esmtp = new CEsmtp;
    QTimer::singleShot(200, [&esmtp] {
        delete esmtp;
        esmtp = nullptr;
    });
    real.restart();
    EXPECT_FALSE(esmtp->SendMessage(MessageType::Confirmation, kAccount, kRecipient, "x", socket));
    EXPECT_EQ(esmtp, nullptr);
    EXPECT_LT(real.elapsed(), 5000);
    EXPECT_EQ(socket.state(), platform::SocketControl::kClosed);
}
