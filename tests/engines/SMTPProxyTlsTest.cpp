// The SMTP proxy towards a provider over TLS (a throw-away CA): STARTTLS and TLS from
// the first byte with AUTH, POP-before-SMTP over STLS, and the certificates and
// servers that must stop the relay before any AUTH or mail. The mail program keeps
// talking plain SMTP to the proxy.
#include "SmtpProxyFixture.h"

#include <ostream>

#include "core/Scramble.h"
#include "support/TlsCertificates.h"

namespace smtp_proxy_test {
namespace {

const QByteArray kMessage = "From: alice@example.test\r\nTo: bob@example.test\r\nSubject: tls\r\n\r\nhello\r\n";

using Cert = TestCertificates::Cert;

struct ProxyTlsCase {
    const char* name;
    int security;  // SMTPSecurity
    bool peerStarttls, peerImplicit;
    Cert cert;
    bool heloOnly;  // the mail program says HELO
    bool relays;
    const char* logged;  // a part of the program log when it does not relay
};

// Test names in listings show the case's name.
void PrintTo(const ProxyTlsCase& c, std::ostream* out) { *out << c.name; }

const ProxyTlsCase kCases[] = {
    {"StartTls", 1, true, false, Cert::Server, false, true, ""},
    {"StartTlsAfterTheClientsHelo", 1, true, false, Cert::Server, true, true, ""},
    {"ImplicitTls", 2, false, true, Cert::Server, false, true, ""},
    {"StartTlsRefusesAWrongName", 1, true, false, Cert::WrongName, false, false,
     "the certificate of 127.0.0.1 was refused"},
    {"ImplicitTlsRefusesAnUntrustedCertificate", 2, false, true, Cert::Untrusted, false, false,
     "the certificate of 127.0.0.1 was refused"},
    {"StartTlsFailsWhereTheServerDoesNotOfferIt", 1, false, false, Cert::Server, false, false,
     "does not offer STARTTLS"},
};

class SMTPProxyTlsTest : public SmtpProxyTest, public ::testing::WithParamInterface<ProxyTlsCase> {
protected:
    void SetUp() override {
        SmtpProxyTest::SetUp();
        if (!PeersAvailable({PeerProgram::Openssl})) return;
        ASSERT_TRUE(certificates.makeTrusted()) << certificates.error().toStdString();
    }
    void TearDown() override {
        SmtpProxyTest::TearDown();
        certificates.untrust();
    }
    TestCertificates certificates;
};

}  // namespace

TEST_P(SMTPProxyTlsTest, RelaysOnlyOverAVerifiedConnection) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Openssl);
    const ProxyTlsCase& c = GetParam();
    MiscFuncs::SetLogLevel(0);
    SmtpPeer smtp({.tls = certificates.of(c.cert), .starttls = c.peerStarttls, .implicitTls = c.peerImplicit, .auth = true,
                   .user = "alice", .password = "secret", .requireAuth = true});
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    writeAccount(smtp.port(), "SMTPRequiresAuth=1\r\nSMTPAuthType=0\r\nSMTPAuthUserName=alice\r\nSMTPAuthPassword=" +
                                  MiscFuncs::ScrambleText("secret") + "\r\nSMTPSecurity=" +
                                  std::to_string(c.security) + "\r\n");
    ASSERT_TRUE(startProxy());
    SmtplibMail mail{"alice@example.test", {"bob@example.test"}, kMessage};
    mail.heloOnly = c.heloOnly;
    const CommandResult run = SendWithSmtplib(port, mail);
    EXPECT_TRUE(allEnded());
    if (c.relays) {
        ASSERT_TRUE(run.ok()) << run.describe();
        ASSERT_TRUE(smtp.waitForTransactions(1));
        const SmtpTransaction t = smtp.transactions().first();
        EXPECT_TRUE(t.tls);
        EXPECT_TRUE(t.esmtp);
        EXPECT_EQ(t.authUser, "alice");
        EXPECT_EQ(t.data, kMessage);
        return;
    }
    EXPECT_FALSE(run.ok());
    EXPECT_TRUE(run.err.contains("421")) << run.describe();
    EXPECT_TRUE(smtp.authAttempts().isEmpty()) << smtp.authAttempts().join(',').toStdString();
    EXPECT_TRUE(smtp.transactions().isEmpty());
    EXPECT_TRUE(logHas(c.logged)) << programLog();
}

INSTANTIATE_TEST_SUITE_P(Cases, SMTPProxyTlsTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ProxyTlsCase>& info) { return info.param.name; });

TEST_F(SMTPProxyTlsTest, PopBeforeSmtpLogsInOverStls) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Dovecot, PeerProgram::Openssl);
    DovecotPeer pop(QList<QPair<QString, QString>>{{"alice", "pop-secret"}});
    pop.setTls(certificates.server(), true);
    ASSERT_TRUE(pop.start()) << pop.error().toStdString();
    SmtpPeer smtp({.tls = certificates.server(), .implicitTls = true});
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    writeAccount(smtp.port(), "SMTPSecurity=2\r\nSMTPRequiresAuth=1\r\nSMTPAuthType=1\r\nPOP3Server=127.0.0.1\r\n"
                              "POP3ServerPort=" + std::to_string(pop.port()) +
                                  "\r\nPOP3Security=1\r\nPOP3UserName=alice\r\nPOP3Password=" +
                                  MiscFuncs::ScrambleText("pop-secret") + "\r\n");
    ASSERT_TRUE(startProxy());
    const CommandResult run = SendWithSmtplib(port, {"alice@example.test", {"bob@example.test"}, kMessage});
    ASSERT_TRUE(run.ok()) << run.describe();
    ASSERT_TRUE(smtp.waitForTransactions(1));
    EXPECT_TRUE(smtp.transactions().first().tls);
    EXPECT_TRUE(pop.serverLog().contains("user=<alice>")) << pop.serverLog().toStdString();
    EXPECT_TRUE(allEnded());
}

}  // namespace smtp_proxy_test
