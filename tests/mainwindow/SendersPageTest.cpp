// The senders and messages page in the running program, on real lists: what each tab
// shows, the search, the sort, refills and the selection kept by key.
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QTest>

#include "SendersPageFixture.h"
#include "mainwindow/MessagePreviewForm.h"

namespace {

using testing_support::SendersPageTest;
using namespace mainwindow;

TEST_F(SendersPageTest, EachTabShowsItsRowsOrItsPlaceholderWithTheCountLine) {
    startWithPages();
    sender("ann@a.org", SenderStatus::Unknown);
    sender("bob@b.org", SenderStatus::Blocked);
    message("ann@a.org", "1");
    struct Case {
        int tab;
        int columns;
        std::string row1, countLine;
        bool deleteOn;
    };
    const std::vector<Case> cases = {
        {1, 6, "ann@a.org", "There are 1 unknown senders", true},
        {2, 2, "There are no senders waiting your approval", "", false},
        {3, 2, "There are no registered senders", "", false},
        {4, 6, "bob@b.org", "There are 1 blocked senders", true},
        {5, 6, "bob@b.org", "There is a total of 2 senders", true},
        {6, 6, "ann@a.org", "There are total of 1 messages", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("tab " + std::to_string(c.tab));
        showTab(c.tab);
        EXPECT_EQ(grid().Cols(), c.columns);
        EXPECT_EQ(text(0, 1), c.row1);
        EXPECT_EQ(page().tSendersCount()->text().toStdString(), c.countLine);
        EXPECT_EQ(page().button("UserDelete")->isEnabled(), c.deleteOn);
        EXPECT_EQ(grid().Model().Header(1), "Sender");
        EXPECT_EQ(grid().isColumnHidden(4), c.columns == 6);
    }
    messages().RemoveMessage(keyAt(0));
    EXPECT_TRUE(platform::WaitUntil([&] { return grid().Cols() == 2; }, 5000));
    EXPECT_EQ(text(0, 1), "There are no messages in any of the accounts");
    EXPECT_EQ(page().tSendersCount()->text(), "");
}

TEST_F(SendersPageTest, TypedSearchFiltersAndShowsThePlaceholderWhenNothingMatches) {
    startWithPages();
    sender("ann@a.org", SenderStatus::Unknown, "Said hello");
    sender("bob@b.org", SenderStatus::Unknown, "Asked twice");
    showTab(1);

    type("HELLO");
    EXPECT_EQ(page().tSenderSearch()->text(), "HELLO");
    EXPECT_TRUE(page().tSenderSearch()->isVisible());
    EXPECT_TRUE(page().tQuickSearch()->isVisible());
    EXPECT_EQ(keys(), std::vector<std::string>{"ann@a.org"});

    type("x");
    EXPECT_EQ(grid().Cols(), 2);
    EXPECT_EQ(text(0, 1), "No senders meet your search criteria");
    EXPECT_EQ(grid().Rows(), 1) << "no stale row stays";
    EXPECT_FALSE(page().button("Ok")->isEnabled());
    type("y");
    EXPECT_EQ(page().tSenderSearch()->text(), "HELLOx") << "blocked: nothing more is appended";

    type(QString(QChar(8)) + QChar(8) + QChar(8) + QChar(8) + QChar(8) + QChar(8));
    EXPECT_EQ(page().tSenderSearch()->text(), "");
    EXPECT_FALSE(page().tSenderSearch()->isVisible());
    EXPECT_EQ(grid().Rows(), 2);

    // A blank filters while the box stays hidden, and Backspace takes it away again.
    type(" ");
    EXPECT_EQ(page().tSenderSearch()->text(), " ");
    EXPECT_FALSE(page().tSenderSearch()->isVisible());
    type(QString(QChar(8)));
    EXPECT_EQ(page().tSenderSearch()->text(), "");

    // A key typed into the grid goes the same way; another tab empties the search.
    QTest::keyClicks(&grid(), "bob");
    platform::PumpEvents();
    EXPECT_EQ(keys(), std::vector<std::string>{"bob@b.org"});
    showTab(5);
    EXPECT_EQ(page().tSenderSearch()->text(), "");
    EXPECT_EQ(grid().Rows(), 2);
}

TEST_F(SendersPageTest, HeaderClicksSortWithoutRefillAndTheSortStaysForLaterFills) {
    startWithPages();
    MiscFuncs::SetClock([] { return MiscFuncs::LocalTime{2026, 12, 1, 8, 0, 0}; });
    sender("old@a.org", SenderStatus::Unknown, "b reason");
    MiscFuncs::SetClock([] { return MiscFuncs::LocalTime{2026, 12, 5, 8, 0, 0}; });
    sender("New@a.org", SenderStatus::Unknown, "A reason");
    MiscFuncs::SetClock([] { return MiscFuncs::LocalTime{2026, 12, 3, 8, 0, 0}; });
    sender("mid@a.org", SenderStatus::Unknown, "c reason");
    showTab(1);
    const int fills = view().fillCount();

    auto clickHeader = [&](int col) {
        QHeaderView* h = grid().horizontalHeader();
        QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                          QPoint(h->sectionViewportPosition(col) + h->sectionSize(col) / 2, 4));
    };
    clickHeader(3);
    EXPECT_EQ(keys(), (std::vector<std::string>{"new@a.org", "mid@a.org", "old@a.org"}));
    EXPECT_EQ(grid().Model().Header(3), "Date (Descending)");
    clickHeader(3);
    EXPECT_EQ(keys(), (std::vector<std::string>{"old@a.org", "mid@a.org", "new@a.org"}));
    EXPECT_EQ(grid().Model().Header(3), "Date (Asending)");
    clickHeader(2);
    EXPECT_EQ(keys(), (std::vector<std::string>{"new@a.org", "old@a.org", "mid@a.org"}));
    EXPECT_EQ(grid().Model().Header(2), "Subject/Comment (Asending)");
    EXPECT_EQ(grid().Model().Header(3), "Date");
    EXPECT_EQ(view().fillCount(), fills);

    sender("aaa@a.org", SenderStatus::Unknown, "B2 reason");
    ASSERT_TRUE(refilled(fills));
    EXPECT_EQ(keys(), (std::vector<std::string>{"new@a.org", "old@a.org", "aaa@a.org", "mid@a.org"}));
}

TEST_F(SendersPageTest, ChangesAreRefilledOnceByKeyAndOnlyOnTheTabsTheyConcern) {
    startWithPages();
    for (const char* a : {"b@x.org", "d@x.org", "f@x.org"}) sender(a, SenderStatus::Unknown);
    showTab(1);
    grid().Model().Sort(1, platform::GridSort::TextAscending);
    grid().SetSelection(rowOf("d@x.org"), rowOf("f@x.org"));
    const int fills = view().fillCount();

    // Three changes, one refill; the new rows sort before the selection.
    sender("a@x.org", SenderStatus::Unknown);
    sender("c@x.org", SenderStatus::Unknown);
    senders().DeleteSender("b@x.org");
    EXPECT_EQ(view().fillCount(), fills) << "coalesced on a timer";
    ASSERT_TRUE(refilled(fills));
    EXPECT_EQ(view().fillCount(), fills + 1);
    EXPECT_EQ(keyAt(grid().Row()), "d@x.org");
    EXPECT_EQ(keyAt(grid().RowSel()), "f@x.org");

    // The message store's changes leave the sender tabs alone.
    const int afterSenders = view().fillCount();
    message("a@x.org", "1");
    EXPECT_FALSE(view().refillPending());
    EXPECT_FALSE(view().refillScheduled());
    EXPECT_EQ(view().fillCount(), afterSenders);

    // Nothing is refilled while the window is hidden; showing it refills.
    program_->MainForm()->hide();
    sender("e@x.org", SenderStatus::Unknown);
    EXPECT_EQ(view().fillCount(), afterSenders);
    EXPECT_TRUE(view().refillPending());
    EXPECT_FALSE(view().refillScheduled()) << "no refill timer runs while hidden";
    program_->MainForm()->show();
    ASSERT_TRUE(refilled(afterSenders));
    EXPECT_NE(rowOf("e@x.org"), -1);
}

TEST_F(SendersPageTest, TextFromStrangersIsShownLiterally) {
    startWithPages();
    message("eve@x.org", "1", "WaitingAuth", "<b>bold</b> & <i>");
    showTab(6);
    const QModelIndex subject = grid().Model().index(0, 2);
    EXPECT_EQ(grid().Model().data(subject, Qt::DisplayRole).toString(), "<b>bold</b> & <i>");
    view().fgSenders_MouseMove(0, 2);
    EXPECT_EQ(grid().ToolTipText(), "<b>bold</b> & <i>");
    view().fgSenders_MouseMove(0, 0);
    EXPECT_EQ(grid().ToolTipText(), "Message is in Waiting for Approval box");
}

TEST_F(SendersPageTest, DoubleClickOnAWaitingSenderOpensTheRegistrationPopUp) {
    startWithPages();
    sender("wait@x.org", SenderStatus::WaitingAuth);
    sender("unk@x.org", SenderStatus::Unknown);
    std::vector<std::string> asked;
    view().links().authorize = [&](const std::string& a) { asked.push_back(a); };
    for (int tab : {1, 2}) {
        showTab(tab);
        QTest::mouseDClick(grid().viewport(), Qt::LeftButton, {}, grid().visualRect(grid().Model().index(0, 1)).center());
    }
    EXPECT_EQ(asked, std::vector<std::string>{"wait@x.org"});
}

}  // namespace

