// The collector against servers that misbehave as dovecot never would, and its timers.
#include <gtest/gtest.h>

#include <QPointer>

#include "CollectorPeerFixture.h"
#include "core/Log.h"
#include "platform/EventWait.h"
#include "platform/WindowHelpers.h"

using namespace testing_support;

namespace {

const std::string kLogin =
    "sendline +OK ready\nexpect USER alice\nsendline +OK\nexpect PASS secret\nsendline +OK\nexpect STAT\n";
const std::string kHeader = "From: friend@there.test\\r\\nSubject: s\\r\\nMessage-ID: <f1@test>\\r\\n\\r\\n";

bool HasLine(const QList<QByteArray>& lines, const char* line) { return lines.contains(QByteArray(line)); }

}  // namespace

class CollectorFaultsTest : public CollectorPeerTest {
protected:
    // A scripted server for the account, which must start.
    ScriptedPeer& serve(const std::string& script) {
        peer = std::make_unique<ScriptedPeer>(QString::fromStdString(script), ScriptedPeerOptions{5000, 1});
        EXPECT_TRUE(peer->start()) << peer->error().toStdString();
        addAccount(kMe, peer->port());
        return *peer;
    }
    void approveFriend() { senders->SetStatus("", "friend@there.test", SenderStatus::Approved, "r"); }
    void expectNoFaults() { EXPECT_TRUE(peer->faults().isEmpty()) << peer->faults().join('\n').toStdString(); }
    void TearDown() override {
        CollectorPeerTest::TearDown();
        peer.reset();
    }

    std::unique_ptr<ScriptedPeer> peer;
};

TEST_F(CollectorFaultsTest, RepliesSplitByteByByte) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    serve("split 1 +OK ready\\r\\n\nexpect USER alice\nsplit 1 +OK\\r\\n\nexpect PASS secret\nsplit 1 +OK\\r\\n\n"
          "expect STAT\nsplit 1 +OK 1 100\\r\\n\nexpect TOP 1 0\nsplit 1 +OK\\r\\n" + kHeader + ".\\r\\n\n"
          "expect RETR 1\nsplit 1 +OK\\r\\n" + kHeader + "body\\r\\n..\\r\\n...x\\r\\n.\\r\\n\n"
          "expect DELE 1\nsplit 1 +OK\\r\\n\nexpect QUIT\nsplit 1 +OK bye\\r\\n\n");
    openLists();
    approveFriend();
    ASSERT_TRUE(collect());
    ASSERT_TRUE(peer->waitForClosed(1));
    expectNoFaults();
    EXPECT_TRUE(HasLine(peer->received(1), "QUIT"));
    const auto inbox = storedIn("InBox");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(storedText("InBox", inbox[0]),
              "From: friend@there.test\r\nSubject: s\r\nMessage-ID: <f1@test>\r\n\r\nbody\r\n..\r\n...x\r\n");
    EXPECT_EQ(ended, std::vector<std::int32_t>{1});
}

TEST_F(CollectorFaultsTest, AServerThatNeverGreetsIsGivenUpWithoutQuit) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    MiscFuncs::SetLogLevel(1);
    serve("stall\n");
    openLists();
    makeForm();
    form->Form_Load();
    ASSERT_TRUE(peer->waitFor([](const ScriptEvent& e) { return e.event == "accepted"; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->SessionState(1) == engines::Pop3ClientState::Greeting &&
                                             form->POP3ClientSocket(1)->state() == 7; }, 5000));
    EXPECT_EQ(form->InactivityTimer(1)->interval(), POP3CollectorForm::kInactivityMs);
    ASSERT_TRUE(form->InactivityTimer(1)->fire());
    ASSERT_TRUE(waitForEnds(1));
    ASSERT_TRUE(peer->waitForClosed(1));
    EXPECT_TRUE(peer->received(1).isEmpty()) << "not even QUIT";
    EXPECT_NE(programLog().find("POP3 Error! User me@home.test:no reply for 120 seconds"), std::string::npos);
    EXPECT_EQ(form->POP3ClientSocket(1)->state(), platform::SocketControl::kClosed);
    EXPECT_TRUE(form->PullTimer(1)->enabled());
    EXPECT_EQ(MiscFuncs::BusyCounter(), 0);
}

