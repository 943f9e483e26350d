#pragma once
// The approval link and the registration reply, as both sides of the loop build and
// read them: the program writes the link into its request, the approval service
// (approval/) reads it back, asks the sender for his name and reason and mails the
// reply that the collector reads (protocol/RegistrationReplies.h).
//
// Link: <service address>/r.asp?d=<ScrambledText of recipient ":" account>&t=<token>
// where the recipient is the sender as the request went to him (perhaps with a display
// name), the account the bare address he wrote to, and the token the installation's
// (protocol/OwnMailSignature.h).
//
// Query and form texts are application/x-www-form-urlencoded: "&"-separated
// name=value pairs, "+" a blank, "%XX" a byte. A text over kMaxQueryBytes, more than
// kMaxFields pairs, a malformed escape or a name given twice makes the whole text
// unreadable. Values are 8-bit bytes as sent.
//
// Reply body: one "Key: value" line each, CR LF, in the order AuthRequestName,
// AuthRequestReason, AuthRequestCode, AuthRequestFrom, AuthRequestTime,
// AuthRequestToken. Every value is cleaned of CR, LF, NUL and the other control bytes
// and of double quotes (which the reader removes), and cut at its limit, so that no
// value can start a line or a header of its own.

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace ApprovalRequest {

inline constexpr std::string_view kPagePath = "/r.asp";
inline constexpr std::string_view kButtonPath = "/files/regbtn.gif";
inline constexpr std::string_view kTargetKey = "d";
inline constexpr std::string_view kTokenKey = "t";
inline constexpr std::string_view kNameKey = "name";
inline constexpr std::string_view kReasonKey = "reason";
inline constexpr std::string_view kReplyTokenKey = "AuthRequestToken";

inline constexpr std::size_t kMaxQueryBytes = 16 * 1024;
inline constexpr std::size_t kMaxFields = 16;
inline constexpr std::size_t kMaxNameLength = 100;
inline constexpr std::size_t kMaxReasonLength = 1000;
inline constexpr std::size_t kMaxAddressLength = 320;

// The service address as set, without trailing "/"; the default when blank.
std::string ServiceBase(std::string_view configured);

// The link for a recipient and account with the installation's token.
std::string Link(std::string_view serviceBase, std::string_view recipient, std::string_view account,
                 std::string_view token);
// The web address of the button picture.
std::string ButtonAddress(std::string_view serviceBase);

using Fields = std::map<std::string, std::string, std::less<>>;
// The pairs of a query or form text; nothing when it is unreadable.
std::optional<Fields> ParseUrlEncoded(std::string_view text);
// The text percent-encoded for a query or form value.
std::string UrlEncode(std::string_view value);

// What a link names: the sender as the request went to him, the account, the token.
struct Target {
    std::string recipient;  // as given, perhaps with a display name
    std::string sender;     // its bare address
    std::string account;    // bare
    std::string token;
};
// The target of a link's "d" and "t"; nothing when d does not unscramble, does not
// name a valid sender and account, or the token is missing or not of its form.
std::optional<Target> ReadTarget(std::string_view scrambled, std::string_view token);

// A name or reason cleaned for a mail: control bytes (CR, LF, NUL among them) and
// double quotes become blanks, runs of blanks one, trimmed, cut at max bytes.
std::string CleanValue(std::string_view value, std::size_t max);

// The reply body for a target, the sender's name and reason and the time text.
std::string ReplyBody(const Target& target, std::string_view name, std::string_view reason, std::string_view time);

// The text escaped for HTML.
std::string HtmlEscape(std::string_view text);

}  // namespace ApprovalRequest
