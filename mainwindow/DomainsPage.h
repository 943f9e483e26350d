#pragma once
// Page 2 of the main window, "Domains": the tab strip tsDomains (keys "Ok" and
// "Blocked") over the body that will hold the domains grid and its toolbar.

#include <QWidget>

#include "mainwindow/TabStrip.h"

namespace mainwindow {

class DomainsPage : public QWidget {
    Q_OBJECT

public:
    explicit DomainsPage(QWidget* parent = nullptr);

    TabStrip* tsDomains() const { return strip_; }
    QFrame* body() const { return strip_->body(); }

private:
    TabStrip* strip_;
};

}  // namespace mainwindow
