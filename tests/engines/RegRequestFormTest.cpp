// The registration pop-up: requests found by the poll timer, the three answers and
// the switch that stops the asking.
#include "RegRequestFixture.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

const std::string kBob = "bob@far.test";
const std::string kBobFrom = "\"Bob Stone\" <Bob@Far.test>";

TEST_F(RegRequestTest, TheWindowShowsTheRequestWithTheTextsAndCaptionsOfTheForm) {
    reply(kHome, "46364D3301.rrm", kBobFrom, "Bob Stone", "We met in Oslo");
    EXPECT_TRUE(form->PollTimer().armed());
    EXPECT_EQ(form->PollTimer().interval(), 30000);
    EXPECT_FALSE(form->ShowTimer().enabled());
    EXPECT_FALSE(form->isVisible());

    ASSERT_TRUE(poll());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->windowTitle().toStdString(), "Registration request");
    EXPECT_EQ(label("lNewRegRequest"), "New registration request arrived!");
    EXPECT_EQ(label("lSenderName"), "Sender name:");
    EXPECT_EQ(label("Label4"), "Sender e-mail:");
    EXPECT_EQ(label("lSenderReason"), "Reason:");
    EXPECT_EQ(control<QGroupBox>("Frame1")->title().toStdString(), "Sender information");
    EXPECT_EQ(control<QCheckBox>("cbAlwaysApprove")->text().toStdString(),
              "Automatically approve senders who have passed registration process");
    EXPECT_EQ(control<QPushButton>("bApprove")->text().toStdString(), "Approve");
    EXPECT_EQ(control<QPushButton>("bReject")->text().toStdString(), "Reject");
    EXPECT_EQ(label("lSendersName"), "Bob Stone");
    EXPECT_EQ(label("lSendersEmail"), kBobFrom);
    EXPECT_EQ(label("lReason"), "We met in Oslo");
    EXPECT_FALSE(form->PollTimer().enabled());
    EXPECT_TRUE(form->ShowTimer().armed());
    EXPECT_EQ(form->request().account, kHome);
    EXPECT_TRUE(logHas("i Registration of sender: bob@far.test\r\n"));
    // Shown in place, never taking the focus from the user's work.
    EXPECT_TRUE(form->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_FALSE(form->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST_F(RegRequestTest, ApproveAdmitsTheHeldMailQueuesTheConfirmationAndDeletesTheFile) {
    const std::string held = hold(kHome, kBob);
    const fs::path file = reply(kHome, "46364D3301.rrm", kBobFrom, "Bob Stone", "We met in Oslo");
    ASSERT_TRUE(poll());
    click("bApprove");

    EXPECT_EQ(senders->StatusOf(kBob), SenderStatus::Approved);
    EXPECT_EQ(senders->NameOf(kBob), "Bob Stone");
    EXPECT_EQ(senders->ReasonOf(kBob), "We met in Oslo");
    EXPECT_TRUE(stored(kHome, "InBox", held));
    EXPECT_FALSE(stored(kHome, "WaitingAuth", held));
    EXPECT_FALSE(fs::exists(file));
    const std::vector<OutBox::Contents> mails = queued(kHome);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].type, MessageType::Confirmation);
    EXPECT_EQ(mails[0].recipient, kBobFrom);
    EXPECT_EQ(mails[0].subject, "Thank you for registering");
    EXPECT_TRUE(queued(kOther).empty());
    EXPECT_TRUE(logHas("i Registration: Sending confirmation to bob@far.test\r\n"));
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->PollTimer().armed());
    EXPECT_FALSE(form->ShowTimer().enabled());
    EXPECT_EQ(option("ShowRegDialogs"), "1");
    EXPECT_TRUE(prompts.empty());
}

