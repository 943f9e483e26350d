#pragma once
// The collector against a POP3 peer on loopback: a form over the fixture's lists, mail
// built the way the tests need it, and waits for the sessions to end.

#include <QtTest/QTest>

#include <memory>
#include <string>
#include <vector>

#include "CollectorFixture.h"
#include "core/Scramble.h"
#include "support/Peers.h"

namespace testing_support {

inline constexpr int kSessionDeadlineMs = 30000;

// A mail with CR LF line ends; each gets a Message-ID of its own unless one is given.
inline std::string Mail(const std::string& from, const std::string& subject, const std::string& body = "hello\r\n",
                        const std::string& extra = "") {
    static int serial = 0;
    std::string head = "From: " + from + "\r\nTo: " + kMe + "\r\nSubject: " + subject +
                       "\r\nDate: Tue, 10 Dec 2002 13:45:12 +0100\r\n";
    if (extra.find("Message-ID:") == std::string::npos)
        head += "Message-ID: <m" + std::to_string(++serial) + "." + std::to_string(::getpid()) + "@test>\r\n";
    return head + extra + "\r\n" + body;
}

// A message as POP3 carries it: every line that begins with "." gets one more.
inline std::string Stuffed(const std::string& message) {
    std::string out;
    bool lineStart = true;
    for (char c : message) {
        if (lineStart && c == '.') out += '.';
        out += c;
        lineStart = c == '\n';
    }
    return out;
}

// The check code that binds the sender to the account, found by trying every sum.
inline std::string RegCodeFor(const std::string& from, const std::string& account) {
    for (int code = 0; code < 200000; ++code)
        if (MiscFuncs::VerifyRegCode(from, account, std::to_string(code))) return std::to_string(code);
    return "none";
}

class CollectorPeerTest : public CollectorTest {
protected:
    // Loads the form (every enabled account starts at once) and waits for `sessions`
    // session ends in all.
    bool collect(std::size_t sessions = 1) {
        if (!form) {
            makeForm();
            form->Form_Load();
        }
        return waitForEnds(sessions);
    }
    // Starts slot n again and waits for one more session end.
    bool collectAgain(int slot = 1) {
        const std::size_t before = ended.size();
        form->StartSession(slot);
        return waitForEnds(before + 1);
    }
    bool waitForEnds(std::size_t sessions) {
        return QTest::qWaitFor([&] { return ended.size() >= sessions; }, kSessionDeadlineMs);
    }
    std::vector<std::string> storedIn(const std::string& leaf, const std::string& account = kMe) const {
        return filesIn(folder(account, leaf));
    }
    std::string storedText(const std::string& leaf, const std::string& name, const std::string& account = kMe) {
        return ReadFile(folder(account, leaf) / name);
    }
};

inline QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

// The collector against a private dovecot: alice's mailbox, which the account kMe
// collects. Without dovecot the peer stays null; each test skips (or fails in CI)
// through GLP_REQUIRE_PEERS(PeerProgram::Dovecot).
class CollectorDovecotFixture : public CollectorPeerTest {
protected:
    void SetUp() override {
        CollectorPeerTest::SetUp();
        if (!PeersAvailable({PeerProgram::Dovecot})) return;
        peer = std::make_unique<DovecotPeer>();
        ASSERT_TRUE(peer->start()) << peer->error().toStdString();
        addAccount(kMe, peer->port());
    }
    void TearDown() override {
        CollectorPeerTest::TearDown();
        peer.reset();
    }
    void deliver(const std::string& message) { ASSERT_FALSE(peer->deliver("alice", Bytes(message)).isEmpty()); }
    // What is left in alice's mailbox (after the client's QUIT).
    QList<MaildirMessage> left() {
        const auto messages = peer->leftOnServer("alice");
        EXPECT_TRUE(messages.has_value());
        return messages.value_or(QList<MaildirMessage>{});
    }
    std::size_t leftCount() { return static_cast<std::size_t>(left().size()); }
    // The subjects left on the server, in order.
    std::vector<std::string> leftSubjects() {
        std::vector<std::string> subjects;
        for (const MaildirMessage& m : left()) {
            const QByteArray& d = m.data;
            const qsizetype at = d.indexOf("Subject: ");
            subjects.push_back(d.mid(at + 9, d.indexOf('\n', at) - at - 9).toStdString());
        }
        return subjects;
    }

    std::unique_ptr<DovecotPeer> peer;
};

}  // namespace testing_support
