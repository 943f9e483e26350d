#include "core/RegFile.h"

#include <cstdio>

#include "core/MiscUtils.h"

namespace RegFile {
namespace {

constexpr std::size_t kWrapColumn = 76;
constexpr char kHexDigits[] = "0123456789abcdef";

bool isBlankChar(char c) { return c == ' ' || c == '\t'; }

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && isBlankChar(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view trimLeft(std::string_view s) {
    while (!s.empty() && isBlankChar(s.front())) s.remove_prefix(1);
    return s;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && MiscFuncs::EqualsIgnoreCase(s.substr(0, prefix.size()), prefix);
}

// 1 to 8 hexadecimal digits, the whole text.
bool parseHexNumber(std::string_view s, std::uint32_t& n) {
    if (s.empty() || s.size() > 8) return false;
    n = 0;
    for (char c : s) {
        const int v = hexValue(c);
        if (v < 0) return false;
        n = (n << 4) | static_cast<std::uint32_t>(v);
    }
    return true;
}

// The lines of a file, CR LF or LF ended, with a cursor; "line" is 1-based.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {}
    bool next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos_ = end + 1;
        ++number_;
        return true;
    }
    std::size_t number() const { return number_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t number_ = 0;
};

// A quoted text starting at s[0] == '"'. Returns the length consumed, 0 when the
// closing quote is missing.
std::size_t parseQuoted(std::string_view s, std::string& out) {
    out.clear();
    for (std::size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') return i + 1;
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out += s[++i];
            continue;
        }
        out += c;
    }
    return 0;
}

void appendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

// Comma-separated bytes of a hex value; the text already has its continuations joined.
bool parseHexBytes(std::string_view s, std::string& out, bool& tooLarge) {
    out.clear();
    tooLarge = false;
    s = trimRight(trimLeft(s));
    while (!s.empty()) {
        std::size_t end = s.find(',');
        const std::string_view item = trimRight(trimLeft(s.substr(0, end)));
        std::uint32_t n = 0;
        if (item.size() > 2 || !parseHexNumber(item, n)) return false;
        if (out.size() >= kMaxValueDataSize) return !(tooLarge = true);
        out += static_cast<char>(n);
        if (end == std::string_view::npos) break;
        s = trimLeft(s.substr(end + 1));
    }
    return true;
}

class Parser {
public:
    Parser(std::string_view text, std::vector<Statement>& out, std::string& error)
        : lines_(text), out_(out), error_(error) {}

    bool run() {
        std::string_view line;
        if (!lines_.next(line)) return fail("the header is not REGEDIT4");
        if (line.starts_with(kUtf8ByteOrderMark)) line.remove_prefix(kUtf8ByteOrderMark.size());
        if (line.starts_with("\xff\xfe") || line.starts_with("\xfe\xff"))
            return fail("the file is UTF-16 text; it must be 8-bit text beginning with REGEDIT4");
        if (trimRight(line) != kHeader) return fail("the header is not REGEDIT4");
        while (lines_.next(line)) {
            const std::string_view t = trimLeft(line);
            if (t.empty() || t.front() == ';') continue;
            if (!(t.front() == '[' ? keyLine(t) : valueLine(t))) return false;
        }
        return true;
    }

private:
    bool fail(const std::string& what) {
        error_ = "line " + std::to_string(lines_.number()) + ": " + what;
        return false;
    }

    bool keyLine(std::string_view t) {
        t = trimRight(t);
        if (t.size() < 2 || t.back() != ']') return fail("a key line must end with ]");
        const bool deletion = t[1] == '-';
        Statement st;
        st.op = deletion ? Statement::Op::DeleteKey : Statement::Op::Key;
        if (!SplitPath(t.substr(deletion ? 2 : 1, t.size() - (deletion ? 3 : 2)), st.key))
            return fail("invalid key path");
        inKey_ = !deletion;
        skipping_ = deletion;
        out_.push_back(std::move(st));
        return true;
    }

    bool valueLine(std::string_view t) {
        if (skipping_) return skipContinuations(t);
        if (!inKey_) return fail("a value before any key");
        Statement st;
        st.key = currentKey();
        std::size_t used = 1;
        if (t.front() == '"') {
            used = parseQuoted(t, st.value.name);
            if (used == 0) return fail("unterminated value name");
        } else if (t.front() != '@') {
            return fail("a value line must start with \" or @");
        }
        if (!IsValidValueName(st.value.name)) return fail("invalid value name");
        t = trimLeft(t.substr(used));
        if (t.empty() || t.front() != '=') return fail("= expected after the value name");
        if (!valueData(trimLeft(t.substr(1)), st)) return false;
        out_.push_back(std::move(st));
        return true;
    }

    // Values under a deleted key are not applied, but their continuation lines must
    // not be taken for lines of their own.
    bool skipContinuations(std::string_view t) {
        std::string_view line;
        while (trimRight(t).ends_with('\\') && lines_.next(line)) t = line;
        return true;
    }

    const std::vector<std::string>& currentKey() const { return out_.back().key; }

