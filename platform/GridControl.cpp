#include "platform/GridControl.h"

#include <QHeaderView>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTextDocument>
#include <QToolTip>

#include "platform/Text8.h"

namespace platform {

GridControl::GridControl(QWidget* parent) : QTableView(parent), model_(new GridModel(this)) {
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setShowGrid(true);
    setMouseTracking(true);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setSortIndicatorShown(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
    setIconSize(QSize(16, 16));
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &GridControl::headerClicked);
}

int GridControl::Row() const {
    const int sel = RowSel();
    if (sel < 0) return -1;
    const QItemSelection s = selectionModel()->selection();
    if (s.isEmpty()) return sel;
    int top = sel, bottom = sel;
    for (const QItemSelectionRange& r : s) {
        top = std::min(top, r.top());
        bottom = std::max(bottom, r.bottom());
    }
    return sel == top ? bottom : top;
}

int GridControl::RowSel() const {
    if (Rows() == 0) return -1;
    const QModelIndex current = selectionModel()->currentIndex();
    return current.isValid() ? current.row() : 0;
}

void GridControl::SetSelection(int row, int rowSel) {
    if (Rows() == 0 || Cols() == 0) {
        selectionModel()->clearSelection();
        return;
    }
    const int last = Rows() - 1;
    row = std::clamp(row, 0, last);
    rowSel = std::clamp(rowSel, 0, last);
    const QItemSelection range(model_->index(std::min(row, rowSel), 0),
                               model_->index(std::max(row, rowSel), Cols() - 1));
    selectionModel()->setCurrentIndex(model_->index(rowSel, std::min(1, Cols() - 1)), QItemSelectionModel::NoUpdate);
    selectionModel()->select(range, QItemSelectionModel::ClearAndSelect);
}

void GridControl::SetRedraw(bool on) {
    redraw_ = on;
    setUpdatesEnabled(on);
    if (on) viewport()->update();
}

int GridControl::HitRow(const QPoint& viewportPos) const { return rowAt(viewportPos.y()); }
int GridControl::HitCol(const QPoint& viewportPos) const { return columnAt(viewportPos.x()); }

void GridControl::SetToolTipText(std::string_view text8) {
    toolTip_.assign(text8);
    if (toolTip_.empty()) QToolTip::hideText();
}

int GridControl::twipsToPixels(int twips) const {
    const int dpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
    return static_cast<int>((static_cast<long long>(twips) * dpi + 720) / 1440);
}

int GridControl::pixelsToTwips(int pixels) const {
    const int dpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
    return static_cast<int>(static_cast<long long>(pixels) * 1440 / dpi);
}

void GridControl::SetColWidth(int col, int twips) {
    if (col < 0 || col >= Cols()) return;
    if (twips <= 0) {
        setColumnHidden(col, true);
        return;
    }
    setColumnHidden(col, false);
    setColumnWidth(col, std::max(1, twipsToPixels(twips)));
}

int GridControl::ColWidth(int col) const {
    if (col < 0 || col >= Cols() || isColumnHidden(col)) return 0;
    return pixelsToTwips(columnWidth(col));
}

int GridControl::WidthTwips() const { return pixelsToTwips(viewport()->width()); }

void GridControl::keyPressEvent(QKeyEvent* e) {
    const QString text = e->text();
    if (text.size() == 1) {
        const QChar c = text.front();
        if (c == QChar(8) || c == QChar(27) || c.isPrint()) {
            emit charTyped(c);
            e->accept();
            return;
        }
    }
    QTableView::keyPressEvent(e);
}

void GridControl::mousePressEvent(QMouseEvent* e) {
    // The right button leaves the selection to the page's menu handler.
    if (e->button() == Qt::RightButton) {
        e->accept();
        return;
    }
    QTableView::mousePressEvent(e);
}

void GridControl::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton) {
        const QPoint p = e->position().toPoint();
        emit rightButtonReleased(HitRow(p), HitCol(p), e->globalPosition().toPoint());
        e->accept();
        return;
    }
    QTableView::mouseReleaseEvent(e);
}

void GridControl::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QTableView::mouseDoubleClickEvent(e);
    const QPoint p = e->position().toPoint();
    const int row = HitRow(p);
    if (row >= 0) emit cellDoubleClicked(row, HitCol(p));
    e->accept();
}

void GridControl::mouseMoveEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    emit mouseMovedOver(HitRow(p), HitCol(p));
    QTableView::mouseMoveEvent(e);
}

bool GridControl::viewportEvent(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        if (toolTip_.empty()) QToolTip::hideText();
        else QToolTip::showText(help->globalPos(), Qt::convertFromPlainText(FromText8(toolTip_), Qt::WhiteSpaceNormal),
                                viewport());
        return true;
    }
    return QTableView::viewportEvent(e);
}

}  // namespace platform
