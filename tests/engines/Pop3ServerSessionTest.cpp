// Sessions of the local POP3 server read as transcripts, without sockets.
#include <gtest/gtest.h>

#include <set>

#include "Pop3ServerFixture.h"

using pop3test::Mail;
using pop3test::Transcript;

namespace {

const std::string kTitle = "glimmerpost POP3 Server Ver.1.0";

class Pop3SessionTest : public pop3test::Pop3ServerTest {
protected:
    void SetUp() override {
        Pop3ServerTest::SetUp();
        addAccount("Alice@Example.test", "secret");
        addAccount("bob@example.test", "hunter2");
    }
    // Three messages in Alice's InBox; their sizes.
    void storeThree() {
        for (int i = 1; i <= 3; ++i) {
            const std::string bytes = Mail("m" + std::to_string(i), std::string(100 * i, 'x') + "\r\n");
            store("Alice@Example.test", "a@example.test m" + std::to_string(i) + ".eml", bytes);
            sizes.push_back(bytes.size());
        }
    }
    std::string name(int i) const { return "a@example.test m" + std::to_string(i) + ".eml"; }
    std::vector<std::size_t> sizes;
};

TEST_F(Pop3SessionTest, GreetsOnlyAClientAtTheLocalAddress) {
    Transcript local(*messages);
    EXPECT_EQ(local.greeting, "+OK " + kTitle + " Ready\r\n");
    EXPECT_FALSE(local.session.Ended());

    Transcript remote(*messages, "127.0.0.2");
    EXPECT_EQ(remote.greeting, "-ERR " + kTitle + " can not be accessed from the network\r\n");
    EXPECT_TRUE(remote.session.Ended());
    EXPECT_EQ(remote.send("USER bob@example.test\r\n"), "");
}

TEST_F(Pop3SessionTest, LoginTakesTheAccountsOwnSpellingAndScrambledPassword) {
    storeThree();
    Transcript t(*messages);
    EXPECT_EQ(t.send("PASS secret\r\n"), "-ERR User first\r\n");
    EXPECT_EQ(t.send("user alice@example.TEST\r\n"), "+OK alice@example.TEST is welcome here\r\n");
    EXPECT_EQ(t.session.Account(), "Alice@Example.test");
    EXPECT_EQ(t.send("PASS wrong\r\n"), "-ERR invalid usercode or password, please try again\r\n");
    EXPECT_FALSE(t.session.Ended()) << "a wrong password may be tried again";
    const std::size_t octets = sizes[0] + sizes[1] + sizes[2];
    EXPECT_EQ(t.send("PASS secret\r\n"), "+OK 3 " + std::to_string(octets) + "\r\n");
    EXPECT_EQ(t.session.CurrentState(), Pop3ServerSession::State::Transaction);
    EXPECT_EQ(t.send("USER bob@example.test\r\n"), "-ERR already logged in\r\n");
}

TEST_F(Pop3SessionTest, UnknownUserEndsTheSession) {
    for (const std::string user : {"Alice", "nobody@example.test", ""}) {
        SCOPED_TRACE(user);
        Transcript t(*messages);
        EXPECT_EQ(t.send("USER " + user + "\r\n"), "-ERR " + user + " is not a user here.\r\n");
        EXPECT_TRUE(t.session.Ended());
    }
}

TEST_F(Pop3SessionTest, PasswordNeverReachesTheLog) {
    MiscFuncs::SetLogLevel(4);
    Transcript t(*messages);
    t.login("bob@example.test", "hunter2");
    EXPECT_EQ(t.session.LastClientPacket(), "PASS ****");
    t.login("bob@example.test", "n0tright");
    t.send("AUTH PLAIN c2VjcmV0\r\nQUIT\r\n");
    const std::string log = programLog();
    EXPECT_NE(log.find("Servicing bob@example.test on socket #1"), std::string::npos) << log;
    for (const std::string secret : {"hunter2", "n0tright", "c2VjcmV0"})
        EXPECT_EQ(log.find(secret), std::string::npos) << secret << " in\n" << log;
}

TEST_F(Pop3SessionTest, CommandsSplitAcrossPiecesAreJoined) {
    Transcript t(*messages);
    std::string out;
    for (const char* piece : {"US", "ER bob@exa", "mple.test\r", "\nPA", "SS hunter2\n", "ST", "AT\r\n"})
        out += t.send(piece);
    EXPECT_EQ(out, "+OK bob@example.test is welcome here\r\n+OK 0 0\r\n+OK 0 0 \r\n");
}

TEST_F(Pop3SessionTest, PipelinedCommandsAreAnsweredInOrder) {
    storeThree();
    Transcript t(*messages);
    const std::string out =
        t.send("USER Alice@Example.test\r\nPASS secret\r\nRETR 1\r\nLIST 2\r\nNOOP\r\nRETR 3\r\nQUIT\r\n");
    const std::string expected = "+OK Alice@Example.test is welcome here\r\n+OK 3 " +
                                 std::to_string(sizes[0] + sizes[1] + sizes[2]) + "\r\n" + "+OK " +
                                 std::to_string(sizes[0]) + " octets\r\n" +
                                 testing_support::ReadFile(inbox("Alice@Example.test") / name(1)) + ".\r\n" +
                                 "+OK 2 " + std::to_string(sizes[1]) + "\r\n+OK\r\n" + "+OK " +
                                 std::to_string(sizes[2]) + " octets\r\n" +
                                 testing_support::ReadFile(inbox("Alice@Example.test") / name(3)) + ".\r\n" +
                                 "+OK POP3 server signing off (maildrop empty)\r\n";
    EXPECT_EQ(out, expected);
    EXPECT_TRUE(t.session.Ended());
}

TEST_F(Pop3SessionTest, OverLongLineEndsTheSession) {
    const std::string limit(Pop3ServerSession::kMaxLineBytes, 'N');
    Transcript fits(*messages);
    EXPECT_EQ(fits.send(limit + "\r\n"), "-ERR\r\n");
    EXPECT_FALSE(fits.session.Ended());

    Transcript over(*messages);
    EXPECT_EQ(over.send(limit + "N\r\nNOOP\r\n"), "-ERR line too long\r\n");
    EXPECT_TRUE(over.session.Ended());

    // A line already over the limit ends the session before its end arrives.
    Transcript partial(*messages);
    EXPECT_EQ(partial.send("USER " + limit), "-ERR line too long\r\n");
    EXPECT_TRUE(partial.session.Ended());
    EXPECT_EQ(partial.session.InputRoom(), 0u);
}

TEST_F(Pop3SessionTest, BadCommandsEndTheSessionAtTheLimit) {
    const std::string junk[] = {std::string("\0\x01\xff", 3), "HELO x", "CAPA", "PASS a", "RSET", "XTND",
                                "\x16\x03\x01", "NOOP", "    ", "LOGIN bob"};
    Transcript t(*messages);
    t.send("USER bob@example.test\r\n");
    std::string out;
    for (int i = 0; i < Pop3ServerSession::kMaxBadCommands; ++i) {
        ASSERT_FALSE(t.session.Ended()) << "after " << i << " bad commands";
        out += t.send(junk[i] + "\r\n");
    }
    EXPECT_TRUE(t.session.Ended());
    EXPECT_EQ(t.send("PASS hunter2\r\n"), "") << "nothing is read after the end";
    EXPECT_NE(out.find("-ERR invalid usercode or password"), std::string::npos);
    EXPECT_NE(out.find("-ERR User first"), std::string::npos);
}

TEST_F(Pop3SessionTest, CommandsBeforeLoginAreRefused) {
    struct Case { const char* command; const char* reply; bool ends; };
    const Case cases[] = {
        {"STAT", "-ERR User first\r\n", true},         {"LIST", "-ERR User was not found\r\n", true},
        {"RETR 1", "-ERR User was not found\r\n", true}, {"DELE 1", "-ERR User was not found\r\n", true},
        {"TOP 1 0", "-ERR User was not found\r\n", true}, {"NOOP", "-ERR User first\r\n", false},
        {"UIDL", "-ERR User first\r\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        Transcript t(*messages);
        t.send("USER bob@example.test\r\n");
        EXPECT_EQ(t.send(std::string(c.command) + "\r\n"), c.reply);
        EXPECT_EQ(t.session.Ended(), c.ends);
    }
}

// RFC 1939 7: the unique-id listing and the single answer; ids of unmarked messages only.
TEST_F(Pop3SessionTest, UidlGivesEveryMessageAnIdOfItsBytes) {
    storeThree();
    store("Alice@Example.test", "copy.eml", Mail("m2", std::string(200, 'x') + "\r\n"));  // the bytes of m2
    Transcript t(*messages);
    t.login("Alice@Example.test", "secret");
    const std::string listing = t.send("UIDL\r\n");
    ASSERT_TRUE(listing.starts_with("+OK\r\n") && listing.ends_with("\r\n.\r\n")) << listing;
    std::vector<std::string> ids;
    std::size_t at = 5;
    for (int n = 1; n <= 4; ++n) {
        const std::string prefix = std::to_string(n) + " ";
        ASSERT_EQ(listing.compare(at, prefix.size(), prefix), 0) << listing;
        const std::size_t end = listing.find("\r\n", at);
        ids.push_back(listing.substr(at + prefix.size(), end - at - prefix.size()));
        at = end + 2;
    }
    for (const std::string& id : ids) {
        EXPECT_GE(id.size(), 1u);
        EXPECT_LE(id.size(), 70u);
        EXPECT_EQ(id.find_first_not_of("0123456789abcdef-"), std::string::npos) << id;
    }
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), 4u) << "unique in the mailbox";
    EXPECT_EQ(ids[3], ids[1] + "-2") << "the same bytes twice";
    EXPECT_EQ(t.send("UIDL 2\r\n"), "+OK 2 " + ids[1] + "\r\n");
    t.send("DELE 2\r\n");
    EXPECT_EQ(t.send("UIDL 2\r\n"), "-ERR message 2 already deleted\r\n");
    EXPECT_EQ(t.send("UIDL 9\r\n"), "-ERR message not found\r\n");
    EXPECT_EQ(t.send("UIDL\r\n"), "+OK\r\n1 " + ids[0] + "\r\n3 " + ids[2] + "\r\n4 " + ids[3] + "\r\n.\r\n");
}

