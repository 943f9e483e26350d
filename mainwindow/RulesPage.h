#pragma once
// Page 3 of the main window, "Rules": the place of the rule list and its buttons.

#include <QWidget>

namespace mainwindow {

class RulesPage : public QWidget {
    Q_OBJECT

public:
    explicit RulesPage(QWidget* parent = nullptr);
};

}  // namespace mainwindow
