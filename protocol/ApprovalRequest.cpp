#include "protocol/ApprovalRequest.h"

#include "core/Address.h"
#include "core/FormAddresses.h"
#include "core/MiscUtils.h"
#include "core/Scramble.h"
#include "core/ServiceAddresses.h"
#include "protocol/OwnMailSignature.h"
#include "protocol/RegistrationReplies.h"

namespace ApprovalRequest {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> decode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            if (i + 2 >= text.size()) return std::nullopt;
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string bare(std::string_view value) {
    std::string name;
    return MiscFuncs::ParseAddress(value, name);
}

}  // namespace

std::string ServiceBase(std::string_view configured) {
    std::string_view base = MiscFuncs::TrimBlanks(configured);
    while (!base.empty() && base.back() == '/') base.remove_suffix(1);
    if (base.empty()) return std::string(ServiceAddresses::ApprovalServiceAddress);
    return std::string(base);
}

std::string Link(std::string_view serviceBase, std::string_view recipient, std::string_view account,
                 std::string_view token) {
    std::string target(recipient);
    target.append(":").append(account);
    std::string link(serviceBase);
    link.append(kPagePath).append("?").append(kTargetKey).append("=").append(MiscFuncs::ScrambleText(target));
    link.append("&").append(kTokenKey).append("=").append(token);
    return link;
}

std::string ButtonAddress(std::string_view serviceBase) { return std::string(serviceBase) + std::string(kButtonPath); }

std::optional<Fields> ParseUrlEncoded(std::string_view text) {
    if (text.size() > kMaxQueryBytes) return std::nullopt;
    Fields fields;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t amp = text.find('&', pos);
        if (amp == std::string_view::npos) amp = text.size();
        const std::string_view pair = text.substr(pos, amp - pos);
        pos = amp + 1;
        if (pair.empty()) {
            if (amp == text.size()) break;
            continue;
        }
        const std::size_t eq = pair.find('=');
        const std::optional<std::string> name = decode(pair.substr(0, eq));
        const std::optional<std::string> value =
            decode(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1));
        if (!name || !value || name->empty()) return std::nullopt;
        if (fields.size() >= kMaxFields) return std::nullopt;
        if (!fields.emplace(*name, *value).second) return std::nullopt;
        if (amp == text.size()) break;
    }
    return fields;
}

std::string UrlEncode(std::string_view value) { return BrowserHelpers::UrlEscape(value); }

std::optional<Target> ReadTarget(std::string_view scrambled, std::string_view token) {
    if (scrambled.size() > 4 + 2 * (2 * kMaxAddressLength + 1)) return std::nullopt;
    if (!OwnMailSignature::IsTokenForm(token)) return std::nullopt;
    std::string plain;
    if (!MiscFuncs::UnscrambleText(scrambled, plain)) return std::nullopt;
    const std::size_t colon = plain.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    Target target;
    target.recipient = plain.substr(0, colon);
    target.account = plain.substr(colon + 1);
    target.sender = bare(target.recipient);
    // Whatever goes into the reply must stay one line of one header-free body.
    for (char c : plain)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;
    if (!MiscFuncs::IsValidEmail(target.sender) || !MiscFuncs::IsValidEmail(target.account) ||
        bare(target.account) != MiscFuncs::LowerCase(target.account))
        return std::nullopt;
    target.token = std::string(token);
    return target;
}

std::string CleanValue(std::string_view value, std::size_t max) {
    std::string out;
    for (char c : value) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool blank = u < 0x20 || u == 0x7F || c == '"' || c == ' ';
        if (blank) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    std::string_view trimmed = MiscFuncs::TrimBlanks(out);
    if (trimmed.size() > max) trimmed = MiscFuncs::TrimBlanks(trimmed.substr(0, max));
    return std::string(trimmed);
}

std::string ReplyBody(const Target& target, std::string_view name, std::string_view reason, std::string_view time) {
    const auto line = [](std::string_view key, std::string_view value, std::size_t max) {
        return std::string(key) + ": " + CleanValue(value, max) + "\r\n";
    };
    std::string body;
    body += line(RegistrationReplies::kNameKey, name, kMaxNameLength);
    body += line(RegistrationReplies::kReasonKey, reason, kMaxReasonLength);
    // The code covers the sender as the collector reads him back: cleaned as here.
    const std::string from = CleanValue(target.recipient, 2 * kMaxAddressLength);
    body += line(RegistrationReplies::kCodeKey, MiscFuncs::RegCode(from, target.account), 16);
    body += line(RegistrationReplies::kFromKey, from, 2 * kMaxAddressLength);
    body += line(RegistrationReplies::kTimeKey, time, 64);
    body += line(kReplyTokenKey, target.token, OwnMailSignature::kTokenLength);
    return body;
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c; break;
        }
    }
    return out;
}

}  // namespace ApprovalRequest
