// The domains page and the domain commands on the program's real lists: the grid's
// order, pictures and placeholders, the editor's rename, the search for a domain's
// senders, failed writes and a shut-down inside a question.
#include <QAction>
#include <QApplication>
#include <QTest>
#include <QTabBar>

#include "PagesTestSupport.h"
#include "mainwindow/DomainActions.h"
#include "mainwindow/DomainsPage.h"
#include "mainwindow/DomainsView.h"
#include "mainwindow/SendersPage.h"
#include "mainwindow/SendersView.h"
#include "platform/GridControl.h"

namespace {

using mainwindow::DomainActions;
using testing_support::PagesTest;

struct DomainEditorScript {
    int result = 1;
    std::string domain, description;
    std::function<void()> during;
};

class DomainsPageTest : public PagesTest {
protected:
    mainwindow::GlimmerpostProgram& start() {
        return startWithPages([this](mainwindow::GlimmerpostProgram& p) {
            p.Editors().editDomain = [this](std::string& domain, std::string& description, QWidget*) {
                edited_.push_back(domain + "|" + description);
                if (script_.during) script_.during();
                if (script_.result == 1) {
                    domain = script_.domain;
                    description = script_.description;
                }
                return script_.result;
            };
        });
    }
    mainwindow::DomainsPage& page() { return *program_->MainForm()->domainsPage(); }
    platform::GridControl& grid() { return *page().fgDomains(); }
    std::vector<std::string> column(int col) {
        std::vector<std::string> out;
        for (int row = 0; row < grid().Rows(); ++row) out.emplace_back(grid().Model().Text(row, col));
        return out;
    }
    void showTab(int index) { page().tsDomains()->tabs()->setCurrentIndex(index); }
    void click(const char* key) { page().button(key)->trigger(); }
    void select(int row, int rowSel) { grid().SetSelection(row, rowSel); }
    void doubleClick(int row) {
        select(row, row);
        emit grid().cellDoubleClicked(row, 1);
    }
    // The lists as Domains.ini holds them now.
    static DomainLists stored() {
        DomainLists lists;
        CDomains(ProgramFiles::DomainsIniPath().string()).LoadAllDomains(lists);
        std::sort(lists[0].begin(), lists[0].end());
        std::sort(lists[1].begin(), lists[1].end());
        return lists;
    }
    // Yes to every question, OK to every notice.
    void answerYes() {
        answerer_ = [](const Prompt::Request& r) {
            return r.buttons == Prompt::Buttons::YesNo ? Prompt::Answer::Yes : Prompt::Answer::OK;
        };
    }

