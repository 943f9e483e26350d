// CEsmtp over TLS with a throw-away CA: aiosmtpd with STARTTLS required and with TLS
// from the first byte, dovecot with STLS and pop3s for POP-before-SMTP and the account
// test; certificates and servers that must stop the send before any AUTH.
#include "engines/CEsmtp.h"

#include <gtest/gtest.h>

#include <ostream>

#include "SmtpPeerFixture.h"
#include "core/Log.h"
#include "support/TlsCertificates.h"

using namespace testing_support;

namespace {

using Cert = TestCertificates::Cert;

struct SmtpTlsCase {
    const char* name;
    int security;  // SMTPSecurity
    bool peerStarttls;
    bool peerImplicit;
    Cert cert;
    bool sends;
    const char* error;  // a part of LastError when it does not send
};

// Test names in listings show the case's name.
void PrintTo(const SmtpTlsCase& c, std::ostream* out) { *out << c.name; }

const SmtpTlsCase kCases[] = {
    {"StartTls", 1, true, false, Cert::Server, true, ""},
    {"ImplicitTls", 2, false, true, Cert::Server, true, ""},
    {"StartTlsRefusesAWrongName", 1, true, false, Cert::WrongName, false, "the certificate of 127.0.0.1 was refused"},
    {"ImplicitTlsRefusesAnUntrustedCertificate", 2, false, true, Cert::Untrusted, false,
     "the certificate of 127.0.0.1 was refused"},
    {"StartTlsFailsWhereTheServerDoesNotOfferIt", 1, false, false, Cert::Server, false,
     "SMTP server does not offer STARTTLS, which the account asks for"},
};

class CEsmtpTlsTest : public SmtpPeerFixture, public ::testing::WithParamInterface<SmtpTlsCase> {
protected:
    void SetUp() override {
        SmtpPeerFixture::SetUp();
        if (!PeersAvailable({PeerProgram::Openssl})) return;
        ASSERT_TRUE(certificates.makeTrusted()) << certificates.error().toStdString();
    }
    void TearDown() override {
        certificates.untrust();
        SmtpPeerFixture::TearDown();
    }
    TestCertificates certificates;
};

}  // namespace

TEST_P(CEsmtpTlsTest, SendsOnlyOverAVerifiedConnection) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Openssl);
    const SmtpTlsCase& c = GetParam();
    SmtpPeer smtp({.tls = certificates.of(c.cert), .starttls = c.peerStarttls, .implicitTls = c.peerImplicit, .auth = true,
                   .user = "bob", .password = "pa55", .requireAuth = true});
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    account(smtp.port(), "bob", "pa55");
    accountKey("SMTPSecurity", std::to_string(c.security));
    MiscFuncs::SetLogLevel(0);
    CEsmtp esmtp;
    const bool sent = esmtp.SendMessage(MessageType::RegistrationRequest, kAccount, "ann@example.test", "Lunch?", socket);
    EXPECT_EQ(socket.state(), platform::SocketControl::kClosed);
    if (c.sends) {
        ASSERT_TRUE(sent) << esmtp.LastError;
        ASSERT_TRUE(smtp.waitForTransactions(1));
        EXPECT_TRUE(smtp.transactions()[0].tls);
        EXPECT_EQ(smtp.transactions()[0].authUser, "bob");
        return;
    }
    EXPECT_FALSE(sent);
    EXPECT_NE(esmtp.LastError.find(c.error), std::string::npos) << esmtp.LastError;
    EXPECT_FALSE(esmtp.RelayRefused);
    // No credential and no mail reached the server; the log says why at the default level.
    EXPECT_TRUE(smtp.authAttempts().isEmpty()) << smtp.authAttempts().join(',').toStdString();
    EXPECT_TRUE(smtp.transactions().isEmpty());
    EXPECT_TRUE(logHas(c.error)) << programLog();
}

INSTANTIATE_TEST_SUITE_P(Cases, CEsmtpTlsTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<SmtpTlsCase>& info) { return info.param.name; });

