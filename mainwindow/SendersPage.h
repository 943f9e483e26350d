#pragma once
// Page 1 of the main window, "Individuals": the tab strip tsSenders over the senders
// grid fgSenders, with the toolbar IndividualsToolBar, the count line tSendersCount
// and the quick-search box tSenderSearch with its caption tQuickSearch above it.
// Tab keys, in order: "Unknown", "WaitingAuth", "Registered", "Blocked", "All",
// "Messages". Toolbar button keys, in order: "Ok", "Block", "UserAdd", "UserDelete",
// "PreviewMessages".
//
// The page is only the widgets; SendersView fills and drives them. The page's
// controller goes first when the page is destroyed, so it never sees a page half gone.

#include <QPointer>
#include <QWidget>

#include <string_view>

#include "mainwindow/TabStrip.h"

class QAction;
class QLabel;
class QLineEdit;
class QToolBar;

namespace platform {
class GridControl;
}

namespace mainwindow {

class SendersPage : public QWidget {
    Q_OBJECT

public:
    explicit SendersPage(QWidget* parent = nullptr);
    ~SendersPage() override;

    void SetController(QObject* controller) { controller_ = controller; }

    TabStrip* tsSenders() const { return strip_; }
    QFrame* body() const { return strip_->body(); }
    platform::GridControl* fgSenders() const { return grid_; }
    QToolBar* IndividualsToolBar() const { return toolBar_; }
    // The toolbar button by index (1 to 5) or key; null when there is none.
    QAction* button(int index) const;
    QAction* button(std::string_view key) const;
    QLineEdit* tSendersCount() const { return count_; }
    QLineEdit* tSenderSearch() const { return search_; }
    QLabel* tQuickSearch() const { return searchCaption_; }

private:
    TabStrip* strip_;
    platform::GridControl* grid_;
    QToolBar* toolBar_;
    QLineEdit* count_;
    QLineEdit* search_;
    QLabel* searchCaption_;
    QPointer<QObject> controller_;
};

}  // namespace mainwindow
