// The collector against Debian's dovecot with mail that is legal but unusual: folded
// and quoted From headers, messages that are only a header block, several messages of
// one stranger, an address too long for a whole file name, and a senders.ini that
// cannot be written.
#include <gtest/gtest.h>

#include "CollectorPeerFixture.h"
#include <QLabel>
#include <QProgressBar>

#include "core/Log.h"
#include "core/ProgramSettings.h"
#include "engines/OutBoxMessage.h"
#include "engines/SMTPSpooler.h"
#include "platform/EventWait.h"
#include "platform/ProgressDisplay.h"

using namespace testing_support;

namespace {

using CollectorHardMailTest = CollectorDovecotFixture;

TEST_F(CollectorHardMailTest, FoldedAndQuotedFromHeadersOfAFriendReachTheInBox) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    openLists();
    senders->SetStatus("", "friend@good.example", SenderStatus::Approved, "r");
    const char* froms[] = {
        "From: =?UTF-8?Q?Fr=C3=BCnd_mit_einem_sehr_langen_Namen_der_gefaltet_wird?=\r\n <friend@good.example>",
        "From: \"Friend <x@y>\" <friend@good.example>",
        "From:\r\n\t\"Friend, the (real) one\"\r\n\t<Friend@Good.example>",
    };
    int n = 0;
    for (const char* from : froms) {
        const std::string number = std::to_string(++n);
        deliver(std::string(from) + "\r\nTo: " + kMe + "\r\nSubject: folded " + number + "\r\nMessage-ID: <f" +
                number + "@good.example>\r\n\r\nhello\r\n");
    }
    ASSERT_TRUE(collect());
    EXPECT_EQ(ended, std::vector<std::int32_t>{3});
    EXPECT_EQ(storedIn("InBox").size(), 3u);
    EXPECT_EQ(leftCount(), 0u);
    EXPECT_EQ(messageLog().find("Invalid email address of sender"), std::string::npos);
}

TEST_F(CollectorHardMailTest, AFromHeaderThatCannotBeReadIsNeverDeleted) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    openLists();
    deliver("From: undisclosed-senders:;\r\nTo: " + kMe + "\r\nSubject: group\r\n\r\nhello\r\n");
    deliver("From: =?UTF-8?B?U29tZW9uZQ==?=\r\nTo: " + kMe + "\r\nSubject: name only\r\n\r\nhello\r\n");
    ASSERT_TRUE(collect());
    EXPECT_EQ(leftCount(), 2u);
    EXPECT_NE(messageLog().find("left on server because Sender address could not be read"), std::string::npos);
}

// RFC 5322 allows a message without a body, and without the empty line before it.
TEST_F(CollectorHardMailTest, AMessageThatIsOnlyAHeaderBlockIsCollected) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    openLists();
    senders->SetStatus("", "friend@good.example", SenderStatus::Approved, "r");
    const std::string head = "From: friend@good.example\r\nTo: " + kMe +
                             "\r\nSubject: headers only\r\nMessage-ID: <h1@good.example>\r\n";
    deliver(head);
    ASSERT_TRUE(collect());
    const auto inbox = storedIn("InBox");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(storedText("InBox", inbox[0]), head + "\r\n");
    EXPECT_EQ(leftCount(), 0u);
    const MessageIndexEntry* entry = store->Find(kMe + "\\MailDir\\InBox\\" + inbox[0]);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->Subject(), "headers only");
}

TEST_F(CollectorHardMailTest, AStrangerWithSeveralMessagesIsAskedToRegisterOnce) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    setOption("AutoSendRegRequests", "1");
    openLists();
    deliver(Mail("Stranger <stranger@far.example>", "one"));
    deliver(Mail("stranger@far.example", "two"));
    deliver(Mail("\"Forged\" <STRANGER@far.example>", "three"));
    deliver(Mail("other@far.example", "four"));
    ASSERT_TRUE(collect());
    EXPECT_EQ(ended, std::vector<std::int32_t>{4});
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[0].recipient, "Stranger <stranger@far.example>");
    EXPECT_EQ(queued[1].recipient, "other@far.example");
    EXPECT_EQ(storedIn("WaitingAuth").size(), 4u);
    EXPECT_EQ(senders->StatusOf("stranger@far.example"), SenderStatus::Unknown);

    // A later session: he is known now and gets no request either.
    deliver(Mail("stranger@far.example", "five"));
    ASSERT_TRUE(collectAgain());
    EXPECT_EQ(queued.size(), 2u);
}

TEST_F(CollectorHardMailTest, ApprovalReleasesTheMailOfASenderTooLongForAWholeFileName) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    openLists();
    const std::string address = std::string(200, 's') + "@" + std::string(21, 'd') + ".example";
    ASSERT_EQ(address.size(), 230u);
    deliver(Mail("Long <" + address + ">", "long one"));
    deliver(Mail(address, "long two"));
    ASSERT_TRUE(collect());
    ASSERT_EQ(storedIn("WaitingAuth").size(), 2u);
    EXPECT_EQ(senders->MessagesStoredAwaitingAuth(address), 2u);
    ASSERT_TRUE(senders->SetStatus("", address, SenderStatus::Approved, "ok"));
    EXPECT_TRUE(storedIn("WaitingAuth").empty());
    EXPECT_EQ(storedIn("InBox").size(), 2u);
}