TEST_F(CollectorFaultsTest, ACloseInTheMiddleOfRetrStoresAndDeletesNothing) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    serve(kLogin + "sendline +OK 1 100\nexpect TOP 1 0\nsend +OK\\r\\n" + kHeader + ".\\r\\n\n"
                   "expect RETR 1\nsend +OK\\r\\n" + kHeader + "half a bo\nclose\n");
    openLists();
    approveFriend();
    ASSERT_TRUE(collect());
    expectNoFaults();
    EXPECT_FALSE(HasLine(peer->received(1), "DELE 1"));
    EXPECT_FALSE(HasLine(peer->received(1), "QUIT"));
    EXPECT_TRUE(storedIn("InBox").empty());
    EXPECT_EQ(ended, std::vector<std::int32_t>{0});
    EXPECT_EQ(form->POP3ClientSocket(1)->state(), platform::SocketControl::kClosed) << "closed, not left in 8";
    EXPECT_TRUE(form->PullTimer(1)->enabled());
}

TEST_F(CollectorFaultsTest, ARefusedTopLeavesThatMessageAlone) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    serve(kLogin + "sendline +OK 2 200\nexpect TOP 1 0\nsendline -ERR no such message\n"
                   "expect TOP 2 0\nsend +OK\\r\\n" + kHeader + ".\\r\\n\nexpect RETR 2\n"
                   "send +OK\\r\\n" + kHeader + "two\\r\\n.\\r\\n\nexpect DELE 2\nsendline +OK\n"
                   "expect QUIT\nsendline +OK\n");
    openLists();
    approveFriend();
    ASSERT_TRUE(collect());
    ASSERT_TRUE(peer->waitForClosed(1));
    expectNoFaults();
    EXPECT_FALSE(HasLine(peer->received(1), "RETR 1"));
    EXPECT_FALSE(HasLine(peer->received(1), "DELE 1"));
    EXPECT_EQ(storedIn("InBox").size(), 1u);
    EXPECT_EQ(ended, std::vector<std::int32_t>{1});
}

TEST_F(CollectorFaultsTest, UnloadingInsideASessionStopsItWhereItIs) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    serve(kLogin + "sendline +OK 1 100\nexpect TOP 1 0\nsend +OK\\r\\n" + kHeader + ".\\r\\n\n"
                   "expect RETR 1\nsend +OK\\r\\n" + kHeader + "body\\r\\n.\\r\\n\nstall\n");
    openLists();
    approveFriend();
    POP3CollectorForm::Hooks hooks = recordingHooks();
    QPointer<POP3CollectorForm> unloaded;
    hooks.checkpoint = [this, &unloaded](std::string_view point) {
        if (point != "after-save") return;
        form->Form_Unload();
        unloaded = form.get();
        form.release()->deleteLater();
    };
    form = std::make_unique<POP3CollectorForm>(lists(), hooks);
    form->Form_Load();
    ASSERT_TRUE(peer->waitForClosed(1)) << "the unload closes the connection";
    EXPECT_FALSE(HasLine(peer->received(1), "DELE 1"));
    EXPECT_FALSE(HasLine(peer->received(1), "QUIT"));
    EXPECT_EQ(storedIn("InBox").size(), 1u) << "what was stored stays stored";
    EXPECT_EQ(MiscFuncs::BusyCounter(), 0);
    EXPECT_TRUE(platform::WaitUntil([&] { return unloaded.isNull(); }, kPeerWaitDeadlineMs))
        << "the form is deleted once its handler has returned";
}