    DomainEditorScript script_;
    std::vector<std::string> edited_;
};

TEST_F(DomainsPageTest, RowsAreSortedIgnoringCaseWithTheTabsPictureAndEmptyListsShowTheirPlaceholder) {
    listDomain("charlie.net", DomainStatus::Approved, "c");
    listDomain("Alpha.com", DomainStatus::Approved, "a");
    listDomain("beta.org", DomainStatus::Approved, "b");
    start();
    EXPECT_EQ(grid().Cols(), 3);
    EXPECT_EQ(column(1), (std::vector<std::string>{"Alpha.com", "beta.org", "charlie.net"}));
    EXPECT_EQ(column(2), (std::vector<std::string>{"a", "b", "c"}));
    for (int row = 0; row < grid().Rows(); ++row) EXPECT_EQ(grid().Model().PictureKey(row), "DomainOk");
    EXPECT_FALSE(page().button("Ok")->isEnabled());
    EXPECT_TRUE(page().button("Block")->isEnabled());

    showTab(1);
    EXPECT_EQ(grid().Cols(), 2);
    ASSERT_EQ(grid().Rows(), 1);
    EXPECT_EQ(grid().Model().Text(0, 1), "You have no blocked domains");
    EXPECT_EQ(grid().Model().PictureKey(0), "");
    EXPECT_TRUE(page().button("Ok")->isEnabled());
    EXPECT_FALSE(page().button("Block")->isEnabled());
    // Nothing acts on the placeholder.
    doubleClick(0);
    click("DomainDelete");
    click("Ok");
    EXPECT_TRUE(edited_.empty());
    EXPECT_TRUE(prompts_.empty());

    // A change of the list refills the page shown.
    for (const char* d : {"charlie.net", "Alpha.com", "beta.org"}) program_->Domains()->SetStatus(d, DomainStatus::Blocked, "");
    EXPECT_EQ(column(1), (std::vector<std::string>{"Alpha.com", "beta.org", "charlie.net"}));
    for (int row = 0; row < grid().Rows(); ++row) EXPECT_EQ(grid().Model().PictureKey(row), "DomainBlocked");
    showTab(0);
    EXPECT_EQ(grid().Cols(), 2);
    EXPECT_EQ(column(1), (std::vector<std::string>{"You have not specified any permitted domains"}));
}

// The page is filled while it is still hidden; when it is first shown, the placeholder
// column takes the grid's width less the border, so the whole text is in view.
TEST_F(DomainsPageTest, ThePlaceholderIsWholeTheFirstTimeThePageIsShown) {
    start();
    mainwindow::GlimmerpostMainForm& form = *program_->MainForm();
    form.showNormal();
    form.resize(mainwindow::GlimmerpostMainForm::designSize());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    ASSERT_EQ(grid().Cols(), 2);
    form.ShowPage(2);
    QApplication::processEvents();
    const QString text = QString::fromLatin1(mainwindow::DomainsView::kNoPermitted);
    ASSERT_EQ(grid().Model().Text(0, 1), mainwindow::DomainsView::kNoPermitted);
    EXPECT_NEAR(grid().ColWidth(1), std::max(0, grid().WidthTwips() - 570), 30);
    EXPECT_GT(grid().columnWidth(1), grid().fontMetrics().horizontalAdvance(text)) << "not cut";
}

TEST_F(DomainsPageTest, TheCurrentRowKeepsItsPositionOrBecomesTheLastRow) {
    for (const char* d : {"a.com", "b.com", "c.com", "d.com", "e.com"}) listDomain(d, DomainStatus::Approved);
    start();
    select(4, 4);
    program_->Domains()->DeleteDomain("a.com");
    EXPECT_EQ(grid().RowSel(), 3);
    program_->Domains()->DeleteDomain("b.com");
    EXPECT_EQ(grid().RowSel(), 2);
    EXPECT_EQ(grid().Model().Text(2, 1), "e.com");
}

struct EditCase {
    const char* what;
    DomainEditorScript script;
    std::vector<std::string> permitted;  // Domains.ini afterwards, sorted
    std::vector<std::string> messages;
};

TEST_F(DomainsPageTest, EditingRenamesOnlyWhatItMayAndAsksAboutTheSenders) {
    const std::string search = "Would you like Glimmerpost to search for senders from this domain and approve them?";
    const EditCase cases[] = {
        {"rename", {1, "new.com", "y", {}}, {"new.com\ty", "other.com\to"}, {search}},
        {"new description", {1, "old.com", "z", {}}, {"old.com\tz", "other.com\to"}, {search}},
        {"letter case only", {1, "OLD.com", "x", {}}, {"OLD.com\tx", "other.com\to"}, {search}},
        {"onto a listed domain", {1, "Other.COM", "y", {}}, {"old.com\tx", "other.com\to"},
         {"The domain Other.COM is already listed.\r\nThe domain old.com has not been renamed."}},
        {"cancelled", {2, "new.com", "y", {}}, {"old.com\tx", "other.com\to"}, {}},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(ProgramFiles::DomainsIniPath());
        listDomain("old.com", DomainStatus::Approved, "x");
        listDomain("other.com", DomainStatus::Approved, "o");
        start();
        prompts_.clear();
        edited_.clear();
        script_ = c.script;
        answerer_ = [](const Prompt::Request& r) {
            return r.buttons == Prompt::Buttons::YesNo ? Prompt::Answer::No : Prompt::Answer::OK;
        };
        doubleClick(0);
        EXPECT_EQ(edited_, (std::vector<std::string>{"old.com|x"}));
        EXPECT_EQ(stored()[1], c.permitted);
        EXPECT_TRUE(stored()[0].empty());
        EXPECT_EQ(promptTexts(), c.messages);
        std::vector<std::string> shown;
        for (const auto& d : column(1)) shown.push_back(d);
        std::vector<std::string> expected;
        for (const auto& entry : c.permitted) expected.push_back(entry.substr(0, entry.find('\t')));
        EXPECT_EQ(shown, expected);
    }
}

TEST_F(DomainsPageTest, BlockingADomainBlocksItsSendersInOneWriteAndRecyclesTheirHeldMail) {
    listDomain("spam.com", DomainStatus::Approved);
    listSender("u@spam.com", SenderStatus::Unknown);
    holdMessage("u@spam.com", "1");
    listSender("a@spam.com", SenderStatus::Approved);
    listSender("b@spam.com", SenderStatus::Blocked);
    listSender("x@other.com", SenderStatus::Unknown);
    start();
    answerYes();
    int changes = 0;
    const auto token = program_->Senders()->Change.Subscribe([&changes] { ++changes; });
    select(0, 0);
    click("Block");
    program_->Senders()->Change.Unsubscribe(token);

    ASSERT_EQ(prompts_.size(), 2u);
    EXPECT_EQ(prompts_[0].text,
              "Would you like Glimmerpost to search for senders from spam.com domain and put them to black list?");
    EXPECT_EQ(prompts_[1].text, "2 sender(s) have been  blocked ");
    EXPECT_EQ(prompts_[1].caption, "Domain operation");
    EXPECT_EQ(changes, 1);  // one BulkUpdate: one write of senders.ini
    CIniFile senders(ProgramFiles::SendersIniPath().string());
    EXPECT_EQ(senders.Value("u@spam.com", "AccessLevel"), "0");
    EXPECT_EQ(senders.Value("a@spam.com", "AccessLevel"), "0");
    EXPECT_EQ(senders.Value("u@spam.com", "AuthReason"), "Blocked u@spam.com because of blocked domain spam.com");
    EXPECT_EQ(senders.Value("x@other.com", "AccessLevel"), "1");
    EXPECT_TRUE(files("WaitingAuth").empty());
    EXPECT_EQ(files("Recycled"), (std::vector<std::string>{"u@spam.com 1.eml"}));
    EXPECT_EQ(stored()[0], (std::vector<std::string>{"spam.com\tManualy blocked by user"}));
    EXPECT_EQ(column(1), (std::vector<std::string>{"You have not specified any permitted domains"}));
}

TEST_F(DomainsPageTest, ApplyingANotListedDomainChangesNothing) {
    listSender("u@nowhere.com", SenderStatus::Unknown);
    start();
    const std::string before = testing_support::ReadFile(ProgramFiles::SendersIniPath());
    DomainActions actions(*program_);
    EXPECT_EQ(actions.ApplyDomainStatusToSenders("nowhere.com"), 0u);
    EXPECT_EQ(program_->Senders()->StatusOf("u@nowhere.com"), SenderStatus::Unknown);
    EXPECT_EQ(testing_support::ReadFile(ProgramFiles::SendersIniPath()), before);
    EXPECT_TRUE(prompts_.empty());
}

TEST_F(DomainsPageTest, SendersCommandsHandleEachDistinctDomainOnceAndTheOneTheyAskedAbout) {
    listSender("a@one.com", SenderStatus::Unknown);
    listSender("b@one.com", SenderStatus::WaitingAuth);
    listSender("c@two.org", SenderStatus::Approved);
    listSender("d@three.net", SenderStatus::Unknown);
    start();
    answerYes();
    DomainActions actions(*program_);
    actions.BlockSendersDomain({"a@one.com", "b@ONE.com", "  ", "c@two.org"});
    EXPECT_EQ(promptTexts(),
              (std::vector<std::string>{
                  "Would you like Glimmerpost to search for senders from one.com domain and move them to black list?",
                  "2 sender(s) have been  blocked ",
                  "Would you like Glimmerpost to search for senders from two.org domain and move them to black list?",
                  "1 sender(s) have been  blocked "}));
    EXPECT_EQ(stored()[0], (std::vector<std::string>{"one.com\tBlocked by user", "two.org\tBlocked by user"}));
    EXPECT_EQ(program_->Senders()->StatusOf("d@three.net"), SenderStatus::Unknown);

    prompts_.clear();
    actions.ApproveSendersDomain({"d@three.net"});
    EXPECT_EQ(promptTexts(),
              (std::vector<std::string>{
                  "Would you like Glimmerpost to search for senders from this domain and approve them?",
                  "1 sender(s) have been approved"}));
    EXPECT_EQ(program_->Senders()->StatusOf("d@three.net"), SenderStatus::Approved);
}

TEST_F(DomainsPageTest, SeveralSelectedDomainsAreAskedAboutOnceEachAndDeletedAfterOneQuestion) {
    for (const char* d : {"a.com", "b.com", "c.com"}) listDomain(d, DomainStatus::Blocked);
    start();
    showTab(1);
    answerer_ = [](const Prompt::Request& r) {
        return r.buttons == Prompt::Buttons::YesNo ? Prompt::Answer::No : Prompt::Answer::OK;
    };
    select(0, 1);
    click("Ok");
    EXPECT_EQ(promptTexts(),
              (std::vector<std::string>{
                  "Would you like Glimmerpost to search for senders from a.com domain and approve them?",
                  "Would you like Glimmerpost to search for senders from b.com domain and approve them?"}));
    EXPECT_EQ(stored()[1], (std::vector<std::string>{"a.com\tManualy registered by user",
                                                     "b.com\tManualy registered by user"}));
    EXPECT_EQ(column(1), (std::vector<std::string>{"c.com"}));

    showTab(0);
    prompts_.clear();
    select(1, 0);
    click("DomainDelete");
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].text, "Are you sure you want to delete 2 Domains?");
    EXPECT_EQ(prompts_[0].caption, "Domains");
    EXPECT_EQ(prompts_[0].defaultButton, 2);
    EXPECT_EQ(stored()[1].size(), 2u);  // answered No

    answerYes();
    click("DomainDelete");
    EXPECT_TRUE(stored()[1].empty());
    EXPECT_EQ(grid().Cols(), 2);
}