// The id belongs to the message: a later session, a move to another folder and back
// (which may rename the file) keep it; a new message stored under the name of a
// deleted one gets a new one.
TEST_F(Pop3SessionTest, UidlIdsStayWithTheirMessages) {
    storeThree();
    const auto idOf = [&](int n) {
        Transcript t(*messages);
        t.login("Alice@Example.test", "secret");
        const std::string answer = t.send("UIDL " + std::to_string(n) + "\r\n");
        t.send("QUIT\r\n");
        return answer.substr(answer.rfind(' ') + 1);
    };
    const std::string first = idOf(1), third = idOf(3);
    EXPECT_EQ(idOf(1), first);

    const std::string key = MessageKeys::MakeKey("Alice@Example.test", MessageKeys::kInBox, name(1));
    ASSERT_TRUE(messages->MoveMessage(key, MessageKeys::kWaitingAuth));
    ASSERT_TRUE(messages->MoveMessage(MessageKeys::MakeKey("Alice@Example.test", MessageKeys::kWaitingAuth, name(1)),
                                      MessageKeys::kInBox));
    EXPECT_EQ(idOf(3), first) << "moved back, it is listed last";

    ASSERT_TRUE(messages->RemoveMessage(MessageKeys::MakeKey("Alice@Example.test", MessageKeys::kInBox, name(3))));
    store("Alice@Example.test", name(3), Mail("another", "different\r\n"));
    const std::string reused = idOf(3);
    EXPECT_NE(reused, third);
    EXPECT_NE(reused, first);
}

