// The account test against real servers on loopback: dovecot for POP3, aiosmtpd for SMTP.
#include "dialogs/AccountTest.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <memory>

#include "core/TempFolder.h"
#include "platform/EventWait.h"
#include "support/Peers.h"
#include "support/TlsCertificates.h"

namespace {

using namespace testing_support;

MailAccount accountFor(quint16 pop3Port, quint16 smtpPort) {
    MailAccount a = Accounts::NewAccount(0);
    a.EMailAddress = "alice@example.test";
    a.POP3Server = "127.0.0.1";
    a.POP3ServerPort = std::to_string(pop3Port);
    a.POP3UserName = "alice";
    a.POP3Password = "pop-secret";
    a.SMTPServer = "127.0.0.1";
    a.SMTPServerPort = std::to_string(smtpPort);
    return a;
}

class AccountTestTest : public TempFolderTest {};

TEST_F(AccountTestTest, TheFirstBlankFieldStopsTheTestWithItsMessage) {
    MailAccount full = accountFor(110, 25);
    struct Case {
        std::string MailAccount::*field;
        dialogs::AccountField which;
        const char* message;
    };
    const Case cases[] = {
        {&MailAccount::EMailAddress, dialogs::AccountField::Address, "E-mail address not specified!"},
        {&MailAccount::POP3UserName, dialogs::AccountField::POP3UserName, "POP3 username not specified!"},
        {&MailAccount::POP3Password, dialogs::AccountField::POP3Password,
         "You must enter your email password.  It was given to you at the time you setup your email!"},
        {&MailAccount::POP3Server, dialogs::AccountField::POP3Server, "POP3 server not specified!"},
        {&MailAccount::POP3ServerPort, dialogs::AccountField::POP3ServerPort, "POP3 server port not specified!"},
        {&MailAccount::SMTPServer, dialogs::AccountField::SMTPServer, "SMTP server not specified!"},
        {&MailAccount::SMTPServerPort, dialogs::AccountField::SMTPServerPort, "SMTP server port not specified!"},
    };
    EXPECT_FALSE(dialogs::FirstMissingField(full).has_value());
    MailAccount a = full;
    // Blanking the fields from the last one backwards: each time the new one is first.
    for (auto it = std::rbegin(cases); it != std::rend(cases); ++it) {
        a.*(it->field) = "  ";
        const auto missing = dialogs::FirstMissingField(a);
        ASSERT_TRUE(missing.has_value());
        EXPECT_EQ(missing->field, it->which);
        EXPECT_EQ(missing->message, it->message);
    }
}

TEST_F(AccountTestTest, TheSmtpLoginFollowsTheAuthenticationSetting) {
    MailAccount a = accountFor(110, 25);
    a.SMTPAuthUserName = "smtp-user";
    a.SMTPAuthPassword = "smtp-pw";
    struct Case {
        std::int16_t requires_, type;
        const char* user;
        const char* password;
    };
    const Case cases[] = {{0, 0, "", ""}, {0, 2, "", ""}, {1, 0, "smtp-user", "smtp-pw"},
                          {1, 1, "alice", "pop-secret"}, {1, 2, "alice", "pop-secret"}, {1, 7, "smtp-user", "smtp-pw"}};
    for (const Case& c : cases) {
        a.SMTPRequiresAuth = c.requires_;
        a.SMTPAuthType = c.type;
        const dialogs::SmtpLogin login = dialogs::TestLoginOf(a);
        EXPECT_EQ(login.user, c.user) << c.requires_ << "/" << c.type;
        EXPECT_EQ(login.password, c.password) << c.requires_ << "/" << c.type;
    }
}

TEST_F(AccountTestTest, RealServersPassOrFailWithTheClientsText) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot, PeerProgram::Aiosmtpd);
    DovecotPeer pop(QList<QPair<QString, QString>>{{"alice", "pop-secret"}});
    ASSERT_TRUE(pop.start()) << pop.error().toStdString();
    SmtpPeer smtp({.auth = true, .user = "alice", .password = "pop-secret", .requireAuth = true});
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    const RefusingPort closedPort;

    struct Case {
        const char* name;
        std::function<void(MailAccount&)> edit;
        bool pop3, smtp;
        const char* failureText;  // the box; "" when the test passes
    };
    const std::vector<Case> cases = {
        {"pass", [](MailAccount& a) { a.SMTPRequiresAuth = 1, a.SMTPAuthType = 2; }, true, true, ""},
        {"POP3 password refused",
         [](MailAccount& a) { a.POP3Password = "wrong", a.SMTPRequiresAuth = 1, a.SMTPAuthType = 0,
                              a.SMTPAuthUserName = "alice", a.SMTPAuthPassword = "pop-secret"; },
         false, true, "Unable to authorize POP server, server refused password\r\n\r\nAccount test failed!!"},
        {"no SMTP server",
         [&closedPort](MailAccount& a) { a.SMTPServerPort = std::to_string(closedPort.port()); }, true, false,
         "Unable to connect to SMTP server\r\n\r\nClient sent: \r\nServer replied: \r\n\r\nAccount test failed!!"},
        {"SMTP login refused",
         [](MailAccount& a) { a.SMTPRequiresAuth = 1, a.SMTPAuthType = 0, a.SMTPAuthUserName = "alice",
                              a.SMTPAuthPassword = "wrong"; },
         true, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MailAccount a = accountFor(pop.port(), smtp.port());
        c.edit(a);
        dialogs::AccountTest test;
        const dialogs::AccountTestOutcome out = test.Run(a);
        EXPECT_FALSE(out.abandoned);
        EXPECT_FALSE(test.Running());
        EXPECT_EQ(out.pop3Passed, c.pop3);
        EXPECT_EQ(out.smtpPassed, c.smtp);
        EXPECT_EQ(out.passed(), c.pop3 && c.smtp);
        if (c.failureText && *c.failureText) {
            EXPECT_EQ(out.FailureText(), c.failureText);
        }
        if (!c.failureText) {
            // Every mechanism aiosmtpd offers is tried and refused before the send fails.
            EXPECT_NE(out.lastError.find("authenticating user on SMTP server failed\r\n"), std::string::npos)
                << out.lastError;
            EXPECT_NE(out.lastError.find("Authenticating user on SMTP server failed\r\n"), std::string::npos)
                << out.lastError;
            EXPECT_NE(out.FailureText().find("\r\nAccount test failed!!"), std::string::npos);
        }
    }
    // Only the passing test got its mail through.
    ASSERT_TRUE(smtp.waitForTransactions(1));
    EXPECT_EQ(smtp.transactions()[0].rcptTos, QStringList{"alice@example.test"});
}

