// The approval service over real HTTP (curl) and real SMTP (aiosmtpd): the form, the
// reply it mails, and what it does with hostile requests.
#include "approval/ApprovalService.h"

#include <gtest/gtest.h>

#include <QTemporaryFile>
#include <QtTest/QTest>

#include <memory>

#include "ApprovalFixture.h"
#include "core/Scramble.h"
#include "protocol/RegistrationReplies.h"

using namespace testing_support;

namespace {

constexpr const char* kAccount = "me@home.test";
const std::string kToken = "0123456789abcdef0123456789abcdef";

class ApprovalServiceTest : public testing::Test {
protected:
    void SetUp() override {
        if (!PeersAvailable({PeerProgram::Aiosmtpd, PeerProgram::Curl})) return;
        relay = std::make_unique<SmtpPeer>();
        ASSERT_TRUE(relay->start()) << relay->error().toStdString();
        service = std::make_unique<approval::ApprovalService>(approval::ServiceOptions{
            {"127.0.0.1", 0}, {"127.0.0.1", relay->port()}, "register@glimmerpost.example"});
        service->setClock([this] { return clock; });
        service->setLog([this](const std::string& line) { log += line + "\n"; });
        port = service->start();
        ASSERT_NE(port, 0);
        base = "http://127.0.0.1:" + std::to_string(port);
    }
    std::string link(const std::string& recipient, const std::string& token = kToken) const {
        return ApprovalRequest::Link(base, recipient, kAccount, token);
    }
    QString page() const { return QString::fromStdString(base + "/r.asp"); }
    HttpAnswer post(const std::string& recipient, const QByteArray& name, const QByteArray& reason,
                    const std::string& token = kToken) {
        const ApprovalRequest::Fields q = LinkQuery(link(recipient, token));
        return PostForm(page(), {{"d", QByteArray::fromStdString(q.at("d"))},
                                 {"t", QByteArray::fromStdString(token)},
                                 {"name", name},
                                 {"reason", reason}});
    }

    std::unique_ptr<SmtpPeer> relay;
    std::unique_ptr<approval::ApprovalService> service;
    quint16 port = 0;
    std::string base;
    qint64 clock = 1'000'000;
    std::string log;
};

}  // namespace

TEST_F(ApprovalServiceTest, TheLinkShowsAFormAndThePostMailsTheReplyToTheAccount) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Curl);
    const std::string recipient = "Tom <tom.cat@there.test>";
    const HttpAnswer form = Curl({QString::fromStdString(link(recipient))});
    ASSERT_EQ(form.status, 200) << form.run.describe();
    EXPECT_NE(form.body.find("you, tom.cat@there.test, are"), std::string::npos) << "the address as text";
    EXPECT_EQ(form.body.find("<tom.cat"), std::string::npos);
    EXPECT_NE(form.body.find("<form method=\"post\" action=\"/r.asp\">"), std::string::npos);
    EXPECT_NE(form.body.find("name=\"name\""), std::string::npos);
    EXPECT_NE(form.body.find("name=\"reason\""), std::string::npos);
    EXPECT_NE(form.body.find("type=\"hidden\" name=\"t\" value=\"" + kToken + "\""), std::string::npos);

    const HttpAnswer sent = post(recipient, "Tom Cat", "We met at the fair");
    ASSERT_EQ(sent.status, 200) << sent.run.describe() << sent.body;
    EXPECT_NE(sent.body.find("Thank you"), std::string::npos);
    ASSERT_TRUE(relay->waitForTransactions(1));
    const SmtpTransaction mail = relay->transactions()[0];
    EXPECT_EQ(mail.mailFrom, "register@glimmerpost.example");
    EXPECT_EQ(mail.rcptTos, QStringList{kAccount});
    const std::string data = mail.data.toStdString();
    EXPECT_NE(data.find("From: <register@glimmerpost.example>\r\n"), std::string::npos);
    EXPECT_NE(data.find("To: <me@home.test>\r\n"), std::string::npos);
    const RegistrationReplies::RegistrationReply reply = RegistrationReplies::ParseReplyBody(BodyOfMail(mail.data));
    EXPECT_EQ(reply.name, "Tom Cat");
    EXPECT_EQ(reply.reason, "We met at the fair");
    EXPECT_EQ(reply.from, recipient);
    EXPECT_EQ(reply.token, kToken) << "the service returns the token it was given";
    EXPECT_TRUE(MiscFuncs::VerifyRegCode(reply.from, kAccount, reply.code));
    EXPECT_FALSE(reply.time.empty());
    // The log says what happened without saying about whom, or what he wrote.
    EXPECT_NE(log.find("reply for t***@there.test sent to m***@home.test"), std::string::npos) << log;
    for (const std::string& secret : {std::string("tom.cat"), std::string("Tom Cat"), std::string("fair"), kToken,
                                     LinkQuery(link(recipient)).at("d"), std::string("me@home")})
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;
}

