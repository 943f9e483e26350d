// The message preview window on real lists: stepping through a sender's messages,
// one message from the Messages tab, approve and block, messages moved away under it,
// stranger's text shown literally, a huge body cut, the mail program's boxes, and a
// shut-down inside one of its boxes.
#include <gtest/gtest.h>

#include <QPointer>

#include "PreviewTestSupport.h"

namespace {

using testing_support::kAccount;
using testing_support::PreviewTest;

using Buttons = std::vector<bool>;  // Approve, Block, Previous, Next enabled

TEST_F(PreviewTest, StepsThroughASendersThreeMessages) {
    waitingSender("ann@far.test", 3);
    preview_->ShowMessagesFrom("ann@far.test");
    ASSERT_TRUE(preview_->isVisible());
    EXPECT_EQ(preview_->windowTitle().toStdString(), "Message preview");
    EXPECT_EQ(preview_->previewSender(), "ann@far.test");

    struct Step {
        const char* click;  // nullptr: as opened
        const char* subject;
        Buttons buttons;
    };
    const std::vector<Step> steps = {
        {nullptr, "s1", {true, true, false, true}}, {"bNext", "s2", {true, true, true, true}},
        {"bNext", "s3", {true, true, true, false}},  {"bPrev", "s2", {true, true, true, true}},
        {"bPrev", "s1", {true, true, false, true}},
    };
    for (const Step& s : steps) {
        if (s.click) click(s.click);
        SCOPED_TRACE(std::string(s.click ? s.click : "opened") + " -> " + s.subject);
        EXPECT_EQ(text("lSubject"), s.subject);
        EXPECT_EQ(text("lFrom"), "ann@far.test");
        EXPECT_EQ(text("lDateTimeValue"), "Tue, 10 Dec 2002 13:45:12 +0100");
        EXPECT_EQ(body(), "body\n");
        EXPECT_EQ(buttons(), s.buttons);
    }
    // Stepping past either end goes nowhere.
    preview_->bPrev_Click();
    EXPECT_EQ(preview_->previewIndex(), 0);
    EXPECT_TRUE(prompts_.empty());
}

TEST_F(PreviewTest, OneMessageOfASenderAndOneFromTheMessagesTab) {
    const std::vector<std::string> keys = waitingSender("ann@far.test", 1);
    preview_->ShowMessagesFrom("ann@far.test");
    EXPECT_EQ(buttons(), (Buttons{true, true, false, false}));
    preview_->bNext_Click();
    EXPECT_EQ(preview_->previewIndex(), 0);

    const std::string inBox = store("bob@near.test", "7", "from the tab", "InBox");
    preview_->ShowMessage(inBox);
    ASSERT_TRUE(preview_->isVisible());
    EXPECT_EQ(text("lSubject"), "from the tab");
    EXPECT_EQ(buttons(), (Buttons{false, false, false, false}));
    EXPECT_EQ(preview_->previewKeys(), std::vector<std::string>{inBox});
    // Approve and Block act on nobody in this mode, even when called.
    preview_->bApprove_Click();
    EXPECT_EQ(program_->Senders()->StatusOf("bob@near.test"), SenderStatus::NotListed);
}

TEST_F(PreviewTest, NothingToShowChangesNothing) {
    waitingSender("ann@far.test", 2);
    preview_->ShowMessagesFrom("  ");
    EXPECT_FALSE(preview_->isVisible());
    EXPECT_TRUE(prompts_.empty());

    preview_->ShowMessagesFrom("ann@far.test");
    preview_->bNext_Click();
    const std::vector<std::string> before = preview_->previewKeys();
    preview_->ShowMessagesFrom("nobody@far.test");
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text, "There are no messages from nobody@far.test");
    EXPECT_EQ(prompts_[0].caption, "Message preview");
    EXPECT_EQ(prompts_[0].buttons, Prompt::Buttons::OK);
    EXPECT_EQ(prompts_[0].kind, Prompt::Kind::None);
    EXPECT_TRUE(preview_->isVisible());
    EXPECT_EQ(preview_->previewKeys(), before);
    EXPECT_EQ(preview_->previewIndex(), 1);
    EXPECT_EQ(preview_->previewSender(), "ann@far.test");
    EXPECT_EQ(text("lSubject"), "s2");