TEST_F(AccountTestTest, DestroyingTheTesterDuringTheTestAbandonsItSafely) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    ScriptedPeer smtp("stall\n");
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    MailAccount a = accountFor(1, smtp.port());
    a.POP3Server.clear();  // no POP3 login: straight to the stalling SMTP server
    auto test = std::make_unique<dialogs::AccountTest>();
    QTimer::singleShot(200, [&] { test.reset(); });
    const qint64 began = platform::MonotonicMs();
    const dialogs::AccountTestOutcome out = test->Run(a);
    EXPECT_LT(platform::MonotonicMs() - began, 5000);  // the 15-second greeting wait was cut short
    EXPECT_TRUE(out.abandoned);
    EXPECT_FALSE(out.passed());
    EXPECT_EQ(test, nullptr);
}

}  // namespace

namespace {

// The account test over TLS: dovecot's pop3s listener and aiosmtpd with STARTTLS pass
// with a trusted CA; an untrusted SMTP certificate fails with the reason in the text
// of the failure box and no AUTH at the server.
TEST_F(AccountTestTest, PassesOverTlsAndNamesARefusedCertificate) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd, PeerProgram::Dovecot, PeerProgram::Openssl);
    TestCertificates certificates;
    ASSERT_TRUE(certificates.make()) << certificates.error().toStdString();
    const TrustedCa trusted(certificates.caFile());
    DovecotPeer pop(QList<QPair<QString, QString>>{{"alice", "pop-secret"}});
    pop.setTls(certificates.server(), true, true);
    ASSERT_TRUE(pop.start()) << pop.error().toStdString();
    for (const bool good : {true, false}) {
        SCOPED_TRACE(good ? "trusted" : "untrusted");
        SmtpPeer smtp({.tls = good ? certificates.server() : certificates.untrusted(), .starttls = true,
                       .auth = true, .user = "alice", .password = "pop-secret"});
        ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
        MailAccount a = accountFor(pop.pop3sPort(), smtp.port());
        a.POP3Security = Accounts::kImplicitTls;
        a.SMTPSecurity = Accounts::kStartTls;
        a.SMTPRequiresAuth = 1;
        a.SMTPAuthType = 2;
        dialogs::AccountTest test;
        const dialogs::AccountTestOutcome outcome = test.Run(a);
        EXPECT_TRUE(outcome.pop3Passed);
        EXPECT_EQ(outcome.passed(), good) << outcome.lastError;
        if (good) continue;
        EXPECT_NE(outcome.FailureText().find("the certificate of 127.0.0.1 was refused: "), std::string::npos)
            << outcome.FailureText();
        EXPECT_TRUE(smtp.authAttempts().isEmpty());
    }
}

}  // namespace
