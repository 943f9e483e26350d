#pragma once
// The main window's toolbar MainToolBar. Buttons, by index and key:
//   1 "Individuals", 2 "Domains", 3 "Rules", 4 "Options": choose the page and stay
//     pressed for the page shown;
//   5 "CheckMail": check for new mail now; 6 "HomePage": the product's web page, with
//     the drop-down menu "About", "OnlineHLP", "TellAFriend", "SendFeedback";
//   7 "Tell": the tell-a-friend form.
// Button actions are named "MainToolBar_" and their key, menu items "MainToolBarMenu_"
// and theirs, so that resources.ini reaches their captions and tool tips.

#include <QAction>
#include <QMenu>
#include <QToolBar>

#include <array>

namespace mainwindow {

class MainToolBar : public QToolBar {
    Q_OBJECT

public:
    static constexpr int kButtons = 7;

    explicit MainToolBar(QWidget* parent = nullptr);

    // index 1 to 7; nullptr outside.
    QAction* button(int index) const;
    // The menu item with this key, nullptr when none.
    QAction* menuItem(const QString& key) const;
    // Presses the button of page 1 to 4 and releases the others.
    void pressPage(int page);
    // The pressed page button, 0 when none.
    int pressedPage() const;

signals:
    void buttonClicked(int index);
    void buttonMenuClicked(const QString& key);

private:
    void addMenu(QAction* owner);

    std::array<QAction*, kButtons> buttons_{};
    QMenu* menu_ = nullptr;
};

}  // namespace mainwindow
