// The SMTP proxy between real mail clients (swaks, smtplib) and a real SMTP server
// (aiosmtpd), or a scripted one where a real server would not show the fault.
#include "SmtpProxyFixture.h"

#include <QString>

namespace smtp_proxy_test {
namespace {

const QByteArray kTrickyBody =
    "From: alice@example.test\r\nSubject: dots\r\n\r\n.\r\n..two\r\n.leading dot\r\nQUIT\r\nRSET\r\n"
    "MAIL FROM:<x@example.test>\r\n \r\n\xe9t\xe9 8-bit\r\nend\r\n";

const char kTwoMessages[] = R"PY(
import base64, smtplib, sys
port = int(sys.argv[1])
first, second = (base64.b64decode(a) for a in sys.argv[2:4])
with smtplib.SMTP("127.0.0.1", port, timeout=20) as s:
    s.ehlo("pc.example.test")
    s.sendmail("alice@example.test", ["carol@example.test"], first)
    s.sendmail("alice@example.test", ["dave@example.test", "Erin@Example.test"], second)
)PY";

class SMTPProxyFormTest : public SmtpProxyTest {};

TEST_F(SMTPProxyFormTest, RelaysSwaksPlainAndPipelined) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Swaks);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    writeAccount(smtp.port());
    ASSERT_TRUE(startProxy());

    int sent = 0;
    for (const QStringList& extra : {QStringList{}, QStringList{"--pipeline"}}) {
        SCOPED_TRACE(extra.join(' ').toStdString());
        const CommandResult run =
            RunSwaks(port, "alice@example.test", "bob@example.test", QStringList{"--ehlo", "pc.example.test"} + extra);
        ASSERT_TRUE(run.ok()) << run.describe();
        ASSERT_TRUE(smtp.waitForTransactions(++sent));
        const SmtpTransaction t = smtp.transactions().last();
        EXPECT_EQ(t.mailFrom, "alice@example.test");
        EXPECT_EQ(t.rcptTos, QStringList{"bob@example.test"});
        EXPECT_EQ(t.ehlo, "pc.example.test") << "the server hears the client's EHLO";
        EXPECT_TRUE(t.esmtp);
        EXPECT_TRUE(t.data.contains("This is a test mailing"));
    }
    EXPECT_TRUE(allEnded());
    EXPECT_EQ(started, 2);
    EXPECT_EQ(approved, (std::vector<std::string>{"bob@example.test", "bob@example.test"}));
}

// "Automatically aprove recepients of outgoing e-mails" unchecked: the mail goes, the
// sender list is left alone.
TEST_F(SMTPProxyFormTest, RecipientsAreApprovedUnlessTheOptionIsUnchecked) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Swaks);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    writeAccount(smtp.port());
    moreOptions = "AutoApproveRecepients=0\r\n";
    ASSERT_TRUE(startProxy());
    EXPECT_FALSE(proxy->approvesRecipients());
    const CommandResult run = RunSwaks(port, "alice@example.test", "bob@example.test");
    ASSERT_TRUE(run.ok()) << run.describe();
    ASSERT_TRUE(smtp.waitForTransactions(1));
    EXPECT_TRUE(allEnded());
    EXPECT_TRUE(approved.empty());

    proxy.reset();
    moreOptions = "AutoApproveRecepients=1\r\n";
    ASSERT_TRUE(startProxy());
    EXPECT_TRUE(proxy->approvesRecipients());
    proxy.reset();
    moreOptions.clear();
    ASSERT_TRUE(startProxy());
    EXPECT_TRUE(proxy->approvesRecipients()) << "a fresh installation approves them, as it always did";
}

// A relay that fails is in glplog.txt at the default LogLevel, with the account and why.
TEST_F(SMTPProxyFormTest, AFailedRelayIsLoggedAtTheDefaultLevel) {
    GLP_REQUIRE_PEERS(PeerProgram::Swaks);
    const RefusingPort nobody;
    writeAccount(nobody.port());
    ASSERT_TRUE(startProxy());
    ASSERT_EQ(MiscFuncs::LogLevel(), 0);
    const CommandResult run = RunSwaks(port, "alice@example.test", "bob@example.test");
    EXPECT_FALSE(run.ok());
    EXPECT_TRUE(allEnded());
    EXPECT_TRUE(logHas("SMTP proxy could not relay the mail of alice@example.test: 421 4.4.1 Connection to the SMTP "
                       "server failed"))
        << programLog();
}

TEST_F(SMTPProxyFormTest, TwoMessagesInOneSessionArriveByteForByte) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    writeAccount(smtp.port());
    ASSERT_TRUE(startProxy());
    const QByteArray second = "Subject: two\r\n\r\nsecond\r\n.\r\n";

    const CommandResult run = RunPython(kTwoMessages, {QString::number(port), kTrickyBody.toBase64(), second.toBase64()});
    ASSERT_TRUE(run.ok()) << run.describe();
    ASSERT_TRUE(smtp.waitForTransactions(2));
    const QList<SmtpTransaction> list = smtp.transactions();
    EXPECT_EQ(list[0].data, kTrickyBody);
    EXPECT_EQ(list[0].rcptTos, QStringList{"carol@example.test"});
    EXPECT_EQ(list[1].data, second);
    EXPECT_EQ(list[1].rcptTos, (QStringList{"dave@example.test", "Erin@Example.test"}));
    EXPECT_EQ(list[1].ehlo, "pc.example.test");
    EXPECT_TRUE(allEnded());
    EXPECT_EQ(started, 1);
    EXPECT_EQ(approved, (std::vector<std::string>{"carol@example.test", "dave@example.test", "erin@example.test"}));
}