// "Always use confirmation dialogs" unchecked: a deletion goes ahead without a question.
TEST_F(DomainsPageTest, WithoutConfirmationsADeletionAsksNothing) {
    listDomain("a.com", DomainStatus::Approved);
    listDomain("b.com", DomainStatus::Approved);
    setValue("options", "UseConfirmations", "0");
    start();
    answerer_ = [](const Prompt::Request&) { return Prompt::Answer::No; };
    select(0, 0);
    click("DomainDelete");
    EXPECT_TRUE(prompts_.empty()) << ::testing::PrintToString(promptTexts());
    ASSERT_EQ(stored()[1].size(), 1u);
    EXPECT_TRUE(stored()[1][0].starts_with("b.com")) << stored()[1][0];
}

TEST_F(DomainsPageTest, AWriteThatFailsLosesNothingAndIsTold) {
    listDomain("keep.com", DomainStatus::Approved, "k");
    start();
    // Root writes through permissions: a folder that takes no new entries (the
    // immutable flag), or else a folder where Domains.ini should be, refuses the write.
    const bool folderLocked = makeReadOnly(dir() / "accounts");
    if (!folderLocked) {
        std::filesystem::remove(ProgramFiles::DomainsIniPath());
        std::filesystem::create_directory(ProgramFiles::DomainsIniPath());
        program_->Domains()->DeleteDomain("nothing.com");
    }
    const std::vector<std::string> shownBefore = column(1);
    answerYes();
    script_ = {1, "new.com", "n", {}};
    click("DomainAdd");
    const std::string failed = "The domain list could not be saved to " + ProgramFiles::DomainsIniPath().string() +
                               ".\r\nThe change has not been made.";
    EXPECT_EQ(promptTexts(), (std::vector<std::string>{failed}));
    EXPECT_EQ(column(1), shownBefore);

    if (folderLocked) {
        prompts_.clear();
        script_ = {1, "renamed.com", "r", {}};
        doubleClick(0);
        EXPECT_EQ(promptTexts(), (std::vector<std::string>{failed}));
        EXPECT_EQ(column(1), (std::vector<std::string>{"keep.com"}));
        EXPECT_EQ(stored()[1], (std::vector<std::string>{"keep.com\tk"}));
        testing_support::SetFolderReadOnly(dir() / "accounts", false);
    }
}

