#include "protocol/SmtpText.h"

#include <vector>

namespace SmtpText {
namespace {

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetterOrDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Calls line(text) for each line; CR LF, a bare CR and a bare LF all end one. The
// text after the last line end, if any, is a last line of its own.
template <typename Fn>
void forEachLine(std::string_view text, Fn line) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        line(text.substr(start, i - start), true);
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) line(text.substr(start), false);
}

bool isLabel(std::string_view label) {
    if (label.empty() || label.size() > 63) return false;
    if (label.front() == '-' || label.back() == '-') return false;
    for (char c : label)
        if (!isLetterOrDigit(c) && c != '-') return false;
    return true;
}

std::vector<std::string_view> splitDots(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t dot = text.find('.'); dot != std::string_view::npos; dot = text.find('.', start)) {
        parts.push_back(text.substr(start, dot - start));
        start = dot + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

bool allDigits(std::string_view text) {
    for (char c : text)
        if (!isDigit(c)) return false;
    return !text.empty();
}

void appendHex(std::string& out, unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    out += '=';
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

// One line of quoted-printable, soft-broken to 76 characters.
void encodeLine(std::string& out, std::string_view line) {
    std::size_t column = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        const bool last = i + 1 == line.size();
        const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
        const std::size_t width = literal ? 1 : 3;
        // A soft break "=" needs a column of its own.
        if (column + width > kQuotedPrintableLine - 1) {
            out += "=\r\n";
            column = 0;
        }
        if (literal) out += static_cast<char>(c);
        else appendHex(out, c);
        column += width;
    }
}

}  // namespace

std::string HeaderValue(std::string_view text, std::size_t cap) {
    std::string out(text.substr(0, cap));
    for (char& c : out)
        if (c != '\t' && isControl(static_cast<unsigned char>(c))) c = ' ';
    return out;
}

std::string QuotedString(std::string_view text) {
    std::string out;
    for (char c : HeaderValue(text)) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

bool IsEnvelopeAddress(std::string_view address) {
    if (address.empty() || address.size() > kMaxPathOctets) return false;
    for (char c : address) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F || c == '<' || c == '>') return false;
    }
    return true;
}

std::string DataBlock(std::string_view message) {
    std::string out;
    out.reserve(message.size() + message.size() / 32 + 8);
    forEachLine(message, [&](std::string_view line, bool) {
        // NUL goes first, so that "\0." cannot become a lone "." line.
        const std::size_t start = out.size();
        for (char c : line)
            if (c != '\0') out += c;
        if (out.size() > start && out[start] == '.') out.insert(start, 1, '.');
        out += "\r\n";
    });
    out += ".\r\n";
    return out;
}

bool HasEightBit(std::string_view body) {
    for (char c : body)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

bool NeedsEncoding(std::string_view body) {
    if (HasEightBit(body)) return true;
    bool longLine = false;
    forEachLine(body, [&](std::string_view line, bool) { longLine = longLine || line.size() > kMaxLineOctets; });
    return longLine;
}

std::string QuotedPrintable(std::string_view body) {
    std::string out;
    out.reserve(body.size() + body.size() / 8);
    forEachLine(body, [&](std::string_view line, bool ended) {
        encodeLine(out, line);
        if (ended) out += "\r\n";
    });
    return out;
}

std::string AddressLiteral(std::string_view address) {
    if (address.empty()) return "[127.0.0.1]";
    if (address.find(':') != std::string_view::npos) return "[IPv6:" + std::string(address) + "]";
    return "[" + std::string(address) + "]";
}

std::string EhloDomain(std::string_view hostName, std::string_view localAddress) {
    if (hostName.empty() || hostName.size() > 253) return AddressLiteral(localAddress);
    const std::vector<std::string_view> labels = splitDots(hostName);
    bool ok = labels.size() >= 2 && !allDigits(labels.back());
    for (std::string_view label : labels) ok = ok && isLabel(label);
    return ok ? std::string(hostName) : AddressLiteral(localAddress);
}

std::string MessageIdDomain(std::string_view hostName, std::string_view localAddress) {
    bool ok = !hostName.empty() && hostName.size() <= 253;
    for (std::string_view part : splitDots(hostName)) {
        ok = ok && !part.empty();
        for (char c : part) ok = ok && (isLetterOrDigit(c) || c == '-');
    }
    return ok ? std::string(hostName) : AddressLiteral(localAddress);
}

std::string CleanServerText(std::string_view text, std::size_t cap) {
    std::string out;
    forEachLine(text.substr(0, cap), [&](std::string_view line, bool ended) {
        for (char c : line) out += isControl(static_cast<unsigned char>(c)) && c != '\t' ? ' ' : c;
        if (ended) out += "\r\n";
    });
    return out;
}

}  // namespace SmtpText
