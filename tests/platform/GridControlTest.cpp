#include "platform/GridControl.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QToolTip>
#include <QSignalSpy>
#include <QTest>

#include <string>
#include <vector>

namespace {

using platform::GridControl;
using platform::GridRows;
using platform::GridSort;

// Rows of (name, number) in column 1 and 2, picture "P" + name's first letter.
GridRows rowsOf(const std::vector<std::pair<std::string, std::string>>& cells) {
    GridRows rows;
    for (const auto& [name, number] : cells) rows.Add({"", name, number}, "P" + name.substr(0, 1));
    return rows;
}

std::vector<std::string> column(const GridControl& grid, int col) {
    std::vector<std::string> out;
    for (int r = 0; r < grid.Rows(); ++r) out.emplace_back(grid.Model().Text(r, col));
    return out;
}

class GridControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        grid_.resize(600, 300);
        grid_.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid_));
    }
    GridControl grid_;
};

TEST_F(GridControlTest, AFillResetsTheModelOnceAndTheHeaderIsNoRow) {
    QSignalSpy resets(&grid_.Model(), &QAbstractItemModel::modelReset);
    grid_.Model().SetHeaders({"   ", "Sender", "Date"});
    grid_.Model().SetRows(3, rowsOf({{"bob", "2"}, {"al", "10"}}));
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(grid_.Rows(), 2);
    EXPECT_EQ(grid_.Cols(), 3);
    EXPECT_EQ(grid_.Model().Text(0, 1), "bob");
    EXPECT_EQ(grid_.Model().Header(1), "Sender");
    EXPECT_EQ(grid_.Model().headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Sender");
    EXPECT_EQ(grid_.Model().Text(2, 1), "");  // no third row
    EXPECT_EQ(grid_.Model().Text(0, 3), "");  // no fourth column
}

TEST_F(GridControlTest, CellsAreCleanedAndFieldsStartAtTheirColumn) {
    GridRows rows;
    rows.Add({"", "a\tb\r\nc", "x"});
    rows.AddFields(1, "one\ttwo\tthree", "K");
    grid_.Model().SetRows(4, std::move(rows));
    EXPECT_EQ(grid_.Model().Text(0, 1), "a b  c");
    EXPECT_EQ(grid_.Model().Text(0, 2), "x");
    EXPECT_EQ(grid_.Model().Text(1, 0), "");
    EXPECT_EQ(grid_.Model().Text(1, 3), "three");
    EXPECT_EQ(grid_.Model().PictureKey(1), "K");
    EXPECT_EQ(grid_.Model().PictureKey(0), "");
}

TEST_F(GridControlTest, TheModelKeepsItsOwnCopyOfTheTexts) {
    std::string source = "first\tsecond";
    GridRows rows;
    rows.AddFields(1, source);
    grid_.Model().SetRows(3, std::move(rows));
    source.assign(source.size(), 'X');
    source.clear();
    source.shrink_to_fit();
    EXPECT_EQ(grid_.Model().data(grid_.Model().index(0, 1), Qt::DisplayRole).toString(), "first");
}

TEST_F(GridControlTest, PicturesAreSharedByKeyAndDrawnOncePerKey) {
    std::vector<std::string> asked;
    grid_.Model().SetPictureSource([&asked](std::string_view key) {
        asked.emplace_back(key);
        QPixmap p(8, 8);
        p.fill(Qt::red);
        return QIcon(p);
    });
    grid_.Model().SetRows(3, rowsOf({{"ann", "1"}, {"amy", "2"}, {"bea", "3"}}));
    for (int r = 0; r < 3; ++r)
        for (int round = 0; round < 2; ++round)
            EXPECT_FALSE(grid_.Model().data(grid_.Model().index(r, 0), Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(asked, (std::vector<std::string>{"Pa", "Pb"}));
    EXPECT_FALSE(grid_.Model().data(grid_.Model().index(0, 1), Qt::DecorationRole).isValid());
}

TEST_F(GridControlTest, SortsStablyByTextIgnoringCaseOrByNumber) {
    struct Case {
        int col;
        GridSort mode;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {1, GridSort::TextAscending, {"Adam", "adam", "bob", "Carl"}},
        {1, GridSort::TextDescending, {"Carl", "bob", "Adam", "adam"}},
        {2, GridSort::NumericAscending, {"bob", "Adam", "adam", "Carl"}},
        {2, GridSort::NumericDescending, {"Carl", "Adam", "adam", "bob"}},
        // As text, "-1" < "10" < "9".
        {2, GridSort::TextAscending, {"bob", "Carl", "Adam", "adam"}},
    };
    grid_.Model().SetRows(3, rowsOf({{"Adam", "9"}, {"bob", "-1"}, {"adam", "9"}, {"Carl", "10"}}));
    for (const Case& c : cases) {
        grid_.Model().Sort(c.col, c.mode);
        EXPECT_EQ(column(grid_, 1), c.names) << "col " << c.col << " mode " << static_cast<int>(c.mode);
    }
}

TEST_F(GridControlTest, SortKeepsTheSelectionOnItsRowNumbersAndPicturesWithTheirRows) {
    grid_.Model().SetRows(3, rowsOf({{"cy", "1"}, {"al", "2"}, {"bo", "3"}}));
    grid_.SetSelection(1, 2);
    grid_.Model().Sort(1, GridSort::TextAscending);
    EXPECT_EQ(grid_.Row(), 1);
    EXPECT_EQ(grid_.RowSel(), 2);
    EXPECT_EQ(grid_.Model().PictureKey(0), "Pa");
    EXPECT_EQ(grid_.Model().FindRow(1, "CY"), 2);
    EXPECT_EQ(grid_.Model().FindRow(1, "none"), -1);
}

TEST_F(GridControlTest, SelectionIsOneRangeOfWholeRowsWithBothEnds) {
    grid_.Model().SetRows(3, rowsOf({{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}, {"e", "5"}}));
    grid_.SetSelection(3, 1);
    EXPECT_EQ(grid_.Row(), 3);
    EXPECT_EQ(grid_.RowSel(), 1);
    EXPECT_EQ(grid_.SelectionTop(), 1);
    EXPECT_EQ(grid_.SelectionBottom(), 3);
    EXPECT_TRUE(grid_.selectionModel()->isRowSelected(2, {}));
    EXPECT_FALSE(grid_.selectionModel()->isRowSelected(4, {}));

    // A shift-click moves the end the user moved, the start stays.
    const QRect row4 = grid_.visualRect(grid_.Model().index(4, 1));
    QTest::mouseClick(grid_.viewport(), Qt::LeftButton, Qt::ShiftModifier, row4.center());
    EXPECT_EQ(grid_.SelectionBottom(), 4);
    EXPECT_EQ(grid_.RowSel(), 4);

    // Clamped to the rows present; none on an empty grid.
    grid_.SetSelection(-3, 99);
    EXPECT_EQ(grid_.SelectionTop(), 0);
    EXPECT_EQ(grid_.SelectionBottom(), 4);
    grid_.Model().Clear(2);
    EXPECT_EQ(grid_.Row(), -1);
    EXPECT_EQ(grid_.RowSel(), -1);
}

TEST_F(GridControlTest, RightButtonReportsTheRowAndNeverChangesTheSelection) {
    grid_.Model().SetRows(3, rowsOf({{"a", "1"}, {"b", "2"}, {"c", "3"}}));
    grid_.SetSelection(0, 1);
    QSignalSpy released(&grid_, &GridControl::rightButtonReleased);
    const QPoint at = grid_.visualRect(grid_.Model().index(2, 2)).center();
    QTest::mouseClick(grid_.viewport(), Qt::RightButton, {}, at);
    ASSERT_EQ(released.count(), 1);
    EXPECT_EQ(released[0][0].toInt(), 2);
    EXPECT_EQ(released[0][1].toInt(), 2);
    EXPECT_EQ(grid_.SelectionTop(), 0);
    EXPECT_EQ(grid_.SelectionBottom(), 1);
    EXPECT_EQ(grid_.HitRow(at), 2);
    EXPECT_EQ(grid_.HitRow(QPoint(5, grid_.viewport()->height() - 2)), -1);  // below the rows
}

TEST_F(GridControlTest, ClicksAndKeysBecomeSignals) {
    grid_.Model().SetRows(3, rowsOf({{"a", "1"}, {"b", "2"}}));
    QSignalSpy header(&grid_, &GridControl::headerClicked);
    QSignalSpy doubles(&grid_, &GridControl::cellDoubleClicked);
    QSignalSpy typed(&grid_, &GridControl::charTyped);

    const int x = grid_.horizontalHeader()->sectionViewportPosition(2) + grid_.horizontalHeader()->sectionSize(2) / 2;
    QTest::mouseClick(grid_.horizontalHeader()->viewport(), Qt::LeftButton, {}, QPoint(x, 4));
    ASSERT_EQ(header.count(), 1);
    EXPECT_EQ(header[0][0].toInt(), 2);

    QTest::mouseDClick(grid_.viewport(), Qt::LeftButton, {}, grid_.visualRect(grid_.Model().index(1, 1)).center());
    ASSERT_EQ(doubles.count(), 1);
    EXPECT_EQ(doubles[0][0].toInt(), 1);

    grid_.SetSelection(0, 0);
    QTest::keyClicks(&grid_, "x ");
    QTest::keyClick(&grid_, Qt::Key_Backspace);
    QTest::keyClick(&grid_, Qt::Key_Escape);
    QTest::keyClick(&grid_, Qt::Key_Down);  // moves, types nothing
    std::vector<int> codes;
    for (const auto& args : typed) codes.push_back(args[0].value<QChar>().unicode());
    EXPECT_EQ(codes, (std::vector<int>{'x', ' ', 8, 27}));
    EXPECT_EQ(grid_.RowSel(), 1);
}

TEST_F(GridControlTest, WidthsInTwipsAndZeroHides) {
    grid_.Model().SetRows(4, rowsOf({{"a", "1"}}));
    const int dpi = grid_.logicalDpiX();
    grid_.SetColWidth(1, 1440);
    EXPECT_EQ(grid_.columnWidth(1), dpi);
    EXPECT_EQ(grid_.ColWidth(1), 1440);
    grid_.SetColWidth(3, 0);
    EXPECT_TRUE(grid_.isColumnHidden(3));
    EXPECT_EQ(grid_.ColWidth(3), 0);
    grid_.SetColWidth(3, 720);
    EXPECT_FALSE(grid_.isColumnHidden(3));
    EXPECT_EQ(grid_.WidthTwips(), grid_.viewport()->width() * 1440 / dpi);
}

TEST_F(GridControlTest, DrawingSwitchAndPlainToolTip) {
    grid_.SetRedraw(false);
    EXPECT_FALSE(grid_.Redraw());
    EXPECT_FALSE(grid_.updatesEnabled());
    grid_.SetRedraw(true);
    EXPECT_TRUE(grid_.Redraw());
    EXPECT_TRUE(grid_.updatesEnabled());
    grid_.SetToolTipText("<b>bold</b> & more");
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), grid_.viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(grid_.viewport(), &help);
    EXPECT_TRUE(QToolTip::text().contains("&lt;b&gt;bold&lt;/b&gt; &amp; more")) << QToolTip::text().toStdString();
}

}  // namespace