TEST_F(CollectorFaultsTest, EachAccountStartsAfterItsOwnNumberOfTicks) {
    MiscFuncs::SetLogLevel(1);
    const RefusingPort nobody;
    addAccount(kMe, nobody, "alice", "secret", 5);
    addAccount("second@home.test", nobody, "bob", "secret", 10);
    addAccount("off@home.test", nobody, "carol", "secret", 10);
    setAccountKey("off@home.test", "AccountEnabled", "0");
    addAccount("never@home.test", nobody, "dave", "secret", 0);
    openLists();
    ASSERT_TRUE(collect(2)) << "both enabled accounts start at once, and fail to connect";
    ASSERT_EQ(form->SlotCount(), 2);
    EXPECT_EQ(form->AccountOf(2), "second@home.test");
    EXPECT_EQ(form->PullTimer(2)->tag(), "second@home.test");
    EXPECT_NE(programLog().find("Winsock Error: #"), std::string::npos);
    for (int tick = 1; tick < 20; ++tick) {
        form->PullTimer(1)->fire();
        form->PullTimer(2)->fire();
        EXPECT_EQ(started, 2 + tick / 10) << "tick " << tick;
        if (tick == 10) {
            ASSERT_TRUE(waitForEnds(3));
        }
    }
    form->PullTimer(2)->fire();
    EXPECT_EQ(started, 4) << "the second account's twentieth tick";
    ASSERT_TRUE(waitForEnds(4));
}

TEST_F(CollectorFaultsTest, CheckNowRestartsOnlyTheIdleAccounts) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    serve("stall\n");
    const RefusingPort nobody;
    addAccount("second@home.test", nobody, "bob", "secret", 10);
    openLists();
    makeForm();
    form->Form_Load();
    ASSERT_TRUE(waitForEnds(1)) << "the second account's connection fails";
    ASSERT_TRUE(form->InSession(1));
    form->CheckForNewMailImmedeately();
    EXPECT_FALSE(form->PullTimer(1)->enabled()) << "in a session: untouched";
    EXPECT_EQ(form->PullTimer(1)->interval(), POP3CollectorForm::kTickMs);
    EXPECT_TRUE(form->PullTimer(2)->enabled());
    EXPECT_EQ(form->PullTimer(2)->interval(), 2 * POP3CollectorForm::kCheckNowStepMs);
    EXPECT_EQ(form->Tick(2), form->Countdown(2) - 1);
    const int before = started;
    form->PullTimer(2)->fire();
    EXPECT_EQ(started, before + 1);
    ASSERT_TRUE(waitForEnds(2));
    EXPECT_EQ(form->PullTimer(2)->interval(), POP3CollectorForm::kTickMs) << "the session end puts it back";
}

TEST_F(CollectorFaultsTest, ASessionEndedWhileItsStoreLetEventsRunSendsNothingMore) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    const std::string stranger = "From: stranger@there.test\\r\\nSubject: s\\r\\nMessage-ID: <u1@test>\\r\\n\\r\\n";
    serve(kLogin + "sendline +OK 1 100\nexpect TOP 1 0\nsend +OK\\r\\n" + stranger + ".\\r\\n\n"
                   "expect RETR 1\nsend +OK\\r\\n" + stranger + "body\\r\\n.\\r\\n\nstall\n");
    setOption("AutoSendRegRequests", "1");
    openLists();
    POP3CollectorForm::Hooks hooks = recordingHooks();
    // The queue's message box runs events: the session's time-out falls due in it.
    hooks.addNewMessage = [this](MessageType, std::string_view, std::string_view, std::string_view) {
        return form->InactivityTimer(1)->fire();
    };
    form = std::make_unique<POP3CollectorForm>(lists(), hooks);
    form->Form_Load();
    ASSERT_TRUE(waitForEnds(1));
    ASSERT_TRUE(peer->waitForClosed(1));
    EXPECT_FALSE(HasLine(peer->received(1), "DELE 1"));
    EXPECT_FALSE(HasLine(peer->received(1), "QUIT"));
    EXPECT_EQ(storedIn("WaitingAuth").size(), 1u);
    EXPECT_EQ(form->POP3ClientSocket(1)->state(), platform::SocketControl::kClosed);
    EXPECT_EQ(MiscFuncs::BusyCounter(), 0);
}
