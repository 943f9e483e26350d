#include "protocol/RegistrationReplies.h"


#include "core/Address.h"
#include "core/CMessages.h"
#include "core/MessageKey.h"
#include "core/MiscUtils.h"
#include "protocol/OwnMailSignature.h"
#include "protocol/RegReplyFile.h"

namespace fs = std::filesystem;

namespace RegistrationReplies {
namespace {

constexpr std::size_t kMaxRecipientLength = 1000;

void keep(std::string_view key, std::string_view value, RegistrationReply& reply) {
    std::string clean;
    for (char c : value.substr(0, kMaxValueLength))
        if (c != '"') clean += c;
    if (key == kNameKey) reply.name = std::move(clean);
    else if (key == kReasonKey) reply.reason = std::move(clean);
    else if (key == kCodeKey) reply.code = std::move(clean);
    else if (key == kFromKey) reply.from = std::move(clean);
    else if (key == kTimeKey) reply.time = std::move(clean);
    else if (key == kTokenKey) reply.token = std::move(clean);
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

RegReplyFile::Contents contentsOf(const RegistrationReply& reply) {
    return {reply.name, reply.reason, reply.from, reply.time, {}};
}

// A damaged file is passed over, as the pop-up passes it over.
bool readRequest(const fs::path& file, PendingRequest& request) {
    const RegReplyFile::ReadOutcome read = RegReplyFile::Read(file);
    if (read.status != RegReplyFile::ReadStatus::Ok) return false;
    request.file = file;
    request.from = read.contents.from;
    request.name = read.contents.name;
    request.reason = read.contents.reason;
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

std::optional<std::string> SignedBouncedRecipient(std::string_view body, std::string_view key) {
    if (key.empty()) return std::nullopt;
    constexpr std::size_t kMaxTries = 8;
    std::size_t tries = 0;
    for (std::size_t at = body.find(OwnMailSignature::kMarkerField); at != std::string_view::npos && tries < kMaxTries;
         at = body.find(OwnMailSignature::kMarkerField, at + 1)) {
        // Only a field at the start of a line.
        if (at != 0 && body[at - 1] != '\n') continue;
        ++tries;
        std::size_t start = body.rfind("\n\r\n", at);
        start = start == std::string_view::npos ? 0 : start + 3;
        if (const std::size_t lf = body.rfind("\n\n", at); lf != std::string_view::npos && lf + 2 > start) start = lf + 2;
        // An empty line right at the start of the body is no header line either.
        while (start < at && (body[start] == '\r' || body[start] == '\n')) ++start;
        std::size_t end = body.find("\r\n\r\n", at);
        end = end == std::string_view::npos ? body.size() : end + 2;
        const std::string_view block = body.substr(start, end - start);
        if (!OwnMailSignature::HasRequestMarker(block) || !OwnMailSignature::Verify(key, block)) continue;
        const std::optional<std::string> recipient = OwnMailSignature::FieldValue(block, OwnMailSignature::kRecipientField);
        if (!recipient || MiscFuncs::IsBlank(*recipient)) return std::nullopt;
        return std::string(MiscFuncs::TrimBlanks(std::string_view(*recipient).substr(0, kMaxRecipientLength)));
    }
    return std::nullopt;
}

// One format and one writer for reply files: the pop-up's (protocol/RegReplyFile.h).
std::string FileText(const RegistrationReply& reply) { return RegReplyFile::FileText(contentsOf(reply)); }

fs::path WriteRequestFile(std::string_view account, const RegistrationReply& reply, std::string* error) {
    return RegReplyFile::Write(account, contentsOf(reply), error);
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
