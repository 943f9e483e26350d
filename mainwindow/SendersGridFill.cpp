#include "mainwindow/SendersGridFill.h"

#include <cmath>

#include "core/MiscUtils.h"
#include "platform/Text8.h"

namespace mainwindow {

namespace {

constexpr std::string_view kNoMessages = "There are no messages in any of the accounts";
constexpr std::string_view kNoMessageFound = "No messages meet your search criteria";
constexpr std::string_view kNoSenders = "You have no senders in any of lists";
constexpr std::string_view kNoSenderFound = "No senders meet your search criteria";

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Finds the typed search text in an entry as the grid shows it: each field decoded
// as its cell is (platform::FromText8: UTF-8, else Latin-1), letter case ignored by
// Unicode case folding. An entry of ASCII bytes only, nearly every one, is searched
// as bytes.
class CaselessFinder {
public:
    // The search is the box's text in UTF-8.
    explicit CaselessFinder(std::string_view search) : folded_(QString::fromUtf8(search.data(), static_cast<qsizetype>(search.size())).toCaseFolded()) {
        const QByteArray utf8 = folded_.toUtf8();
        asciiNeedle_ = isAscii(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
        if (asciiNeedle_) needle_.assign(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    }
    bool In(std::string_view text) {
        if (folded_.isEmpty()) return true;
        if (isAscii(text)) {
            // Folding keeps ASCII text ASCII: a needle with other letters is not in it.
            if (!asciiNeedle_) return false;
            buffer_.resize(text.size());
            for (std::size_t i = 0; i < text.size(); ++i) buffer_[i] = lower(text[i]);
            return buffer_.find(needle_) != std::string::npos;
        }
        QString shown;
        for (std::size_t start = 0;;) {
            const std::size_t tab = text.find('\t', start);
            shown += platform::FromText8(text.substr(start, tab == std::string_view::npos ? tab : tab - start));
            if (tab == std::string_view::npos) break;
            shown += QLatin1Char('\t');
            start = tab + 1;
        }
        return shown.toCaseFolded().contains(folded_);
    }

private:
    QString folded_;
    bool asciiNeedle_ = true;
    std::string needle_, buffer_;
};

// The entry without its last field (the minutes), which the search never sees.
std::string_view searchable(std::string_view text) {
    const std::size_t tab = text.rfind('\t');
    return tab == std::string_view::npos ? text : text.substr(0, tab);
}

std::string_view statusPlaceholder(int status) {
    switch (status) {
    case 0: return "There are no blocked senders";
    case 1: return "There are no unknown e-mail addresses";
    case 2: return "There are no senders waiting your approval";
    case 3: return "There are no registered senders";
    default: return {};
    }
}

std::string countLine(int tab, int count) {
    const std::string n = std::to_string(count);
    switch (tab) {
    case SendersTab::Messages: return "There are total of " + n + " messages";
    case SendersTab::Blocked: return "There are " + n + " blocked senders";
    case SendersTab::Unknown: return "There are " + n + " unknown senders";
    case SendersTab::WaitingAuth: return "There are " + n + " senders waiting your approval";
    case SendersTab::Registered: return "There are " + n + " registered senders";
    default: return "There is a total of " + n + " senders";
    }
}

// The statuses a sender tab shows, first to last.
std::pair<int, int> statusRange(int tab) {
    switch (tab) {
    case SendersTab::Unknown: return {1, 1};
    case SendersTab::WaitingAuth: return {2, 2};
    case SendersTab::Registered: return {3, 3};
    case SendersTab::Blocked: return {0, 0};
    default: return {0, 3};
    }
}

void fillMessages(SendersFill& f, bool searching, CaselessFinder& finder, const CMessages::Index* messages) {
    f.buttons.ok = f.buttons.block = true;
    if (!messages || messages->Empty()) {
        f.placeholder = kNoMessages;
        return;
    }
    f.rows.Reserve(messages->Count());
    for (const auto& item : *messages) {
        const std::string_view text = item.value.Text();
        if (searching && !finder.In(searchable(text))) continue;
        f.rows.AddFields(1, text, MessageImageKey(item.value.Key()));
        ++f.count;
    }
    if (f.count == 0) {
        f.placeholder = kNoMessageFound;
        f.quickSearchBlocked = true;
    }
}

void fillSenders(SendersFill& f, int tab, bool searching, CaselessFinder& finder, const SenderLists* lists) {
    f.buttons.ok = tab != SendersTab::Registered;
    f.buttons.block = tab != SendersTab::Blocked;
    f.buttons.userAdd = tab == SendersTab::Registered || tab == SendersTab::Blocked;
    const auto [first, last] = statusRange(tab);
    bool anyListed = false;
    for (int status = first; status <= last; ++status) {
        const SenderList* list = lists ? &(*lists)[static_cast<std::size_t>(status)] : nullptr;
        if (!list || list->Empty()) {
            if (first == last) f.placeholder = statusPlaceholder(status);
            continue;
        }
        anyListed = true;
        f.rows.Reserve(f.rows.Count() + list->Count());
        const std::string_view picture = SenderImageKey(status);
        for (const auto& item : *list) {
            const std::string_view text = item.value.Text;
            if (searching && !finder.In(searchable(text))) continue;
            f.rows.AddFields(1, text, picture);
            ++f.count;
        }
    }
    if (f.count > 0) {
        f.buttons.userDelete = true;
        return;
    }
    f.buttons.ok = f.buttons.block = f.buttons.userDelete = false;
    if (tab == SendersTab::All && !anyListed) {
        f.placeholder = kNoSenders;
        f.quickSearchBlocked = true;
    } else if (searching) {
        f.placeholder = kNoSenderFound;
        f.quickSearchBlocked = true;
    }
}

}  // namespace

std::string_view SenderImageKey(int status) {
    switch (status) {
    case 0: return "UserBlocked";
    case 1: return "UserUnknown";
    case 2: return "UserWaitingAuth";
    case 3: return "UserOk";
    default: return {};
    }
}

std::string_view MessageImageKey(std::string_view text) {
    if (text.find("\\MailDir\\WaitingAuth\\") != std::string_view::npos) return "MessageUnknown";
    if (text.find("\\MailDir\\InBox\\") != std::string_view::npos) return "MessageOk";
    if (text.find("\\MailDir\\Recycled\\") != std::string_view::npos) return "MessageDeleted";
    return {};
}

SendersFill FillSendersRows(int tab, std::string_view search, const SenderLists* lists,
                            const CMessages::Index* messages) {
    SendersFill f;
    // A text of blanks is a search too.
    const bool searching = !search.empty();
    CaselessFinder finder(search);
    if (tab == SendersTab::Messages) fillMessages(f, searching, finder, messages);
    else fillSenders(f, tab, searching, finder, lists);
    f.buttons.preview = f.count > 0;
    f.columns = f.count > 0 ? 6 : 2;
    if (f.count > 0) f.countLine = countLine(tab, f.count);
    return f;
}

int SortGridColumn(const SendersSort& sort) { return sort.column == 3 ? 5 : sort.column; }

SendersSort SortAfterHeaderClick(SendersSort sort, int column) {
    if (column >= 0 && column <= 2) {
        sort.column = column;
        sort.mode = sort.mode == 5 ? 6 : 5;
    } else if (column == 3) {
        sort.column = 3;
        // The first click shows the newest first.
        sort.mode = sort.mode == 4 ? 3 : 4;
    }
    return sort;
}

QStringList SendersHeaderCaptions(int columns, const SendersSort& sort) {
    if (columns != 6) return {"   ", "Sender"};
    QStringList captions{"   ", "Sender", "Subject/Comment", "Date", "", ""};
    if (sort.column >= 1 && sort.column <= 3)
        captions[sort.column] += (sort.mode == 3 || sort.mode == 5) ? " (Asending)" : " (Descending)";
    return captions;
}

SendersWidths SendersColumnWidths(int columns, int gridWidthTwips) {
    SendersWidths w;
    const double usable = gridWidthTwips - 540.0;
    if (columns == 6) {
        w.col[1] = w.col[2] = static_cast<int>(std::floor(usable / 5 * 2));
        w.col[3] = static_cast<int>(std::floor(usable / 5));
    } else {
        w.col[1] = static_cast<int>(std::lround(usable));
    }
    for (int& c : w.col)
        if (c < 0) c = 0;
    return w;
}

}  // namespace mainwindow
