// The collector's POP3 protocol as transcripts: what the server says, what the session
// sends back, and what it asks of its owner.
#include "protocol/Pop3ClientSession.h"

#include <gtest/gtest.h>

#include <map>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/Log.h"
#include "core/TempFolder.h"

using namespace engines;

namespace {

constexpr const char* kAccount = "me@home.test";

// The owner: verdicts by message number (Accept unless set), stores that fail.
struct FakeOwner : Pop3SessionHandler {
    std::map<int, FilterVerdict> verdicts;
    std::set<int> failingStores;
    bool commitWorks = true;
    std::vector<std::string> headers;  // TOP data as handed over
    std::map<int, std::string> stored;
    std::vector<std::string> points;
    int commits = 0;

    Classified classify(int number, std::string data) override {
        headers.push_back(std::move(data));
        const auto it = verdicts.find(number);
        return {it == verdicts.end() ? FilterVerdict::Accept : it->second, "reason"};
    }
    bool store(int number, const Classified&, std::string message) override {
        if (failingStores.count(number)) return false;
        stored[number] = std::move(message);
        return true;
    }
    bool commit() override {
        ++commits;
        return commitWorks;
    }
    void checkpoint(std::string_view point) override { points.emplace_back(point); }
};

std::string topData(int n) {
    return "From: s" + std::to_string(n) + "@there.test\r\nSubject: m" + std::to_string(n) + "\r\n\r\n";
}
std::string messageData(int n) { return topData(n) + "body " + std::to_string(n) + "\r\n..stuffed\r\n"; }

// A session and the commands it sent, one per entry, "<end>" when it ended.
class Transcript {
public:
    explicit Transcript(FakeOwner& owner, bool startTls = false)
        : session_({kAccount, "alice", "secret", startTls}, owner) {}

    // The server's bytes, fed in pieces of `piece` (0: at once).
    void server(const std::string& bytes, std::size_t piece = 0) {
        if (piece == 0) piece = bytes.size();
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            take(session_.received(std::string_view(bytes).substr(at, piece)));
    }
    void take(const std::vector<Pop3Action>& actions) {
        for (const Pop3Action& a : actions)
            sent_.push_back(a.kind == Pop3Action::Kind::End        ? "<end>"
                            : a.kind == Pop3Action::Kind::StartTls ? "<starttls>"
                                                                   : a.bytes.substr(0, a.bytes.size() - 2));
    }
    // The commands sent since the last call.
    std::vector<std::string> sent() {
        std::vector<std::string> out(sent_.begin() + static_cast<long>(read_), sent_.end());
        read_ = sent_.size();
        return out;
    }
    std::string last() { return sent_.empty() ? "" : sent_.back(); }
    Pop3ClientSession& session() { return session_; }

    void login() {
        server("+OK ready\r\n");
        server("+OK\r\n");
        server("+OK\r\n");
        sent();
    }

    // Answers every command like a well-behaved server until the session ends;
    // `refuse` holds the commands that get "-ERR".
    std::vector<std::string> serveUntilEnd(const std::set<std::string>& refuse = {}) {
        std::vector<std::string> commands;
        for (int guard = 0; guard < 1000 && !session_.ended(); ++guard) {
            const std::string command = last();
            commands.push_back(command);
            if (refuse.count(command)) server("-ERR refused\r\n");
            else if (command.rfind("TOP ", 0) == 0) server("+OK\r\n" + topData(std::stoi(command.substr(4))) + ".\r\n");
            else if (command.rfind("RETR ", 0) == 0)
                server("+OK\r\n" + messageData(std::stoi(command.substr(5))) + ".\r\n");
            else server("+OK\r\n");
        }
        commands.push_back(last());
        return commands;
    }

private:
    Pop3ClientSession session_;
    std::vector<std::string> sent_;
    std::size_t read_ = 0;
};

using Commands = std::vector<std::string>;

}  // namespace

class Pop3ClientSessionTest : public testing_support::TempFolderTest {};

