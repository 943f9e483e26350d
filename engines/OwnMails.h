#pragma once
// The program's own mails: the registration request that asks an unknown sender to
// approve himself on the approval page, the confirmation for an approved sender, and
// the account test mail. All go out through CEsmtp (engines/CEsmtp.h).
//
// A mail is an RFC 5322 message without a Date header (the receiving server adds one)
// marked by X-GLP-MESSAGE (REGREQUEST, CONFIRMATION, TEST) and X-GLP-RCPT (the bare
// recipient address), which the filter and the bounce handler look for when a mail
// comes back, and X-GLP-SIGNATURE, the installation's signature over them and the body
// (protocol/OwnMailSignature.h), which tells them from a stranger's copy. Requests and confirmations are multipart/alternative (RFC 2046 5.1.4)
// with a text and an HTML part; the test mail is one text part. A part goes 7bit as
// it is unless it holds 8-bit bytes or a line over 998 octets; it is then sent
// quoted-printable (RFC 2045 6.7), so the receiver decodes the same text.
//
// Text from strangers (the recipient as received, the subject of his mail) is cleaned
// of line breaks and control characters before it reaches a header (protocol/SmtpText.h).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class MessageType : std::int32_t { RegistrationRequest = 0, Confirmation = 1, Test = 2 };

// The texts and bodies of one generated mail; CEsmtp carries them as its public fields.
struct GeneratedMail {
    std::string UserText1;
    std::string UserText2;
    std::string UserText3;
    std::string TextBody;
    std::string HtmlBody;
    std::string ImagePart;
};

namespace OwnMails {

// The program's major version, which the test mail carries as its signature.
int ProgramMajorVersion();

// The value of X-GLP-MESSAGE: "REGREQUEST", "CONFIRMATION", else "TEST".
std::string_view MessageMarker(MessageType kind);
// Kinds 0 and 1 are multipart/alternative; any other kind is built as the test mail.
bool IsMultipart(MessageType kind);

// Fills the bodies of a mail of this kind from the recipient, the account and the
// user's texts. A request loads its three texts from [options] when UserText1 and
// UserText2 are both empty, and warns "Please edit registration messages!" when one
// does not unscramble; a confirmation always loads its two texts (the second, when
// there is one, follows the first after an empty line).
void Generate(MessageType kind, std::string_view recipient, std::string_view account, GeneratedMail& mail);

// The same bodies from the user texts as they stand, reading no texts from the settings
// (the options dialog's preview of texts not saved yet): a request ends with the
// deletion notice for that many days when they are given, and its sample link carries
// a token of zeros.
void GenerateFromTexts(MessageType kind, std::string_view recipient, std::string_view account,
                       const std::optional<std::string>& deletionNoteDays, GeneratedMail& mail);

// The approval page's address for a recipient and account (the "d" query value is
// the ScrambledText of recipient ":" account, the "t" value the installation's token
// for them), on the service of [options] ApprovalServiceAddress
// (protocol/ApprovalRequest.h).
std::string ApprovalLink(std::string_view recipient, std::string_view account);
// The service address in use, without trailing "/".
std::string ApprovalServiceBase();
// The button picture as a MIME part of its own (image/gif, base64, 76-character lines).
std::string ButtonImagePart();

// What the header block needs besides the bodies.
struct MailHead {
    MessageType kind = MessageType::Test;
    std::string displayName{};   // the account's DisplayName; the account itself for a test
    std::string account{};       // the AccountAddress, as given
    std::string recipient{};     // as given, perhaps with a display name
    std::string subject{};       // without the "RE:" of a request
    std::string messageId{};     // a new GUID string
    std::string messageIdDomain{};
    std::string boundary{};      // "----=_" GUID "_2"
    std::string signingKey{};    // the installation's secret; no X-GLP-SIGNATURE when empty
};

std::string NewBoundary();
// The header block and the body parts, as they go after DATA before dot-stuffing.
std::string ComposeMessage(const MailHead& head, const GeneratedMail& mail);

}  // namespace OwnMails
