#pragma once
// The quick search of the senders page: what a character typed in the grid or the
// search box does to the search text. Backspace removes the last character (a blank
// too), Escape empties the text; a printable character is appended while the grid
// lists rows and the search is not blocked, else it only beeps. Anything else (a
// control character) is ignored.

#include <QChar>
#include <QString>

namespace mainwindow {

struct SearchKeyResult {
    QString text;
    bool beep = false;
    bool changed = false;
};

SearchKeyResult ApplySearchKey(const QString& text, QChar key, bool listsRows, bool quickSearchBlocked);

// The box shows only while the text has something other than blanks.
bool SearchBoxShown(const QString& text);

}  // namespace mainwindow
