#include "core/SenderFile.h"

#include <bit>
#include <cstdint>
#include <cstring>


namespace SenderFile {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

inline std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

constexpr std::uint64_t kOnes = 0x0101010101010101ull, kLows = 0x7F7F7F7F7F7F7F7Full;

// The bytes of w equal to c, each marked by its high bit, and no other byte.
inline std::uint64_t bytesEqual(std::uint64_t w, unsigned char c) {
    const std::uint64_t x = w ^ (kOnes * c);
    return ~(((x & kLows) + kLows) | x | kLows);
}

// The first CR or LF at or after p, or end; eight bytes at a time, since this
// walks the whole text.
char* nextBreak(char* p, char* end) {
    if constexpr (std::endian::native == std::endian::little) {
        for (; end - p >= 8; p += 8) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            if (const std::uint64_t m = bytesEqual(w, '\n') | bytesEqual(w, '\r'))
                return p + std::countr_zero(m) / 8;
        }
    }
    while (p != end && *p != '\n' && *p != '\r') ++p;
    return p;
}

// The end of the line that begins at p: its LF, a CR before its LF, or a CR or
// the end that ends the text. Any other CR is made a blank.
char* lineEnd(char* p, char* end) {
    for (p = nextBreak(p, end); p != end && *p == '\r' && end - p > 1 && p[1] != '\n'; p = nextBreak(p + 1, end))
        *p = ' ';
    return p;
}

// Letter case ignored; lowerName is lower-case letters only, so setting the 0x20 bit
// of the key's byte matches exactly that letter in either case.
bool keyIs(std::string_view key, std::string_view lowerName) {
    if (key.size() != lowerName.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i)
        if ((key[i] | 0x20) != lowerName[i]) return false;
    return true;
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
