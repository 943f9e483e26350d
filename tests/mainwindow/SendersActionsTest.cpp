// The senders page's actions in the running program: approve, block, delete and add
// senders, the message actions, the right-button menu's selection, and what a
// question or editor that stays open through a refill or a shut-down may do.
#include <QAction>
#include <QTest>

#include <algorithm>

#include "SendersPageFixture.h"
#include "core/IniStore.h"
#include "core/ProgramFiles.h"
#include "core/TempFolder.h"
#include "mainwindow/GlimmerpostMainForm.h"

namespace {

using testing_support::SendersPageTest;
using namespace mainwindow;

class SendersActionsTest : public SendersPageTest {
protected:
    void SetUp() override {
        SendersPageTest::SetUp();
        setValue("options", "LogLevel", "3");
    }
    // Counts the sender list's changes from now on.
    void countChanges() {
        changes_ = 0;
        senders().Change.Subscribe([this] { ++changes_; });
    }
    std::string sendersIni() const { return testing_support::ReadFile(ProgramFiles::SendersIniPath()); }
    void select(const std::string& first, const std::string& last) { grid().SetSelection(rowOf(first), rowOf(last)); }
    int changes_ = 0;
};

TEST_F(SendersActionsTest, ApproveAndBlockMoveTheHeldMailWithOneWriteAndLogEachSender) {
    struct Case {
        int button;
        SenderStatus status;
        const char* folder;
        const char* log;
    };
    const std::vector<Case> cases = {
        {1, SenderStatus::Approved, "InBox", "Manual approval of ann@a.org, emails approved for download"},
        {2, SenderStatus::Blocked, "Recycled", "Manual denial of ann@a.org, emails deleted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("button " + std::to_string(c.button));
        startWithPages();
        sender("ann@a.org", SenderStatus::Unknown);
        sender("bob@b.org", SenderStatus::Unknown);
        sender("cy@c.org", SenderStatus::Unknown);
        message("ann@a.org", "1");
        message("ann@a.org", "2");
        message("bob@b.org", "3");
        showTab(1);
        countChanges();
        select("ann@a.org", "bob@b.org");
        view().IndividualsToolBar_ButtonClick(c.button);

        EXPECT_EQ(changes_, 1) << "one bulk change, one write";
        for (const char* a : {"ann@a.org", "bob@b.org"}) EXPECT_EQ(senders().StatusOf(a), c.status) << a;
        EXPECT_EQ(senders().StatusOf("cy@c.org"), SenderStatus::Unknown);
        for (const char* id : {"1", "2"}) EXPECT_TRUE(inFolder(c.folder, "ann@a.org", id)) << id;
        EXPECT_TRUE(inFolder(c.folder, "bob@b.org", "3"));
        EXPECT_TRUE(logHas(c.log));
        EXPECT_EQ(keys(), std::vector<std::string>{"cy@c.org"}) << "refilled at once";
        EXPECT_TRUE(program_->MainForm()->activity().status().pendingRest);
        EXPECT_TRUE(prompts_.empty());
    }
}

TEST_F(SendersActionsTest, DeleteAsksFirstAndNoChangesNothing) {
    startWithPages();
    for (const char* a : {"a@x.org", "b@x.org", "c@x.org", "d@x.org"}) sender(a, SenderStatus::Blocked);
    message("b@x.org", "1");
    showTab(4);
    const std::string before = sendersIni();

    answerer_ = [](const Prompt::Request&) { return Prompt::Answer::No; };
    select("a@x.org", "c@x.org");
    view().IndividualsToolBar_ButtonClick(4);
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text, "Are you sure you want to delete 3 senders?");
    EXPECT_EQ(prompts_[0].caption, "Individual senders");
    EXPECT_EQ(prompts_[0].buttons, Prompt::Buttons::YesNo);
    EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Question);
    EXPECT_EQ(prompts_[0].defaultButton, 2);
    EXPECT_EQ(sendersIni(), before);
    EXPECT_EQ(grid().Rows(), 4);

    answerer_ = [](const Prompt::Request&) { return Prompt::Answer::Yes; };
    view().IndividualsToolBar_ButtonClick(4);
    EXPECT_EQ(keys(), std::vector<std::string>{"d@x.org"});
    EXPECT_TRUE(inFolder("Recycled", "b@x.org", "1"));
    EXPECT_TRUE(logHas("Manual deletion of sender b@x.org, emails deleted"));
    // senders.ini is kept: the filter still knows the deleted spammers as blocked
    // (they get no registration request), and the next start lists them again.
    EXPECT_EQ(sendersIni(), before);
    EXPECT_EQ(senders().StatusOf("b@x.org"), SenderStatus::Blocked);
    EXPECT_TRUE(CSenders().List(SenderStatus::Blocked).Contains("b@x.org"));

    select("d@x.org", "d@x.org");
    answerer_ = [](const Prompt::Request&) { return Prompt::Answer::No; };
    view().IndividualsToolBar_ButtonClick(4);
    EXPECT_EQ(prompts_.back().text, "Are you sure you want to delete d@x.org?");
}

