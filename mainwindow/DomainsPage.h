#pragma once
// Page 2 of the main window, "Domains": the tab strip tsDomains (keys "Ok" and
// "Blocked") over the toolbar DomainsToolBar (buttons Ok, Block, DomainAdd,
// DomainDelete: pictures only) and the grid fgDomains. The page only shows;
// DomainsView fills it and answers its commands.

#include <QWidget>

#include "mainwindow/TabStrip.h"

class QAction;
class QToolBar;

namespace platform {
class GridControl;
}

namespace mainwindow {

class DomainsPage : public QWidget {
    Q_OBJECT

public:
    explicit DomainsPage(QWidget* parent = nullptr);

    TabStrip* tsDomains() const { return strip_; }
    QFrame* body() const { return strip_->body(); }
    QToolBar* DomainsToolBar() const { return toolBar_; }
    // The toolbar's button of that key, nullptr for another key.
    QAction* button(std::string_view key) const;
    platform::GridControl* fgDomains() const { return grid_; }

signals:
    void buttonClicked(const QString& key);

private:
    TabStrip* strip_;
    QToolBar* toolBar_;
    platform::GridControl* grid_;
};

}  // namespace mainwindow
