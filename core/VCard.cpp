#include "core/VCard.h"

#include <system_error>

#include "core/AtomicFile.h"
#include "core/MiscUtils.h"

namespace VCard {
namespace {

// One logical line: continuation lines joined, the line end removed, capped.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool next(std::string& line) {
        line.clear();
        if (pos_ >= text_.size()) return false;
        append(line, physical());
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) {
            ++pos_;
            append(line, physical());
        }
        return true;
    }

private:
    std::string_view physical() {
        std::size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        std::string_view line = text_.substr(pos_, end - pos_);
        pos_ = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }
    static void append(std::string& line, std::string_view part) {
        if (line.size() < kMaxLineBytes) line.append(part.substr(0, kMaxLineBytes - line.size()));
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

struct Property {
    std::string name;  // upper case, without the group
    bool quotedPrintable = false;
    std::string_view value;
};

bool parseProperty(std::string_view line, Property& p) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view head = line.substr(0, colon);
    p.value = line.substr(colon + 1);
    const std::size_t semi = head.find(';');
    std::string_view name = head.substr(0, semi);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name.remove_prefix(dot + 1);
    p.name = MiscFuncs::UpperCase(name);
    p.quotedPrintable = semi != std::string_view::npos &&
                        MiscFuncs::UpperCase(head.substr(semi)).find("QUOTED-PRINTABLE") != std::string::npos;
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string decodeQuotedPrintable(std::string_view v) {
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '=') {
            out += v[i];
        } else if (i + 2 < v.size() && hexValue(v[i + 1]) >= 0 && hexValue(v[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(v[i + 1]) * 16 + hexValue(v[i + 2]));
            i += 2;
        } else if (i + 1 < v.size()) {
            out += v[i];  // a lone "=" at the very end is a soft line break
        }
    }
    return out;
}

std::string unescape(std::string_view v) {
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '\\' || i + 1 == v.size()) {
            out += v[i];
            continue;
        }
        const char next = v[++i];
        out += (next == 'n' || next == 'N') ? ' ' : next;
    }
    return out;
}

std::string valueOf(const Property& p) {
    return unescape(p.quotedPrintable ? decodeQuotedPrintable(p.value) : std::string(p.value));
}

// "Family;Given;Middle;Prefix;Suffix" as "Given Family".
std::string nameFromN(std::string_view value) {
    const std::size_t semi = value.find(';');
    const std::string family = unescape(value.substr(0, semi));
    std::string given;
    if (semi != std::string_view::npos) {
        const std::string_view rest = value.substr(semi + 1);
        given = unescape(rest.substr(0, rest.find(';')));
    }
    std::string name(MiscFuncs::TrimBlanks(given));
    const std::string_view f = MiscFuncs::TrimBlanks(family);
    if (!name.empty() && !f.empty()) name += ' ';
    return name.append(f);
}

}  // namespace

bool Parse(std::string_view text, std::vector<Card>& cards) {
    cards.clear();
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    LineReader lines(text);
    std::string line;
    bool seenStart = false, inCard = false;
    Card card;
    std::string nName;
    while (lines.next(line)) {
        const std::string_view trimmed = MiscFuncs::TrimBlanks(line);
        if (!seenStart) {
            if (trimmed.empty()) continue;
            if (!MiscFuncs::EqualsIgnoreCase(trimmed, "BEGIN:VCARD")) return false;
            seenStart = true;
        }
        if (MiscFuncs::EqualsIgnoreCase(trimmed, "BEGIN:VCARD")) {
            inCard = true;
            card = Card();
            nName.clear();
            continue;
        }
        if (!inCard) continue;
        if (MiscFuncs::EqualsIgnoreCase(trimmed, "END:VCARD")) {
            inCard = false;
            if (card.fullName.empty()) card.fullName = nName;
            if (cards.size() < kMaxCards) cards.push_back(std::move(card));
            continue;
        }
        Property p;
        if (!parseProperty(line, p)) continue;
        if (p.name == "FN") card.fullName = std::string(MiscFuncs::TrimBlanks(valueOf(p)));
        else if (p.name == "N") nName = nameFromN(p.quotedPrintable ? decodeQuotedPrintable(p.value) : std::string(p.value));
        else if (p.name == "EMAIL" && card.emails.size() < kMaxEmails) card.emails.push_back(valueOf(p));
    }
    return seenStart;
}

bool ReadFile(const std::filesystem::path& path, std::vector<Card>& cards) {
    cards.clear();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::string text;
    if (!MiscFuncs::ReadWholeFile(path, text, kMaxFileBytes + 1) || text.size() > kMaxFileBytes) return false;
    return Parse(text, cards);
}

}  // namespace VCard