// Bad links and forms get 400 and nothing is sent; what a sender types can neither
// break a line of the reply nor reach its header.
TEST_F(ApprovalServiceTest, HostileRequestsSendNothing) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Curl);
    const std::string recipient = "bob@there.test";
    const std::string good = LinkQuery(link(recipient)).at("d");
    std::string tampered = good;
    tampered[6] = tampered[6] == '0' ? '1' : '0';
    const std::string noAccount = MiscFuncs::ScrambleText("bob@there.test");
    const std::string badAccount = MiscFuncs::ScrambleText("bob@there.test:me@home.test\r\nBcc: x@y.test");
    const struct {
        const char* what;
        QString query;
        int status;
    } gets[] = {
        {"a tampered d", QString::fromStdString("d=" + tampered + "&t=" + kToken), 400},
        {"no token", QString::fromStdString("d=" + good), 400},
        {"a token of the wrong form", QString::fromStdString("d=" + good + "&t=" + kToken.substr(1)), 400},
        {"an upper-case token", QString::fromStdString("d=" + good + "&t=0123456789ABCDEF0123456789ABCDEF"), 400},
        {"no d", QString::fromStdString("t=" + kToken), 400},
        {"d without an account", QString::fromStdString("d=" + noAccount + "&t=" + kToken), 400},
        {"d with a line break", QString::fromStdString("d=" + badAccount + "&t=" + kToken), 400},
    };
    for (const auto& g : gets) {
        EXPECT_EQ(Curl({page() + "?" + g.query}).status, g.status) << g.what;
        const ApprovalRequest::Fields fields =
            ApprovalRequest::ParseUrlEncoded(g.query.toStdString()).value_or(ApprovalRequest::Fields{});
        QList<QPair<QString, QByteArray>> form{{"name", "Bob"}, {"reason", "hi"}};
        for (const auto& [k, v] : fields) form.append({QString::fromStdString(k), QByteArray::fromStdString(v)});
        EXPECT_EQ(PostForm(page(), form).status, g.status) << g.what << " (POST)";
    }
    EXPECT_EQ(post(recipient, "", "no name").status, 400) << "the name is required";
    const QString goodFields = QString::fromStdString("d=" + good + "&t=" + kToken + "&name=Bob");
    EXPECT_EQ(Curl({"--data-binary", goodFields + "&x=%G1", page()}).status, 400) << "a malformed escape";
    EXPECT_EQ(Curl({"--data-binary", goodFields + "&name=Eve", page()}).status, 400) << "a field given twice";
    EXPECT_EQ(PostForm(page(), {{"d", QByteArray::fromStdString(good)}, {"name", "Bob"}}).status, 400);

    // A body far over the limit is refused before it is read whole.
    QTemporaryFile huge;
    ASSERT_TRUE(huge.open());
    huge.write("d=" + QByteArray::fromStdString(good) + "&t=" + QByteArray::fromStdString(kToken) + "&name=Bob&reason=");
    huge.write(QByteArray(1 << 20, 'x'));
    huge.flush();
    const HttpAnswer big = Curl({"--data-binary", "@" + huge.fileName(), page()});
    EXPECT_TRUE(big.status == 413 || big.status == 0) << big.status;

    // A name with CR LF and NUL stays on its line; nothing reaches the header.
    const HttpAnswer injected = Curl(
        {"--data-binary",
         QString::fromStdString("d=" + good + "&t=" + kToken) +
             "&name=Bob%0D%0ABcc%3A%20victim%40there.test%0D%0AAuthRequestCode%3A%201&reason=line+one%0D%0A%0D%0Aline%00two",
         page()});
    ASSERT_EQ(injected.status, 200) << injected.body;
    ASSERT_TRUE(relay->waitForTransactions(1));
    const QList<SmtpTransaction> mails = relay->transactions();
    ASSERT_EQ(mails.size(), 1) << "only the last request sent mail";
    EXPECT_EQ(mails[0].rcptTos, QStringList{kAccount});
    const std::string data = mails[0].data.toStdString();
    EXPECT_EQ(data.find("\r\nBcc:"), std::string::npos);
    const RegistrationReplies::RegistrationReply reply = RegistrationReplies::ParseReplyBody(BodyOfMail(mails[0].data));
    EXPECT_EQ(reply.name, "Bob Bcc: victim@there.test AuthRequestCode: 1");
    EXPECT_EQ(reply.reason, "line one line two");
    EXPECT_TRUE(MiscFuncs::VerifyRegCode(reply.from, kAccount, reply.code)) << "the code is not overwritten";
}

TEST_F(ApprovalServiceTest, AtMostThreeRepliesPerSenderAndAccountAnHour) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Curl);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(post("bob@there.test", "Bob", "hi").status, 200) << i;
    EXPECT_EQ(post("bob@there.test", "Bob", "hi").status, 429);
    EXPECT_EQ(post("ann@there.test", "Ann", "hi").status, 200) << "another sender has his own count";
    clock += 3601;
    EXPECT_EQ(post("bob@there.test", "Bob", "hi").status, 200) << "an hour later";
    ASSERT_TRUE(relay->waitForTransactions(5));
    EXPECT_EQ(relay->transactions().size(), 5);
}

TEST_F(ApprovalServiceTest, TheButtonPictureAndNothingElse) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Curl);
    const CommandResult gif = RunCurl({"-sS", "-D", "-", QString::fromStdString(base + "/files/regbtn.gif")});
    ASSERT_TRUE(gif.ok()) << gif.describe();
    const qsizetype end = gif.out.indexOf("\r\n\r\n");
    ASSERT_GT(end, 0);
    EXPECT_TRUE(gif.out.left(end).toLower().contains("content-type: image/gif"));
    const QByteArray picture = gif.out.mid(end + 4);
    ASSERT_GE(picture.size(), 10);
    EXPECT_EQ(picture.left(6), "GIF89a");
    EXPECT_EQ(static_cast<unsigned char>(picture[6]) | static_cast<unsigned char>(picture[7]) << 8, 196);
    EXPECT_EQ(static_cast<unsigned char>(picture[8]) | static_cast<unsigned char>(picture[9]) << 8, 128);
    EXPECT_EQ(Curl({QString::fromStdString(base + "/other")}).status, 404);
    EXPECT_EQ(Curl({"-X", "DELETE", page()}).status, 405);
}
