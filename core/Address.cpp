#include "core/Address.h"

#include <algorithm>
#include <array>

#include "core/MiscUtils.h"

namespace MiscFuncs {
namespace {

// One reading of a header value. nameSet tells whether the value had a name part.
struct Reading {
    std::string address;
    std::string name;
    bool nameSet = false;
};

// The text with every quoted string ("...", backslash escapes honoured) blanked out,
// so that brackets and "@" inside a display name are not taken for the address's.
// From a quote left open on, the text stays as it stands.
std::string unquoted(const std::string& t) {
    std::string out = t;
    bool inQuotes = false, escaped = false;
    std::size_t opened = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char c = out[i];
        if (inQuotes) {
            out[i] = ' ';
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inQuotes = false;
        } else if (c == '"') {
            inQuotes = true;
            opened = i;
        }
    }
    if (inQuotes) out.replace(opened, std::string::npos, t, opened, std::string::npos);
    return out;
}

// The value and the same with its quoted strings blanked out (unquoted).
struct Normalised {
    std::string text, outside;
};

// Apostrophes go; round and square brackets become angle brackets, except inside a
// quoted display name. Brackets never open or close a quoted string, so the blanked
// text is made once and changed alike.
Normalised normaliseBrackets(std::string_view value) {
    Normalised n;
    std::string& out = n.text;
    out.reserve(value.size());
    for (char c : value)
        if (c != '\'') out += c;
    n.outside = unquoted(out);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (n.outside[i] != out[i]) continue;
        char& c = out[i];
        if (c == '(' || c == '[') c = '<';
        else if (c == ')' || c == ']') c = '>';
        n.outside[i] = c;
    }
    return n;
}

// A value without a complete bracket pair: a quoted name may stand before the address.
Reading readUnbracketed(const std::string& t) {
    Reading r;
    const std::size_t q = t.rfind('"');
    if (q == std::string::npos) {
        r.address = t;
        return r;
    }
    const std::string_view before = std::string_view(t).substr(0, q);
    r.name = std::string(TrimBlanks(before.empty() ? before : before.substr(1)));
    r.nameSet = true;
    r.address = std::string(TrimBlanks(std::string_view(t).substr(q + 1)));
    return r;
}

Reading readValue(std::string_view value) {
    const Normalised n = normaliseBrackets(value);
    const std::string& t = n.text;
    // Brackets inside a quoted display name are part of the name.
    const std::string& outside = n.outside;
    const std::size_t g = outside.find('>');
    const std::size_t l = outside.rfind('<');
    Reading r;
    if (g == std::string::npos || l == std::string::npos) {
        r = readUnbracketed(t);
    } else if (l < g) {
        r.name = std::string(TrimBlanks(std::string_view(t).substr(0, l)));
        r.nameSet = true;
        r.address = t.substr(l + 1, g - l - 1);  // g is the first ">" behind l
    }
    r.address = LowerCase(TrimBlanks(r.address));
    return r;
}

// The value with its parenthesised comments removed (nested ones too; one left open
// runs to the end). firstComment gets the text of the first comment.
std::string removeComments(std::string_view value, std::string& firstComment) {
    std::string out, comment;
    out.reserve(value.size());
    std::size_t depth = 0, comments = 0;
    for (char c : value) {
        if (c == '(') {
            if (depth++ > 0 && comments == 0) comment += c;
            continue;
        }
        if (depth > 0 && c == ')') {
            if (--depth == 0) ++comments;
            else if (comments == 0) comment += c;
            continue;
        }
        if (depth == 0) out += c;
        else if (comments == 0) comment += c;
    }
    comment.erase(std::remove(comment.begin(), comment.end(), '\''), comment.end());
    firstComment = std::string(TrimBlanks(comment));
    return out;
}

bool isLower(char c) { return c >= 'a' && c <= 'z'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLabelChar(char c) { return isLower(c) || isDigit(c) || c == '-'; }
bool isLocalChar(char c) { return isLabelChar(c) || c == '_' || c == '.'; }

// The bytes of an address, letter case ignored: label bytes (letters, digits, "-")
// stand anywhere, "_" and "." are local bytes too.
constexpr unsigned char kLabelByte = 1, kLocalByte = 2;
constexpr std::array<unsigned char, 256> kEmailClass = [] {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 256; ++c) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (letter || (c >= '0' && c <= '9') || c == '-') t[static_cast<std::size_t>(c)] = kLabelByte | kLocalByte;
        else if (c == '_' || c == '.') t[static_cast<std::size_t>(c)] = kLocalByte;
    }
    return t;
}();

}  // namespace

std::string ParseAddress(std::string_view value, std::string& displayName) {
    Reading r = readValue(value);
    if (!IsValidEmail(r.address) && value.find('(') != std::string_view::npos) {
        std::string comment;
        Reading again = readValue(removeComments(value, comment));
        if (IsValidEmail(again.address)) {
            if ((!again.nameSet || again.name.empty()) && !comment.empty()) {
                again.name = comment;
                again.nameSet = true;
            }
            r = std::move(again);
        }
    }
    if (r.nameSet) displayName = r.name;
    return r.address;
}

bool IsValidEmail(std::string_view text) {
    // local "@" (label ".")+ last; one pass, and in the domain no branch per
    // character: lists of thousands of senders check every address at start-up.
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && (kEmailClass[p[i]] & kLocalByte)) ++i;
    if (i == 0 || i == n || p[i] != '@') return false;
    std::size_t label = 0, dots = 0;
    bool bad = false;
    for (++i; i < n; ++i) {
        const bool dot = p[i] == '.';
        bad |= (dot && label == 0) || (!dot && !(kEmailClass[p[i]] & kLabelByte));
        dots += dot;
        label = dot ? 0 : label + 1;
    }
    return !bad && dots >= 1 && label >= 2 && label <= 7;
}

bool IsValidEmailFallback(std::string_view text) {
    const std::string s = LowerCase(text);
    if (s.size() < 6 || std::count(s.begin(), s.end(), '@') != 1) return false;
    const std::size_t at = s.find('@');
    const std::string_view local = std::string_view(s).substr(0, at);
    const std::string_view domain = std::string_view(s).substr(at + 1);
    if (local.empty() || domain.empty()) return false;
    if (!std::all_of(local.begin(), local.end(), isLocalChar)) return false;
    if (domain.find('_') != std::string_view::npos || domain.find("..") != std::string_view::npos)
        return false;
    const std::size_t lastDot = domain.rfind('.');
    if (lastDot == std::string_view::npos) return false;
    const std::string_view last = domain.substr(lastDot + 1);
    if (last.size() < 2 || !std::all_of(last.begin(), last.end(), isLower)) return false;
    const std::size_t prevDot = lastDot == 0 ? std::string_view::npos : domain.rfind('.', lastDot - 1);
    const std::size_t from = prevDot == std::string_view::npos ? 0 : prevDot + 1;
    const std::string_view before = domain.substr(from, lastDot - from);
    return std::any_of(before.begin(), before.end(), isLower);
}

std::string DomainOf(std::string_view address) {
    const std::size_t at = address.find('@');
    return std::string(at == std::string_view::npos ? address : address.substr(at + 1));
}

std::string UserOf(std::string_view address) {
    const std::size_t at = address.find('@');
    return at == std::string_view::npos ? std::string() : std::string(address.substr(0, at));
}

}  // namespace MiscFuncs
