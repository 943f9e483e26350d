#pragma once
// A tab strip over a framed body, as the senders and domains pages use it: the tabs
// only choose what the body shows (one grid serves every tab). Each tab carries a key
// (its picture is named after it) and a tool tip.

#include <QFrame>
#include <QTabBar>
#include <QWidget>

#include <string_view>

namespace mainwindow {

struct TabSpec {
    const char* caption;
    const char* key;
    const char* toolTip;  // "" for none
};

class TabStrip : public QWidget {
    Q_OBJECT

public:
    // `name` becomes the tab bar's object name, name + "Body" the body's.
    TabStrip(const QString& name, std::initializer_list<TabSpec> tabs, QWidget* parent = nullptr);

    QTabBar* tabs() const { return tabs_; }
    // Where the page puts what the selected tab shows.
    QFrame* body() const { return body_; }
    QString keyAt(int index) const;
    // The index of the tab with this key, -1 when none.
    int indexOfKey(std::string_view key) const;

private:
    QTabBar* tabs_;
    QFrame* body_;
};

}  // namespace mainwindow
