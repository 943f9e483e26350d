#include "core/SenderFile.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "core/MiscUtils.h"

namespace SenderFile {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

inline std::string_view trim(std::string_view s) { return MiscFuncs::TrimBlanksAndTabs(s); }

// The end of the line that begins at p: its LF, a CR before its LF, or a CR or
// the end that ends the text. Any other CR is made a blank.
char* lineEnd(char* p, char* end) {
    char* nl = static_cast<char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    char* stop = nl ? nl : end;
    if (stop != p && stop[-1] == '\r') --stop;
    for (char* q = p; (q = static_cast<char*>(std::memchr(q, '\r', static_cast<std::size_t>(stop - q)))) != nullptr; ++q)
        *q = ' ';
    return stop;
}

inline std::uint64_t load8(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

inline std::uint32_t load4(const char* p) {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

// Letter case ignored: lowerName is lower-case letters only, at least four, so
// setting the 0x20 bit of the key's bytes matches exactly those letters in either
// case. Whole words at a time (the last one may overlap the one before).
bool keyIs(std::string_view key, std::string_view lowerName) {
    const std::size_t n = lowerName.size();
    if (key.size() != n) return false;
    const char *k = key.data(), *name = lowerName.data();
    if (n < 8) return (load4(k) | 0x20202020u) == load4(name) && (load4(k + n - 4) | 0x20202020u) == load4(name + n - 4);
    for (std::size_t i = 0; i + 8 < n; i += 8)
        if ((load8(k + i) | 0x2020202020202020ull) != load8(name + i)) return false;
    return (load8(k + n - 8) | 0x2020202020202020ull) == load8(name + n - 8);
}

// The value of line t (trimmed, not empty) when it is the key lowerName, in any
// letter case, then blanks, "=" and the value. Every other line is a key the load
// ignores, or no key at all.
bool valueOf(std::string_view t, std::string_view lowerName, std::string_view& value) {
    if (t.size() <= lowerName.size() || !keyIs(t.substr(0, lowerName.size()), lowerName)) return false;
    std::size_t at = lowerName.size();
    while (at < t.size() && (t[at] == ' ' || t[at] == '\t')) ++at;
    if (at == t.size() || t[at] != '=') return false;
    value = trim(t.substr(at + 1));
    return true;
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
        if (!open_) return;
        // Each key the load wants is known by its first letter; comments and other
        // keys fall through.
        switch (t.front() | 0x20) {
            case 'n': take(t, "name", 0, record_.name); break;
            case 'm': take(t, "modificationdate", 1, record_.modificationDate); break;
            case 'a':
                if (!take(t, "authreason", 2, record_.authReason)) take(t, "accesslevel", 3, record_.accessLevel);
                break;
            case 'u': take(t, "unsentregrequest", 4, record_.unsentRegRequest); break;
            default: break;
        }
    }

    void Finish() {
        if (open_) visit_(record_);
        open_ = false;
    }

private:
    // Keeps the value of the key; the first occurrence in a section wins.
    bool take(std::string_view t, std::string_view lowerName, int slot, std::string_view& field) {
        if (seen_[slot] || !valueOf(t, lowerName, field)) return false;
        seen_[slot] = true;
        return true;
    }

    const RecordVisitor& visit_;
    SenderRecord record_;
    bool seen_[5] = {};
    bool open_ = false;
};

}  // namespace

void Parse(std::string& bytes, const RecordVisitor& visit) {
    Reader reader(visit);
    char* const data = bytes.data();
    char* const end = data + bytes.size();
    for (char* p = data; (p = static_cast<char*>(std::memchr(p, '\0', static_cast<std::size_t>(end - p)))) != nullptr; ++p)
        *p = ' ';
    char* at = data + (bytes.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0 ? kByteOrderMark.size() : 0);
    while (at != end) {
        char* const stop = lineEnd(at, end);
        reader.Line(std::string_view(at, static_cast<std::size_t>(stop - at)));
        at = stop == end ? end : stop + (*stop == '\r' && end - stop > 1 ? 2 : 1);
    }
    reader.Finish();
}

}  // namespace SenderFile
