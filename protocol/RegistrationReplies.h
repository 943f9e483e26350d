#pragma once
// The mail that the program's own sender-approval traffic brings back, as the
// collector reads it: the registration reply of the approval page, the bounce of a
// registration request, and the reply file (RegRequestFile) that waits in an
// account's InBox for the registration pop-up.
//
// Registration reply body: lines separated by CR LF (a bare LF is taken too; lines
// are un-dot-stuffed, as the body arrives in its POP3 wire form). A blank line, and a
// line without ":", is skipped. The key is the text before the first ":", compared
// exactly; the value the text from the second character after that ":" on, with every
// double quote removed. Other keys are ignored; a key given twice keeps its last value.
// At most kMaxReplyLines lines and kMaxValueLength bytes per value are read.
//
// Bounce: the returned headers of a request hold "X-GLP-RCPT: <address>"; the
// recipient is the rest of that line, trimmed.
//
// RegRequestFile: the reply file of protocol/RegReplyFile.h, written through it (one
// format and one writer for both sides): [RegRequest] AuthRequestName,
// AuthRequestReason, AuthRequestFrom (as it came), AuthRequestTime, in the account's
// InBox, created whole and never over another file.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CMessages;

namespace RegistrationReplies {

inline constexpr std::string_view kSection = "RegRequest";
inline constexpr std::string_view kExtension = ".rrm";
inline constexpr std::string_view kNameKey = "AuthRequestName";
inline constexpr std::string_view kReasonKey = "AuthRequestReason";
inline constexpr std::string_view kCodeKey = "AuthRequestCode";
inline constexpr std::string_view kFromKey = "AuthRequestFrom";
inline constexpr std::string_view kTimeKey = "AuthRequestTime";
// The approval link's token, which the approval service hands back (not stored).
inline constexpr std::string_view kTokenKey = "AuthRequestToken";
inline constexpr std::string_view kRecipientMarker = "X-GLP-RCPT:";

inline constexpr std::size_t kMaxReplyLines = 10000;
inline constexpr std::size_t kMaxValueLength = 2000;

struct RegistrationReply {
    std::string name;
    std::string reason;
    std::string code;
    std::string from;  // as given, perhaps with a display name
    std::string time;
    std::string token{};
};

// The five keys of a reply body and the token; missing keys read as "".
RegistrationReply ParseReplyBody(std::string_view body);

// The recipient named in the returned headers of a bounced request; nothing when the
// body holds no recipient line or an empty one.
std::optional<std::string> BouncedRecipient(std::string_view body);

// The recipient of a bounced request whose returned header block carries a signature
// of this installation under the key (protocol/OwnMailSignature.h) and the request's
// marker; nothing for any other mail, whatever "X-GLP-" lines it holds. The returned
// header block is the block of lines around the marker field, up to the empty lines
// before and after it.
std::optional<std::string> SignedBouncedRecipient(std::string_view body, std::string_view key);

// The file's text: [RegRequest] and its four keys in their order.
std::string FileText(const RegistrationReply& reply);

// Writes a new reply file into the account's InBox (created when missing). The new
// path, or empty with *error saying why.
std::filesystem::path WriteRequestFile(std::string_view account, const RegistrationReply& reply,
                                       std::string* error = nullptr);

// A reply file as the pop-up reads it.
struct PendingRequest {
    std::string account;
    std::filesystem::path file;
    std::string from;  // AuthRequestFrom as stored
    std::string name;
    std::string reason;
};

// The first reply file, accounts in the given order and files by name within each,
// whose sender `skip` does not pass over (the pop-up skips senders already waiting for
// the user's approval, and looks on past their files rather than stopping there).
std::optional<PendingRequest> FindPendingRequest(const std::vector<std::string>& accounts,
                                                 const std::function<bool(const std::string& address)>& skip);

// The account whose folders hold the sender's mail (WaitingAuth first, then InBox), for
// a confirmation asked for without a reply file; "" when none holds any.
std::string AccountHoldingSender(const CMessages& store, std::string_view address);

}  // namespace RegistrationReplies