TEST_F(SendersActionsTest, AShutDownInsideTheDeleteQuestionDeletesNothing) {
    startWithPages();
    sender("a@x.org", SenderStatus::Unknown);
    message("a@x.org", "1");
    showTab(1);
    const std::string before = sendersIni();
    answerer_ = [this](const Prompt::Request&) {
        program_->RequestShutDown();
        return Prompt::Answer::Yes;
    };
    select("a@x.org", "a@x.org");
    view().IndividualsToolBar_ButtonClick(4);
    platform::PumpEvents();
    EXPECT_TRUE(program_->shutDownDone());
    EXPECT_EQ(sendersIni(), before);
    EXPECT_TRUE(inFolder("WaitingAuth", "a@x.org", "1"));
    EXPECT_FALSE(logHas("Manual deletion"));
}

TEST_F(SendersActionsTest, ARefillDuringTheQuestionStillDeletesTheSendersNamed) {
    startWithPages();
    for (const char* a : {"b@x.org", "c@x.org", "d@x.org"}) sender(a, SenderStatus::Unknown);
    showTab(1);
    answerer_ = [this](const Prompt::Request&) {
        sender("a@x.org", SenderStatus::Unknown);  // listed first
        view().FillSendersGrid();
        grid().SetSelection(0, 0);
        return Prompt::Answer::Yes;
    };
    select("b@x.org", "c@x.org");
    view().IndividualsToolBar_ButtonClick(4);
    EXPECT_EQ(keys(), (std::vector<std::string>{"d@x.org", "a@x.org"}));
}

TEST_F(SendersActionsTest, RightButtonMenuTakesItsRowsAndActsOnThemWhateverHappensNext) {
    startWithPages();
    for (const char* a : {"a@x.org", "b@x.org", "c@x.org", "d@x.org"}) sender(a, SenderStatus::WaitingAuth);
    message("c@x.org", "1");
    message("c@x.org", "2");
    showTab(2);
    auto rightClick = [&](int row) {
        QTest::mouseClick(grid().viewport(), Qt::RightButton, {}, grid().visualRect(grid().Model().index(row, 1)).center());
    };

    select("a@x.org", "a@x.org");
    rightClick(rowOf("c@x.org"));
    EXPECT_EQ(grid().SelectionTop(), rowOf("c@x.org"));
    EXPECT_EQ(grid().SelectionBottom(), rowOf("c@x.org"));
    EXPECT_EQ(view().lastMenu().find("mDeleteSender")->caption, "Delete c@x.org");
    EXPECT_EQ(view().lastMenu().find("mPreviewMessages")->caption, "View 2 message(s) from this sender");

    grid().SetSelection(rowOf("a@x.org"), rowOf("c@x.org"));
    rightClick(rowOf("d@x.org"));
    EXPECT_EQ(grid().SelectionTop(), rowOf("a@x.org"));
    EXPECT_EQ(grid().SelectionBottom(), rowOf("c@x.org"));
    EXPECT_EQ(view().lastMenu().find("mDenySender")->caption, "Block selected senders");
    EXPECT_EQ(view().lastMenu().find("mPreviewMessages")->caption, "View 2 message(s) from this sender")
        << "the selection end's sender";

    // The items act on the rows of the pop-up, not on what is selected when chosen.
    grid().SetSelection(rowOf("d@x.org"), rowOf("d@x.org"));
    view().MenuAcceptMessagesFromSender();
    EXPECT_TRUE(inFolder("InBox", "c@x.org", "1"));
    EXPECT_TRUE(inFolder("InBox", "c@x.org", "2"));
    EXPECT_EQ(senders().StatusOf("c@x.org"), SenderStatus::WaitingAuth) << "the sender keeps his status";
    grid().SetSelection(rowOf("d@x.org"), rowOf("d@x.org"));
    view().MenuButton(2);
    for (const char* a : {"a@x.org", "b@x.org", "c@x.org"}) EXPECT_EQ(senders().StatusOf(a), SenderStatus::Blocked) << a;
    EXPECT_EQ(senders().StatusOf("d@x.org"), SenderStatus::WaitingAuth);
}

TEST_F(SendersActionsTest, MessageRowsAreAcceptedDeletedAndTheirSendersApproved) {
    startWithPages();
    sender("ann@a.org", SenderStatus::Unknown);
    const std::string k1 = message("ann@a.org", "1");
    const std::string k2 = message("ann@a.org", "2");
    const std::string k3 = message("bob@b.org", "3", "InBox");
    showTab(6);

    grid().SetSelection(rowOf(k1), rowOf(k1));
    view().AcceptMessages();
    EXPECT_TRUE(inFolder("InBox", "ann@a.org", "1"));
    EXPECT_EQ(senders().StatusOf("ann@a.org"), SenderStatus::Unknown) << "the sender keeps his status";

    const int fills = view().fillCount();
    const std::string moved = std::string(testing_support::kAccount) + "\\MailDir\\InBox\\ann@a.org 1@x.eml";
    grid().SetSelection(rowOf(moved), rowOf(k3));
    view().DeleteMessages();
    EXPECT_EQ(view().fillCount(), fills + 1) << "refilled once";
    EXPECT_FALSE(inFolder("InBox", "ann@a.org", "1"));
    EXPECT_FALSE(inFolder("InBox", "bob@b.org", "3"));
    EXPECT_EQ(keys(), std::vector<std::string>{k2});

    view().IndividualsToolBar_ButtonClick(1);
    EXPECT_EQ(senders().StatusOf("ann@a.org"), SenderStatus::Approved);
    EXPECT_TRUE(inFolder("InBox", "ann@a.org", "2"));
    EXPECT_TRUE(logHas("Manual approval of ann@a.org"));
}