TEST_F(Pop3SessionTest, DeleMarksRsetClearsQuitRemoves) {
    storeThree();
    Transcript t(*messages);
    t.login("Alice@Example.test", "secret");
    EXPECT_EQ(t.send("DELE 2\r\n"), "+OK message 2 deleted\r\n");
    EXPECT_TRUE(stored("Alice@Example.test", name(2))) << "DELE only marks";
    EXPECT_EQ(t.send("DELE 2\r\n"), "-ERR message 2 already deleted\r\n");
    EXPECT_EQ(t.send("RETR 2\r\n"), "-ERR message 2 already deleted\r\n");
    EXPECT_EQ(t.send("TOP 2 0\r\n"), "-ERR message 2 already deleted\r\n");
    EXPECT_EQ(t.send("STAT\r\n"), "+OK 2 " + std::to_string(sizes[0] + sizes[2]) + "\r\n");
    EXPECT_EQ(t.send("LIST\r\n"), "+OK 2 " + std::to_string(sizes[0] + sizes[2]) + "\r\n1 " +
                                      std::to_string(sizes[0]) + "\r\n3 " + std::to_string(sizes[2]) + "\r\n.\r\n");
    EXPECT_EQ(t.send("RSET\r\n"), "+OK maildrop has 3 messages (" +
                                      std::to_string(sizes[0] + sizes[1] + sizes[2]) + " octets)\r\n");
    EXPECT_EQ(t.send("LIST 2\r\n"), "+OK 2 " + std::to_string(sizes[1]) + "\r\n");
    t.send("DELE 1\r\nDELE 3\r\n");
    EXPECT_EQ(messages->Count(), 3u);
    EXPECT_EQ(t.send("QUIT\r\n"), "+OK POP3 server signing off (maildrop empty)\r\n");
    EXPECT_FALSE(stored("Alice@Example.test", name(1)));
    EXPECT_TRUE(stored("Alice@Example.test", name(2)));
    EXPECT_FALSE(stored("Alice@Example.test", name(3)));
    EXPECT_EQ(messages->Count(), 1u);
    EXPECT_EQ(t.session.RemovedCount(), 2u);
}

