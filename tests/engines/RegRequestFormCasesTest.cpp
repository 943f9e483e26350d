// The registration pop-up: Authrize for a listed sender, damaged and undeletable
// reply files, several replies of one sender, closing the window, failures of the
// sender list and unloading in the middle of an answer.
#include <QCloseEvent>

#include "RegRequestFixture.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

const std::string kBob = "bob@far.test";

TEST_F(RegRequestTest, AuthrizeConfirmsThroughTheAccountThatHoldsTheSendersMail) {
    senders->SetStatus("Bob Stone", kBob, SenderStatus::WaitingAuth, "We met in Oslo");
    const std::string held = hold(kOther, kBob);
    form->Authrize(kBob);

    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(label("lSendersName"), "Bob Stone");
    EXPECT_EQ(label("lSendersEmail"), "Bob Stone bob@far.test");
    EXPECT_EQ(label("lReason"), "We met in Oslo");
    EXPECT_EQ(form->request().account, kOther);
    EXPECT_FALSE(form->PollTimer().enabled());
    EXPECT_FALSE(form->ShowTimer().enabled());  // no time limit
    EXPECT_TRUE(logHas("i Approving sender: bob@far.test\r\n"));

    click("bApprove");
    EXPECT_EQ(senders->StatusOf(kBob), SenderStatus::Approved);
    EXPECT_TRUE(stored(kOther, "InBox", held));
    EXPECT_TRUE(queued(kHome).empty());
    const std::vector<OutBox::Contents> mails = queued(kOther);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].recipient, kBob);
    EXPECT_EQ(mails[0].type, MessageType::Confirmation);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->PollTimer().armed());
}

TEST_F(RegRequestTest, AuthrizeOfASenderWithoutStoredMailConfirmsThroughTheFirstAccount) {
    senders->SetStatus("", kBob, SenderStatus::WaitingAuth, "");
    form->Authrize(kBob);
    EXPECT_EQ(label("lSendersEmail"), kBob);
    EXPECT_EQ(form->request().account, kHome);
    click("bReject");
    EXPECT_EQ(senders->StatusOf(kBob), SenderStatus::Blocked);
    EXPECT_EQ(confirmations, 0);

    senders->SetStatus("", kBob, SenderStatus::WaitingAuth, "");
    form->Authrize(kBob);
    click("bApprove");
    EXPECT_EQ(queued(kHome).size(), 1u);
}

TEST_F(RegRequestTest, AuthrizeWhileARequestIsShownChangesNothing) {
    reply(kHome, "46364D3301.rrm", "ann@far.test", "Ann", "hello");
    ASSERT_TRUE(poll());
    senders->SetStatus("", kBob, SenderStatus::WaitingAuth, "");
    form->Authrize(kBob);
    EXPECT_EQ(form->request().address, "ann@far.test");
    EXPECT_TRUE(form->ShowTimer().enabled());
}

TEST_F(RegRequestTest, DamagedFilesArePassedOverLoggedOnceAndLeftInPlace) {
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"no section", "AuthRequestFrom=ann@far.test\r\n"},
        {"no sender", "[RegRequest]\r\nAuthRequestName=Ann\r\nAuthRequestReason=hi\r\n"},
        {"no address", "[RegRequest]\r\nAuthRequestName=Ann\r\nAuthRequestFrom=Ann at far\r\n"},
        {"wrong section", "[Message]\r\nAuthRequestFrom=ann@far.test\r\n"},
        {"binary", std::string("\0\xff\x01[\x02\r\n=\n", 10)},
        {"too large", "[RegRequest]\r\nAuthRequestFrom=ann@far.test\r\nAuthRequestReason=" +
                          std::string(70 * 1024, 'x') + "\r\n"},
    };
    std::vector<fs::path> files;
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        files.push_back(folder(kHome, "InBox") / ("46364D330" + std::to_string(i) + ".rrm"));
        WriteFile(files.back(), damaged[i].second);
    }
    reply(kHome, "46364D3309.rrm", "cid@far.test", "Cid", "good one");

    ASSERT_TRUE(poll());
    EXPECT_EQ(form->request().address, "cid@far.test");
    EXPECT_EQ(logCount("! Damaged registration reply passed over: "), damaged.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_TRUE(logHas(files[i].string())) << damaged[i].first;
    }
    click("bApprove");
    for (int tick = 0; tick < 3; ++tick) {
        ASSERT_TRUE(poll());
        EXPECT_FALSE(form->isVisible());
    }
    EXPECT_EQ(logCount("! Damaged registration reply passed over: "), damaged.size());
    for (const fs::path& f : files) EXPECT_TRUE(fs::exists(f)) << f;
    EXPECT_EQ(senders->StatusOf("ann@far.test"), SenderStatus::NotListed);

    // Mended by hand: looked at afresh.
    WriteFile(files[1], "[RegRequest]\r\nAuthRequestFrom=ann@far.test\r\n");
    fs::last_write_time(files[1], fs::last_write_time(files[1]) + std::chrono::seconds(5));
    ASSERT_TRUE(poll());
    EXPECT_EQ(form->request().address, "ann@far.test");
    EXPECT_EQ(label("lSendersName"), "");
}