TEST_F(RegRequestTest, RejectBlocksTheSenderRecyclesHisMailAndSendsNothing) {
    const std::string held = hold(kHome, kBob);
    const fs::path file = reply(kHome, "46364D3301.rrm", kBobFrom, "Bob Stone", "We met in Oslo");
    ASSERT_TRUE(poll());
    click("bReject");

    EXPECT_EQ(senders->StatusOf(kBob), SenderStatus::Blocked);
    EXPECT_EQ(senders->ReasonOf(kBob), "Blocked because We met in Oslo");
    EXPECT_TRUE(stored(kHome, "Recycled", held));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(confirmations, 0);
    EXPECT_TRUE(queued(kHome).empty());
    EXPECT_TRUE(logHas("i Trying to kill file :" + file.string() + "\r\n"));
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->PollTimer().armed());
}

TEST_F(RegRequestTest, WithoutAnAnswerTheWindowHidesAfterTheIntervalAndTheSenderWaits) {
    const std::string held = hold(kHome, kBob);
    const fs::path file = reply(kHome, "46364D3301.rrm", kBobFrom, "Bob Stone", "We met in Oslo");
    ASSERT_TRUE(poll());
    EXPECT_EQ(form->countdown(), 2);  // one minute: two more ticks in front, then the end

    for (int tick = 1; tick <= 2; ++tick) {
        ASSERT_TRUE(tickShow());
        EXPECT_TRUE(form->isVisible()) << tick;
        EXPECT_EQ(form->countdown(), 2 - tick);
    }
    EXPECT_EQ(senders->StatusOf(kBob), SenderStatus::NotListed);
    ASSERT_TRUE(tickShow());

    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(senders->StatusOf(kBob), SenderStatus::WaitingAuth);
    EXPECT_TRUE(senders->List(SenderStatus::WaitingAuth).Find(kBob) != nullptr);
    EXPECT_TRUE(stored(kHome, "WaitingAuth", held));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(confirmations, 0);
    EXPECT_TRUE(form->PollTimer().armed());
    EXPECT_FALSE(form->ShowTimer().enabled());
    EXPECT_TRUE(logHas("i Registration: Hiding form\r\n"));
    EXPECT_TRUE(logHas("i Registration: Done \r\n"));
}

TEST_F(RegRequestTest, TheCountdownFollowsTheSetting) {
    struct Case {
        const char* stored;
        int countdown;
    } cases[] = {{"0", 0}, {"3", 6}, {"", 2}, {"soon", 2}, {"20000", 32767}, {"99999", 2}};
    for (const Case& c : cases) {
        setOption("RegDialogShowInterval", c.stored);
        reply(kHome, "46364D3301.rrm", kBobFrom, "Bob Stone", "r");
        ASSERT_TRUE(poll()) << c.stored;
        EXPECT_EQ(form->countdown(), c.countdown) << c.stored;
        click("bReject");
        senders->SetStatus("", kBob, SenderStatus::Unknown, "");
    }
}

TEST_F(RegRequestTest, AlwaysApproveAtARejectionApprovesTheLaterRequestsOnePerTick) {
    reply(kHome, "46364D3301.rrm", kBobFrom, "Bob Stone", "first");
    const std::vector<std::string> later = {"ann@far.test", "cid@far.test", "dee@far.test"};
    for (std::size_t i = 0; i < later.size(); ++i) {
        reply(kHome, "46364D330" + std::to_string(i + 2) + ".rrm", later[i], "", "later");
    }
    ASSERT_TRUE(poll());
    control<QCheckBox>("cbAlwaysApprove")->setChecked(true);
    click("bReject");
    EXPECT_EQ(senders->StatusOf(kBob), SenderStatus::Blocked);
    EXPECT_EQ(option("ShowRegDialogs"), "0");

    for (std::size_t i = 0; i < later.size(); ++i) {
        ASSERT_TRUE(poll());
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(senders->StatusOf(later[i]), SenderStatus::Approved) << later[i];
        EXPECT_EQ(queued(kHome).size(), i + 1);
        EXPECT_TRUE(form->PollTimer().armed());
    }
    ASSERT_TRUE(poll());
    EXPECT_EQ(queued(kHome).size(), later.size());
    EXPECT_EQ(queued(kHome).back().recipient, "dee@far.test");
}