TEST_F(CollectorHardMailTest, ASendersFileThatCannotBeWrittenIsReportedAndChangesNothing) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    openLists();
    senders->SetStatus("", "known@far.example", SenderStatus::Unknown, "r");
    deliver(Mail("stranger@far.example", "one"));
    const std::string before = ReadFile(ProgramFiles::SendersIniPath());
    ASSERT_TRUE(makeFileReadOnly(ProgramFiles::SendersIniPath())) << "no read-only files here";
    ASSERT_TRUE(collect());
    EXPECT_EQ(storedIn("WaitingAuth").size(), 1u) << "the message itself is safe";
    EXPECT_EQ(senders->StatusOf("stranger@far.example"), SenderStatus::NotListed);
    EXPECT_EQ(senders->List(SenderStatus::Unknown).Count(), 1u);
    EXPECT_EQ(ReadFile(ProgramFiles::SendersIniPath()), before);
    EXPECT_NE(programLog().find("Error in POP3CollectorForm::StoreMessage the sender stranger@far.example could "
                                "not be entered as unknown"),
              std::string::npos);

    // Approving a held sender moves nothing while the file refuses the change.
    const std::size_t held = storedIn("WaitingAuth").size();
    EXPECT_EQ(senders->ChangeStatus("", "known@far.example", SenderStatus::Approved, "no"), StatusChange::Failed);
    EXPECT_EQ(storedIn("WaitingAuth").size(), held);
    EXPECT_EQ(senders->StatusOf("known@far.example"), SenderStatus::Unknown);
}

// A refused password is no "no new messages": the progress text and the window hear
// why the account failed, until a session of it succeeds.
TEST_F(CollectorHardMailTest, ARefusedPasswordIsReportedUntilASessionSucceeds) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    addAccount(kMe, peer->port(), "alice", "wrong");
    openLists();
    QLabel label;
    QProgressBar bar;
    modProgress::AttachCollectControls(&label, &bar);
    std::vector<std::pair<std::string, std::string>> outcomes;
    POP3CollectorForm::Hooks hooks = recordingHooks();
    hooks.sessionOutcome = [&](std::string_view account, std::string_view failure) {
        outcomes.emplace_back(std::string(account), std::string(failure));
    };
    form = std::make_unique<POP3CollectorForm>(lists(), hooks);
    form->Form_Load();
    ASSERT_TRUE(waitForEnds(1));
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].first, kMe);
    EXPECT_TRUE(outcomes[0].second.starts_with("the server refused: -ERR ")) << outcomes[0].second;
    EXPECT_EQ(form->LastFailure(1), outcomes[0].second);
    EXPECT_EQ(label.text().toStdString(), "") << "the progress row is for progress; the window shows the failure";
    EXPECT_TRUE(logHas("# " + POP3CollectorForm::FailureText(kMe, outcomes[0].second))) << programLog();
    EXPECT_EQ(outcomes[0].second.find("wrong"), std::string::npos);

    addAccount(kMe, peer->port(), "alice", "secret");
    ASSERT_TRUE(collectAgain());
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[1], std::make_pair(kMe, std::string()));
    EXPECT_EQ(form->LastFailure(1), "");
    modProgress::AttachCollectControls(nullptr, nullptr);
}

// The same through the real outgoing queue: the SMTP server hears one request.
TEST_F(CollectorHardMailTest, TheStrangersOneRequestIsAllThatReachesTheSmtpServer) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot, PeerProgram::Aiosmtpd);
    platform::InstallEventPump();
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    setOption("AutoSendRegRequests", "1");
    {
        ProgramSettings settings;
        for (MessageText t : {MessageText::RegRequest1, MessageText::RegRequest2, MessageText::RegRequest3})
            settings.SetMessageText(t, "Please register.");
    }
    setAccountKey(kMe, "SMTPServer", "127.0.0.1");
    setAccountKey(kMe, "SMTPServerPort", std::to_string(smtp.port()));
    std::filesystem::create_directories(OutBox::FolderOf(kMe));
    openLists();
    SMTPSpooler spooler{SMTPSpooler::Hooks{}};
    POP3CollectorForm::Hooks hooks = recordingHooks();
    hooks.addNewMessage = POP3CollectorForm::SpoolerQueue(spooler);
    form = std::make_unique<POP3CollectorForm>(lists(), hooks);
    for (const char* subject : {"one", "two", "three"}) deliver(Mail("Stranger <stranger@far.example>", subject));
    form->Form_Load();
    ASSERT_TRUE(waitForEnds(1));
    // A run sends one mail and is over when fire() returns: four runs send all there is.
    for (int run = 0; run < 4; ++run) spooler.PollTimer().fire();
    ASSERT_TRUE(smtp.waitForTransactions(1));
    const QList<SmtpTransaction> sent = smtp.transactions();
    ASSERT_EQ(sent.size(), 1);
    EXPECT_EQ(sent[0].rcptTos, QStringList{"stranger@far.example"});
}

}  // namespace