namespace {

TEST_F(SendersPageTest, AttachFillsTheSlotsAndTheTrayMenuFallsBackToTheWindowsOwn) {
    startWithPages();
    ASSERT_NE(pages_.TrayMenu(), nullptr);
    ASSERT_NE(pages_.Preview(), nullptr);
    EXPECT_EQ(pages_.Preview()->parentWidget(), program_->MainForm());
    EXPECT_FALSE(pages_.Preview()->isVisible());

    program_->Engines().Unload("SystrayMenuForm");
    EXPECT_EQ(pages_.TrayMenu(), nullptr);
    program_->MainForm()->ShowTrayMenu();
    platform::PumpEvents();
    QMenu* fallback = program_->MainForm()->findChild<QMenu*>("mnuSystray");
    ASSERT_NE(fallback, nullptr);
    EXPECT_TRUE(fallback->isVisible());
    fallback->hide();

    program_->Engines().Unload("MessagePreviewForm");
    EXPECT_EQ(pages_.Preview(), nullptr);
    sender("ann@a.org", SenderStatus::Unknown);
    showTab(1);
    grid().SetSelection(0, 0);
    view().IndividualsToolBar_ButtonClick(5);
    EXPECT_TRUE(logHas("MessagePreviewForm is not available"));
}

}  // namespace