TEST_F(Pop3SessionTest, SessionEndingWithoutQuitDeletesNothing) {
    storeThree();
    for (int how = 0; how < 3; ++how) {
        SCOPED_TRACE(how);
        Transcript t(*messages);
        t.login("Alice@Example.test", "secret");
        t.send("DELE 1\r\nDELE 2\r\n");
        if (how == 0) t.session.Drop();
        if (how == 1) t.session.TimeOut();
        if (how == 2) t.send(std::string(600, 'z'));
        EXPECT_TRUE(t.session.Ended());
        EXPECT_EQ(messages->Count(), 3u);
        for (int i = 1; i <= 3; ++i) EXPECT_TRUE(stored("Alice@Example.test", name(i)));
    }
    Transcript idle(*messages);
    idle.session.TimeOut();
    EXPECT_EQ(idle.drain(), "-ERR POP3 server session timed out\r\n");
}

TEST_F(Pop3SessionTest, MessageNumbersAreChecked) {
    storeThree();
    Transcript t(*messages);
    t.login("Alice@Example.test", "secret");
    for (const char* command : {"RETR 4", "LIST 9", "DELE 70000", "TOP 4 1"}) {
        EXPECT_EQ(t.send(std::string(command) + "\r\n"), "-ERR message not found\r\n") << command;
    }
    for (const char* command : {"RETR", "RETR 0", "RETR -1", "DELE x", "LIST 1a", "RETR 99999999999999999999"}) {
        EXPECT_EQ(t.send(std::string(command) + "\r\n"), "-ERR invalid message number\r\n") << command;
    }
    EXPECT_EQ(t.send("TOP 1\r\n"), "-ERR invalid line count\r\n");
    EXPECT_FALSE(t.session.Ended());
}

