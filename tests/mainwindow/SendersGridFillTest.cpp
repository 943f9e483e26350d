// What the senders grid shows per tab and search, its header, widths and search keys:
// pure functions over real lists.
#include "mainwindow/SendersGridFill.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mainwindow/SendersSearch.h"
#include "platform/GridModel.h"

namespace {

using namespace mainwindow;

SenderEntry entry(const std::string& address, const std::string& reason, const std::string& date, int day) {
    return SenderEntry::Make(address, "", reason, date, MiscFuncs::DateValue(day));
}

class SendersGridFillTest : public ::testing::Test {
protected:
    void SetUp() override {
        lists_[1].Add(entry("ann@unknown.org", "Mail came", "12/01/26 10:00", 46000));
        lists_[1].Add(entry("bob@unknown.org", "Mail came", "12/02/26 10:00", 46001));
        lists_[3].Add(entry("cy@ok.org", "Manualy registered by user", "11/30/26 09:15", 45999));
        messages_.Add(MessageIndexEntry("ann@unknown.org", "Hello <b>there</b>", "12/01/26 10:00",
                                        "me@x.com\\MailDir\\WaitingAuth\\ann@unknown.org 1.eml", 14000000));
        messages_.Add(MessageIndexEntry("cy@ok.org", "Invoice", "11/30/26 09:15",
                                        "me@x.com\\MailDir\\Recycled\\cy@ok.org 2.eml", 14000001));
    }
    SendersFill fill(int tab, const std::string& search = "", bool withLists = true) {
        return FillSendersRows(tab, search, withLists ? &lists_ : nullptr, withLists ? &messages_ : nullptr);
    }
    // Column 1 of every row, read back through a model.
    static std::vector<std::string> shown(SendersFill f) {
        platform::GridModel model;
        model.SetRows(f.columns, std::move(f.rows));
        std::vector<std::string> out;
        for (int r = 0; r < model.Rows(); ++r) out.emplace_back(model.Text(r, 1));
        return out;
    }
    SenderLists lists_;
    CMessages::Index messages_;
};

TEST_F(SendersGridFillTest, PlaceholdersCountLinesAndButtonsPerTab) {
    struct Case {
        int tab;
        bool withLists;
        std::string search;
        int columns;
        std::string placeholder, countLine;
        SendersButtons buttons;  // ok, block, userAdd, userDelete, preview
        bool blocked;
    };
    const std::vector<Case> cases = {
        {1, true, "", 6, "", "There are 2 unknown senders", {true, true, false, true, true}, false},
        {2, true, "", 2, "There are no senders waiting your approval", "", {false, false, false, false, false}, false},
        {3, true, "", 6, "", "There are 1 registered senders", {false, true, true, true, true}, false},
        {4, true, "", 2, "There are no blocked senders", "", {false, false, true, false, false}, false},
        {5, true, "", 6, "", "There is a total of 3 senders", {true, true, false, true, true}, false},
        {6, true, "", 6, "", "There are total of 2 messages", {true, true, false, false, true}, false},
        {1, false, "", 2, "There are no unknown e-mail addresses", "", {false, false, false, false, false}, false},
        {3, false, "", 2, "There are no registered senders", "", {false, false, true, false, false}, false},
        {5, false, "", 2, "You have no senders in any of lists", "", {false, false, false, false, false}, true},
        {6, false, "", 2, "There are no messages in any of the accounts", "", {true, true, false, false, false}, false},
        {1, true, "nobody", 2, "No senders meet your search criteria", "", {false, false, false, false, false}, true},
        {2, true, "nobody", 2, "No senders meet your search criteria", "", {false, false, false, false, false}, true},
        {5, true, "nobody", 2, "No senders meet your search criteria", "", {false, false, false, false, false}, true},
        {6, true, "nobody", 2, "No messages meet your search criteria", "", {true, true, false, false, false}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("tab " + std::to_string(c.tab) + " lists " + std::to_string(c.withLists) + " search '" +
                     c.search + "'");
        SendersFill f = fill(c.tab, c.search, c.withLists);
        EXPECT_EQ(f.columns, c.columns);
        EXPECT_EQ(f.placeholder, c.placeholder);
        EXPECT_EQ(f.countLine, c.countLine);
        EXPECT_EQ(f.buttons, c.buttons);
        EXPECT_EQ(f.quickSearchBlocked, c.blocked);
        EXPECT_EQ(f.rows.Count(), static_cast<std::size_t>(f.count));
    }
}

TEST_F(SendersGridFillTest, RowsHoldTheFiveFieldsAndThePictureOfTheirList) {
    platform::GridModel model;
    model.SetRows(6, fill(5).rows);
    ASSERT_EQ(model.Rows(), 3);
    // Lists 0 to 3 in that order.
    EXPECT_EQ(model.Text(0, 4), "ann@unknown.org");
    EXPECT_EQ(model.PictureKey(0), "UserUnknown");
    EXPECT_EQ(model.Text(2, 1), "cy@ok.org");
    EXPECT_EQ(model.Text(2, 2), "Manualy registered by user");
    EXPECT_EQ(model.Text(2, 3), "11/30/26 09:15");
    EXPECT_EQ(model.PictureKey(2), "UserOk");
    EXPECT_EQ(model.Text(0, 0), "");

    model.SetRows(6, fill(6).rows);
    EXPECT_EQ(model.Text(0, 2), "Hello <b>there</b>");
    EXPECT_EQ(model.Text(0, 5), "14000000");
    EXPECT_EQ(model.PictureKey(0), "MessageUnknown");
    EXPECT_EQ(model.PictureKey(1), "MessageDeleted");
}

TEST_F(SendersGridFillTest, SearchIgnoresCaseAndMatchesEveryFieldButTheMinutes) {
    struct Case {
        int tab;
        std::string search;
        std::vector<std::string> rows;
    };
    const std::vector<Case> cases = {
        {5, "ANN@", {"ann@unknown.org"}},
        {5, "registered BY", {"cy@ok.org"}},                            // the reason
        {5, "12/02/26", {"bob@unknown.org"}},                           // the date text
        {5, "46001", {}},                                               // the minutes never match
        {6, "recycled", {"cy@ok.org"}},                                 // the folder in the key
        {6, "me@x.com", {"ann@unknown.org", "cy@ok.org"}},              // the account in the key
        {6, "14000001", {}},                                            // the minutes never match
        {6, "<B>", {"ann@unknown.org"}},                                // the subject
        {5, "came 12/01", {}},                                          // a search never spans two fields
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("tab " + std::to_string(c.tab) + " search '" + c.search + "'");
        EXPECT_EQ(shown(fill(c.tab, c.search)), c.rows);
    }
}

// The grid shows an 8-bit field as UTF-8 when it is valid UTF-8, else as Latin-1: the
// search finds what is shown, whatever the letter case.
TEST_F(SendersGridFillTest, SearchMatchesTheTextAsShownIgnoringCaseBeyondAscii) {
    lists_[2].Add(SenderEntry::Make("jose@latin1.es", "Jos\xE9", "Caf\xE9 au lait", "12/03/26 10:00", 46002));
    lists_[2].Add(SenderEntry::Make("jose@utf8.es", "JOS\xC3\x89", "\xC3\x9C" "ber", "12/03/26 10:00", 46002));
    messages_.Add(MessageIndexEntry("Ren\xE9 <rene@x.fr>", "\xC0 bient\xF4t", "12/01/26 10:00",
                                    "me@x.com\\MailDir\\InBox\\rene@x.fr 3.eml", 14000002));
    struct Case {
        int tab;
        std::string search;  // as typed: UTF-8
        std::vector<std::string> rows;
    };
    const std::vector<Case> cases = {
        {2, "\xC3\xA9", {"jose@latin1.es (Jos\xE9)", "jose@utf8.es (JOS\xC3\x89)"}},  // é
        {2, "JOS\xC3\x89", {"jose@latin1.es (Jos\xE9)", "jose@utf8.es (JOS\xC3\x89)"}},  // JOSÉ
        {2, "CAF\xC3\x89", {"jose@latin1.es (Jos\xE9)"}},                                // CAFÉ
        {2, "\xC3\xBC", {"jose@utf8.es (JOS\xC3\x89)"}},                                 // ü
        {2, "jos", {"jose@latin1.es (Jos\xE9)", "jose@utf8.es (JOS\xC3\x89)"}},
        {2, "\xC3\xA8", {}},                                                              // è
        {6, "REN\xC3\x89", {"Ren\xE9 <rene@x.fr>"}},
        {6, "\xC3\xA0 BIENT\xC3\x94T", {"Ren\xE9 <rene@x.fr>"}},                           // à bientôt
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("tab " + std::to_string(c.tab) + " search '" + c.search + "'");
        EXPECT_EQ(shown(fill(c.tab, c.search)), c.rows);
    }
}

TEST(SendersImageKeys, StatusAndFolderPictures) {
    EXPECT_EQ(SenderImageKey(0), "UserBlocked");
    EXPECT_EQ(SenderImageKey(1), "UserUnknown");
    EXPECT_EQ(SenderImageKey(2), "UserWaitingAuth");
    EXPECT_EQ(SenderImageKey(3), "UserOk");
    EXPECT_EQ(SenderImageKey(7), "");
    EXPECT_EQ(MessageImageKey("a\\MailDir\\WaitingAuth\\f.eml"), "MessageUnknown");
    EXPECT_EQ(MessageImageKey("a\\MailDir\\InBox\\f.eml"), "MessageOk");
    EXPECT_EQ(MessageImageKey("a\\MailDir\\Recycled\\f.eml"), "MessageDeleted");
    EXPECT_EQ(MessageImageKey("a\\MailDir\\inbox\\f.eml"), "") << "letter case counts";
    EXPECT_EQ(MessageImageKey("MailDir\\InBox"), "") << "the folder needs a backslash on both sides";
}

TEST(SendersHeader, ClicksToggleTheModeAndMarkTheColumn) {
    struct Step {
        int click;
        int column, mode;
        std::vector<QString> captions;  // columns 1 to 3
    };
    const std::vector<Step> steps = {
        {3, 3, 4, {"Sender", "Subject/Comment", "Date (Descending)"}},  // newest first
        {3, 3, 3, {"Sender", "Subject/Comment", "Date (Asending)"}},
        {1, 1, 5, {"Sender (Asending)", "Subject/Comment", "Date"}},
        {2, 2, 6, {"Sender", "Subject/Comment (Descending)", "Date"}},  // looks at the mode only
        {2, 2, 5, {"Sender", "Subject/Comment (Asending)", "Date"}},
        {0, 0, 6, {"Sender", "Subject/Comment", "Date"}},
        {4, 0, 6, {"Sender", "Subject/Comment", "Date"}},               // no such header
    };
    SendersSort sort;
    EXPECT_EQ(SendersHeaderCaptions(6, sort), (QStringList{"   ", "Sender", "Subject/Comment", "Date", "", ""}));
    for (const Step& s : steps) {
        sort = SortAfterHeaderClick(sort, s.click);
        SCOPED_TRACE("click " + std::to_string(s.click));
        EXPECT_EQ(sort.column, s.column);
        EXPECT_EQ(sort.mode, s.mode);
        const QStringList c = SendersHeaderCaptions(6, sort);
        EXPECT_EQ((std::vector<QString>{c[1], c[2], c[3]}), s.captions);
    }
    EXPECT_EQ(SortGridColumn(SendersSort{3, 4}), 5);
    EXPECT_EQ(SortGridColumn(SendersSort{2, 5}), 2);
    EXPECT_EQ(SendersHeaderCaptions(2, SendersSort{1, 5}), (QStringList{"   ", "Sender"}));
}

TEST(SendersWidths, TwoFifthsTwoFifthsOneFifthOrAllForThePlaceholder) {
    const SendersWidths six = SendersColumnWidths(6, 10540);
    EXPECT_EQ(six.col[1], 4000);
    EXPECT_EQ(six.col[2], 4000);
    EXPECT_EQ(six.col[3], 2000);
    EXPECT_EQ(six.col[4], 0);
    EXPECT_EQ(six.col[5], 0);
    EXPECT_EQ(SendersColumnWidths(6, 1544).col[3], 200);  // 1004 / 5 rounded down
    EXPECT_EQ(SendersColumnWidths(6, 1544).col[1], 401);
    EXPECT_EQ(SendersColumnWidths(2, 1544).col[1], 1004);
    EXPECT_EQ(SendersColumnWidths(6, 100).col[1], 0) << "never negative";
}

TEST(SendersSearchKeys, WhatEachKeyDoesToTheText) {
    struct Case {
        QString text;
        QChar key;
        bool listsRows, blocked;
        QString after;
        bool beep;
    };
    const std::vector<Case> cases = {
        {"ab", 'c', true, false, "abc", false},
        {"ab", 'c', false, false, "ab", true},     // a placeholder is shown
        {"ab", 'c', true, true, "ab", true},       // the search found nothing
        {"a ", QChar(8), true, false, "a", false},  // Backspace removes a blank too
        {" ", QChar(8), true, true, "", false},     // also while blocked
        {"", QChar(8), true, false, "", false},
        {"abc", QChar(27), true, true, "", false},  // Escape empties
        {"ab", QChar(9), true, false, "ab", false},  // no control characters
        {"ab", QChar(0x7f), true, false, "ab", false},
        {"ab", QChar(0xe9), true, false, QString("ab") + QChar(0xe9), false},
    };
    for (const Case& c : cases) {
        const SearchKeyResult r = ApplySearchKey(c.text, c.key, c.listsRows, c.blocked);
        SCOPED_TRACE(c.text.toStdString() + " key " + std::to_string(c.key.unicode()));
        EXPECT_EQ(r.text, c.after);
        EXPECT_EQ(r.beep, c.beep);
        EXPECT_EQ(r.changed, c.after != c.text);
    }
    EXPECT_FALSE(SearchBoxShown("  "));
    EXPECT_TRUE(SearchBoxShown(" a"));
}

}  // namespace
