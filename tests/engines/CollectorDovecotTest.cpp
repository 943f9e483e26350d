// The collector against Debian's dovecot: what is stored, what is left on the server
// after QUIT, and what the registration traffic changes.
#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include "CollectorPeerFixture.h"
#include "core/Log.h"
#include "core/InstallationSecret.h"
#include "core/ServiceAddresses.h"
#include "engines/OwnMails.h"
#include "protocol/OwnMailSignature.h"
#include "platform/WindowHelpers.h"

using namespace testing_support;

class CollectorDovecotTest : public CollectorDovecotFixture {
protected:
    // Too large for the peer's command line: written into the maildir as the peer
    // would (LF line ends, owned by the mail user).
    void deliverLarge(const std::string& message) {
        std::string lf;
        lf.reserve(message.size());
        for (std::size_t i = 0; i < message.size(); ++i)
            if (!(message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n')) lf += message[i];
        const std::filesystem::path maildir = peer->home().toStdString() + "/mail/alice/Maildir";
        const std::filesystem::path temporary = maildir / "tmp" / "large.glp-peer";
        WriteFile(temporary, lf);
        const struct passwd* mail = ::getpwnam("mail");
        ASSERT_NE(mail, nullptr);
        ASSERT_EQ(::chown(temporary.c_str(), mail->pw_uid, mail->pw_gid), 0);
        std::filesystem::rename(temporary, maildir / "new" / "large.glp-peer");
    }
};

TEST_F(CollectorDovecotTest, AMixedMailboxIsFiledByItsVerdicts) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    setOption("AutoSendRegRequests", "1");
    openLists();
    senders->SetStatus("", "friend@there.test", SenderStatus::Approved, "r");
    senders->SetStatus("", "pest@there.test", SenderStatus::Blocked, "r");
    auto keep = std::make_shared<CRule>();
    keep->Name("keep");
    keep->SubjectPattern("keep on server");
    keep->Action(RuleAction::LeaveOnServer);
    ASSERT_TRUE(rules->Add(keep) && rules->SaveRules());

    deliver(Mail("Friend <friend@there.test>", "from a friend"));
    deliver(Mail("pest@there.test", "from a pest"));
    deliver(Mail("Stranger <stranger@there.test>", "from a stranger"));
    deliver(Mail("friend@there.test", "please keep on server"));
    ASSERT_TRUE(collect());

    EXPECT_EQ(ended, std::vector<std::int32_t>{2});
    EXPECT_EQ(leftSubjects(), std::vector<std::string>{"please keep on server"});
    const auto inbox = storedIn("InBox"), waiting = storedIn("WaitingAuth");
    ASSERT_EQ(inbox.size(), 1u);
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(inbox[0].rfind("friend@there.test ", 0), 0u);
    EXPECT_EQ(waiting[0].rfind("stranger@there.test ", 0), 0u);
    EXPECT_NE(store->Find(kMe + "\\MailDir\\InBox\\" + inbox[0]), nullptr);
    EXPECT_NE(store->Find(kMe + "\\MailDir\\WaitingAuth\\" + waiting[0]), nullptr);
    EXPECT_EQ(senders->StatusOf("stranger@there.test"), SenderStatus::Unknown);
    EXPECT_EQ(senders->NameOf("stranger@there.test"), "Stranger");
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].type, MessageType::RegistrationRequest);
    EXPECT_EQ(queued[0].recipient, "Stranger <stranger@there.test>");
    EXPECT_EQ(queued[0].subject, "from a stranger");

    const std::string log = messageLog();
    EXPECT_NE(log.find("Message from Friend <friend@there.test> Accepted because Sender is approved"), std::string::npos);
    EXPECT_NE(log.find("Message from pest@there.test deleted from server because Sender is blocked"), std::string::npos);
    EXPECT_NE(log.find("Message from Stranger <stranger@there.test> Downloaded for storage because Sender is unknown"),
              std::string::npos);
    EXPECT_NE(log.find("Message from friend@there.test left on server because Rule(s): keep;"), std::string::npos);
    EXPECT_NE(programLog().find("POP3 Collector Session ended 2 new messages for me@home.test"), std::string::npos);
    EXPECT_EQ(started, 1);
    EXPECT_EQ(MiscFuncs::BusyCounter(), 0);
    EXPECT_EQ(form->POP3ClientSocket(1)->state(), platform::SocketControl::kClosed);
    EXPECT_TRUE(form->PullTimer(1)->enabled());
    EXPECT_EQ(form->PullTimer(1)->interval(), POP3CollectorForm::kTickMs);
}

