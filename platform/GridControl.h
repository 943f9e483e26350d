#pragma once
// GridControl: the grid of the main window's pages, a QTableView over a GridModel.
//
// Rows are numbered from 0 over the data rows (the header row is the view's header).
// The selection is always whole rows and one contiguous range; Row() is the row the
// range was started from and RowSel() the end the user moved last (Qt's current
// row), so the selected rows run from min(Row, RowSel) to max(Row, RowSel).
//
// What the pages need of it besides: a drawing switch they can read (Redraw); hit
// tests; the header click, the double click, each typed character (printable ones,
// Backspace and Escape; navigation keys still move the selection) and the release
// of the right button as signals (a right press never changes the selection); one
// tool tip, always plain text; column widths in twips (0 hides the column).

#include <QTableView>

#include <string>
#include <string_view>

#include "platform/GridModel.h"

namespace platform {

class GridControl : public QTableView {
    Q_OBJECT

public:
    explicit GridControl(QWidget* parent = nullptr);

    GridModel& Model() { return *model_; }
    const GridModel& Model() const { return *model_; }
    int Rows() const { return model_->Rows(); }
    int Cols() const { return model_->Cols(); }

    // -1 when the grid has no rows.
    int Row() const;
    int RowSel() const;
    // Selects rows row..rowSel (either order) with rowSel as the current row; both
    // are clamped to the rows present.
    void SetSelection(int row, int rowSel);
    int SelectionTop() const { return std::min(Row(), RowSel()); }
    int SelectionBottom() const { return std::max(Row(), RowSel()); }

    // The drawing switch: while off, nothing is painted.
    void SetRedraw(bool on);
    bool Redraw() const { return redraw_; }

    // The data row and column at a point of the viewport; -1 outside them.
    int HitRow(const QPoint& viewportPos) const;
    int HitCol(const QPoint& viewportPos) const;

    // The tool tip, shown literally.
    void SetToolTipText(std::string_view text8);
    const std::string& ToolTipText() const { return toolTip_; }

    // Widths in twips (1440 to the inch); 0 hides the column.
    void SetColWidth(int col, int twips);
    int ColWidth(int col) const;
    int WidthTwips() const;

signals:
    void headerClicked(int col);
    void cellDoubleClicked(int row, int col);
    void charTyped(QChar c);
    void rightButtonReleased(int row, int col, QPoint globalPos);
    void mouseMovedOver(int row, int col);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    bool viewportEvent(QEvent* e) override;

private:
    int twipsToPixels(int twips) const;
    int pixelsToTwips(int pixels) const;

    GridModel* model_;
    bool redraw_ = true;
    std::string toolTip_;
};

}  // namespace platform
