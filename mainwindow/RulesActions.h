#pragma once
// RulesActions: the Rules page's list kept in step with the program's rule set, and
// its three buttons.
//
// - FillRulesListBox lists the rule names in the set's order (start-up; the page is
//   joined to the buttons on the first fill).
// - New rule: a new rule (Accept, no name, no patterns) through the rule editor;
//   after OK it is added and saved, and only then listed at the end.
// - Modify rule: the editor works on a copy of the selected rule; after OK the copy's
//   values go into the set's rule and are saved; a failed save puts the old values
//   back. The item then shows the saved name at the same position. A new name that
//   another rule has is refused with a box saying so, and nothing is saved.
// - Delete: asks (default No), then removes the rule from Rules.ini and the set, and
//   its item.
// Every result of the rule set is checked: a refusal or a failed write of Rules.ini
// is told to the user and the list keeps showing what the set holds. A shut-down
// during the editor or a question ends the command (the set is gone).

#include <string>

class QListWidgetItem;

namespace mainwindow {

class GlimmerpostProgram;
class RulesPage;

class RulesActions {
public:
    explicit RulesActions(GlimmerpostProgram& program);

    void FillRulesListBox();

    void bCreate_Click();
    void bModify_Click();
    void bDelete_Click();

private:
    RulesPage* page() const;
    void join(RulesPage& page);
    QListWidgetItem* selectedItem() const;
    void reportNotSaved(const std::string& what);

    GlimmerpostProgram& program_;
    RulesPage* joined_ = nullptr;
};

}  // namespace mainwindow
