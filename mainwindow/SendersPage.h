#pragma once
// Page 1 of the main window, "Individuals": the tab strip tsSenders over the body that
// will hold the senders grid, its toolbar, the count line and the search box.
// Tab keys, in order: "Unknown", "WaitingAuth", "Registered", "Blocked", "All",
// "Messages".

#include <QWidget>

#include "mainwindow/TabStrip.h"

namespace mainwindow {

class SendersPage : public QWidget {
    Q_OBJECT

public:
    explicit SendersPage(QWidget* parent = nullptr);

    TabStrip* tsSenders() const { return strip_; }
    QFrame* body() const { return strip_->body(); }

private:
    TabStrip* strip_;
};

}  // namespace mainwindow
