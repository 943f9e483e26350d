#pragma once
// Page 3 of the main window, "Rules": the list of the mail rules by name (lbRules),
// the buttons "New rule" (bCreate), "Modify rule" (bModify) and "Delete" (bDelete),
// and the description lMailRulesDescription. The page only shows; RulesActions
// fills the list and answers the buttons.

#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;

namespace mainwindow {

class RulesPage : public QWidget {
    Q_OBJECT

public:
    explicit RulesPage(QWidget* parent = nullptr);

    QListWidget* lbRules() const { return list_; }
    QPushButton* bCreate() const { return create_; }
    QPushButton* bModify() const { return modify_; }
    QPushButton* bDelete() const { return delete_; }
    QLabel* lMailRulesDescription() const { return description_; }

private:
    QListWidget* list_;
    QPushButton* create_;
    QPushButton* modify_;
    QPushButton* delete_;
    QLabel* description_;
};

}  // namespace mainwindow