TEST_F(RegRequestTest, AnAnsweredFileThatCannotBeDeletedIsNotAskedAboutAgain) {
    const fs::path file = reply(kHome, "46364D3301.rrm", "ann@far.test", "Ann", "hello");
    ASSERT_TRUE(makeReadOnly(folder(kHome, "InBox"))) << "no read-only folders here";
    ASSERT_TRUE(poll());
    click("bApprove");
    EXPECT_TRUE(fs::exists(file));
    EXPECT_TRUE(logHas("# Failed to delete file " + file.string() + "\r\n"));
    EXPECT_EQ(senders->StatusOf("ann@far.test"), SenderStatus::Approved);
    for (int tick = 0; tick < 2; ++tick) {
        ASSERT_TRUE(poll());
        EXPECT_FALSE(form->isVisible());
    }
    EXPECT_EQ(confirmations, 1);
}

TEST_F(RegRequestTest, OneAnswerRemovesEveryReplyOfTheSender) {
    const fs::path first = reply(kHome, "46364D3301.rrm", "Ann <ann@far.test>", "Ann", "hello");
    const fs::path again = reply(kHome, "46364D3302.rrm", "ann@far.test", "Ann", "hello again");
    const fs::path elsewhere = reply(kOther, "46364D3303.rrm", "ANN@far.test", "Ann", "other account");
    const fs::path bob = reply(kOther, "46364D3304.rrm", kBob, "Bob", "not Ann");
    ASSERT_TRUE(poll());
    click("bApprove");
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(again));
    EXPECT_FALSE(fs::exists(elsewhere));
    EXPECT_TRUE(fs::exists(bob));
    ASSERT_TRUE(poll());
    EXPECT_EQ(form->request().address, kBob);
    EXPECT_EQ(confirmations, 1);
}

TEST_F(RegRequestTest, ClosingTheWindowIsNoAnswer) {
    const fs::path file = reply(kHome, "46364D3301.rrm", "ann@far.test", "Ann", "hello");
    ASSERT_TRUE(poll());
    EXPECT_FALSE(form->close());  // the window stays loaded, only hidden
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(senders->StatusOf("ann@far.test"), SenderStatus::WaitingAuth);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(form->PollTimer().armed());
    EXPECT_FALSE(form->ShowTimer().enabled());

    form->Authrize("ann@far.test");
    ASSERT_TRUE(form->isVisible());
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(senders->StatusOf("ann@far.test"), SenderStatus::WaitingAuth);
    EXPECT_TRUE(form->PollTimer().armed());
    EXPECT_EQ(confirmations, 0);
}

TEST_F(RegRequestTest, AStatusChangeThatDoesNotTakeKeepsTheWindowAndTheFile) {
    const fs::path file = reply(kHome, "46364D3301.rrm", "ann@far.test", "Ann", "hello");
    ASSERT_TRUE(poll());
    ASSERT_TRUE(makeReadOnly(ProgramFiles::AccountsFolder())) << "no read-only folders here";
    click("bApprove");
    EXPECT_TRUE(logHas("i Error in bApprove_Click: " + file.string() + "\r\n"));
    click("bReject");
    EXPECT_TRUE(logHas("i Error in bReject_Click: " + file.string() + "\r\n"));
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->ShowTimer().enabled());
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(confirmations, 0);

    // Nor does a time-out lose the reply: it is asked about at a later tick.
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(fs::exists(file));
}

TEST_F(RegRequestTest, UnloadingDuringTheConfirmationTouchesNothingOfTheForm) {
    const std::string held = hold(kHome, "ann@far.test");
    reply(kHome, "46364D3301.rrm", "ann@far.test", "Ann", "hello");
    ASSERT_TRUE(poll());
    onConfirm = [this] { form.reset(); };
    RegRequestForm* shown = form.get();
    shown->bApprove_Click();
    EXPECT_EQ(form, nullptr);
    EXPECT_EQ(senders->StatusOf("ann@far.test"), SenderStatus::Approved);
    EXPECT_TRUE(stored(kHome, "InBox", held));
    EXPECT_EQ(queued(kHome).size(), 1u);
}

TEST_F(RegRequestTest, UnloadingDuringAnApprovalWithoutAskingTouchesNothing) {
    setOption("ShowRegDialogs", "0");
    reply(kHome, "46364D3301.rrm", "ann@far.test", "Ann", "hello");
    onConfirm = [this] { form.reset(); };
    RegRequestForm* polling = form.get();
    ASSERT_TRUE(polling->PollTimer().fire());
    EXPECT_EQ(form, nullptr);
    EXPECT_EQ(queued(kHome).size(), 1u);
}

}  // namespace