TEST_F(Pop3ClientSessionTest, LogsInCountsAndQuitsAnEmptyMailbox) {
    FakeOwner owner;
    Transcript t(owner);
    t.server("+OK dovecot ready.\r\n");
    EXPECT_EQ(t.sent(), Commands{"USER alice"});
    t.server("+OK\r\n");
    EXPECT_EQ(t.sent(), Commands{"PASS secret"});
    t.server("+OK Logged in.\r\n");
    EXPECT_EQ(t.sent(), Commands{"STAT"});
    t.server("+OK 0 0\r\n");
    EXPECT_EQ(t.sent(), Commands{"QUIT"});
    t.server("+OK Logging out.\r\n");
    EXPECT_EQ(t.sent(), Commands{"<end>"});
    EXPECT_EQ(t.session().outcome().end, Pop3End::Quit);
    EXPECT_TRUE(t.session().outcome().errorLine.empty());
}

// STLS (RFC 2595 4): the upgrade comes before USER; what the server sent after its
// +OK and before the handshake ended is never read as a reply (RFC 3207 4.2).
TEST_F(Pop3ClientSessionTest, StlsComesBeforeUserAndWhatCameBeforeTheHandshakeIsDropped) {
    FakeOwner owner;
    Transcript t(owner, true);
    t.server("+OK ready\r\n");
    EXPECT_EQ(t.sent(), Commands{"STLS"});
    // An attacker's reply rides along with the +OK, and more comes during the handshake.
    t.server("+OK Begin TLS negotiation\r\n+OK\r\n");
    EXPECT_EQ(t.sent(), Commands{"<starttls>"});
    t.server("+OK\r\n");
    EXPECT_TRUE(t.sent().empty());
    t.take(t.session().tlsStarted());
    EXPECT_EQ(t.sent(), Commands{"USER alice"});
    t.server("+OK\r\n");
    EXPECT_EQ(t.sent(), Commands{"PASS secret"});

    struct Case {
        const char* name;
        std::function<void(Transcript&)> fault;
        const char* failure;
    };
    const Case cases[] = {
        {"refused", [](Transcript& s) { s.server("-ERR Unknown command\r\n"); }, "does not offer STLS"},
        {"handshake failed",
         [](Transcript& s) {
             s.server("+OK\r\n");
             s.take(s.session().tlsFailed("the certificate of pop.example was refused: expired"));
         },
         "the certificate of pop.example was refused: expired"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeOwner o;
        Transcript f(o, true);
        f.server("+OK ready\r\n");
        f.sent();
        c.fault(f);
        const Commands sent = f.sent();
        EXPECT_EQ(sent.back(), "<end>");
        for (const std::string& command : sent) EXPECT_EQ(command.rfind("USER", 0), std::string::npos);
        EXPECT_NE(f.session().outcome().failure.find(c.failure), std::string::npos) << f.session().outcome().failure;
        EXPECT_FALSE(f.session().outcome().quitSent);
    }
}

TEST_F(Pop3ClientSessionTest, TheVerdictsDecideTheSecondPass) {
    using V = FilterVerdict;
    const struct {
        std::vector<V> verdicts;
        Commands second;
    } cases[] = {
        {{V::Accept, V::LeaveOnServer, V::DeleteFromServer}, {"RETR 1", "DELE 1", "DELE 3", "QUIT"}},
        {{V::LeaveOnServer, V::LeaveOnServer, V::LeaveOnServer}, {"QUIT"}},
        {{V::Accept, V::LeaveOnServer, V::LeaveOnServer}, {"RETR 1", "DELE 1", "QUIT"}},
        {{V::LeaveOnServer, V::UnknownSender, V::LeaveOnServer}, {"RETR 2", "DELE 2", "QUIT"}},
        {{V::ServiceMessage, V::RegistrationReply, V::HoldUnregistered},
         {"RETR 1", "DELE 1", "RETR 2", "DELE 2", "RETR 3", "DELE 3", "QUIT"}},
    };
    for (const auto& c : cases) {
        FakeOwner owner;
        for (std::size_t i = 0; i < c.verdicts.size(); ++i) owner.verdicts[static_cast<int>(i) + 1] = c.verdicts[i];
        Transcript t(owner);
        t.login();
        t.server("+OK 3 300\r\n");
        Commands expected{"TOP 1 0", "TOP 2 0", "TOP 3 0"};
        expected.insert(expected.end(), c.second.begin(), c.second.end());
        expected.push_back("<end>");
        EXPECT_EQ(t.serveUntilEnd(), expected);
        EXPECT_EQ(owner.commits, 1) << "the stores are committed once, before QUIT";
    }
}

TEST_F(Pop3ClientSessionTest, AMessageThatCannotBeStoredStaysAndTheRestGoOn) {
    FakeOwner owner;
    owner.failingStores = {2};
    Transcript t(owner);
    t.login();
    t.server("+OK 3 300\r\n");
    EXPECT_EQ(t.serveUntilEnd(), (Commands{"TOP 1 0", "TOP 2 0", "TOP 3 0", "RETR 1", "DELE 1", "RETR 2", "RETR 3",
                                           "DELE 3", "QUIT", "<end>"}));
    EXPECT_EQ(t.session().outcome().end, Pop3End::Quit);
}

TEST_F(Pop3ClientSessionTest, ACommitThatFailsEndsWithoutQuit) {
    FakeOwner owner;
    owner.commitWorks = false;
    Transcript t(owner);
    t.login();
    t.server("+OK 1 100\r\n");
    EXPECT_EQ(t.serveUntilEnd(), (Commands{"TOP 1 0", "RETR 1", "DELE 1", "<end>"}));
    EXPECT_FALSE(t.session().outcome().quitSent);
    EXPECT_EQ(t.session().outcome().end, Pop3End::Failed);
    EXPECT_NE(t.session().outcome().errorLine.find("Error in POP3Client::DataArrival() "), std::string::npos);
    EXPECT_EQ(owner.points, (std::vector<std::string>{"after-retr", "after-save", "after-dele"}));
}

TEST_F(Pop3ClientSessionTest, RefusalsOfOneMessageLeaveOnlyThatMessage) {
    MiscFuncs::SetLogLevel(1);
    FakeOwner owner;
    Transcript t(owner);
    t.login();
    t.server("+OK 3 300\r\n");
    const Commands commands = t.serveUntilEnd({"TOP 2 0", "RETR 1", "DELE 3"});
    EXPECT_EQ(commands, (Commands{"TOP 1 0", "TOP 2 0", "TOP 3 0", "RETR 1", "RETR 3", "DELE 3", "QUIT", "<end>"}));
    EXPECT_EQ(t.session().decisions().at(1).verdict, FilterVerdict::LeaveOnServer);
    EXPECT_EQ(owner.headers.size(), 2u) << "a refused TOP is never taken for a header block";
    EXPECT_EQ(owner.stored.count(1), 0u);
    EXPECT_EQ(t.session().outcome().end, Pop3End::Quit);
    EXPECT_NE(programLog().find("POP3 Error! User me@home.test:-ERR refused"), std::string::npos);
}

TEST_F(Pop3ClientSessionTest, ANegativeReplyBeforeTheDataEndsTheSession) {
    const struct {
        int answered;  // positive replies before the negative one
        const char* lastCommand;
    } cases[] = {{0, ""}, {1, "USER alice"}, {2, "PASS secret"}, {3, "STAT"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lastCommand);
        FakeOwner owner;
        Transcript t(owner);
        for (int i = 0; i < c.answered; ++i) t.server("+OK\r\n");
        EXPECT_EQ(t.last(), c.lastCommand);
        t.sent();
        t.server("-ERR [AUTH] Authentication failed.\r\n");
        EXPECT_EQ(t.sent(), Commands{"<end>"}) << "no QUIT, no further command";
        EXPECT_EQ(t.session().outcome().end, Pop3End::Negative);
        EXPECT_EQ(t.session().outcome().errorLine, "POP3 Error! User me@home.test:-ERR [AUTH] Authentication failed.");
        EXPECT_FALSE(t.session().outcome().errorFirst);
    }
}

TEST_F(Pop3ClientSessionTest, RepliesSplitByteByByteGiveTheSameSession) {
    for (std::size_t piece : {0u, 1u, 5u}) {
        SCOPED_TRACE(piece);
        FakeOwner owner;
        owner.verdicts[2] = FilterVerdict::DeleteFromServer;
        Transcript t(owner);
        t.server("+OK ready\r\n", piece);
        t.server("+OK\r\n", piece);
        t.server("+OK\r\n", piece);
        t.server("+OK 2 320\r\n", piece);
        t.server("+OK\r\n" + topData(1) + ".\r\n", piece);
        t.server("+OK\r\n" + topData(2) + ".\r\n", piece);
        t.server("+OK 120 octets\r\n" + messageData(1) + ".\r\n", piece);
        t.server("+OK\r\n", piece);
        t.server("+OK\r\n", piece);
        t.server("+OK bye\r\n", piece);
        EXPECT_EQ(t.sent(), (Commands{"USER alice", "PASS secret", "STAT", "TOP 1 0", "TOP 2 0", "RETR 1", "DELE 1",
                                      "DELE 2", "QUIT", "<end>"}));
        EXPECT_EQ(owner.headers, (std::vector<std::string>{topData(1), topData(2)}));
        EXPECT_EQ(owner.stored.at(1), messageData(1)) << "the wire form, dot-stuffing kept";
    }
}

TEST_F(Pop3ClientSessionTest, EndsWithoutQuitWhenTheServerFails) {
    {
        SCOPED_TRACE("the server closes in the middle of RETR");
        FakeOwner owner;
        Transcript t(owner);
        t.login();
        t.server("+OK 1 100\r\n+OK\r\n" + topData(1) + ".\r\n");
        t.server("+OK\r\nFrom: s1@there.test\r\nSub");
        t.take(t.session().closed());
        EXPECT_EQ(t.last(), "<end>");
        EXPECT_TRUE(owner.stored.empty());
        EXPECT_EQ(t.session().outcome().end, Pop3End::ServerClosed);
        EXPECT_FALSE(t.session().outcome().quitSent);
    }
    {
        SCOPED_TRACE("a header line without an end, past its cap");
        FakeOwner owner;
        Transcript t(owner);
        t.login();
        t.server("+OK 1 100\r\n+OK\r\nSubject: ");
        t.server(std::string(Pop3ClientSession::kMaxHeaderLine + 1, 'x'));
        EXPECT_EQ(t.last(), "<end>");
        EXPECT_EQ(t.session().outcome().end, Pop3End::TooLong);
        EXPECT_TRUE(owner.headers.empty());
    }
    {
        SCOPED_TRACE("an unreadable STAT reply");
        FakeOwner owner;
        Transcript t(owner);
        t.login();
        t.server("+OK many\r\n");
        EXPECT_EQ(t.sent(), Commands{"<end>"});
        EXPECT_EQ(t.session().outcome().end, Pop3End::Failed);
        EXPECT_EQ(t.session().outcome().errorLine,
                  "Error in POP3Client::DataArrival() unreadable STAT reply: +OK many");
    }
    {
        SCOPED_TRACE("no reply in time, and a socket error first in the log");
        FakeOwner owner;
        Transcript t(owner);
        t.take(t.session().timedOut("no reply for 120 seconds"));
        EXPECT_EQ(t.sent(), Commands{"<end>"});
        EXPECT_EQ(t.session().outcome().errorLine, "POP3 Error! User me@home.test:no reply for 120 seconds");
        Transcript u(owner);
        u.take(u.session().socketError(10061, "Connection refused"));
        EXPECT_EQ(u.session().outcome().errorLine, "Winsock Error: #10061\tConnection refused");
        EXPECT_TRUE(u.session().outcome().errorFirst);
    }
}

TEST_F(Pop3ClientSessionTest, CheckpointsComeInSessionOrder) {
    FakeOwner owner;
    Transcript t(owner);
    t.login();
    t.server("+OK 1 100\r\n");
    t.serveUntilEnd();
    EXPECT_EQ(owner.points,
              (std::vector<std::string>{"after-retr", "after-save", "after-dele", "before-quit", "after-quit"}));
}

TEST_F(Pop3ClientSessionTest, ThePasswordNeverReachesTheLog) {
    MiscFuncs::SetLogLevel(Pop3ClientSession::kTranscriptLogLevel);
    FakeOwner owner;
    Transcript t(owner);
    t.login();
    const std::string log = programLog();
    EXPECT_NE(log.find("> USER alice"), std::string::npos);
    EXPECT_NE(log.find("> PASS ********"), std::string::npos);
    EXPECT_EQ(log.find("secret"), std::string::npos);
}

TEST_F(Pop3ClientSessionTest, AHugeMessageCountIsHandledAPartAtATime) {
    FakeOwner owner;
    Transcript t(owner);
    t.login();
    t.server("+OK 99999999 1\r\n");
    EXPECT_EQ(t.session().count(), Pop3ClientSession::kMaxMessagesPerSession);
    EXPECT_EQ(t.sent(), Commands{"TOP 1 0"});
}
