#pragma once
// DomainsView: the domains page filled from DomainActions' lists and joined to its
// commands.
//
// FillDomainsGrid shows the list of the selected tab (Permitted: the approved
// domains, Blocked: the blocked ones) sorted by domain ignoring case, three columns
// (the tab's picture, the domain, the description); an empty list shows two columns
// and its placeholder in the first row. Ok is enabled on the Blocked tab only, Block
// on the Permitted tab only. The current row keeps its position across a refill (or
// becomes the last row). Column widths follow the grid's width.
//
// The toolbar's Ok, Block and DomainDelete act on the domains of the selected rows,
// read before any question; DomainAdd and a double click open the domain editor.
// Nothing acts on the placeholder row.

#include <QObject>
#include <QPointer>

#include <string>
#include <vector>

#include "core/CDomains.h"

namespace mainwindow {

class DomainActions;
class DomainsPage;
class GlimmerpostProgram;

class DomainsView : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kNoBlocked = "You have no blocked domains";
    static constexpr const char* kNoPermitted = "You have not specified any permitted domains";

    DomainsView(GlimmerpostProgram& program, DomainActions& actions);

    void FillDomainsGrid();
    // The status of the list the selected tab shows.
    DomainStatus ShownStatus() const;
    // The domains of the selected rows, top to bottom; none on the placeholder.
    std::vector<std::string> SelectedDomains() const;

    void tsDomains_Click();
    void DomainsToolBar_ButtonClick(const QString& key);
    void fgDomains_DblClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    DomainsPage* page() const;
    void join(DomainsPage& page);
    void applyWidths();

    GlimmerpostProgram& program_;
    DomainActions& actions_;
    QPointer<DomainsPage> joined_;
};

}  // namespace mainwindow