    // A key the store does not hold shows nothing either.
    preview_->ShowMessage(std::string(kAccount) + "\\MailDir\\InBox\\gone <1@x>.eml");
    EXPECT_EQ(preview_->previewKeys(), before);
    EXPECT_EQ(prompts_.size(), 1u);
}

TEST_F(PreviewTest, StrangersTextIsShownLiterally) {
    program_->Senders()->SetStatus("", "ann@far.test", SenderStatus::WaitingAuth, "held");
    store("ann@far.test", "1", "<b>bold</b> & <a href=\"http://x.test\">link</a>", "WaitingAuth",
          "<h1>big</h1>\r\n&amp;\r\n");
    preview_->ShowMessagesFrom("ann@far.test");
    for (const char* label : {"lSubject", "lFrom", "lDateTimeValue"})
        EXPECT_EQ(child<QLabel>(label)->textFormat(), Qt::PlainText) << label;
    EXPECT_EQ(text("lSubject"), "<b>bold</b> & <a href=\"http://x.test\">link</a>");
    EXPECT_EQ(body(), "<h1>big</h1>\n&amp;\n");
}

TEST_F(PreviewTest, AMessageMovedAwayIsNeverShownAsAnEmptyPage) {
    const std::vector<std::string> keys = waitingSender("ann@far.test", 3);
    preview_->ShowMessagesFrom("ann@far.test");
    click("bNext");
    ASSERT_EQ(text("lSubject"), "s2");

    // Deleted under the window: the next one takes its place.
    ASSERT_TRUE(program_->Messages()->RemoveMessage(keys[1]));
    ASSERT_TRUE(platform::WaitUntil([&] { return text("lSubject") == "s3"; }, 3000));
    EXPECT_EQ(preview_->previewKeys(), (std::vector<std::string>{keys[0], keys[2]}));
    EXPECT_EQ(buttons(), (Buttons{true, true, true, false}));

    // Moved to another folder of the sender's: followed there.
    ASSERT_TRUE(program_->Messages()->MoveMessage(keys[2], MessageKeys::kInBox));
    ASSERT_TRUE(platform::WaitUntil(
        [&] { return preview_->previewKeys().size() == 2 && preview_->previewKeys()[1] != keys[2]; }, 3000));
    EXPECT_EQ(preview_->previewKeys()[1], MessageKeys::KeyInFolder(keys[2], MessageKeys::kInBox));
    EXPECT_EQ(text("lSubject"), "s3");
    EXPECT_EQ(preview_->previewIndex(), 1);

    // Nothing of the list left: the window goes.
    ASSERT_TRUE(program_->Messages()->RemoveMessage(keys[0]));
    ASSERT_TRUE(program_->Messages()->RemoveMessage(preview_->previewKeys()[1]));
    ASSERT_TRUE(platform::WaitUntil([&] { return !preview_->isVisible(); }, 3000));
    EXPECT_TRUE(preview_->previewKeys().empty());
    preview_->bNext_Click();
    preview_->bOpenInEmailClient_Click();
    EXPECT_TRUE(opened_.empty());
}

TEST_F(PreviewTest, ApproveAndBlockSetTheStatusAndKeepTheMessageOnShow) {
    struct Case {
        const char* button;
        SenderStatus status;
        const char* reason;
        const char* folder;
        std::size_t listed;  // the sender's messages left in the list
    };
    const std::vector<Case> cases = {
        {"bApprove", SenderStatus::Approved, "Manualy registered by user", "InBox", 2},
        {"bBlock", SenderStatus::Blocked, "Manualy blocked by user", "Recycled", 1},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        const std::string sender = "s" + std::to_string(++n) + "@far.test";
        const std::vector<std::string> keys = waitingSender(sender, 2);
        preview_->ShowMessagesFrom(sender);
        click("bNext");
        click(c.button);
        EXPECT_EQ(program_->Senders()->StatusOf(sender), c.status);
        EXPECT_EQ(program_->Senders()->ReasonOf(sender), c.reason);
        for (const std::string& key : keys) {
            const std::string moved = MessageKeys::KeyInFolder(key, std::string("MailDir\\") + c.folder);
            EXPECT_NE(program_->Messages()->Find(moved), nullptr) << moved;
        }
        EXPECT_TRUE(preview_->isVisible());
        EXPECT_EQ(text("lSubject"), "s2");
        EXPECT_EQ(preview_->previewKeys().size(), c.listed);
        EXPECT_NE(preview_->previewKeys()[static_cast<std::size_t>(preview_->previewIndex())].find(c.folder),
                  std::string::npos);
        EXPECT_EQ(preview_->previewSender(), sender);
        EXPECT_TRUE(prompts_.empty());
    }
}

