#include "core/Address.h"

#include <algorithm>

#include "core/MiscUtils.h"

namespace MiscFuncs {
namespace {

// One reading of a header value. nameSet tells whether the value had a name part.
struct Reading {
    std::string address;
    std::string name;
    bool nameSet = false;
};

// Apostrophes go; round and square brackets become angle brackets.
std::string normaliseBrackets(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        if (c == '\'') continue;
        if (c == '(' || c == '[') c = '<';
        else if (c == ')' || c == ']') c = '>';
        out += c;
    }
    return out;
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
    const std::string t = normaliseBrackets(value);
    const std::size_t g = t.find('>');
    const std::size_t l = t.rfind('<');
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

char lowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

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

// A deterministic automaton for local "@" (label ".")+ last, one pass, no backtracking.
bool IsValidEmail(std::string_view text) {
    enum class State { LocalStart, Local, LabelStart, Label } state = State::LocalStart;
    std::size_t labelLength = 0, dots = 0;
    for (char raw : text) {
        const char c = lowerChar(raw);
        switch (state) {
        case State::LocalStart:
        case State::Local:
            if (isLocalChar(c)) state = State::Local;
            else if (c == '@' && state == State::Local) state = State::LabelStart;
            else return false;
            break;
        case State::LabelStart:
            if (!isLabelChar(c)) return false;
            state = State::Label;
            labelLength = 1;
            break;
        case State::Label:
            if (isLabelChar(c)) ++labelLength;
            else if (c == '.') ++dots, state = State::LabelStart;
            else return false;
            break;
        }
    }
    return state == State::Label && dots >= 1 && labelLength >= 2 && labelLength <= 7;
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