    bool valueData(std::string_view d, Statement& st) {
        st.op = Statement::Op::SetValue;
        if (trimRight(d) == "-") {
            st.op = Statement::Op::DeleteValue;
            return true;
        }
        if (!d.empty() && d.front() == '"') return stringData(d, st.value);
        if (startsWithNoCase(d, "dword:")) return dwordData(d.substr(6), st.value);
        if (startsWithNoCase(d, "hex:")) {
            st.value.type = kRegBinary;
            return hexData(d.substr(4), st.value);
        }
        if (startsWithNoCase(d, "hex(")) {
            const std::size_t close = d.find("):");
            if (close == std::string_view::npos || !parseHexNumber(d.substr(4, close - 4), st.value.type))
                return fail("invalid hex(n) type");
            return hexData(d.substr(close + 2), st.value);
        }
        return fail("unknown value kind");
    }

    bool stringData(std::string_view d, RegValue& v) {
        const std::size_t used = parseQuoted(d, v.data);
        if (used == 0) return fail("unterminated string");
        if (!trimRight(d.substr(used)).empty()) return fail("text after the closing quote");
        if (v.data.size() >= kMaxValueDataSize) return fail("value too large");
        v.type = kRegSz;
        v.data += '\0';
        return true;
    }

    bool dwordData(std::string_view d, RegValue& v) {
        std::uint32_t n = 0;
        if (!parseHexNumber(trimRight(d), n)) return fail("invalid dword");
        v.type = kRegDword;
        v.data = DwordBytes(n);
        return true;
    }

    bool hexData(std::string_view d, RegValue& v) {
        std::string joined;
        std::string_view piece = trimRight(d);
        while (piece.ends_with('\\')) {
            joined += piece.substr(0, piece.size() - 1);
            if (joined.size() > 3 * kMaxValueDataSize) return fail("value too large");
            std::string_view line;
            if (!lines_.next(line)) return fail("the file ends inside a continued value");
            piece = trimRight(trimLeft(line));
        }
        joined += piece;
        bool tooLarge = false;
        if (!parseHexBytes(joined, v.data, tooLarge)) return fail(tooLarge ? "value too large" : "invalid hex bytes");
        return true;
    }

    Lines lines_;
    std::vector<Statement>& out_;
    std::string& error_;
    bool inKey_ = false;
    bool skipping_ = false;
};

}  // namespace

int RootIndex(std::string_view name) {
    for (std::size_t i = 0; i < kRootKeys.size(); ++i)
        if (MiscFuncs::EqualsIgnoreCase(name, kRootKeys[i].name)) return static_cast<int>(i);
    return -1;
}

bool IsValidKeyName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxKeyNameLength &&
           name.find_first_of(std::string_view("\\\r\n\0", 4)) == std::string_view::npos;
}

bool IsValidValueName(std::string_view name) {
    return name.size() <= kMaxValueNameLength &&
           name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool SplitPath(std::string_view path, std::vector<std::string>& parts) {
    parts.clear();
    while (true) {
        const std::size_t cut = path.find('\\');
        const std::string_view part = path.substr(0, cut);
        if (parts.empty()) {
            const int root = RootIndex(part);
            if (root < 0) return false;
            parts.emplace_back(kRootKeys[static_cast<std::size_t>(root)].name);
        } else {
            if (!IsValidKeyName(part) || parts.size() > kMaxKeyDepth) return false;
            parts.emplace_back(part);
        }
        if (cut == std::string_view::npos) return true;
        path.remove_prefix(cut + 1);
    }
}

bool Parse(std::string_view text, std::vector<Statement>& out, std::string& error) {
    out.clear();
    error.clear();
    if (text.size() > kMaxFileSize) {
        error = "the file is too large";
        return false;
    }
    return Parser(text, out, error).run();
}

std::string FormatKeyLine(std::string_view path) {
    std::string line;
    line.reserve(path.size() + 4);
    line += '[';
    line += path;
    line += "]\r\n";
    return line;
}

namespace {

// A string value is written as quoted text when its bytes are that text and one NUL;
// anything else keeps its exact bytes as hex(1).
bool isPlainString(const RegValue& v) {
    if (v.type != kRegSz || v.data.empty() || v.data.back() != '\0') return false;
    const std::string_view text(v.data.data(), v.data.size() - 1);
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

void appendHexBytes(std::string& out, std::size_t lineStart, std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 15];
        if (i + 1 == bytes.size()) break;
        out += ',';
        if (out.size() - lineStart > kWrapColumn) {
            out += "\\\r\n  ";
            lineStart = out.size() - 2;
        }
    }
}

}  // namespace

std::string FormatValue(const RegValue& v) {
    std::string out;
    out.reserve(v.name.size() + 3 * v.data.size() + 24);
    if (v.name.empty()) out += '@';
    else appendQuoted(out, v.name);
    out += '=';
    if (isPlainString(v)) {
        appendQuoted(out, std::string_view(v.data.data(), v.data.size() - 1));
    } else if (v.type == kRegDword && v.data.size() == 4) {
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.data[static_cast<std::size_t>(i)]);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(n));
        out += buf;
    } else {
        char buf[24];
        if (v.type == kRegBinary) std::snprintf(buf, sizeof buf, "hex:");
        else std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
        out += buf;
        appendHexBytes(out, 0, v.data);
    }
    out += "\r\n";
    return out;
}

std::string DwordBytes(std::uint32_t n) {
    std::string b(4, '\0');
    for (std::size_t i = 0; i < 4; ++i) b[i] = static_cast<char>((n >> (8 * i)) & 0xff);
    return b;
}

}  // namespace RegFile
