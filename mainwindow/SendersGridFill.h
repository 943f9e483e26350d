#pragma once
// What the senders grid shows for one tab and search text: its rows (each an entry's
// five TAB-separated fields in columns 1 to 5 and a picture key for column 0), or a
// placeholder; the count line; the toolbar's enabled states; the header captions and
// the column widths. Pure functions of the lists, so they are tested without windows.
//
// Tabs, numbered from 1: Unknown, Waiting approval, Registered, Blocked, All senders,
// Messages. The grid has 6 columns while it lists rows and 2 (icon and Sender) while
// it shows a placeholder.

#include <string>
#include <string_view>

#include <QStringList>

#include "core/CMessages.h"
#include "core/CSenders.h"
#include "platform/GridModel.h"

namespace mainwindow {

namespace SendersTab {
inline constexpr int Unknown = 1, WaitingAuth = 2, Registered = 3, Blocked = 4, All = 5, Messages = 6;
}

// Sort modes: 3 numeric ascending, 4 numeric descending, 5 text ascending, 6 text
// descending (letter case ignored).
struct SendersSort {
    int column = 0;  // 0 to 3; 0 marks no column
    int mode = 5;
};

struct SendersButtons {
    bool ok = false, block = false, userAdd = false, userDelete = false, preview = false;
    bool operator==(const SendersButtons&) const = default;
};

struct SendersFill {
    platform::GridRows rows;
    int columns = 2;
    int count = 0;
    std::string placeholder;  // the text of row 1 while columns is 2
    std::string countLine;
    bool quickSearchBlocked = false;
    SendersButtons buttons;
};

// "UserBlocked", "UserUnknown", "UserWaitingAuth", "UserOk"; "" for any other status.
std::string_view SenderImageKey(int status);
// "MessageUnknown", "MessageOk", "MessageDeleted" by the folder named in the text (an
// index entry or a key), "" when it names none.
std::string_view MessageImageKey(std::string_view text);

// The rows of a tab, filtered by the search text (the box's text in UTF-8): an entry
// matches when a field but its last (the minutes), read as the grid shows it (UTF-8,
// else Latin-1), holds the text, letter case ignored beyond ASCII too. A null list
// counts as empty.
SendersFill FillSendersRows(int tab, std::string_view search, const SenderLists* lists,
                            const CMessages::Index* messages);

// The grid column that sorts for the sort's column: the minutes (5) for the Date.
int SortGridColumn(const SendersSort& sort);
// The sort after a click on a header column of a 6-column grid.
SendersSort SortAfterHeaderClick(SendersSort sort, int column);

QStringList SendersHeaderCaptions(int columns, const SendersSort& sort);
// Widths in twips of columns 1 to 5 (0 for a column that has no width to set) for a
// grid this wide in twips.
struct SendersWidths {
    int col[6] = {0, 0, 0, 0, 0, 0};
};
SendersWidths SendersColumnWidths(int columns, int gridWidthTwips);

}  // namespace mainwindow
