#include "protocol/OwnMailSignature.h"

#include "core/Address.h"
#include "core/CaselessText.h"
#include "core/Digest.h"
#include "core/MiscUtils.h"

namespace OwnMailSignature {
namespace {

constexpr std::string_view kHeaderEnd = "\r\n\r\n";

std::string bare(std::string_view value) {
    std::string name;
    return MiscFuncs::LowerCase(MiscFuncs::ParseAddress(value, name));
}

bool isHex(std::string_view text, bool upper) {
    for (char c : text) {
        const bool digit = c >= '0' && c <= '9';
        const bool letter = upper ? (c >= 'A' && c <= 'F') : (c >= 'a' && c <= 'f');
        if (!digit && !letter) return false;
    }
    return true;
}

// Compares in time that does not depend on where the texts differ.
bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

std::string mac(std::string_view key, std::string_view marker, std::string_view messageId, std::string_view from,
                std::string_view recipient, std::string_view bodyDigest) {
    std::string text = "GLP-SIGNATURE-1\n";
    text.append(marker).append("\n").append(messageId).append("\n");
    text.append(bare(from)).append("\n").append(bare(recipient)).append("\n").append(bodyDigest);
    return MiscFuncs::HmacMD5(key, text);
}

}  // namespace

std::vector<std::string> FieldValues(std::string_view headerBlock, std::string_view name) {
    std::vector<std::string> values;
    headerBlock = headerBlock.substr(0, kMaxHeaderBytes);
    std::string* open = nullptr;  // the value of a field of that name still being read
    std::size_t pos = 0;
    while (pos < headerBlock.size()) {
        std::size_t eol = headerBlock.find('\n', pos);
        if (eol == std::string_view::npos) eol = headerBlock.size();
        std::string_view line = headerBlock.substr(pos, eol - pos);
        pos = eol + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;  // the end of the header block
        if (line.front() == ' ' || line.front() == '\t') {
            if (open && open->size() < kMaxFieldBytes) open->append(line.substr(0, kMaxFieldBytes - open->size()));
            continue;
        }
        open = nullptr;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        std::string_view fieldName = line.substr(0, colon);
        while (!fieldName.empty() && (fieldName.back() == ' ' || fieldName.back() == '\t')) fieldName.remove_suffix(1);
        if (!MiscFuncs::CaseInsensitiveEqual{}(fieldName, name)) continue;
        values.emplace_back(line.substr(colon + 1, kMaxFieldBytes));
        open = &values.back();
    }
    for (std::string& value : values) value = std::string(MiscFuncs::TrimBlanksAndTabs(value));
    return values;
}

std::optional<std::string> FieldValue(std::string_view headerBlock, std::string_view name) {
    std::vector<std::string> values = FieldValues(headerBlock, name);
    if (values.empty()) return std::nullopt;
    return std::move(values.front());
}

std::string_view HeaderBlockOf(std::string_view messageText) {
    const std::size_t end = messageText.find(kHeaderEnd);
    return end == std::string_view::npos ? messageText : messageText.substr(0, end + 2);
}

std::string_view BodyOf(std::string_view messageText) {
    const std::size_t end = messageText.find(kHeaderEnd);
    return end == std::string_view::npos ? std::string_view() : messageText.substr(end + kHeaderEnd.size());
}

std::string Sign(std::string_view key, std::string_view marker, std::string_view messageId, std::string_view from,
                 std::string_view recipient, std::string_view body) {
    const std::string digest = MiscFuncs::MD5Hex(body);
    return digest + " " + mac(key, marker, messageId, from, recipient, digest);
}

bool Verify(std::string_view key, std::string_view headerBlock, std::optional<std::string_view> body) {
    if (key.empty()) return false;
    const std::vector<std::string> signatures = FieldValues(headerBlock, kSignatureField);
    // A second signature is no mail of ours.
    if (signatures.size() != 1) return false;
    const std::string& value = signatures.front();
    if (value.size() != 65 || value[32] != ' ') return false;
    const std::string_view digest = std::string_view(value).substr(0, 32);
    const std::string_view given = std::string_view(value).substr(33);
    if (!isHex(digest, true) || !isHex(given, false)) return false;
    const auto one = [&](std::string_view name) -> std::optional<std::string> {
        std::vector<std::string> values = FieldValues(headerBlock, name);
        if (values.size() != 1) return std::nullopt;
        return std::move(values.front());
    };
    const std::optional<std::string> marker = one(kMarkerField);
    const std::optional<std::string> messageId = one("Message-ID");
    const std::optional<std::string> from = one("From");
    const std::optional<std::string> recipient = one(kRecipientField);
    if (!marker || !messageId || !from || !recipient) return false;
    if (!sameText(mac(key, *marker, *messageId, *from, *recipient, digest), given)) return false;
    return !body || MiscFuncs::MD5Hex(*body) == digest;
}

bool HasRequestMarker(std::string_view headerBlock) {
    for (const std::string& value : FieldValues(headerBlock, kMarkerField))
        if (value == kRequestMarker) return true;
    return false;
}

std::string ApprovalToken(std::string_view key, std::string_view sender, std::string_view account) {
    std::string text = "GLP-TOKEN-1\n";
    text.append(bare(sender)).append("\n").append(bare(account));
    return MiscFuncs::HmacMD5(key, text);
}

bool IsTokenForm(std::string_view token) { return token.size() == kTokenLength && isHex(token, false); }

bool TokenHolds(std::string_view key, std::string_view token, std::string_view sender, std::string_view account) {
    if (key.empty() || !IsTokenForm(token)) return false;
    return sameText(ApprovalToken(key, sender, account), token);
}

}  // namespace OwnMailSignature
