// The SMTP proxy's bounds: who may connect, how many, for how long, with what input,
// and that every session gives back what it took.
#include "SmtpProxyFixture.h"

#include <QTcpServer>

#include <random>

namespace smtp_proxy_test {
namespace {

const char kThousandConnections[] = R"PY(
import socket, sys
port, greeted = int(sys.argv[1]), 0
for i in range(1000):
    with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
        f = s.makefile("rb")
        greeted += f.readline().startswith(b"220")
        if i % 2:
            s.sendall(b"QUIT\r\n")
            f.readline()
        f.close()
print(greeted)
)PY";

const char kAllSlots[] = R"PY(
import socket, sys
port, held, greeted = int(sys.argv[1]), [], 0
for i in range(255):
    s = socket.create_connection(("127.0.0.1", port), timeout=5)
    held.append(s)
    greeted += s.makefile("rb").readline().startswith(b"220")
extra = socket.create_connection(("127.0.0.1", port), timeout=5)
print(greeted, extra.makefile("rb").readline().decode().strip())
)PY";

class SMTPProxyLimitsTest : public SmtpProxyTest {
protected:
    // A plain send through the proxy still works.
    void expectServiceWorks() {
        SmtpPeer smtp;
        ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
        writeAccount(smtp.port());
        const CommandResult run = SendWithSmtplib(port, {"alice@example.test", {"b@example.test"}, "Subject: s\r\n\r\nok\r\n"});
        ASSERT_TRUE(run.ok()) << run.describe();
        EXPECT_TRUE(smtp.waitForTransactions(1));
        EXPECT_TRUE(allEnded());
    }
};

TEST_F(SMTPProxyLimitsTest, PeerFromAnotherAddressIsClosedWithoutAGreeting) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    const RefusingPort nobody;
    writeAccount(nobody);
    ASSERT_TRUE(startProxy());
    const CommandResult run = SendWithSmtplib(port, {"alice@example.test", {"b@example.test"}, "x\r\n", {}, {}, false, "127.0.0.2"});
    EXPECT_FALSE(run.ok());

    RawClient client;
    ASSERT_TRUE(client.open(port, "127.0.0.2"));
    EXPECT_TRUE(client.waitClosed());
    EXPECT_EQ(client.received(), "");
    EXPECT_TRUE(allEnded());
    EXPECT_EQ(started, 2);
}

TEST_F(SMTPProxyLimitsTest, AThousandConnectionsInARowLeaveNothingBehind) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    ASSERT_TRUE(startProxy());
    const CommandResult run = RunPython(kThousandConnections, {QString::number(port)}, 120000);
    ASSERT_TRUE(run.ok()) << run.describe();
    EXPECT_EQ(run.out.trimmed(), "1000");
    EXPECT_TRUE(allEnded());
    EXPECT_EQ(started, 1000);
    expectServiceWorks();
}

TEST_F(SMTPProxyLimitsTest, TheConnectionBeyondTheLastSlotGetsA421) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    ASSERT_TRUE(startProxy());
    const CommandResult run = RunPython(kAllSlots, {QString::number(port)}, 60000);
    ASSERT_TRUE(run.ok()) << run.describe();
    EXPECT_EQ(run.out.trimmed(), "255 421 4.3.2 Too many connections, try again later");
    EXPECT_TRUE(allEnded());
    EXPECT_EQ(started, 255);
    EXPECT_NE(programLog().find("Error ! - Maximum SMTP proxy sessions limit exceeded !"), std::string::npos);
    expectServiceWorks();
}

TEST_F(SMTPProxyLimitsTest, OfflineConnectionsGetA421) {
    MiscFuncs::SetOnlineCheck([] { return false; });
    ASSERT_TRUE(startProxy());
    RawClient client;
    ASSERT_TRUE(client.open(port));
    EXPECT_TRUE(client.waitClosed());
    EXPECT_EQ(client.received(), "421 4.3.2 No network connection, try again later\r\n");
    EXPECT_EQ(started, 0);
    EXPECT_TRUE(allEnded());
}

TEST_F(SMTPProxyLimitsTest, OverLongLineIsRefusedAndEndsTheSession) {
    ASSERT_TRUE(startProxy());
    RawClient client;
    ASSERT_TRUE(client.open(port));
    client.reply();
    client.send("EHLO " + QByteArray(3000, 'x'));  // no line end yet: the cap still holds
    EXPECT_EQ(client.reply(), "500 5.5.2 Line too long\r\n");
    EXPECT_TRUE(client.waitClosed());
    EXPECT_TRUE(allEnded());
}

