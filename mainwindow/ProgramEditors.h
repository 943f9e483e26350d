#pragma once
// The small modal editors the pages open: the new-sender, domain and rule editors.
// The dialogs library fills these before start-up; a page whose editor is missing
// logs that it is not available. Each returns 1 when closed with OK and 2 when
// cancelled (Cancel, Escape, the close box, or the program closing it), and leaves
// its arguments as they were unless it returns 1.
//
// An editor lets events run while it is open: the caller checks, after it returns,
// that what it works on still exists.

#include <functional>
#include <string>

class CRule;
class QWidget;

namespace mainwindow {

struct ProgramEditors {
    // "New sender": name and address in, the trimmed name and address out.
    std::function<int(std::string& name, std::string& address, QWidget* owner)> editSender;
    // "Domain properties": domain and description in, both trimmed out.
    std::function<int(std::string& domain, std::string& description, QWidget* owner)> editDomain;
    // The rule editor: after OK the rule holds the new name, patterns and action.
    std::function<int(CRule& rule, QWidget* owner)> editRule;
};

}  // namespace mainwindow