TEST_F(CollectorDovecotTest, DotStuffedBodiesAreStoredAsTheWireCarriesThem) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    openLists();
    senders->SetStatus("", "friend@there.test", SenderStatus::Approved, "r");
    const std::string message = Mail("friend@there.test", "dots", "first\r\n.\r\n..two\r\n.three\r\nlast\r\n");
    deliver(message);
    ASSERT_TRUE(collect());
    const auto inbox = storedIn("InBox");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_EQ(storedText("InBox", inbox[0]), Stuffed(message));
    EXPECT_TRUE(leftSubjects().empty());
}

TEST_F(CollectorDovecotTest, ARefusedPasswordLeavesEverythingAndRearmsTheTimer) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    MiscFuncs::SetLogLevel(1);
    addAccount(kMe, peer->port(), "alice", "wrong");
    openLists();
    deliver(Mail("friend@there.test", "still here"));
    ASSERT_TRUE(collect());
    EXPECT_EQ(ended, std::vector<std::int32_t>{0});
    const std::string log = programLog();
    const std::size_t end = log.find("POP3 Collector Session ended 0 new messages for me@home.test");
    const std::size_t error = log.find("POP3 Error! User me@home.test:-ERR ");
    ASSERT_NE(error, std::string::npos) << log;
    EXPECT_LT(end, error) << "the error follows the session end";
    EXPECT_EQ(log.find("wrong"), std::string::npos) << "no password in the log";
    EXPECT_EQ(leftSubjects(), std::vector<std::string>{"still here"});
    EXPECT_TRUE(form->PullTimer(1)->enabled());
    EXPECT_EQ(form->Tick(1), 0);
}

TEST_F(CollectorDovecotTest, RegistrationRepliesWithGoodAndBadCodes) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    MiscFuncs::SetLogLevel(3);
    setOption("ShowRegDialogs", "1");
    openLists();
    const std::string service = std::string(ServiceAddresses::ServiceSenderAddress);
    const auto reply = [&](const std::string& from, const std::string& code) {
        return Mail("Approval <" + service + ">", "Registration",
                    "AuthRequestName: \"Bob\"\r\nAuthRequestReason: we met\r\nAuthRequestCode: " + code +
                        "\r\nAuthRequestFrom: " + from + "\r\nAuthRequestTime: now\r\nAuthRequestToken: " +
                        OwnMailSignature::ApprovalToken(InstallationSecret::Key(), from, kMe) + "\r\n");
    };
    deliver(reply("Bob <bob@there.test>", RegCodeFor("Bob <bob@there.test>", kMe)));
    deliver(reply("eve@there.test", "1"));
    ASSERT_TRUE(collect());
    EXPECT_TRUE(leftSubjects().empty()) << "both replies are handled and deleted";
    const auto inbox = storedIn("InBox");
    ASSERT_EQ(inbox.size(), 1u) << "one reply file, no stored reply";
    EXPECT_TRUE(inbox[0].ends_with(".rrm"));
    CIniFile file((folder(kMe, "InBox") / inbox[0]).string());
    EXPECT_EQ(file.Value("RegRequest", "AuthRequestFrom"), "Bob <bob@there.test>");
    EXPECT_EQ(file.Value("RegRequest", "AuthRequestName"), "Bob");
    EXPECT_EQ(file.Value("RegRequest", "AuthRequestCode"), "");
    EXPECT_NE(programLog().find("Received incorect RegCode from eve@there.test"), std::string::npos);
    EXPECT_EQ(senders->StatusOf("eve@there.test"), SenderStatus::NotListed);

    setOption("ShowRegDialogs", "");
    deliver(reply("Bob <bob@there.test>", RegCodeFor("Bob <bob@there.test>", kMe)));
    ASSERT_TRUE(collectAgain());
    EXPECT_EQ(senders->StatusOf("bob@there.test"), SenderStatus::Approved);
    EXPECT_EQ(senders->ReasonOf("bob@there.test"), "we met");
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].type, MessageType::Confirmation);
    EXPECT_EQ(queued[0].account, kMe);
    EXPECT_EQ(queued[0].recipient, "Bob <bob@there.test>");
    EXPECT_EQ(queued[0].subject, "Thank you for registering");
    EXPECT_NE(programLog().find("Registration: Sending confirmation to bob@there.test"), std::string::npos);
}

