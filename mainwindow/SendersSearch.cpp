#include "mainwindow/SendersSearch.h"

namespace mainwindow {

SearchKeyResult ApplySearchKey(const QString& text, QChar key, bool listsRows, bool quickSearchBlocked) {
    SearchKeyResult r{text, false, false};
    if (key == QChar(8)) {
        if (!text.isEmpty()) r.text.chop(1);
    } else if (key == QChar(27)) {
        r.text.clear();
    } else if (!key.isPrint()) {
        return r;
    } else if (listsRows && !quickSearchBlocked) {
        r.text += key;
    } else {
        r.beep = true;
    }
    r.changed = r.text != text;
    return r;
}

bool SearchBoxShown(const QString& text) { return !text.trimmed().isEmpty(); }

}  // namespace mainwindow
