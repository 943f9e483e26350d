// The whole registration loop over real peers: a stranger's mail held by the collector
// (dovecot), the request sent by the program's SMTP client (to aiosmtpd), the link
// opened and the form posted with curl on the real glimmerpost-approval program, its
// reply relayed (aiosmtpd) into the account's dovecot mailbox, and the next collection
// approving the stranger and releasing his mail.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest/QTest>

#include <iostream>
#include <memory>

#include "ApprovalFixture.h"
#include "engines/CEsmtp.h"
#include "engines/CollectorPeerFixture.h"
#include "platform/SocketControl.h"

using namespace testing_support;

namespace {

class RegistrationLoopTest : public CollectorDovecotFixture {
protected:
    void SetUp() override {
        CollectorDovecotFixture::SetUp();
        if (!PeersAvailable({PeerProgram::Dovecot, PeerProgram::Aiosmtpd, PeerProgram::Curl})) return;
        outgoing = std::make_unique<SmtpPeer>();
        relay = std::make_unique<SmtpPeer>();
        ASSERT_TRUE(outgoing->start()) << outgoing->error().toStdString();
        ASSERT_TRUE(relay->start()) << relay->error().toStdString();
        service.setProgram(GLP_APPROVAL_PROGRAM);
        service.setArguments({"--listen", "127.0.0.1:0", "--smtp", QString("127.0.0.1:%1").arg(relay->port())});
        service.start();
        ASSERT_TRUE(service.waitForStarted(10000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return service.canReadLine(); }, 10000)) << service.readAllStandardError().toStdString();
        const QByteArray line = service.readLine().trimmed();
        ASSERT_TRUE(line.startsWith("listening on 127.0.0.1:")) << line.toStdString();
        base = "http://127.0.0.1:" + line.mid(line.lastIndexOf(':') + 1).toStdString();
        setAccountKey(kMe, "SMTPServer", "127.0.0.1");
        setAccountKey(kMe, "SMTPServerPort", std::to_string(outgoing->port()));
        setAccountKey(kMe, "DisplayName", "Me Myself");
        setOption("ApprovalServiceAddress", base);
        setOption("AutoSendRegRequests", "1");
        setOption("ShowRegDialogs", "0");
        openLists();
    }
    void TearDown() override {
        if (service.state() != QProcess::NotRunning) {
            service.terminate();
            if (!service.waitForFinished(5000)) service.kill();
        }
        CollectorDovecotFixture::TearDown();
    }
    // Sends the queued mail as the outgoing queue would.
    bool sendQueued(const QueuedMail& mail) {
        CEsmtp esmtp;
        platform::SocketControl socket;
        return esmtp.SendMessage(mail.type, mail.account, mail.recipient, mail.subject, socket);
    }

    std::unique_ptr<SmtpPeer> outgoing, relay;
    QProcess service;
    std::string base;
};

}  // namespace

TEST_F(RegistrationLoopTest, AStrangerRegistersThroughTheApprovalPageAndHisMailIsReleased) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot, PeerProgram::Aiosmtpd, PeerProgram::Curl);
    QElapsedTimer clock;
    clock.start();
    const std::string stranger = "Sam Stranger <sam@there.test>";
    deliver(Mail(stranger, "Lunch on Friday?"));
    ASSERT_TRUE(collect());
    ASSERT_EQ(storedIn("WaitingAuth").size(), 1u) << "held";
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].type, MessageType::RegistrationRequest);
    const qint64 held = clock.elapsed();

    ASSERT_TRUE(sendQueued(queued[0]));
    ASSERT_TRUE(outgoing->waitForTransactions(1));
    const SmtpTransaction request = outgoing->transactions()[0];
    EXPECT_EQ(request.rcptTos, QStringList{"sam@there.test"});
    const std::string data = request.data.toStdString();
    EXPECT_NE(data.find("From: \"Me Myself\" <me@home.test>"), std::string::npos);
    EXPECT_NE(data.find("\r\nX-GLP-SIGNATURE: "), std::string::npos);
    const std::size_t at = data.find(base + "/r.asp?d=");
    ASSERT_NE(at, std::string::npos) << data;
    const std::string link = data.substr(at, data.find("\r\n", at) - at);
    const qint64 requested = clock.elapsed();

    const HttpAnswer form = Curl({QString::fromStdString(link)});
    ASSERT_EQ(form.status, 200) << form.run.describe();
    EXPECT_NE(form.body.find("sam@there.test"), std::string::npos);
    const ApprovalRequest::Fields query = LinkQuery(link);
    const HttpAnswer posted = PostForm(QString::fromStdString(base + "/r.asp"),
                                       {{"d", QByteArray::fromStdString(query.at("d"))},
                                        {"t", QByteArray::fromStdString(query.at("t"))},
                                        {"name", "Sam Stranger"},
                                        {"reason", "We met at the conference"}});
    ASSERT_EQ(posted.status, 200) << posted.body;
    ASSERT_TRUE(relay->waitForTransactions(1));
    const SmtpTransaction reply = relay->transactions()[0];
    EXPECT_EQ(reply.rcptTos, QStringList{"me@home.test"});
    // The relay hands the reply on to the account's mailbox.
    deliver(reply.data.toStdString());
    const qint64 replied = clock.elapsed();

    ASSERT_TRUE(collectAgain());
    EXPECT_EQ(senders->StatusOf("sam@there.test"), SenderStatus::Approved);
    EXPECT_EQ(senders->NameOf("sam@there.test"), "Sam Stranger");
    EXPECT_EQ(senders->ReasonOf("sam@there.test"), "We met at the conference");
    EXPECT_TRUE(storedIn("WaitingAuth").empty());
    const auto inbox = storedIn("InBox");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_NE(storedText("InBox", inbox[0]).find("Lunch on Friday?"), std::string::npos) << "his mail is released";
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[1].type, MessageType::Confirmation);
    EXPECT_EQ(queued[1].subject, "Thank you for registering");
    EXPECT_EQ(queued[1].recipient, "Sam Stranger <sam@there.test>");
    const qint64 released = clock.elapsed();
    // The machine's part of the loop; the user's interval adds its waits to it.
    std::cout << "registration loop: held after " << held << " ms, request sent after " << requested
              << " ms, reply in the mailbox after " << replied << " ms, released after " << released << " ms"
              << std::endl;
}