TEST_F(Pop3SessionTest, FileRemovedUnderTheSessionAnswersErr) {
    storeThree();
    Transcript t(*messages);
    t.login("Alice@Example.test", "secret");
    std::filesystem::remove(inbox("Alice@Example.test") / name(2));
    EXPECT_EQ(t.send("RETR 2\r\n"), "-ERR message not found\r\n");
    EXPECT_EQ(t.send("TOP 2 0\r\n"), "-ERR message not found\r\n");
    EXPECT_FALSE(t.session.Ended());
    EXPECT_EQ(t.send("RETR 3\r\n").substr(0, 4), "+OK ");
}

TEST_F(Pop3SessionTest, StoredFilesGoOutAsTheyAreWithOneTerminator) {
    struct Case { const char* file; const char* sent; };
    const Case cases[] = {
        {"A: b\r\n\r\nbody\r\n", "A: b\r\n\r\nbody\r\n.\r\n"},
        {"A: b\r\n\r\nno end", "A: b\r\n\r\nno end\r\n.\r\n"},
        {"A: b\r\n\r\n..\r\n..leading dot\r\n", "A: b\r\n\r\n..\r\n..leading dot\r\n.\r\n"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string file = "case" + std::to_string(++n) + ".eml";
        store("bob@example.test", file, c.file);
        Transcript t(*messages);
        t.login("bob@example.test", "hunter2");
        EXPECT_EQ(t.send("RETR " + std::to_string(n) + "\r\n"),
                  "+OK " + std::to_string(std::string_view(c.file).size()) + " octets\r\n" + c.sent);
    }
}

TEST_F(Pop3SessionTest, TopSendsTheHeaderAndTheAskedBodyLines) {
    const std::string file = "A: 1\r\nB: 2\r\n\r\none\r\n..two\r\nthree\r\n";
    store("bob@example.test", "t.eml", file);
    const std::pair<const char*, const char*> cases[] = {
        {"TOP 1 0", "A: 1\r\nB: 2\r\n\r\n.\r\n"},
        {"TOP 1 2", "A: 1\r\nB: 2\r\n\r\none\r\n..two\r\n.\r\n"},
        {"TOP 1 99999999", "A: 1\r\nB: 2\r\n\r\none\r\n..two\r\nthree\r\n.\r\n"},
    };
    for (const auto& [command, body] : cases) {
        Transcript t(*messages);
        t.login("bob@example.test", "hunter2");
        EXPECT_EQ(t.send(std::string(command) + "\r\n"), "+OK " + std::to_string(file.size()) + " octets\r\n" + body) << command;
    }
}

TEST_F(Pop3SessionTest, EmptyMailboxListsNothing) {
    Transcript t(*messages);
    EXPECT_EQ(t.login("bob@example.test", "hunter2"), "+OK bob@example.test is welcome here\r\n+OK 0 0\r\n");
    EXPECT_EQ(t.send("STAT\r\nLIST\r\n"), "+OK 0 0 \r\n+OK 0 0\r\n.\r\n");
    EXPECT_FALSE(t.session.Ended());
}

TEST_F(Pop3SessionTest, MailboxIsFixedAtLoginAndHoldsOnlyTheAccountsInBox) {
    storeThree();
    store("bob@example.test", "a@example.test bob.eml", Mail("bob's", "x\r\n"));
    testing_support::WriteFile(dir() / "accounts/Alice@Example.test/MailDir/WaitingAuth/w.eml", Mail("w", "w\r\n"));
    ASSERT_TRUE(messages->AddMessage("Alice@Example.test", "w.eml", MessageKeys::kWaitingAuth));
    testing_support::WriteFile(inbox("Alice@Example.test") / "unindexed.eml", Mail("u", "u\r\n"));

    Transcript t(*messages);
    t.login("Alice@Example.test", "secret");
    EXPECT_EQ(t.session.MessageCount(), 3u);
    store("Alice@Example.test", "later.eml", Mail("later", "y\r\n"));
    EXPECT_EQ(t.send("STAT\r\n"), "+OK 3 " + std::to_string(sizes[0] + sizes[1] + sizes[2]) + "\r\n");
    EXPECT_EQ(t.send("RETR 4\r\n"), "-ERR message not found\r\n");
    Transcript next(*messages);
    next.login("Alice@Example.test", "secret");
    EXPECT_EQ(next.session.MessageCount(), 4u);
}

TEST_F(Pop3SessionTest, QuitReportsMessagesItCouldNotRemove) {
    storeThree();
    Transcript t(*messages);
    t.login("Alice@Example.test", "secret");
    t.send("DELE 1\r\nDELE 2\r\n");
    // The main window moved message 1 away meanwhile.
    ASSERT_TRUE(messages->MoveMessage("Alice@Example.test\\MailDir\\InBox\\" + name(1), MessageKeys::kRecycled));
    EXPECT_EQ(t.send("QUIT\r\n"), "-ERR some deleted messages not removed\r\n");
    EXPECT_FALSE(stored("Alice@Example.test", name(2)));
    EXPECT_EQ(t.session.RemovedCount(), 1u);
}

TEST_F(Pop3SessionTest, LargeMessageIsProducedInPieces) {
    std::string big = "Subject: big\r\n\r\n";
    while (big.size() < 1000000) big += std::string(998, 'b') + "\r\n";
    store("bob@example.test", "big.eml", big);
    Transcript t(*messages);
    t.login("bob@example.test", "hunter2");
    t.session.Receive("RETR 1\r\nNOOP\r\n");
    std::string out = t.session.TakeOutput();
    EXPECT_LE(out.size(), Pop3ServerSession::kPieceBytes + 64);
    std::size_t pieces = 1;
    while (t.session.Sending()) {
        t.session.ContinueSending();
        const std::string piece = t.session.TakeOutput();
        EXPECT_LE(piece.size(), Pop3ServerSession::kPieceBytes + 16);
        out += piece;
        ++pieces;
    }
    EXPECT_GE(pieces, big.size() / Pop3ServerSession::kPieceBytes);
    EXPECT_EQ(out, "+OK " + std::to_string(big.size()) + " octets\r\n" + big + ".\r\n+OK\r\n")
        << "the NOOP waited for the message";
}

TEST_F(Pop3SessionTest, PipelinedRetrievalsDoNotPileUpOutput) {
    const std::string mail = Mail("m", std::string(20000, 'q') + "\r\n");
    store("bob@example.test", "m.eml", mail);
    Transcript t(*messages);
    t.login("bob@example.test", "hunter2");
    std::string commands;
    for (int i = 0; i < 200; ++i) commands += "RETR 1\r\n";
    t.session.Receive(commands);
    EXPECT_LE(t.session.OutputSize(), Pop3ServerSession::kPieceBytes + mail.size() + 64);
    EXPECT_TRUE(t.session.Sending());
    const std::string out = t.session.TakeOutput() + t.drain();
    const std::string one = "+OK " + std::to_string(mail.size()) + " octets\r\n" + mail + ".\r\n";
    EXPECT_EQ(out.size(), 200 * one.size());
}

TEST_F(Pop3SessionTest, InputBeyondTheRoomEndsTheSession) {
    std::string big = "Subject: big\r\n\r\n" + std::string(400000, 'b') + "\r\n";
    store("bob@example.test", "big.eml", big);
    Transcript t(*messages);
    t.login("bob@example.test", "hunter2");
    t.session.Receive("RETR 1\r\n");
    ASSERT_TRUE(t.session.Sending());
    const std::size_t room = t.session.InputRoom();
    std::string flood;
    while (flood.size() <= room) flood += "NOOP\r\n";
    t.session.Receive(flood);
    EXPECT_TRUE(t.session.Ended());
}

}  // namespace