// The code follows a published rule, so anyone can write a reply with the right one:
// without our token (or with one changed by a character) it approves nobody, thanks
// nobody and releases nothing; the sender waits for the user's approval.
TEST_F(CollectorDovecotTest, AForgedReplyWithTheRightCodeApprovesNobody) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    MiscFuncs::SetLogLevel(3);
    setOption("ShowRegDialogs", "");
    openLists();
    const std::string service = std::string(ServiceAddresses::ServiceSenderAddress);
    std::string changed = OwnMailSignature::ApprovalToken(InstallationSecret::Key(), "eve@there.test", kMe);
    changed[5] = changed[5] == 'a' ? 'b' : 'a';
    const struct {
        std::string from;
        std::string tokenLine;
    } forged[] = {
        {"eve@there.test", ""},
        {"mallory@there.test", "AuthRequestToken: " + changed + "\r\n"},
        {"trent@there.test", "AuthRequestToken: " +
                                 OwnMailSignature::ApprovalToken(InstallationSecret::Key(), "other@there.test", kMe) +
                                 "\r\n"},
    };
    for (const auto& f : forged) {
        deliver(Mail(f.from, "Lunch?"));
        deliver(Mail("Approval <" + service + ">", "Registration",
                     "AuthRequestName: Eve\r\nAuthRequestReason: trust me\r\nAuthRequestCode: " +
                         RegCodeFor(f.from, kMe) + "\r\nAuthRequestFrom: " + f.from + "\r\n" + f.tokenLine));
    }
    ASSERT_TRUE(collect());
    EXPECT_TRUE(leftSubjects().empty());
    for (const auto& f : forged) {
        EXPECT_EQ(senders->StatusOf(f.from), SenderStatus::WaitingAuth) << f.from;
        EXPECT_NE(programLog().find("Registration reply without a valid token from " + f.from), std::string::npos);
    }
    EXPECT_EQ(senders->NameOf("eve@there.test"), "Eve");
    EXPECT_EQ(senders->ReasonOf("eve@there.test"), "trust me");
    for (const QueuedMail& q : queued) EXPECT_NE(q.type, MessageType::Confirmation) << "nobody is thanked";
    EXPECT_TRUE(storedIn("InBox").empty()) << "nothing is released";
    EXPECT_EQ(storedIn("WaitingAuth").size(), 3u);
}

// The header block of a registration request this installation sent to `to`, signed, as a
// bounce returns it.
std::string returnedHead(const std::string& to) {
    OwnMails::MailHead head{MessageType::RegistrationRequest, "Me", kMe, to, "hi",
                            "0123456789ABCDEF0123456789ABCDEF", "host.test", OwnMails::NewBoundary(),
                            InstallationSecret::Key()};
    GeneratedMail mail;
    const std::string sent = OwnMails::ComposeMessage(head, mail);
    return sent.substr(0, sent.find("\r\n\r\n") + 2);
}

TEST_F(CollectorDovecotTest, ABounceBlocksTheRequestsRecipientAndOtherReportsAreKept) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    openLists();
    senders->SetStatus("", "friend@there.test", SenderStatus::Approved, "r");
    const std::string returned = "This is the mail system.\r\n\r\n--- returned headers ---\r\n" +
                                 returnedHead("gone@nowhere.test") + "\r\n";
    deliver(Mail("Mail Delivery System <MAILER-DAEMON@mx.test>", "Undelivered Mail", returned));
    deliver(Mail("postmaster@mx.test", "Undelivered Mail", "\r\n" + returnedHead("friend@there.test")));
    // A bounce anyone could write: the marker and a recipient, but no signature of ours.
    deliver(Mail("postmaster@mx.test", "Delivery report",
                 "Your mail was delivered.\r\n\r\nX-GLP-RCPT: victim@there.test\r\nX-GLP-MESSAGE: REGREQUEST\r\n"));
    ASSERT_TRUE(collect());
    EXPECT_TRUE(leftSubjects().empty());
    EXPECT_EQ(senders->StatusOf("gone@nowhere.test"), SenderStatus::Blocked);
    EXPECT_EQ(senders->ReasonOf("gone@nowhere.test"), "Registration request message bounced back");
    EXPECT_EQ(senders->StatusOf("friend@there.test"), SenderStatus::Approved) << "a bounce never blocks a friend";
    EXPECT_EQ(senders->StatusOf("victim@there.test"), SenderStatus::NotListed) << "an unsigned bounce blocks nobody";
    const auto inbox = storedIn("InBox");
    ASSERT_EQ(inbox.size(), 1u) << "bounces are not stored, the report is";
    EXPECT_NE(storedText("InBox", inbox[0]).find("Your mail was delivered."), std::string::npos);
    EXPECT_EQ(ended, std::vector<std::int32_t>{1});
    const std::string log = messageLog();
    EXPECT_NE(log.find("MAILER-DAEMON@mx.test> inspected and deleted from server because Bounced registration request"),
              std::string::npos);
    EXPECT_NE(log.find("Message from postmaster@mx.test inspected and ccepted because Unknown service message"),
              std::string::npos);
}