// A sender with mail in InBox too: the window keeps showing the message acted on,
// wherever it moved, and the sender's other messages stay a step away.
TEST_F(PreviewTest, ApproveAndBlockKeepTheMessageOnShowWhenTheSenderHasInBoxMailToo) {
    struct Case {
        const char* button;
        const char* folder;  // where the shown message goes
    };
    int n = 0;
    for (const Case& c : {Case{"bApprove", "InBox"}, Case{"bBlock", "Recycled"}}) {
        SCOPED_TRACE(c.button);
        const std::string sender = "i" + std::to_string(++n) + "@far.test";
        const std::vector<std::string> held = waitingSender(sender, 2);
        store(sender, "3", "in the inbox", "InBox");
        preview_->ShowMessagesFrom(sender);
        click("bNext");
        ASSERT_EQ(text("lSubject"), "s2");
        click(c.button);
        EXPECT_EQ(text("lSubject"), "s2");
        const std::string shown = preview_->previewKeys()[static_cast<std::size_t>(preview_->previewIndex())];
        EXPECT_EQ(shown, MessageKeys::KeyInFolder(held[1], std::string("MailDir\\") + c.folder));
        // The list built again on the store's change keeps it on show.
        preview_->Reload();
        EXPECT_EQ(text("lSubject"), "s2");
        EXPECT_TRUE(preview_->isVisible());
        EXPECT_EQ(preview_->previewSender(), sender);
        EXPECT_TRUE(prompts_.empty());
    }
}

TEST_F(PreviewTest, AStatusThatCannotBeSavedIsReported) {
    waitingSender("ann@far.test", 1);
    preview_->ShowMessagesFrom("ann@far.test");
    // senders.ini cannot be replaced by a directory's rename, not even by the superuser.
    const std::filesystem::path ini = ProgramFiles::SendersIniPath();
    std::filesystem::remove(ini);
    std::filesystem::create_directories(ini / "blocker");
    click("bApprove");
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_NE(prompts_[0].text.find("The status of ann@far.test could not be changed"), std::string::npos)
        << prompts_[0].text;
    EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Exclamation);
    EXPECT_EQ(prompts_[0].caption, "Message preview");
}

TEST_F(PreviewTest, OpensTheShownFileWithTheMailProgramOrSaysWhyNot) {
    struct Case {
        const char* handler;
        bool opens;
        const char* box;  // "" when none
        bool handedOver;
    };
    const std::vector<Case> cases = {
        {"mail.desktop", true, "", true},
        {"", true, "Could not find e-mail client", false},
        {"  ", true, "Could not find e-mail client", false},
        {"mail.desktop", false, "Message could not be open by e-mail client", true},
    };
    const std::vector<std::string> keys = waitingSender("ann@far.test", 2);
    preview_->ShowMessagesFrom("ann@far.test");
    click("bNext");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.handler) + (c.opens ? " opens" : " fails"));
        prompts_.clear();
        opened_.clear();
        handler_ = c.handler;
        openWorks_ = c.opens;
        click("bOpenInEmailClient");
        EXPECT_EQ(opened_.size(), c.handedOver ? 1u : 0u);
        if (c.handedOver && !opened_.empty()) {
            EXPECT_EQ(opened_[0], MessageKeys::PathOfKey(keys[1]));
        }
        if (*c.box) {
            ASSERT_EQ(prompts_.size(), 1u);
            EXPECT_EQ(prompts_[0].text, c.box);
            EXPECT_EQ(prompts_[0].caption, "Message preview");
            EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Exclamation);
        } else {
            EXPECT_TRUE(prompts_.empty());
        }
        EXPECT_TRUE(preview_->isVisible());
    }
}