TEST_F(SMTPProxyFormTest, RelaysATwentyMegabyteMessage) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    writeAccount(smtp.port());
    ASSERT_TRUE(startProxy());
    QByteArray message = "Subject: big\r\n\r\n";
    const QByteArray line = QByteArray(997, 'x') + "\r\n";
    const QByteArray dotted = "." + QByteArray(996, 'y') + "\r\n";
    for (int i = 0; message.size() < 20 * 1024 * 1024; ++i) message += i % 100 == 0 ? dotted : line;

    const CommandResult run =
        SendWithSmtplib(port, {"alice@example.test", {"big@example.test"}, message}, 120000);
    ASSERT_TRUE(run.ok()) << run.describe().substr(0, 2000);
    ASSERT_TRUE(smtp.waitForTransactions(1, 30000));
    const QByteArray got = smtp.transactions()[0].data;
    EXPECT_EQ(got.size(), message.size());
    EXPECT_TRUE(got == message);
    EXPECT_TRUE(allEnded());
}

TEST_F(SMTPProxyFormTest, RsetReachesOnlyAConnectedServer) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    ScriptedPeer server(
        "sendline 220 scripted ready\nexpect EHLO pc.test\nsendline 250 scripted\n"
        "expect MAIL FROM:<alice@example.test>\nsendline 250 sender ok\nexpect RSET\nsendline 250 reset\n"
        "expect QUIT\nsendline 221 bye\nclose\n");
    ASSERT_TRUE(server.start()) << server.error().toStdString();
    writeAccount(server.port());
    ASSERT_TRUE(startProxy());

    RawClient client;
    ASSERT_TRUE(client.open(port));
    EXPECT_EQ(client.reply(), "220 glimmerpost ESMTP\r\n");
    const std::pair<QByteArray, QByteArray> steps[] = {
        {"EHLO pc.test\r\n", "250-glimmerpost\r\n250-PIPELINING\r\n250 8BITMIME\r\n"},
        {"RSET\r\n", "250 flushed\r\n"},
        {"MAIL FROM:<alice@example.test>\r\n", "250 sender ok\r\n"},
        {"RSET\r\n", "250 reset\r\n"},
        {"QUIT\r\n", "221 closing transmission channel\r\n"},
    };
    for (const auto& [line, reply] : steps) {
        client.send(line);
        EXPECT_EQ(client.reply(), reply) << line.toStdString();
    }
    EXPECT_TRUE(client.waitClosed());
    ASSERT_TRUE(server.waitForClosed(1));
    EXPECT_EQ(server.received(1), (QList<QByteArray>{"EHLO pc.test", "MAIL FROM:<alice@example.test>", "RSET", "QUIT"}));
    EXPECT_TRUE(server.faults().isEmpty()) << server.faults().join('\n').toStdString();
    EXPECT_TRUE(allEnded());
}

TEST_F(SMTPProxyFormTest, SenderThatIsNoAccountIsRefusedAndNothingIsRelayed) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    writeAccount(smtp.port());
    ASSERT_TRUE(startProxy());

    const CommandResult run = SendWithSmtplib(port, {"mallory@example.test", {"victim@example.test"}, kTrickyBody});
    EXPECT_FALSE(run.ok());
    EXPECT_TRUE(run.err.contains("550")) << run.describe();
    EXPECT_TRUE(allEnded());
    EXPECT_TRUE(smtp.transactions().isEmpty());
    EXPECT_TRUE(approved.empty());
}

TEST_F(SMTPProxyFormTest, ServerThatCannotBeReachedGetsThe421) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    const RefusingPort nobody;
    writeAccount(nobody);
    MiscFuncs::SetLogLevel(1);
    ASSERT_TRUE(startProxy());

    const CommandResult run = SendWithSmtplib(port, {"alice@example.test", {"bob@example.test"}, kTrickyBody});
    EXPECT_FALSE(run.ok());
    EXPECT_TRUE(run.err.contains("421")) << run.describe();
    EXPECT_TRUE(allEnded());
    EXPECT_NE(programLog().find("SMTP proxy remote socket error 1:0 Err:"), std::string::npos);
}

TEST_F(SMTPProxyFormTest, ServerThatNeverGreetsTimesOut) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    ScriptedPeer server("stall\n");
    ASSERT_TRUE(server.start()) << server.error().toStdString();
    writeAccount(server.port());
    ASSERT_TRUE(startProxy());

    RawClient client;
    ASSERT_TRUE(client.open(port));
    client.reply();
    client.send("EHLO pc\r\nMAIL FROM:<alice@example.test>\r\n");
    client.reply();
    // Connected: the timer now guards the greeting.
    ASSERT_TRUE(WaitFor([this] {
        const platform::TimerControl* t = proxy->serverTimer(1);
        return t != nullptr && t->armed() && t->interval() == SMTPProxyForm::kGreetingTimeOutMs;
    }));
    ASSERT_TRUE(proxy->serverTimer(1)->fire());
    EXPECT_EQ(client.reply(), "421 4.4.1 Connection to the SMTP server failed\r\n");
    EXPECT_TRUE(client.waitClosed());
    EXPECT_EQ(prompts, std::vector<std::string>{"SMTP Server 1 connection timed out"});
    EXPECT_TRUE(allEnded());
    EXPECT_TRUE(server.waitForClosed(1));
}

}  // namespace
}  // namespace smtp_proxy_test