TEST_F(DomainsPageTest, AShutDownInsideADomainQuestionChangesNoSender) {
    listDomain("spam.com", DomainStatus::Approved);
    listDomain("junk.com", DomainStatus::Approved);
    listSender("u@spam.com", SenderStatus::Unknown);
    holdMessage("u@spam.com", "1");
    start();
    answerer_ = [this](const Prompt::Request& r) {
        if (r.buttons != Prompt::Buttons::YesNo) return Prompt::Answer::OK;
        program_->RequestShutDown();
        return Prompt::Answer::Yes;
    };
    select(0, 1);
    click("Block");
    EXPECT_TRUE(program_->shutDownDone());
    EXPECT_EQ(prompts_.size(), 1u);  // the second domain is not asked about
    EXPECT_EQ(CIniFile(ProgramFiles::SendersIniPath().string()).Value("u@spam.com", "AccessLevel"), "1");
    EXPECT_EQ(files("WaitingAuth"), (std::vector<std::string>{"u@spam.com 1.eml"}));
}

TEST_F(DomainsPageTest, TheSendersMenuBlocksTheDomainOfTheSenderItWasOpenedOn) {
    listSender("a@one.com", SenderStatus::Unknown);
    listSender("c@one.com", SenderStatus::Unknown);
    listSender("b@two.org", SenderStatus::Unknown);
    start();
    mainwindow::SendersView* view = pages_->Senders();
    ASSERT_NE(view, nullptr);
    auto& tabs = *view->page().tsSenders();
    tabs.tabs()->setCurrentIndex(tabs.indexOfKey("Unknown"));
    platform::GridControl& senders = view->grid();
    const int a = senders.Model().FindRow(4, "a@one.com");
    const int b = senders.Model().FindRow(4, "b@two.org");
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    senders.SetSelection(a, a);
    view->fgSenders_MouseUp(a, QPoint());
    // The user moves to another sender while the question is open.
    answerer_ = [&](const Prompt::Request& r) {
        if (r.buttons != Prompt::Buttons::YesNo) return Prompt::Answer::OK;
        senders.SetSelection(b, b);
        return Prompt::Answer::Yes;
    };
    view->MenuBlockSendersDomain();
    EXPECT_EQ(promptTexts(), (std::vector<std::string>{
                                 "Would you like Glimmerpost to search for senders from this domain and move them to "
                                 "black list?",
                                 "2 sender(s) have been  blocked "}));
    EXPECT_EQ(stored()[0], (std::vector<std::string>{"one.com\tBlocked by user"}));
    EXPECT_EQ(program_->Senders()->StatusOf("c@one.com"), SenderStatus::Blocked);
    EXPECT_EQ(program_->Senders()->StatusOf("b@two.org"), SenderStatus::Unknown);
}

}  // namespace