TEST_F(SendersActionsTest, AddSenderStoresOnlyOnTheRegisteredAndBlockedTabs) {
    int opened = 0;
    startWithPages([&](GlimmerpostProgram& p) {
        p.Editors().editSender = [&](std::string& name, std::string& address, QWidget*) {
            ++opened;
            name = "New One";
            address = "new" + std::to_string(opened) + "@x.org";
            return 1;
        };
    });
    struct Case {
        int tab;
        SenderStatus status;  // NotListed: nothing is stored
    };
    for (const Case& c : std::vector<Case>{{1, SenderStatus::NotListed},
                                           {3, SenderStatus::Approved},
                                           {4, SenderStatus::Blocked},
                                           {6, SenderStatus::NotListed}}) {
        showTab(c.tab);
        const int before = opened;
        view().IndividualsToolBar_ButtonClick(3);
        EXPECT_EQ(opened - before, c.status == SenderStatus::NotListed ? 0 : 1) << "tab " << c.tab;
        if (c.status != SenderStatus::NotListed) {
            const std::string address = "new" + std::to_string(opened) + "@x.org";
            EXPECT_EQ(senders().StatusOf(address), c.status);
            EXPECT_EQ(senders().ReasonOf(address), "Added manualy by user");
        }
    }
}

TEST_F(SendersActionsTest, AShutDownInsideTheSenderEditorStoresNothing) {
    startWithPages([this](GlimmerpostProgram& p) {
        p.Editors().editSender = [this](std::string& name, std::string& address, QWidget*) {
            program_->RequestShutDown();
            name = "x";
            address = "late@x.org";
            return 1;
        };
    });
    showTab(3);
    view().IndividualsToolBar_ButtonClick(3);
    platform::PumpEvents();
    EXPECT_TRUE(program_->shutDownDone());
    EXPECT_EQ(sendersIni().find("late@x.org"), std::string::npos);
}

TEST_F(SendersActionsTest, AMissingEditorIsLoggedAndAFailedWriteIsReported) {
    startWithPages();
    showTab(3);
    view().IndividualsToolBar_ButtonClick(3);
    EXPECT_TRUE(logHas("AddUserForm is not available"));

    sender("ann@a.org", SenderStatus::Unknown);
    showTab(1);
    ASSERT_TRUE(makeReadOnly(ProgramFiles::AccountsFolder()));
    select("ann@a.org", "ann@a.org");
    view().IndividualsToolBar_ButtonClick(1);
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].kind, Prompt::Kind::Critical);
    EXPECT_NE(prompts_[0].text.find("could not save the sender list"), std::string::npos);
}

// A sender list that could not be read at start-up: the user was told, and every
// later approval is reported as not made instead of showing as done.
TEST_F(SendersActionsTest, AnUnreadableSenderListIsToldAndNoApprovalShowsAsDone) {
    std::filesystem::create_directories(ProgramFiles::AccountsFolder());
    testing_support::WriteFile(ProgramFiles::SendersIniPath(), "[ann@a.org]\r\nAccessLevel=3\r\n");
    std::filesystem::resize_file(ProgramFiles::SendersIniPath(), IniStore::kMaxFileSize + 1);
    startWithPages();
    EXPECT_TRUE(std::any_of(prompts_.begin(), prompts_.end(), [](const Prompt::Request& r) {
        return r.text.find("could not read the sender list") != std::string::npos;
    }));
    message("bob@b.org", "1");
    showTab(6);
    prompts_.clear();
    grid().SetSelection(0, 0);
    view().IndividualsToolBar_ButtonClick(1);
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_NE(prompts_[0].text.find("could not save the sender list"), std::string::npos);
    EXPECT_EQ(senders().List(SenderStatus::Approved).Count(), 0u);
    EXPECT_TRUE(inFolder("WaitingAuth", "bob@b.org", "1"));

    prompts_.clear();
    program_->Editors().editSender = [](std::string& name, std::string& address, QWidget*) {
        name = "Cy";
        address = "cy@c.org";
        return 1;
    };
    showTab(3);
    view().IndividualsToolBar_ButtonClick(3);
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_NE(prompts_[0].text.find("could not save the sender list"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(ProgramFiles::SendersIniPath()), IniStore::kMaxFileSize + 1);
}

}  // namespace
