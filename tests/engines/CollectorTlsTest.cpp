// The collector over TLS to a private dovecot with a throw-away CA: STLS before USER,
// TLS from the first byte, and the certificates and servers that must stop a session
// before any credential leaves this machine.
#include <gtest/gtest.h>

#include <ostream>

#include "CollectorPeerFixture.h"
#include "core/Log.h"
#include "support/TlsCertificates.h"

using namespace testing_support;

namespace {

enum class Cert { Server, WrongName, Untrusted, NoTls };

struct TlsCase {
    const char* name;
    int security;       // POP3Security; -1 leaves the key out
    bool implicitPort;  // the account names the pop3s listener
    Cert cert;
    bool required;      // dovecot refuses a login before STLS
    bool collects;
    const char* failure;  // a part of the failure text when it does not collect
};

// Test names in listings show the case's name.
void PrintTo(const TlsCase& c, std::ostream* out) { *out << c.name; }

const TlsCase kCases[] = {
    {"ImplicitTls", 2, true, Cert::Server, false, true, ""},
    {"StlsWhereTheServerRequiresIt", 1, false, Cert::Server, true, true, ""},
    {"ImplicitTlsRefusesAWrongName", 2, true, Cert::WrongName, false, false, "certificate"},
    {"StlsRefusesAWrongName", 1, false, Cert::WrongName, true, false, "certificate"},
    {"ImplicitTlsRefusesAnUntrustedCertificate", 2, true, Cert::Untrusted, false, false, "certificate"},
    {"StlsRefusesAnUntrustedCertificate", 1, false, Cert::Untrusted, false, false, "certificate"},
    {"StlsFailsWhereTheServerDoesNotOfferIt", 1, false, Cert::NoTls, false, false, "does not offer STLS"},
    {"ImplicitTlsFailsOnAPlainServer", 2, false, Cert::NoTls, false, false, "TLS with 127.0.0.1 failed"},
};

}  // namespace

class CollectorTlsTest : public CollectorPeerTest, public ::testing::WithParamInterface<TlsCase> {};

TEST_P(CollectorTlsTest, CollectsOnlyOverAVerifiedConnection) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot, PeerProgram::Openssl);
    const TlsCase& c = GetParam();
    TestCertificates certificates;
    ASSERT_TRUE(certificates.make()) << certificates.error().toStdString();
    const TrustedCa trusted(certificates.caFile());
    DovecotPeer peer;
    if (c.cert != Cert::NoTls) {
        const PeerTls tls = c.cert == Cert::Server      ? certificates.server()
                            : c.cert == Cert::WrongName ? certificates.wrongName()
                                                        : certificates.untrusted();
        peer.setTls(tls, c.required, c.implicitPort);
    }
    ASSERT_TRUE(peer.start()) << peer.error().toStdString();
    ASSERT_FALSE(peer.deliver("alice", Bytes(Mail("friend@there.test", "over tls"))).isEmpty());
    addAccount(kMe, c.implicitPort ? peer.pop3sPort() : peer.port());
    if (c.security >= 0) setAccountKey(kMe, "POP3Security", std::to_string(c.security));
    MiscFuncs::SetLogLevel(0);  // what the user sees at the default level
    openLists();
    ASSERT_TRUE(collect());

    const auto left = peer.leftOnServer("alice");
    ASSERT_TRUE(left.has_value());
    if (c.collects) {
        EXPECT_EQ(form->LastFailure(1), "");
        EXPECT_EQ(storedIn("WaitingAuth").size(), 1u);
        EXPECT_TRUE(left->isEmpty());
        EXPECT_TRUE(peer.serverLog().contains("user=<alice>")) << peer.serverLog().toStdString();
        return;
    }
    // Nothing of the login reached the server, and the user is told why.
    EXPECT_FALSE(peer.serverLog().contains("user=<alice>")) << peer.serverLog().toStdString();
    EXPECT_EQ(left->size(), 1);
    EXPECT_TRUE(storedIn("WaitingAuth").empty());
    EXPECT_NE(form->LastFailure(1).find(c.failure), std::string::npos) << form->LastFailure(1);
    if (std::string(c.failure) == "certificate") {
        EXPECT_TRUE(logHas("TLS Error! Port ")) << programLog();
        EXPECT_TRUE(logHas("the certificate of 127.0.0.1 was refused: ")) << programLog();
    }
    if (c.security == 1 && c.cert == Cert::NoTls) EXPECT_TRUE(logHas("the server does not offer STLS")) << programLog();
}

INSTANTIATE_TEST_SUITE_P(Cases, CollectorTlsTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TlsCase>& info) { return info.param.name; });
