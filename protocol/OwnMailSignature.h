#pragma once
// The keyed marks that tell this installation's own traffic from a stranger's copy of
// it, both keyed with the installation's secret (core/InstallationSecret.h):
//
// - The signature of the program's own mails, in a header of its own:
//       X-GLP-SIGNATURE: <MD5 of the body, 32 upper-case hex> <HMAC-MD5, 32 lower-case hex>
//   The HMAC covers the kind (the X-GLP-MESSAGE value), the Message-ID, the bare
//   From and X-GLP-RCPT addresses (lower case) and the body's digest. The headers of
//   a request that a stranger received, put on a message of his own (his From, his
//   body), do not verify; a mail with a header changed does not verify either.
//   Where only the header block is at hand (the collector's first pass reads TOP, a
//   bounce may return the headers alone) the header fields are checked and the body's
//   digest is taken as stated; with the body at hand its digest must match as well.
// - The approval token, which the approval link carries after its "d" parameter and
//   the approval service returns in its reply: 32 lower-case hex digits, an HMAC-MD5
//   over the sender's and the account's bare addresses (lower case). The service
//   checks only its form; this installation alone can tell a right one.
//
// Header fields are read as header fields (RFC 5322 2.2): a field begins a line of
// the header block, its name ends at the first ":", and lines that begin with a blank
// or a tab continue it. A "X-GLP-MESSAGE: ..." folded into another field is part of
// that field's value, not a field of its own. Names compare ignoring case. Nothing
// verifies under an empty key.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace OwnMailSignature {

inline constexpr std::string_view kSignatureField = "X-GLP-SIGNATURE";
inline constexpr std::string_view kMarkerField = "X-GLP-MESSAGE";
inline constexpr std::string_view kRecipientField = "X-GLP-RCPT";
inline constexpr std::string_view kRequestMarker = "REGREQUEST";
inline constexpr std::size_t kTokenLength = 32;
// The longest header block looked at, and the longest field value kept.
inline constexpr std::size_t kMaxHeaderBytes = 256 * 1024;
inline constexpr std::size_t kMaxFieldBytes = 4096;

// The unfolded, trimmed values of every field of that name, in order.
std::vector<std::string> FieldValues(std::string_view headerBlock, std::string_view name);
// The first such value; nothing when there is none.
std::optional<std::string> FieldValue(std::string_view headerBlock, std::string_view name);

// The header block of a message text (up to its first empty line) and its body.
std::string_view HeaderBlockOf(std::string_view messageText);
std::string_view BodyOf(std::string_view messageText);

// The X-GLP-SIGNATURE value for a mail with these fields and this body.
std::string Sign(std::string_view key, std::string_view marker, std::string_view messageId, std::string_view from,
                 std::string_view recipient, std::string_view body);

// Whether the header block carries a signature of this installation over its own
// fields; with a body, over that body too.
bool Verify(std::string_view key, std::string_view headerBlock, std::optional<std::string_view> body = std::nullopt);

// Whether the header block marks one of the program's registration requests: a field
// X-GLP-MESSAGE whose value is REGREQUEST (whether signed or not).
bool HasRequestMarker(std::string_view headerBlock);

// The approval token for a sender and an account (either may carry a display name).
std::string ApprovalToken(std::string_view key, std::string_view sender, std::string_view account);
// Whether the text has the token's form: exactly 32 lower-case hex digits.
bool IsTokenForm(std::string_view token);
// Whether the token is this installation's for the sender and the account.
bool TokenHolds(std::string_view key, std::string_view token, std::string_view sender, std::string_view account);

}  // namespace OwnMailSignature
