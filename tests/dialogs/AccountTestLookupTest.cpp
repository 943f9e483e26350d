// The account test never waits for a name lookup it does not need: with the servers
// given by address it asks the resolver nothing, neither for the servers nor for this
// machine's own name (the EHLO greeting and the test mail's Message-ID use the name
// as the system gives it). A lookup that a machine without a name server would wait
// out shows here as a recorded call, without any timing.
//
// The seam: this test program's own getaddrinfo, getnameinfo and gethostbyname take
// the place of the C library's for the whole program (Qt's resolver calls them too),
// record the names asked while a test records, and pass each call on.
#include <dlfcn.h>
#include <netdb.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <QHostInfo>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "core/TempFolder.h"
#include "dialogs/AccountTest.h"
#include "support/Peers.h"

namespace {

std::mutex g_lock;
bool g_recording = false;
std::vector<std::string> g_asked;

void asked(const std::string& what) {
    const std::lock_guard<std::mutex> hold(g_lock);
    if (g_recording) g_asked.push_back(what);
}

template <typename Fn>
Fn next(const char* name) {
    return reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, name));
}

// Records every resolver call while it lives.
class ResolverCalls {
public:
    ResolverCalls() {
        const std::lock_guard<std::mutex> hold(g_lock);
        g_asked.clear();
        g_recording = true;
    }
    ~ResolverCalls() {
        const std::lock_guard<std::mutex> hold(g_lock);
        g_recording = false;
    }
    std::vector<std::string> names() const {
        const std::lock_guard<std::mutex> hold(g_lock);
        return g_asked;
    }
};

}  // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints,
                           struct addrinfo** res) {
    asked(std::string("getaddrinfo ") + (node ? node : "(null)"));
    static const auto real = next<int (*)(const char*, const char*, const struct addrinfo*, struct addrinfo**)>(
        "getaddrinfo");
    return real(node, service, hints, res);
}

extern "C" int getnameinfo(const struct sockaddr* addr, socklen_t addrlen, char* host, socklen_t hostlen,
                           char* serv, socklen_t servlen, int flags) {
    asked("getnameinfo");
    static const auto real =
        next<int (*)(const struct sockaddr*, socklen_t, char*, socklen_t, char*, socklen_t, int)>("getnameinfo");
    return real(addr, addrlen, host, hostlen, serv, servlen, flags);
}

extern "C" struct hostent* gethostbyname(const char* name) {
    asked(std::string("gethostbyname ") + (name ? name : "(null)"));
    static const auto real = next<struct hostent* (*)(const char*)>("gethostbyname");
    return real(name);
}

namespace {

using namespace testing_support;

TEST(ResolverSeam, SeesTheLookupsOfTheWholeProgram) {
    ResolverCalls calls;
    QHostInfo::fromName(QStringLiteral("localhost"));
    const std::vector<std::string> names = calls.names();
    EXPECT_NE(std::find(names.begin(), names.end(), "getaddrinfo localhost"), names.end())
        << "Qt's resolver goes through the seam";
}

class AccountTestLookupTest : public TempFolderTest {};

TEST_F(AccountTestLookupTest, ServersGivenByAddressNeedNoNameLookup) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot, PeerProgram::Aiosmtpd);
    DovecotPeer pop(QList<QPair<QString, QString>>{{"alice", "pop-secret"}});
    ASSERT_TRUE(pop.start()) << pop.error().toStdString();
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    MailAccount a = Accounts::NewAccount(0);
    a.EMailAddress = "alice@example.test";
    a.POP3Server = "127.0.0.1";
    a.POP3ServerPort = std::to_string(pop.port());
    a.POP3UserName = "alice";
    a.POP3Password = "pop-secret";
    a.SMTPServer = "127.0.0.1";
    a.SMTPServerPort = std::to_string(smtp.port());

    dialogs::AccountTestOutcome out;
    std::vector<std::string> names;
    {
        ResolverCalls calls;
        dialogs::AccountTest test;
        out = test.Run(a);
        names = calls.names();
    }
    EXPECT_TRUE(out.passed()) << out.lastError;
    EXPECT_TRUE(names.empty()) << "asked: " << ::testing::PrintToString(names);
    ASSERT_TRUE(smtp.waitForTransactions(1));
}

}  // namespace