TEST_F(RegRequestTest, AlwaysApproveAtATimeOutStopsTheAsking) {
    reply(kHome, "46364D3301.rrm", kBobFrom, "Bob Stone", "first");
    setOption("RegDialogShowInterval", "0");
    ASSERT_TRUE(poll());
    control<QCheckBox>("cbAlwaysApprove")->setChecked(true);
    ASSERT_TRUE(tickShow());
    EXPECT_EQ(senders->StatusOf(kBob), SenderStatus::WaitingAuth);
    EXPECT_EQ(option("ShowRegDialogs"), "0");
}

TEST_F(RegRequestTest, RepliesOfTwoAccountsAreShownInTurnInAccountOrder) {
    reply(kOther, "46364D3301.rrm", "ann@far.test", "Ann", "second account");
    reply(kHome, "46364D3309.rrm", kBobFrom, "Bob Stone", "first account");
    ASSERT_TRUE(poll());
    EXPECT_EQ(form->request().address, kBob);
    EXPECT_EQ(form->request().account, kHome);
    EXPECT_FALSE(poll());  // no polling while a request is on show
    click("bApprove");

    ASSERT_TRUE(poll());
    EXPECT_EQ(form->request().address, "ann@far.test");
    EXPECT_EQ(form->request().account, kOther);
    click("bApprove");
    EXPECT_EQ(queued(kHome).size(), 1u);
    ASSERT_EQ(queued(kOther).size(), 1u);
    EXPECT_EQ(queued(kOther)[0].recipient, "ann@far.test");
    ASSERT_TRUE(poll());
    EXPECT_FALSE(form->isVisible());
}

TEST_F(RegRequestTest, AReplyOfASenderWaitingForApprovalStaysAndHidesNothing) {
    senders->SetStatus("Bob", kBob, SenderStatus::WaitingAuth, "earlier");
    const fs::path waiting = reply(kHome, "46364D3301.rrm", kBobFrom, "Bob Stone", "again");
    reply(kHome, "46364D3302.rrm", "ann@far.test", "Ann", "hello");
    ASSERT_TRUE(poll());
    EXPECT_EQ(form->request().address, "ann@far.test");
    click("bApprove");
    ASSERT_TRUE(poll());
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(fs::exists(waiting));
    EXPECT_EQ(senders->StatusOf(kBob), SenderStatus::WaitingAuth);
}

TEST_F(RegRequestTest, TextsFromStrangersAreShownAsPlainText) {
    const std::string name = "<b>Bob</b> <img src=\"http://far.test/x.png\">";
    const std::string reason = "<a href=\"http://far.test/\">click</a> &amp;";
    reply(kHome, "46364D3301.rrm", "Bob &amp; Co <bob@far.test>", name, reason);
    ASSERT_TRUE(poll());
    for (const char* value : {"lSendersName", "lSendersEmail", "lReason"}) {
        EXPECT_EQ(control<QLabel>(value)->textFormat(), Qt::PlainText) << value;
        EXPECT_FALSE(control<QLabel>(value)->openExternalLinks()) << value;
    }
    EXPECT_EQ(label("lSendersName"), name);
    EXPECT_EQ(label("lSendersEmail"), "Bob &amp; Co <bob@far.test>");
    EXPECT_EQ(label("lReason"), reason);
}

TEST_F(RegRequestTest, ALongReasonIsCutForTheWindowOnly) {
    const std::string reason(RegRequestForm::kMaxShownLength - 1, 'x');
    reply(kHome, "46364D3301.rrm", kBobFrom, "Bob", reason + "\xC3\xA9" + std::string(1000, 'y'));
    ASSERT_TRUE(poll());
    EXPECT_EQ(label("lReason"), reason);  // never half a character
    click("bApprove");
    EXPECT_EQ(senders->ReasonOf(kBob).substr(0, reason.size() + 2), reason + "\xC3\xA9");
}

}  // namespace
