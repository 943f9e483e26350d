// The filter's ten tests, in their order, with the cases where the order matters.
#include "protocol/MessageFilter.h"

#include <gtest/gtest.h>

#include "CollectorFixture.h"
#include "core/ProgramSettings.h"
#include "core/InstallationSecret.h"
#include "core/ServiceAddresses.h"
#include "engines/OwnMails.h"

using namespace testing_support;

namespace {

struct Verdict {
    FilterVerdict verdict;
    std::string reason;
};

}  // namespace

class MessageFilterTest : public CollectorTest {
protected:
    void SetUp() override {
        CollectorTest::SetUp();
        addAccount(kMe);
        addAccount("second@home.test");
        addAlias("other@elsewhere.test");
        addAlias("*@alias.test");
    }
    MessageFilter& filter() {
        if (!filter_) {
            openLists();
            accounts_ = std::make_unique<CIniFile>(ProgramFiles::AccountsIniPath().string());
            aliases_ = std::make_unique<CIniFile>(ProgramFiles::AliasesIniPath().string());
            settings_ = std::make_unique<ProgramSettings>();
            filter_ = std::make_unique<MessageFilter>(*accounts_, *aliases_, *settings_, *domains, *rules, *senders);
        }
        return *filter_;
    }
    Verdict run(const std::string& headers) {
        const CMessage m = message(headers);
        Verdict v;
        v.verdict = filter().FilterMessage(kMe, m, v.reason);
        return v;
    }
    Verdict from(const std::string& sender, const std::string& more = "Subject: hello") {
        return run("From: " + sender + "\r\nTo: " + kMe + "\r\n" + more);
    }
    void addRule(const std::string& name, const std::string& subject, RuleAction action) {
        auto rule = std::make_shared<CRule>();
        rule->Name(name);
        rule->SubjectPattern(subject);
        rule->Action(action);
        ASSERT_TRUE(rules->Add(rule));
        ASSERT_TRUE(rules->SaveRules());
    }
    void hold(const std::string& sender, int n) {
        const std::string name = sender + " " + std::to_string(n) + ".eml";
        WriteFile(folder(kMe, "WaitingAuth") / name, "From: " + sender + "\r\nSubject: s\r\n\r\nbody\r\n");
        ASSERT_TRUE(store->AddMessage(kMe, name, "MailDir\\WaitingAuth"));
    }

    void TearDown() override {
        filter_.reset();
        CollectorTest::TearDown();
    }

    std::unique_ptr<CIniFile> accounts_, aliases_;
    std::unique_ptr<ProgramSettings> settings_;
    std::unique_ptr<MessageFilter> filter_;
};

TEST_F(MessageFilterTest, RepliesOfTheApprovalServiceComeFirst) {
    const Verdict v = from("\"Approval\" <" + std::string(ServiceAddresses::ServiceSenderAddress) + ">");
    EXPECT_EQ(v.verdict, FilterVerdict::RegistrationReply);
    EXPECT_EQ(v.reason, "");
}

TEST_F(MessageFilterTest, SendersWithoutAUsableAddress) {
    const struct {
        std::string from;
        FilterVerdict verdict;
        std::string_view reason;
    } cases[] = {
        {"a@b", FilterVerdict::DeleteFromServer, FilterReasons::InvalidSender},
        {"Odd <a+b@x.example>", FilterVerdict::DeleteFromServer, FilterReasons::InvalidSender},
        // Present but unreadable: never deleted unread.
        {"Someone <not an address>", FilterVerdict::LeaveOnServer, FilterReasons::NoSenderAddress},
        {"Friends: a@b.example, c@d.example;", FilterVerdict::LeaveOnServer, FilterReasons::NoSenderAddress},
        {"=?UTF-8?Q?Fr=C3=BCnd?=", FilterVerdict::LeaveOnServer, FilterReasons::NoSenderAddress},
        {"\"x\" <fr\xC3\xBCnd@good.example>", FilterVerdict::LeaveOnServer, FilterReasons::NoSenderAddress},
        {"<>", FilterVerdict::LeaveOnServer, FilterReasons::NoSenderAddress},
        {"", FilterVerdict::LeaveOnServer, FilterReasons::NoSenderAddress},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        const Verdict v = from(c.from);
        EXPECT_EQ(v.verdict, c.verdict);
        EXPECT_EQ(v.reason, c.reason);
    }
    const Verdict none = run("To: " + kMe + "\r\nSubject: no From at all");
    EXPECT_EQ(none.verdict, FilterVerdict::LeaveOnServer);
}