TEST_F(SMTPProxyLimitsTest, FloodOfJunkIsAnsweredAndCut) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    ASSERT_TRUE(startProxy());
    std::mt19937 random(7);
    QByteArray junk;
    while (junk.size() < 256 * 1024) {
        junk += static_cast<char>(random() % 256);
        if (random() % 40 == 0) junk += "\r\n";
    }
    RawClient client;
    ASSERT_TRUE(client.open(port));
    client.send(junk);
    EXPECT_TRUE(client.waitClosed());
    for (const QByteArray& line : client.received().split('\n')) {
        if (line.isEmpty()) continue;
        EXPECT_TRUE(line.size() >= 4 && isdigit(line[0]) && isdigit(line[1]) && isdigit(line[2])) << line.toStdString();
    }
    EXPECT_TRUE(allEnded());
    expectServiceWorks();
}

TEST_F(SMTPProxyLimitsTest, ClientThatNeverReadsIsHeldBackAndItsCloseStillSeen) {
    ASSERT_TRUE(startProxy());
    QTcpSocket client;
    client.setReadBufferSize(16);  // reads next to nothing: the replies back up
    client.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(WaitFor([&] { return client.state() == QAbstractSocket::ConnectedState; }));
    QByteArray commands;
    while (commands.size() < 64 * 1024 * 1024) commands += "NOOP\r\n";
    client.write(commands);
    // The proxy stops reading once its replies back up, long before the commands end.
    ASSERT_TRUE(WaitFor([&] {
        const platform::SocketControl* local = proxy->LocalSMTPSockets().item(1);
        return local != nullptr && local->readingPaused();
    }));
    EXPECT_GT(client.bytesToWrite(), 32 * 1024 * 1024) << "the proxy stopped taking commands";
    EXPECT_EQ(proxy->openSessions(), 1);
    client.abort();
    EXPECT_TRUE(allEnded());
}

TEST_F(SMTPProxyLimitsTest, IdleSessionEndsAtTheTimeOut) {
    ASSERT_TRUE(startProxy());
    EXPECT_EQ(proxy->sessionTimeOutSeconds(), 60);
    RawClient client;
    ASSERT_TRUE(client.open(port));
    client.reply();
    platform::TimerControl* idle = proxy->idleTimer(1);
    ASSERT_NE(idle, nullptr);
    EXPECT_EQ(idle->interval(), 60000);
    ASSERT_TRUE(idle->fire());
    EXPECT_EQ(client.reply(), "421 4.4.2 Timeout, closing transmission channel\r\n");
    EXPECT_TRUE(client.waitClosed());
    EXPECT_TRUE(allEnded());
}

TEST_F(SMTPProxyLimitsTest, TimeOutSettingDefaultsToFifteenMinutes) {
    const std::pair<const char*, int> cases[] = {{"", 900}, {"abc", 900}, {"0", 900}, {" 5 ", 300}, {"20", 900}};
    for (const auto& [text, seconds] : cases) {
        SMTPProxyForm form;
        EXPECT_NE(ListenOnFreePort([&](quint16 free) {
                      writeOptions(std::to_string(free), text);
                      return form.Load(std::to_string(free));
                  }), 0);
        EXPECT_EQ(form.sessionTimeOutSeconds(), seconds) << text;
    }
}

TEST_F(SMTPProxyLimitsTest, PortInUseIsReportedAndNothingListens) {
    QTcpServer holder;
    ASSERT_TRUE(holder.listen(QHostAddress::LocalHost, 0));
    port = holder.serverPort();
    writeOptions(std::to_string(port), "1");
    EXPECT_FALSE(loadProxy());
    EXPECT_FALSE(proxy->listening());
    EXPECT_EQ(prompts, std::vector<std::string>{"WARNING ! - Port " + std::to_string(port) +
                                                " designated for SMTP proxy is already in use"});
}

TEST_F(SMTPProxyLimitsTest, UnloadEndsTheOpenSessions) {
    ASSERT_TRUE(startProxy());
    RawClient first, second;
    ASSERT_TRUE(first.open(port) && second.open(port));
    first.reply();
    second.reply();
    EXPECT_EQ(proxy->openSessions(), 2);
    proxy->Unload();
    EXPECT_FALSE(proxy->listening());
    EXPECT_TRUE(first.waitClosed() && second.waitClosed());
    EXPECT_TRUE(allEnded());
    EXPECT_EQ(ended, 2);
}

}  // namespace
}  // namespace smtp_proxy_test
