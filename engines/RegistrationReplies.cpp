#include "engines/RegistrationReplies.h"

#include <array>
#include <cstdint>
#include <system_error>

#include "core/Address.h"
#include "core/AtomicFile.h"
#include "core/CMessages.h"
#include "core/Dates.h"
#include "core/Environment.h"
#include "core/IniDocument.h"
#include "core/MessageKey.h"
#include "core/MiscUtils.h"

namespace fs = std::filesystem;

namespace RegistrationReplies {
namespace {

constexpr std::size_t kMaxRecipientLength = 1000;
// Random numbers tried for a stamp before numbered names are.
constexpr int kRandomTries = 10;
// Reply files are small; anything larger is not one of ours.
constexpr std::size_t kMaxRequestFileBytes = 64 * 1024;

void keep(std::string_view key, std::string_view value, RegistrationReply& reply) {
    std::string clean;
    for (char c : value.substr(0, kMaxValueLength))
        if (c != '"') clean += c;
    if (key == kNameKey) reply.name = std::move(clean);
    else if (key == kReasonKey) reply.reason = std::move(clean);
    else if (key == kCodeKey) reply.code = std::move(clean);
    else if (key == kFromKey) reply.from = std::move(clean);
    else if (key == kTimeKey) reply.time = std::move(clean);
}

void readLine(std::string_view line, RegistrationReply& reply) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() >= 2 && line[0] == '.' && line[1] == '.') line.remove_prefix(1);
    if (MiscFuncs::IsBlank(line)) return;
    const std::size_t colon = line.find(':');
    // A line without a key says nothing about the sender.
    if (colon == std::string_view::npos) return;
    const std::size_t from = colon + 2;
    keep(line.substr(0, colon), from < line.size() ? line.substr(from) : std::string_view(), reply);
}

// The settings file's bracket rule, for a value under a fixed section and key.
std::string bracketed(std::string_view value) {
    std::string out(value);
    if (out.find_first_of("[]") == std::string::npos) return out;
    for (char& c : out) c = c == '[' ? '{' : c == ']' ? '}' : c;
    return out;
}

int randomNumber(int attempt) {
    std::array<std::uint8_t, 16> bytes{};
    if (!MiscFuncs::NewGuidBytes(bytes)) return attempt % 100 + 1;
    return (bytes[0] | bytes[1] << 8) % 100 + 1;
}

std::string candidate(const std::string& stamp, int attempt, int number) {
    std::string name = stamp + std::to_string(number);
    if (attempt >= kRandomTries) name += "_" + std::to_string(attempt - kRandomTries + 2);
    return name + std::string(kExtension);
}

bool readRequest(const fs::path& file, PendingRequest& request) {
    std::string bytes;
    if (!MiscFuncs::ReadWholeFile(file, bytes, kMaxRequestFileBytes)) return false;
    const IniStore::IniDocument doc = IniStore::IniDocument::Parse(bytes);
    const auto value = [&](std::string_view key) {
        const std::string* v = doc.Find(kSection, key);
        return v ? *v : std::string();
    };
    request.file = file;
    request.from = value(kFromKey);
    request.name = value(kNameKey);
    request.reason = value(kReasonKey);
    return true;
}

}  // namespace

RegistrationReply ParseReplyBody(std::string_view body) {
    RegistrationReply reply;
    std::size_t pos = 0;
    for (std::size_t lines = 0; pos < body.size() && lines < kMaxReplyLines; ++lines) {
        std::size_t lf = body.find('\n', pos);
        if (lf == std::string_view::npos) lf = body.size();
        readLine(body.substr(pos, lf - pos), reply);
        pos = lf + 1;
    }
    return reply;
}

std::optional<std::string> BouncedRecipient(std::string_view body) {
    const std::size_t at = body.find(kRecipientMarker);
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view rest = body.substr(at + kRecipientMarker.size());
    rest = rest.substr(0, rest.find_first_of("\r\n"));
    const std::string_view recipient = MiscFuncs::TrimBlanks(rest.substr(0, kMaxRecipientLength));
    if (MiscFuncs::IsBlank(recipient)) return std::nullopt;
    return std::string(recipient);
}

std::string FileText(const RegistrationReply& reply) {
    IniStore::IniDocument doc;
    doc.Set(kSection, kNameKey, bracketed(reply.name));
    doc.Set(kSection, kReasonKey, bracketed(reply.reason));
    doc.Set(kSection, kFromKey, bracketed(reply.from));
    doc.Set(kSection, kTimeKey, bracketed(reply.time));
    return doc.Serialize();
}

fs::path WriteRequestFile(std::string_view account, const RegistrationReply& reply, std::string* error) {
    const fs::path folder = MessageKeys::FolderPath(MiscFuncs::TrimBlanks(account), MessageKeys::kInBox);
    if (folder.empty()) {
        if (error) *error = "no InBox folder for the account " + std::string(account);
        return {};
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    const std::string text = FileText(reply);
    const std::string stamp = MiscFuncs::DateStampNow();
    for (int attempt = 0; attempt < kRandomTries + kMaxNamesPerStamp; ++attempt) {
        const fs::path path = folder / candidate(stamp, attempt, randomNumber(attempt));
        std::string why;
        if (MiscFuncs::WriteFileAtomic(path, text, MiscFuncs::Replace::Never, nullptr, &why)) return path;
        // A name that is taken is tried again under another; any other failure is final.
        if (!fs::exists(path, ec)) {
            if (error) *error = why;
            return {};
        }
    }
    if (error) *error = "no free name for a reply file in " + folder.string();
    return {};
}

std::optional<PendingRequest> FindPendingRequest(const std::vector<std::string>& accounts,
                                                 const std::function<bool(const std::string& address)>& skip) {
    for (const std::string& account : accounts) {
        if (MiscFuncs::IsBlank(account)) break;
        const fs::path folder = MessageKeys::FolderPath(MiscFuncs::TrimBlanks(account), MessageKeys::kInBox);
        if (folder.empty()) continue;
        MiscFuncs::DirList list;
        for (std::string name = MiscFuncs::SafeDir(list, (folder / ("*" + std::string(kExtension))).string());
             !name.empty(); name = MiscFuncs::SafeDir(list, "")) {
            PendingRequest request;
            if (!readRequest(folder / name, request)) continue;
            std::string displayName;
            if (skip && skip(MiscFuncs::ParseAddress(request.from, displayName))) continue;
            request.account = account;
            return request;
        }
    }
    return std::nullopt;
}

std::string AccountHoldingSender(const CMessages& store, std::string_view address) {
    std::string displayName;
    const std::string sender = MiscFuncs::ParseAddress(address, displayName);
    for (const std::string_view folder : {MessageKeys::kWaitingAuth, MessageKeys::kInBox}) {
        const std::vector<std::string> keys = store.SenderKeys(sender, {}, folder);
        MessageKeys::KeyParts parts;
        if (!keys.empty() && MessageKeys::SplitKey(keys.front(), parts)) return std::string(parts.account);
    }
    return {};
}

}  // namespace RegistrationReplies
