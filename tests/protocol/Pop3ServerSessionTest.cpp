// The local POP3 server's count of bad commands in a row, and its logged states.
#include "protocol/Pop3ServerSession.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/CMessages.h"
#include "core/Log.h"
#include "core/Scramble.h"
#include "core/TempFolder.h"

namespace {

class Pop3ServerBadCommands : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        testing_support::WriteFile(dir() / "accounts.ini",
                                   "[bob@example.test]\r\nPOP3Password=" + MiscFuncs::ScrambleText("hunter2") + "\r\n");
        messages = std::make_unique<CMessages>(CMessages::Start::Empty);
    }
    void TearDown() override {
        messages.reset();
        TempFolderTest::TearDown();
    }
    std::unique_ptr<CMessages> messages;
};

// Sends each line in turn; the replies, one a line (multi-line answers whole).
std::vector<std::string> Converse(Pop3ServerSession& session, const std::vector<std::string>& lines) {
    std::vector<std::string> replies;
    for (const std::string& line : lines) {
        if (session.Ended()) break;
        session.Receive(line + "\r\n");
        std::string out = session.TakeOutput();
        while (session.Sending()) {
            session.ContinueSending();
            out += session.TakeOutput();
        }
        replies.push_back(out);
    }
    return replies;
}

std::vector<std::string> Repeat(const std::string& line, int times) { return std::vector<std::string>(times, line); }

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace

TEST_F(Pop3ServerBadCommands, OnlyBadCommandsInARowEndTheSession) {
    const int n = Pop3ServerSession::kMaxBadCommands;
    const int logins = Pop3ServerSession::kMaxLoginFailures;
    const struct {
        const char* name;
        std::vector<std::string> lines;
        bool ends;
    } cases[] = {
        {"one short of the limit", Join({{"USER bob@example.test"}, Repeat("XTND", n - 1)}), false},
        {"a good command between resets the count",
         Join({{"USER bob@example.test"}, Repeat("XTND", n - 1), {"USER bob@example.test"},
               Repeat("XTND", n - logins), Repeat("PASS wrong", logins - 1), {"PASS hunter2"},
               Repeat("RETR x", n - 1), {"RETR 99"}, Repeat("CAPA", n - 1)}),
         false},
        {"the limit in a row", Join({{"USER bob@example.test"}, Repeat("CAPA", n)}), true},
        {"a wrong password counts as a bad command",
         Join({{"USER bob@example.test"}, Repeat("XTND", n - 1), {"PASS wrong"}}), true},
        {"one wrong password short of the login limit",
         Join({{"USER bob@example.test"}, Repeat("PASS wrong", logins - 1)}), false},
        {"the login limit, a good command between",
         Join({{"USER bob@example.test"}, {"PASS wrong"}, {"USER bob@example.test"}, Repeat("PASS wrong", logins - 1)}),
         true},
        {"after login, bad arguments count", Join({{"USER bob@example.test", "PASS hunter2"}, Repeat("DELE x", n)}),
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pop3ServerSession session(*messages, 1, "test");
        ASSERT_TRUE(session.Open("127.0.0.1", "127.0.0.1"));
        session.TakeOutput();
        const std::vector<std::string> replies = Converse(session, c.lines);
        ASSERT_EQ(replies.size(), c.lines.size()) << "every line was read";
        EXPECT_EQ(session.Ended(), c.ends);
        if (c.ends) EXPECT_EQ(replies.back().substr(0, 4), "-ERR") << "the last bad command is answered";
    }
}

TEST_F(Pop3ServerBadCommands, StateChangesAreLoggedAtTheDetailLevel) {
    MiscFuncs::SetLogLevel(Pop3ServerSession::kStateLogLevel);
    Pop3ServerSession session(*messages, 7, "test");
    ASSERT_TRUE(session.Open("127.0.0.1", "127.0.0.1"));
    Converse(session, {"USER bob@example.test", "PASS hunter2", "QUIT"});
    EXPECT_TRUE(session.Ended());
    const std::string log = programLog();
    EXPECT_NE(log.find("POP3Server socket #7 state authorization -> transaction"), std::string::npos) << log;
    EXPECT_NE(log.find("POP3Server socket #7 state transaction -> ended"), std::string::npos) << log;
}

// The answer to a PASS waits for the carrier, and so does every line behind it: the
// server form answers a wrong password only after its delay.
TEST_F(Pop3ServerBadCommands, TheAnswerToAPassWaitsForTheCarrier) {
    const struct {
        const char* password;
        Pop3ServerSession::Login pending;
        const char* answer;
    } cases[] = {
        {"wrong", Pop3ServerSession::Login::Failed, "-ERR invalid usercode or password, please try again\r\n"},
        {"hunter2", Pop3ServerSession::Login::Passed, "+OK 0 0\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password);
        Pop3ServerSession session(*messages, 1, "test");
        ASSERT_TRUE(session.Open("127.0.0.1", "127.0.0.1"));
        session.TakeOutput();
        session.Receive(std::string("USER bob@example.test\r\nPASS ") + c.password + "\r\nNOOP\r\n");
        EXPECT_EQ(session.TakeOutput(), "+OK bob@example.test is welcome here\r\n");
        EXPECT_EQ(session.PendingLogin(), c.pending);
        EXPECT_TRUE(session.Sending());
        session.Receive("NOOP\r\n");
        EXPECT_EQ(session.TakeOutput(), "") << "the lines behind the PASS wait";
        session.ContinueSending();
        EXPECT_EQ(session.PendingLogin(), Pop3ServerSession::Login::None);
        const std::string noop = c.pending == Pop3ServerSession::Login::Passed ? "+OK\r\n" : "-ERR User first\r\n";
        EXPECT_EQ(session.TakeOutput(), c.answer + noop + noop);
        EXPECT_FALSE(session.Ended());
    }
}

TEST_F(Pop3ServerBadCommands, TheThirdWrongPasswordIsAnsweredAndEndsTheSession) {
    MiscFuncs::SetLogLevel(1);
    Pop3ServerSession session(*messages, 3, "test");
    ASSERT_TRUE(session.Open("127.0.0.1", "127.0.0.1"));
    session.TakeOutput();
    const std::vector<std::string> replies =
        Converse(session, {"USER bob@example.test", "PASS a", "PASS b", "USER bob@example.test", "PASS c", "PASS hunter2"});
    ASSERT_EQ(replies.size(), 5u) << "nothing is read after the third failure";
    EXPECT_EQ(replies[4], "-ERR invalid usercode or password, please try again\r\n");
    EXPECT_TRUE(session.Ended());
    EXPECT_EQ(session.LoginFailures(), Pop3ServerSession::kMaxLoginFailures);
    EXPECT_NE(programLog().find("POP3Server Error! Too many failed logins on socket #3"), std::string::npos);
}
