#include "core/SenderFile.h"

#include <cstring>


namespace SenderFile {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

inline std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// The line without its CR LF, with stray CR bytes made blanks (NUL bytes are made
// blanks once for the whole text).
std::string_view cleanLine(char* begin, std::size_t length) {
    if (length > 0 && begin[length - 1] == '\r') --length;
    for (char* p = begin, *end = begin + length;
         (p = static_cast<char*>(std::memchr(p, '\r', static_cast<std::size_t>(end - p)))) != nullptr; ++p)
        *p = ' ';
    return std::string_view(begin, length);
}

// Letter case ignored; lowerName is lower-case letters only, so setting the 0x20 bit
// of the key's byte matches exactly that letter in either case.
bool keyIs(std::string_view key, std::string_view lowerName) {
    if (key.size() != lowerName.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i)
        if ((key[i] | 0x20) != lowerName[i]) return false;
    return true;
}

// The field of the record that a key fills, or nullptr for keys the load ignores.
std::string_view* fieldOf(SenderRecord& r, std::string_view key, int& slot) {
    switch (key[0] | 0x20) {
        case 'n': slot = 0; return keyIs(key, "name") ? &r.name : nullptr;
        case 'm': slot = 1; return keyIs(key, "modificationdate") ? &r.modificationDate : nullptr;
        case 'a':
            if (keyIs(key, "authreason")) {
                slot = 2;
                return &r.authReason;
            }
            slot = 3;
            return keyIs(key, "accesslevel") ? &r.accessLevel : nullptr;
        case 'u': slot = 4; return keyIs(key, "unsentregrequest") ? &r.unsentRegRequest : nullptr;
        default: return nullptr;
    }
}

// Keeps the value of a key the record wants; the first occurrence wins.
void takeKey(SenderRecord& r, bool (&seen)[5], std::string_view key, std::string_view value) {
    int slot = 0;
    std::string_view* field = fieldOf(r, key, slot);
    if (!field || seen[slot]) return;
    *field = value;
    seen[slot] = true;
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
    for (char* p = data, *end = data + bytes.size();
         (p = static_cast<char*>(std::memchr(p, '\0', static_cast<std::size_t>(end - p)))) != nullptr; ++p)
        *p = ' ';
    while (at < bytes.size()) {
        const void* nl = std::memchr(data + at, '\n', bytes.size() - at);
        const std::size_t end = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - data) : bytes.size();
        reader.Line(cleanLine(data + at, end - at));
        at = end + 1;
    }
    reader.Finish();
}

}  // namespace SenderFile