TEST_F(PreviewTest, TheCloseBoxHidesAndTheNextPreviewShowsItsOwnList) {
    waitingSender("ann@far.test", 3);
    waitingSender("bob@near.test", 1);
    preview_->ShowMessagesFrom("ann@far.test");
    click("bNext");
    const QPointer<QWidget> alive(preview_);
    EXPECT_FALSE(preview_->close());
    ASSERT_TRUE(alive);
    EXPECT_FALSE(preview_->isVisible());
    preview_->ShowMessagesFrom("bob@near.test");
    EXPECT_TRUE(preview_->isVisible());
    EXPECT_EQ(preview_->previewIndex(), 0);
    EXPECT_EQ(preview_->previewKeys().size(), 1u);
    EXPECT_EQ(buttons(), (Buttons{true, true, false, false}));
    click("CloseButton");
    EXPECT_FALSE(preview_->isVisible());
}

TEST_F(PreviewTest, AHugeBodyIsShownInPartWithANote) {
    program_->Senders()->SetStatus("", "ann@far.test", SenderStatus::WaitingAuth, "held");
    const std::size_t shown = mainwindow::MessagePreviewForm::kShownBodyBytes;
    store("ann@far.test", "1", "small", "WaitingAuth", "short body");
    std::string lines;
    while (lines.size() < shown + 4096) lines += std::string(78, 'y') + "\r\n";
    store("ann@far.test", "2", "huge", "WaitingAuth", std::string(shown + 4096, 'x'));
    store("ann@far.test", "3", "huge in lines", "WaitingAuth", lines);
    preview_->ShowMessagesFrom("ann@far.test");
    EXPECT_EQ(body(), "short body");
    EXPECT_FALSE(child<QLabel>("lCutNote")->isVisible());
    click("bNext");
    EXPECT_EQ(text("lSubject"), "huge");
    EXPECT_EQ(body().size(), shown);
    EXPECT_TRUE(child<QLabel>("lCutNote")->isVisible());
    EXPECT_EQ(text("lCutNote"), "Only the first 256 KB of this message are shown.");
    click("bNext");
    EXPECT_EQ(text("lSubject"), "huge in lines");
    EXPECT_TRUE(child<QLabel>("lCutNote")->isVisible());
    EXPECT_EQ(body(), QString::fromStdString(lines.substr(0, shown)).replace("\r\n", "\n").toStdString());
}

TEST_F(PreviewTest, AShutDownInsideItsBoxLeavesTheListsAlone) {
    waitingSender("ann@far.test", 2);
    preview_->ShowMessagesFrom("ann@far.test");
    handler_.clear();
    answerer_ = [this](const Prompt::Request&) {
        program_->RequestShutDown();
        return Prompt::Answer::OK;
    };
    click("bOpenInEmailClient");
    platform::PumpEvents();
    ASSERT_TRUE(program_->shutDownDone());
    EXPECT_EQ(program_->Senders(), nullptr);
    // The window outlives the lists: its buttons find nothing to act on.
    for (const char* b : {"bNext", "bApprove", "bBlock", "bOpenInEmailClient", "bPrev"}) click(b);
    preview_->Reload();
    preview_->ShowMessagesFrom("ann@far.test");
    preview_->ShowMessage("x");
    EXPECT_EQ(prompts_.size(), 1u);
}

TEST_F(PreviewTest, UnloadedInsideItsOwnBoxItTouchesNothingAfterwards) {
    waitingSender("ann@far.test", 1);
    preview_->ShowMessagesFrom("ann@far.test");
    // The program unloads the window in its slot, as it does at the end of a run.
    QPointer<mainwindow::MessagePreviewForm> alive(preview_);
    onUnload_ = [&](const std::string& name) {
        if (name == "MessagePreviewForm") delete alive.data();
    };
    const std::filesystem::path ini = ProgramFiles::SendersIniPath();
    std::filesystem::remove(ini);
    std::filesystem::create_directories(ini / "blocker");
    answerer_ = [this](const Prompt::Request& r) {
        program_->RequestShutDown();
        return Prompt::DefaultAnswer(r);
    };
    preview_->bApprove_Click();
    EXPECT_TRUE(alive.isNull());
    EXPECT_TRUE(program_->shutDownDone());
    ASSERT_EQ(prompts_.size(), 1u);
}

}  // namespace