TEST_F(MessageFilterTest, TheAccountTestMailIsDeletedOnlyWhenSentToItself) {
    const Verdict self = run("From: Me <me@home.test>\r\nTo: me@HOME.test\r\nSubject: Glimmerpost test message");
    EXPECT_EQ(self.verdict, FilterVerdict::DeleteFromServer);
    EXPECT_EQ(self.reason, "Test message of Glimmerpost");
    const Verdict other =
        run("From: me@home.test\r\nTo: friend@there.test\r\nSubject: Re: Glimmerpost test message");
    EXPECT_EQ(other.verdict, FilterVerdict::Accept);
    EXPECT_EQ(other.reason, "Message from your one of your accounts");
}

TEST_F(MessageFilterTest, OwnAccountsAndAliasesAreAccepted) {
    const struct {
        std::string from;
        FilterVerdict verdict;
        std::string_view reason;
    } cases[] = {
        {"SECOND@home.test", FilterVerdict::Accept, FilterReasons::OwnAccount},
        {"Other <other@elsewhere.test>", FilterVerdict::Accept, FilterReasons::OwnAlias},
        {"anyone@ALIAS.test", FilterVerdict::Accept, FilterReasons::OwnAlias},
        {"anyone@sub.alias.test", FilterVerdict::UnknownSender, FilterReasons::SenderUnknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        const Verdict v = from(c.from);
        EXPECT_EQ(v.verdict, c.verdict);
        EXPECT_EQ(v.reason, c.reason);
    }
}

TEST_F(MessageFilterTest, TheDomainListComesBeforeTheSenderList) {
    filter();
    domains->SetStatus("friends.test", DomainStatus::Approved, "");
    domains->SetStatus("spam.test", DomainStatus::Blocked, "");
    senders->SetStatus("", "bob@friends.test", SenderStatus::Blocked, "r");
    senders->SetStatus("", "carol@spam.test", SenderStatus::Approved, "r");
    const Verdict approved = from("bob@friends.test");
    EXPECT_EQ(approved.verdict, FilterVerdict::Accept);
    EXPECT_EQ(approved.reason, "Domain is in approved list");
    const Verdict blocked = from("carol@spam.test");
    EXPECT_EQ(blocked.verdict, FilterVerdict::DeleteFromServer);
    EXPECT_EQ(blocked.reason, "Domain is in blocked list");
}

namespace {

// The header block of one of this installation's requests, as the program sends it,
// from an address that is no account (any more).
std::string SignedRequestHead(const std::string& from, const std::string& to) {
    OwnMails::MailHead head{MessageType::RegistrationRequest, "Former", from, to, "request",
                            "0123456789ABCDEF0123456789ABCDEF", "host.test", OwnMails::NewBoundary(),
                            InstallationSecret::Key()};
    GeneratedMail mail;
    mail.TextBody = "text";
    mail.HtmlBody = "html";
    const std::string message = OwnMails::ComposeMessage(head, mail);
    return message.substr(0, message.find("\r\n\r\n"));
}

}  // namespace

TEST_F(MessageFilterTest, OwnRequestsComeBeforeRulesAndRulesBeforeTheRest) {
    filter();
    addRule("drop requests", "request", RuleAction::DeleteFromServer);
    addRule("keep", "keep me", RuleAction::LeaveOnServer);
    const Verdict request = run(SignedRequestHead("former@home.test", "stranger@there.test"));
    EXPECT_EQ(request.verdict, FilterVerdict::Accept);
    EXPECT_EQ(request.reason, "");
    const Verdict kept = from("stranger@there.test", "Subject: please keep me");
    EXPECT_EQ(kept.verdict, FilterVerdict::LeaveOnServer);
    EXPECT_EQ(kept.reason, "Rule(s): keep;");
    const Verdict dropped = from("postmaster@there.test", "Subject: your request");
    EXPECT_EQ(dropped.verdict, FilterVerdict::DeleteFromServer) << "a rule beats the service mailbox test";
}

// Anyone can write the marker: a stranger's message that carries it, as a field of its
// own, folded into another field, or under the signed headers of a request he received
// copied onto his own message, is filtered like any other (here: he is unknown).
TEST_F(MessageFilterTest, AnUnsignedOrCopiedRequestMarkerEarnsNothing) {
    filter();
    const std::string copied = SignedRequestHead("former@home.test", "stranger@there.test");
    std::string ownFrom = copied;
    ownFrom.replace(ownFrom.find("From: "), ownFrom.find("\r\n") + 2, "From: stranger@there.test\r\n");
    std::string signatureOnly;  // the signed lines, without the request's own From
    for (std::size_t pos = 0; pos < copied.size();) {
        std::size_t end = copied.find("\r\n", pos);
        if (end == std::string::npos) end = copied.size();
        const std::string line = copied.substr(pos, end - pos);
        if (line.starts_with("X-GLP-") || line.starts_with("Message-ID:")) signatureOnly += line + "\r\n";
        pos = end + 2;
    }
    const struct {
        const char* what;
        std::string headers;
    } cases[] = {
        {"the marker on a line of its own", "From: stranger@there.test\r\nSubject: hi\r\nX-GLP-MESSAGE: REGREQUEST"},
        {"the marker folded into another field",
         "From: stranger@there.test\r\nSubject: hi\r\n X-GLP-MESSAGE: REGREQUEST\r\nX-Other: a\r\n\tX-GLP-MESSAGE: REGREQUEST"},
        {"a forged signature", "From: stranger@there.test\r\nX-GLP-RCPT: stranger@there.test\r\n"
                               "Message-ID: <a@b>\r\nX-GLP-MESSAGE: REGREQUEST\r\nX-GLP-SIGNATURE: "
                               "0123456789ABCDEF0123456789ABCDEF 0123456789abcdef0123456789abcdef"},
        {"a request's signed headers under his own From", ownFrom},
        {"a request's signed headers added to his own message",
         "From: stranger@there.test\r\nSubject: buy now\r\n" + signatureOnly},
    };
    for (const auto& c : cases) {
        const Verdict v = run(c.headers);
        EXPECT_EQ(v.verdict, FilterVerdict::UnknownSender) << c.what;
        EXPECT_EQ(v.reason, "Sender is unknown") << c.what;
    }
    InstallationSecret::Forget();
}

TEST_F(MessageFilterTest, ServiceMailboxesInAnyCase) {
    for (const std::string sender : {"MAILER-DAEMON@there.test", "PostMaster@there.test"}) {
        const Verdict v = from(sender);
        EXPECT_EQ(v.verdict, FilterVerdict::ServiceMessage) << sender;
        EXPECT_EQ(v.reason, "From service mailbox (postmaster)");
    }
}

TEST_F(MessageFilterTest, TheSenderListDecidesLast) {
    filter();
    senders->SetStatus("", "blocked@there.test", SenderStatus::Blocked, "r");
    senders->SetStatus("", "approved@there.test", SenderStatus::Approved, "r");
    senders->SetStatus("", "waiting@there.test", SenderStatus::WaitingAuth, "r");
    const struct {
        std::string from;
        FilterVerdict verdict;
        std::string_view reason;
    } cases[] = {
        {"new@there.test", FilterVerdict::UnknownSender, FilterReasons::SenderUnknown},
        {"blocked@there.test", FilterVerdict::DeleteFromServer, FilterReasons::SenderBlocked},
        {"Approved@there.test", FilterVerdict::Accept, FilterReasons::SenderApproved},
        {"waiting@there.test", FilterVerdict::HoldUnregistered, FilterReasons::AwaitingApproval},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        const Verdict v = from(c.from);
        EXPECT_EQ(v.verdict, c.verdict);
        EXPECT_EQ(v.reason, c.reason);
    }
    EXPECT_EQ(senders->StatusOf("waiting@there.test"), SenderStatus::WaitingAuth) << "held, status untouched";
}

TEST_F(MessageFilterTest, AnUnregisteredSenderIsHeldUpToTheAccountsLimit) {
    filter();
    const std::string who = "unreg@there.test";
    senders->SetStatus("", who, SenderStatus::Unknown, "first");
    for (int i = 1; i <= 3; ++i) hold(who, i);
    for (const std::string limit : {"", "soon", "4"}) {
        SCOPED_TRACE("limit '" + limit + "'");
        setAccountKey(kMe, "UnAuthSenderMaxMessageCount", limit);
        const Verdict v = from(who, "Subject: newest (" + limit + ")");
        EXPECT_EQ(v.verdict, FilterVerdict::HoldUnregistered);
        EXPECT_EQ(v.reason, "Sender is not registered, but message limit is not exceeded");
        EXPECT_EQ(senders->ReasonOf(who), "newest (" + limit + ")") << "the reason is the latest held subject";
    }
    setAccountKey(kMe, "UnAuthSenderMaxMessageCount", "3");
    const Verdict over = from(who, "Subject: fourth");
    EXPECT_EQ(over.verdict, FilterVerdict::DeleteFromServer);
    EXPECT_EQ(over.reason, "Sender is not registered, message limit is exceeded");
    EXPECT_EQ(senders->StatusOf(who), SenderStatus::Blocked);
    EXPECT_EQ(senders->ReasonOf(who), "Maximum number of messages exceeded");
}

// "Limit number of messages from unknown senders to" and "Auto reject senders exceeding
// limit" of the General tab, and the account's own limit, which takes their place.
TEST_F(MessageFilterTest, TheGeneralTabsLimitHoldsLeavesOrRejectsAnUnregisteredSender) {
    const struct {
        const char* limitOn;
        const char* count;
        const char* reject;
        const char* accountLimit;
        FilterVerdict verdict;
        SenderStatus after;
    } cases[] = {
        {"0", "2", "1", "", FilterVerdict::HoldUnregistered, SenderStatus::Unknown},  // no limit checked
        {"", "2", "1", "", FilterVerdict::HoldUnregistered, SenderStatus::Unknown},   // fresh settings
        {"1", "3", "1", "", FilterVerdict::HoldUnregistered, SenderStatus::Unknown},  // 2 held, below 3
        {"1", "2", "0", "", FilterVerdict::LeaveOnServer, SenderStatus::Unknown},     // at the limit, kept
        {"1", "2", "1", "", FilterVerdict::DeleteFromServer, SenderStatus::Blocked},  // at the limit, rejected
        {"1", "", "1", "", FilterVerdict::HoldUnregistered, SenderStatus::Unknown},   // blank count: 5
        {"1", "2", "1", "9", FilterVerdict::HoldUnregistered, SenderStatus::Unknown}, // the account's own limit
        {"1", "9", "0", "2", FilterVerdict::DeleteFromServer, SenderStatus::Blocked}, // ... blocks at it
        {"0", "", "0", "2", FilterVerdict::DeleteFromServer, SenderStatus::Blocked},
    };
    filter();
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("limit ") + c.limitOn + " count " + c.count + " reject " + c.reject + " account " +
                     c.accountLimit);
        const std::string who = "flood" + std::to_string(++n) + "@there.test";
        setOption("LimitMessagesFromUnknown", c.limitOn);
        setOption("MaxMessagesCountFromUnknown", c.count);
        setOption("AutoRejectSendersExceedingLimit", c.reject);
        setAccountKey(kMe, "UnAuthSenderMaxMessageCount", c.accountLimit);
        ASSERT_TRUE(senders->SetStatus("", who, SenderStatus::Unknown, "first"));
        hold(who, 1);
        hold(who, 2);
        const Verdict v = from(who, "Subject: third");
        EXPECT_EQ(v.verdict, c.verdict);
        EXPECT_EQ(senders->StatusOf(who), c.after);
        EXPECT_EQ(v.reason, c.verdict == FilterVerdict::HoldUnregistered
                                ? "Sender is not registered, but message limit is not exceeded"
                                : "Sender is not registered, message limit is exceeded");
    }
}

TEST_F(MessageFilterTest, TheHeldSendersDateFollowsUseMessageDate) {
    setOption("UseMessageDate", "1");
    filter();
    const std::string who = "dated@there.test";
    senders->SetStatus("", who, SenderStatus::Unknown, "first");
    from(who, "Subject: s\r\nDate: Tue, 10 Dec 2002 13:45:12 +0100");
    const SenderEntry* entry = senders->List(SenderStatus::Unknown).Find(who);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->Minutes, MiscFuncs::DateToMinutes(MiscFuncs::DateSerial(2002, 12, 10) +
                                                       MiscFuncs::TimeSerial(13, 45, 12)));
}
