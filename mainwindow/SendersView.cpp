#include "mainwindow/SendersView.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>

#include <algorithm>

#include "core/Address.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/Log.h"
#include "mainwindow/ProgramStartup.h"
#include "mainwindow/SendersPage.h"
#include "mainwindow/SendersPictures.h"
#include "mainwindow/SendersSearch.h"
#include "platform/GridControl.h"
#include "platform/Text8.h"
#include "platform/WindowHelpers.h"

namespace mainwindow {

namespace {

constexpr int kIconColumnTwips = 255;
constexpr int kMaxRefillDelayMs = 3000;

std::string toText8(const QString& text) { return text.toStdString(); }

}  // namespace

SendersView::SendersView(GlimmerpostProgram& program, SendersPage& page, SendersLinks links)
    : QObject(&page), program_(program), page_(page), links_(std::move(links)) {
    page_.SetController(this);
    refillTimer_.setSingleShot(true);
    connect(&refillTimer_, &QTimer::timeout, this, &SendersView::refillNow);

    platform::GridControl& g = grid();
    g.Model().SetPictureSource([](std::string_view key) { return QIcon(SendersRowPicture(key)); });
    connect(&g, &platform::GridControl::headerClicked, this, &SendersView::fgSenders_Click);
    connect(&g, &platform::GridControl::cellDoubleClicked, this, [this](int, int) { fgSenders_DblClick(); });
    connect(&g, &platform::GridControl::charTyped, this, &SendersView::KeyPress);
    connect(&g, &platform::GridControl::mouseMovedOver, this, &SendersView::fgSenders_MouseMove);
    connect(&g, &platform::GridControl::rightButtonReleased, this,
            [this](int row, int, QPoint at) { fgSenders_MouseUp(row, at); });
    connect(page_.tsSenders()->tabs(), &QTabBar::currentChanged, this, [this](int) { tsSenders_Click(); });
    for (int i = 1; i <= 5; ++i)
        if (QAction* b = page_.button(i))
            connect(b, &QAction::triggered, this, [this, i] { IndividualsToolBar_ButtonClick(i); });
    connect(page_.tSenderSearch(), &QLineEdit::textChanged, this, [this] { searchChanged(); });
    page_.tSenderSearch()->installEventFilter(this);
    g.installEventFilter(this);
}

SendersView::~SendersView() = default;

platform::GridControl& SendersView::grid() const { return *page_.fgSenders(); }

int SendersView::tab() const { return page_.tsSenders()->tabs()->currentIndex() + 1; }

bool SendersView::shown() const { return grid().isVisible(); }

// --- refills ----------------------------------------------------------------------

void SendersView::SendersChanged() { changed(true); }
void SendersView::MessagesChanged() { changed(false); }

void SendersView::changed(bool senders) {
    // The sender list shows on the sender tabs, the message store on the Messages tab.
    if (senders == (tab() == SendersTab::Messages)) return;
    pending_ = true;
    scheduleRefill();
}

void SendersView::scheduleRefill() {
    if (!pending_ || holds_ > 0 || !shown() || refillTimer_.isActive()) return;
    refillTimer_.start(std::clamp(lastFillMs_ * 10, kRefillDelayMs, kMaxRefillDelayMs));
}

void SendersView::refillNow() {
    if (!pending_) return;
    if (holds_ > 0 || !shown()) return;  // taken up again when released or shown
    FillSendersGrid();
}

void SendersView::release() {
    if (holds_ > 0) --holds_;
    scheduleRefill();
}

bool SendersView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &grid()) {
        if (event->type() == QEvent::Show) scheduleRefill();
        else if (event->type() == QEvent::Resize) AdjustSendersGridColumns();
        return false;
    }
    if (watched == page_.tSenderSearch()) {
        switch (event->type()) {
        case QEvent::KeyPress: {
            // Every key is the page's: characters go through the search rules, the rest
            // does nothing in the box.
            const QString text = static_cast<QKeyEvent*>(event)->text();
            if (text.size() == 1) KeyPress(text.front());
            return true;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            page_.tSenderSearch()->setFocus();
            page_.tSenderSearch()->setCursorPosition(static_cast<int>(page_.tSenderSearch()->text().size()));
            return true;
        default: return false;
        }
    }
    return false;
}

// --- the fill ---------------------------------------------------------------------

void SendersView::FillSendersGrid() {
    QElapsedTimer took;
    took.start();
    refillTimer_.stop();
    pending_ = false;
    platform::GridControl& g = grid();
    const int t = tab();

    // The selection is carried by the rows' keys within a tab, by its place otherwise.
    std::string rowKey, selKey;
    const int rememberedRow = std::max(g.RowSel(), 0);
    if (filledTab_ == t && g.Cols() == 6 && g.Rows() > 0) {
        rowKey = std::string(g.Model().Text(g.Row(), 4));
        selKey = std::string(g.Model().Text(g.RowSel(), 4));
    }

    g.SetRedraw(false);
    g.SetToolTipText("");
    const CSenders* senders = program_.Senders();
    const CMessages* messages = program_.Messages();
    SendersFill f = FillSendersRows(t, toText8(page_.tSenderSearch()->text()), senders ? &senders->Lists() : nullptr,
                                    messages ? &messages->MessageIndex() : nullptr);
    quickSearchBlocked_ = f.quickSearchBlocked;
    if (f.columns == 6) {
        g.Model().SetRows(6, std::move(f.rows), SortGridColumn(sort_), static_cast<platform::GridSort>(sort_.mode));
    } else {
        platform::GridRows placeholder;
        placeholder.Add({"", f.placeholder});
        g.Model().SetRows(2, std::move(placeholder));
    }
    page_.tSendersCount()->setText(platform::FromText8(f.countLine));
    filledTab_ = t;
    g.SetColWidth(0, kIconColumnTwips);
    UpdateSendersGridHeader();
    AdjustSendersGridColumns();
    if (f.columns == 6) restoreSelection(rowKey, selKey, rememberedRow);
    else g.SetSelection(0, 0);
    applyButtons(f.buttons);
    g.SetRedraw(true);
    ++fills_;
    lastFillMs_ = static_cast<int>(took.elapsed());
}

