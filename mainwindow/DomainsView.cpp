#include "mainwindow/DomainsView.h"

#include <QAction>
#include <QEvent>
#include <QIcon>

#include <algorithm>

#include "core/MiscUtils.h"
#include "mainwindow/DomainActions.h"
#include "mainwindow/DomainsPage.h"
#include "mainwindow/MainPictures.h"
#include "mainwindow/ProgramStartup.h"
#include "platform/GridControl.h"

namespace mainwindow {

namespace {

// The picture column, and what the two text columns leave for the borders.
constexpr int kPictureColTwips = 255;
constexpr int kBorderTwips = 570;

}  // namespace

DomainsView::DomainsView(GlimmerpostProgram& program, DomainActions& actions)
    : program_(program), actions_(actions) {}

DomainsPage* DomainsView::page() const {
    GlimmerpostMainForm* form = program_.MainForm();
    return form ? form->domainsPage() : nullptr;
}

void DomainsView::join(DomainsPage& page) {
    if (joined_ == &page) return;
    joined_ = &page;
    page.fgDomains()->Model().SetPictureSource([](std::string_view key) { return QIcon(TabPicture(key)); });
    // The viewport's own resize: the grid's comes before its viewport has the new
    // width, which left the columns at the width of a page never shown.
    page.fgDomains()->viewport()->installEventFilter(this);
    connect(page.tsDomains()->tabs(), &QTabBar::currentChanged, this, [this] { tsDomains_Click(); });
    connect(&page, &DomainsPage::buttonClicked, this, &DomainsView::DomainsToolBar_ButtonClick);
    connect(page.fgDomains(), &platform::GridControl::cellDoubleClicked, this, [this](int row) {
        if (row >= 0) fgDomains_DblClick();
    });
}

DomainStatus DomainsView::ShownStatus() const {
    const DomainsPage* p = page();
    const bool blocked = p && p->tsDomains()->keyAt(p->tsDomains()->tabs()->currentIndex()) == "Blocked";
    return blocked ? DomainStatus::Blocked : DomainStatus::Approved;
}

void DomainsView::FillDomainsGrid() {
    DomainsPage* p = page();
    if (!p) return;
    join(*p);
    platform::GridControl& grid = *p->fgDomains();
    grid.SetRedraw(false);
    const int remembered = std::max(grid.RowSel(), 0);
    grid.SetToolTipText("");

    const DomainStatus shown = ShownStatus();
    const bool blockedTab = shown == DomainStatus::Blocked;
    p->button("Ok")->setEnabled(blockedTab);
    p->button("Block")->setEnabled(!blockedTab);

    const std::vector<DomainRow> rows = SortedDomainRows(actions_.ListOf(shown));
    platform::GridRows cells;
    if (!rows.empty()) {
        const std::string picture = blockedTab ? "DomainBlocked" : "DomainOk";
        cells.Reserve(rows.size());
        for (const DomainRow& row : rows) cells.Add({"", row.domain, row.description}, picture);
        grid.Model().SetRows(3, std::move(cells));
        grid.Model().SetHeaders({"    ", "Domain ", ""});
    } else {
        cells.Add({"", blockedTab ? kNoBlocked : kNoPermitted});
        grid.Model().SetRows(2, std::move(cells));
        grid.Model().SetHeaders({"    ", "Domain "});
    }
    applyWidths();
    const int current = std::min(remembered, grid.Rows() - 1);
    grid.SetSelection(current, current);
    grid.SetRedraw(true);
}

void DomainsView::applyWidths() {
    DomainsPage* p = page();
    if (!p) return;
    platform::GridControl& grid = *p->fgDomains();
    const int w = grid.WidthTwips();
    grid.SetColWidth(0, kPictureColTwips);
    if (grid.Cols() == 3) {
        grid.SetColWidth(1, std::max(0, (w - kBorderTwips) / 3 * 2));
        grid.SetColWidth(2, std::max(0, (w - kBorderTwips) / 3));
    } else {
        grid.SetColWidth(1, std::max(0, w - kBorderTwips));
    }
}

bool DomainsView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && joined_ && watched == joined_->fgDomains()->viewport()) applyWidths();
    return QObject::eventFilter(watched, event);
}

std::vector<std::string> DomainsView::SelectedDomains() const {
    const DomainsPage* p = page();
    if (!p || actions_.ListOf(ShownStatus()).empty()) return {};
    const platform::GridControl& grid = *p->fgDomains();
    std::vector<std::string> domains;
    if (grid.Rows() == 0) return domains;
    for (int row = grid.SelectionTop(); row <= grid.SelectionBottom(); ++row) {
        const std::string domain(grid.Model().Text(row, 1));
        if (!MiscFuncs::IsBlank(domain)) domains.push_back(domain);
    }
    return domains;
}

void DomainsView::tsDomains_Click() { FillDomainsGrid(); }

void DomainsView::DomainsToolBar_ButtonClick(const QString& key) {
    const DomainStatus shown = ShownStatus();
    if (key == "DomainAdd") return actions_.AddDomain(shown);
    const std::vector<std::string> domains = SelectedDomains();
    if (domains.empty()) return;
    if (key == "Ok") actions_.SetStatusOf(domains, DomainStatus::Approved);
    else if (key == "Block") actions_.SetStatusOf(domains, DomainStatus::Blocked);
    else if (key == "DomainDelete") actions_.DeleteDomains(domains);
}

void DomainsView::fgDomains_DblClick() {
    const DomainsPage* p = page();
    const DomainStatus shown = ShownStatus();
    if (!p || actions_.ListOf(shown).empty()) return;
    const platform::GridControl& grid = *p->fgDomains();
    const int row = grid.RowSel();
    if (row < 0) return;
    actions_.EditDomain(shown, std::string(grid.Model().Text(row, 1)), std::string(grid.Model().Text(row, 2)));
}

}  // namespace mainwindow