// "Automatically delete bounced registration requests" unchecked: the bounce is kept in
// the inbox for the user to read; its recipient is blocked as before.
TEST_F(CollectorDovecotTest, WithAutoDeleteBouncedOffABounceIsKeptInTheInBox) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    setOption("AutoDeleteBounced", "0");
    openLists();
    deliver(Mail("Mail Delivery System <MAILER-DAEMON@mx.test>", "Undelivered Mail",
                 "--- returned headers ---\r\n" + returnedHead("gone@nowhere.test") + "\r\n"));
    ASSERT_TRUE(collect());
    EXPECT_TRUE(leftSubjects().empty());
    EXPECT_EQ(senders->StatusOf("gone@nowhere.test"), SenderStatus::Blocked);
    const auto inbox = storedIn("InBox");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_NE(storedText("InBox", inbox[0]).find("X-GLP-RCPT: gone@nowhere.test"), std::string::npos);
    EXPECT_EQ(ended, std::vector<std::int32_t>{1});
    EXPECT_NE(messageLog().find("MAILER-DAEMON@mx.test> inspected and ccepted because Bounced registration request"),
              std::string::npos)
        << messageLog();
}

TEST_F(CollectorDovecotTest, AMessageThatCannotBeSavedStaysOnTheServer) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    openLists();
    senders->SetStatus("", "friend@there.test", SenderStatus::Approved, "r");
    senders->SetStatus("", "unreg@there.test", SenderStatus::Unknown, "r");
    ASSERT_TRUE(makeReadOnly(folder(kMe, "InBox"))) << "no read-only folders here";
    deliver(Mail("friend@there.test", "accepted one"));
    deliver(Mail("unreg@there.test", "held one"));
    deliver(Mail("friend@there.test", "accepted two"));
    ASSERT_TRUE(collect());
    EXPECT_EQ(leftSubjects(), (std::vector<std::string>{"accepted one", "accepted two"}));
    EXPECT_EQ(storedIn("WaitingAuth").size(), 1u) << "the messages after a failed one are stored";
    EXPECT_EQ(ended, std::vector<std::int32_t>{1});
    // A session that ended well all the same has failed: the user must make room.
    EXPECT_EQ(form->LastFailure(1), "2 message(s) could not be stored and stay on the server");
    MiscFuncs::SetLogLevel(0);
    EXPECT_TRUE(logHas("# Collecting me@home.test failed: 2 message(s) could not be stored and stay on the server"))
        << programLog();

    ASSERT_TRUE(SetFolderReadOnly(folder(kMe, "InBox"), false));
    ASSERT_TRUE(collectAgain());
    EXPECT_TRUE(leftSubjects().empty());
    EXPECT_EQ(storedIn("InBox").size(), 2u);
    EXPECT_EQ(storedIn("WaitingAuth").size(), 1u) << "nothing is stored twice";
    EXPECT_EQ(form->LastFailure(1), "");
}

TEST_F(CollectorDovecotTest, AFiftyMegabyteMessage) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    openLists();
    senders->SetStatus("", "friend@there.test", SenderStatus::Approved, "r");
    std::string body;
    body.reserve(51u << 20);
    const std::string line(76, 'x');
    for (int i = 0; body.size() < (50u << 20); ++i) body += (i % 1000 == 0 ? "." : "") + line + "\r\n";
    const std::string message = Mail("friend@there.test", "big", body);
    deliverLarge(message);
    ASSERT_TRUE(collect());
    const auto inbox = storedIn("InBox");
    ASSERT_EQ(inbox.size(), 1u);
    EXPECT_TRUE(storedText("InBox", inbox[0]) == Stuffed(message)) << "stored byte for byte";
    EXPECT_TRUE(leftSubjects().empty());
}