// POP-before-SMTP and the account test follow POP3Security and SMTPSecurity: STLS and
// pop3s towards dovecot, STARTTLS and TLS towards aiosmtpd.
TEST_F(CEsmtpTlsTest, PopBeforeSmtpAndTheAccountTestGoOverTls) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Dovecot, PeerProgram::Openssl);
    DovecotPeer pop(QList<QPair<QString, QString>>{{"alice", "pop-secret"}});
    pop.setTls(certificates.server(), true, true);
    ASSERT_TRUE(pop.start()) << pop.error().toStdString();
    SmtpPeer starttls({.tls = certificates.server(), .starttls = true, .auth = true, .user = "bob",
                       .password = "smtp-secret"});
    ASSERT_TRUE(starttls.start()) << starttls.error().toStdString();
    SmtpPeer implicit({.tls = certificates.server(), .implicitTls = true, .auth = true, .user = "bob",
                       .password = "smtp-secret", .requireAuth = true});
    ASSERT_TRUE(implicit.start()) << implicit.error().toStdString();

    // POP3 before SMTP over STLS, then the mail over STARTTLS.
    account(starttls.port());
    accountKey("SMTPSecurity", "1");
    accountKey("SMTPRequiresAuth", "1");
    accountKey("SMTPAuthType", "1");
    accountKey("POP3Server", "127.0.0.1");
    accountKey("POP3ServerPort", std::to_string(pop.port()));
    accountKey("POP3Security", "1");
    accountKey("POP3UserName", "alice");
    accountKey("POP3Password", MiscFuncs::ScrambleText("pop-secret"));
    {
        CEsmtp esmtp;
        ASSERT_TRUE(esmtp.SendMessage(MessageType::Confirmation, kAccount, "ann@example.test", "Thanks", socket))
            << esmtp.LastError;
        EXPECT_TRUE(esmtp.Pop3Passed);
        EXPECT_EQ(esmtp.LastError, "");
        ASSERT_TRUE(starttls.waitForTransactions(1));
        EXPECT_TRUE(starttls.transactions()[0].tls);
    }
    EXPECT_TRUE(pop.serverLog().contains("user=<alice>")) << pop.serverLog().toStdString();

    // The account test: POP3 over pop3s, SMTP with AUTH over TLS from the first byte.
    CEsmtp test;
    test.SetTestSecurity(2, 2);
    ASSERT_TRUE(test.TestAccount(kAccount, "127.0.0.1", std::to_string(implicit.port()), 1, 0, "bob", "smtp-secret",
                                 "127.0.0.1", std::to_string(pop.pop3sPort()), "alice", "pop-secret", socket))
        << test.LastError;
    EXPECT_TRUE(test.Pop3Passed);
    EXPECT_TRUE(test.SmtpPassed);
    ASSERT_TRUE(implicit.waitForTransactions(1));
    EXPECT_TRUE(implicit.transactions()[0].tls);
    EXPECT_EQ(implicit.transactions()[0].authUser, "bob");

    // A POP3 server that refuses STLS gets no login; the send goes on, as for any POP3 failure.
    DovecotPeer plainPop(QList<QPair<QString, QString>>{{"alice", "pop-secret"}});
    ASSERT_TRUE(plainPop.start()) << plainPop.error().toStdString();
    CEsmtp refused;
    refused.SetTestSecurity(1, 2);
    // TestAccount tells whether the mail went; the POP3 part is Pop3Passed.
    EXPECT_TRUE(refused.TestAccount(kAccount, "127.0.0.1", std::to_string(implicit.port()), 1, 0, "bob",
                                     "smtp-secret", "127.0.0.1", std::to_string(plainPop.port()), "alice",
                                     "pop-secret", socket));
    EXPECT_FALSE(refused.Pop3Passed);
    EXPECT_TRUE(refused.SmtpPassed);
    EXPECT_NE(refused.LastError.find("server does not offer STLS"), std::string::npos) << refused.LastError;
    EXPECT_FALSE(plainPop.serverLog().contains("user=<alice>")) << plainPop.serverLog().toStdString();
}
