#include "protocol/SmtpProxySessionText.h"

#include <algorithm>
#include <cstring>

#include "core/MailAccount.h"
#include "core/MiscUtils.h"
#include "core/Numbers.h"

namespace SmtpProxyText {
namespace {

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

}  // namespace

// ---------------------------------------------------------------- DataEndScanner

std::size_t DataEndScanner::scan(std::string_view bytes) {
    const char* const begin = bytes.data();
    const char* const end = begin + bytes.size();
    for (const char* p = begin; p < end; ++p) {
        if (matched_ == kNone) {
            // Most of a message is ordinary text: skip to the next CR at once.
            p = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(end - p)));
            if (p == nullptr) return npos;
        }
        const char c = *p;
        if (c == '\r') {
            matched_ = matched_ == kDot ? kDotCr : kCr;
        } else if (c == '\n' && matched_ == kDotCr) {
            matched_ = kLineStart;
            return static_cast<std::size_t>(p - begin) + 1;
        } else if (c == '\n') {
            matched_ = matched_ == kCr ? kLineStart : kNone;
        } else if (c == '.' && matched_ == kLineStart) {
            matched_ = kDot;
        } else {
            matched_ = kNone;
        }
    }
    return npos;
}

// ---------------------------------------------------------------- small texts

std::optional<std::string> Bracketed(std::string_view text) {
    const std::size_t open = text.find('<');
    if (open == std::string_view::npos) return std::nullopt;
    const std::size_t close = text.find('>', open + 1);
    if (close == std::string_view::npos) return std::nullopt;
    return std::string(text.substr(open + 1, close - open - 1));
}

bool PlausibleAddress(std::string_view address) {
    if (address.empty() || address.size() > 254) return false;
    const std::size_t at = address.find('@');
    if (at == 0 || at == std::string_view::npos || at + 1 == address.size()) return false;
    if (address.find('@', at + 1) != std::string_view::npos) return false;
    for (const char ch : address) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (IsControl(c) || c == ' ' || c == '<' || c == '>') return false;
    }
    return true;
}

std::optional<int> PortNumber(std::string_view text) {
    const auto port = MiscFuncs::DigitsNumber(MiscFuncs::TrimBlanks(text), 5, 1, 65535);
    if (!port) return std::nullopt;
    return static_cast<int>(*port);
}

std::vector<std::string> MailParameters(std::string_view argument) {
    std::vector<std::string> out;
    const std::size_t open = argument.find('<');
    const std::size_t close = open == std::string_view::npos ? open : argument.find('>', open);
    if (close == std::string_view::npos) return out;
    std::string_view rest = argument.substr(close + 1);
    while (!rest.empty() && out.size() < kMaxMailParameters) {
        const std::size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        const std::size_t end = std::min(rest.find(' '), rest.size());
        const std::string_view word = rest.substr(0, end);
        rest.remove_prefix(end);
        bool printable = true;
        for (char c : word) printable &= c > 0x20 && c < 0x7F;
        if (printable) out.emplace_back(word);
    }
    return out;
}

std::vector<std::string> EhloKeywords(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (line.size() < 5) continue;
        line.remove_prefix(4);
        out.push_back(MiscFuncs::UpperCase(line.substr(0, line.find(' '))));
    }
    return out;
}

bool ParameterOffered(std::string_view parameter, const std::vector<std::string>& keywords) {
    std::string keyword = MiscFuncs::UpperCase(parameter.substr(0, parameter.find('=')));
    if (keyword == "BODY") keyword = "8BITMIME";
    else if (keyword == "RET" || keyword == "ENVID") keyword = "DSN";
    return std::find(keywords.begin(), keywords.end(), keyword) != keywords.end();
}

AccountLookup FindAccountServer(std::string_view sender, ServerAddress& server, MailAccount* record) {
    if (!PlausibleAddress(sender)) return AccountLookup::NoAccount;
    const std::optional<MailAccount> account = Accounts::FindAccount(Accounts::ProgramAccounts(), sender);
    if (!account) return AccountLookup::NoAccount;
    const std::string host(MiscFuncs::TrimBlanks(account->SMTPServer));
    const std::optional<int> port = Accounts::ServerPort(account->SMTPServerPort, Accounts::kSmtpPort);
    if (host.empty() || !port) return AccountLookup::NoServer;
    server.host = host;
    server.port = *port;
    server.security = account->SMTPSecurity;
    if (record) *record = *account;
    return AccountLookup::Found;
}

}  // namespace SmtpProxyText
