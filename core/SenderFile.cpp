#include "core/SenderFile.h"

#include <cstring>

#include "core/MiscUtils.h"

namespace SenderFile {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// The line without its CR LF, with stray CR and NUL bytes made blanks.
std::string_view cleanLine(char* begin, std::size_t length) {
    if (length > 0 && begin[length - 1] == '\r') --length;
    for (char* p = begin; p != begin + length; ++p)
        if (*p == '\r' || *p == '\0') *p = ' ';
    return std::string_view(begin, length);
}

// Keeps the value of a key the record wants; the first occurrence wins.
void takeKey(SenderRecord& r, bool (&seen)[5], std::string_view key, std::string_view value) {
    static constexpr std::string_view kKeys[5] = {"name", "modificationdate", "authreason", "accesslevel",
                                                  "unsentregrequest"};
    std::string_view* const fields[5] = {&r.name, &r.modificationDate, &r.authReason, &r.accessLevel,
                                         &r.unsentRegRequest};
    for (int i = 0; i < 5; ++i) {
        if (key.size() != kKeys[i].size() || !MiscFuncs::EqualsIgnoreCase(key, kKeys[i])) continue;
        if (!seen[i]) *fields[i] = value;
        seen[i] = true;
        return;
    }
}

class Reader {
public:
    explicit Reader(const RecordVisitor& visit) : visit_(visit) {}

    void Line(std::string_view line) {
        const std::string_view t = trim(line);
        if (t.empty()) return;
        if (t.front() == '[') {
            const std::size_t close = t.rfind(']');
            if (close != std::string_view::npos && close > 0) {
                Finish();
                open_ = true;
                record_ = SenderRecord{};
                record_.address = trim(t.substr(1, close - 1));
                for (bool& s : seen_) s = false;
                return;
            }
        }
        if (!open_ || t.front() == ';') return;
        const std::size_t eq = t.find('=');
        if (eq == std::string_view::npos) return;
        const std::string_view key = trim(t.substr(0, eq));
        if (!key.empty()) takeKey(record_, seen_, key, trim(t.substr(eq + 1)));
    }

    void Finish() {
        if (open_) visit_(record_);
        open_ = false;
    }

private:
    const RecordVisitor& visit_;
    SenderRecord record_;
    bool seen_[5] = {};
    bool open_ = false;
};

}  // namespace

void Parse(std::string& bytes, const RecordVisitor& visit) {
    Reader reader(visit);
    std::size_t at = bytes.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0 ? kByteOrderMark.size() : 0;
    char* const data = bytes.data();
    while (at < bytes.size()) {
        const void* nl = std::memchr(data + at, '\n', bytes.size() - at);
        const std::size_t end = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - data) : bytes.size();
        reader.Line(cleanLine(data + at, end - at));
        at = end + 1;
    }
    reader.Finish();
}

}  // namespace SenderFile