void SendersView::restoreSelection(const std::string& rowKey, const std::string& selKey, int rememberedRow) {
    platform::GridControl& g = grid();
    const int last = g.Rows() - 1;
    const int row = rowKey.empty() ? -1 : g.Model().FindRow(4, rowKey);
    const int sel = selKey.empty() ? -1 : (selKey == rowKey ? row : g.Model().FindRow(4, selKey));
    if (row >= 0 && sel >= 0) g.SetSelection(row, sel);
    else if (row >= 0 || sel >= 0) g.SetSelection(std::max(row, sel), std::max(row, sel));
    else g.SetSelection(std::min(rememberedRow, last), std::min(rememberedRow, last));
}

void SendersView::applyButtons(const SendersButtons& b) {
    const std::pair<int, bool> states[] = {{1, b.ok}, {2, b.block}, {3, b.userAdd}, {4, b.userDelete}, {5, b.preview}};
    for (const auto& [index, on] : states)
        if (QAction* a = page_.button(index)) a->setEnabled(on);
}

void SendersView::UpdateSendersGridHeader() { grid().Model().SetHeaders(SendersHeaderCaptions(grid().Cols(), sort_)); }

void SendersView::AdjustSendersGridColumns() {
    platform::GridControl& g = grid();
    const int width = g.width() * 1440 / std::max(g.logicalDpiX(), 1);
    const SendersWidths w = SendersColumnWidths(g.Cols(), width);
    for (int col = 1; col < g.Cols(); ++col) g.SetColWidth(col, w.col[col]);
}

// --- sorting, search, tool tips, double click -----------------------------------

void SendersView::fgSenders_Click(int col) {
    MiscFuncs::ResetBusyCursor();
    if (grid().Cols() != 6 || col < 0 || col > 3) return;
    sort_ = SortAfterHeaderClick(sort_, col);
    grid().Model().Sort(SortGridColumn(sort_), static_cast<platform::GridSort>(sort_.mode));
    UpdateSendersGridHeader();
    AdjustSendersGridColumns();
}

void SendersView::KeyPress(QChar c) {
    QLineEdit* box = page_.tSenderSearch();
    const SearchKeyResult r = ApplySearchKey(box->text(), c, grid().Cols() == 6, quickSearchBlocked_);
    if (r.beep) QApplication::beep();
    if (r.changed) box->setText(r.text);  // refills through textChanged
    const bool show = SearchBoxShown(box->text());
    box->setVisible(show);
    page_.tQuickSearch()->setVisible(show);
    if (show) {
        box->setFocus();
        box->setCursorPosition(static_cast<int>(box->text().size()));
    } else {
        grid().setFocus();
    }
}

void SendersView::searchChanged() { FillSendersGrid(); }

void SendersView::tsSenders_Click() {
    QLineEdit* box = page_.tSenderSearch();
    {
        const QSignalBlocker quiet(box);
        box->clear();
    }
    box->hide();
    page_.tQuickSearch()->hide();
    FillSendersGrid();
    grid().setFocus();
}

void SendersView::fgSenders_MouseMove(int row, int col) {
    platform::GridControl& g = grid();
    if (row < 0 || g.Cols() != 6) return;
    if (tab() == SendersTab::Messages && col == 0) {
        const std::string_view key = MessageImageKey(g.Model().Text(row, 4));
        g.SetToolTipText(key == "MessageOk"        ? "Message is ready for download by e-mail client"
                         : key == "MessageUnknown" ? "Message is in Waiting for Approval box"
                                                   : "Message is in the recycle bin");
    } else if (col == 1 || col == 2) {
        g.SetToolTipText(g.Model().Text(row, col));
    }
}

void SendersView::fgSenders_DblClick() {
    platform::GridControl& g = grid();
    if (tab() != SendersTab::WaitingAuth || g.Cols() != 6 || g.Row() < 0) return;
    const std::string address(g.Model().Text(g.Row(), 4));
    if (address.empty()) return;
    if (links_.authorize) links_.authorize(address);
    else MiscFuncs::WriteLog(0, "i", "RegRequestForm is not available");
}

// --- the selection ----------------------------------------------------------------

SendersSelection SendersView::takeSelection() const {
    const platform::GridControl& g = grid();
    SendersSelection s;
    s.tab = tab();
    s.listsRows = g.Cols() == 6;
    if (!s.listsRows || g.Rows() == 0) return s;
    const bool messages = s.tab == SendersTab::Messages;
    auto senderOf = [&](int row) {
        if (!messages) return std::string(g.Model().Text(row, 4));
        std::string name;
        return MiscFuncs::ParseAddress(g.Model().Text(row, 1), name);
    };
    for (int r = g.SelectionTop(); r <= g.SelectionBottom(); ++r) {
        s.keys.emplace_back(g.Model().Text(r, 4));
        s.senders.push_back(senderOf(r));
    }
    s.currentKey = g.Model().Text(g.Row(), 4);
    s.currentSender = senderOf(g.Row());
    s.endKey = g.Model().Text(g.RowSel(), 4);
    s.endSender = senderOf(g.RowSel());
    return s;
}

}  // namespace mainwindow
