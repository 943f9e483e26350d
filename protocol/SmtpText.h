#pragma once
// Text rules for what the SMTP client puts on the wire and in its logs.
//
// - Header values (RFC 5322 2.2): a value never carries CR, LF, NUL or another control
//   character (TAB aside), so text from a stranger (a From or Subject as received)
//   cannot add header lines; values are capped so a line stays under 998 octets.
// - Envelope paths (RFC 5321 4.1.2): printable ASCII without blanks or angle brackets,
//   at most 254 octets, or the address is not used at all.
// - The mail data (RFC 5321 4.5.2): every line end becomes CR LF (bare CR and bare LF
//   included), NUL is dropped, a line that begins with "." gets a second one, and the
//   data ends with CR LF "." CR LF, so nothing inside can end the data early.
// - Bodies (RFC 2045 6.7): a body with 8-bit bytes or a line over 998 octets is sent
//   quoted-printable; any other body goes as it is, 7bit.
// - EHLO (RFC 5321 4.1.4): the host's name when it is a domain of two labels or more,
//   else the connection's address literal ("[127.0.0.1]", "[IPv6:::1]").
// - Server text for logs and error texts: control characters become blanks, capped.

#include <cstddef>
#include <string>
#include <string_view>

namespace SmtpText {

// RFC 5322 2.1.1: 998 octets a line; a header value keeps room for its field name.
inline constexpr std::size_t kMaxLineOctets = 998;
inline constexpr std::size_t kMaxHeaderValue = 900;
// RFC 5321 4.5.3.1.3: a path of 256 octets, brackets included.
inline constexpr std::size_t kMaxPathOctets = 254;
// RFC 2045 6.7 (5): encoded lines of at most 76 characters.
inline constexpr std::size_t kQuotedPrintableLine = 76;

// The value with every control character but TAB turned into a blank, cut at cap.
std::string HeaderValue(std::string_view text, std::size_t cap = kMaxHeaderValue);
// The text of a quoted-string ("..." with '\' and '"' escaped), cleaned as a value.
std::string QuotedString(std::string_view text);

// True when the address may stand between "<" and ">" in MAIL FROM or RCPT TO.
bool IsEnvelopeAddress(std::string_view address);

// The mail data as sent after DATA's 354: line ends, NUL, dot-stuffing and the final
// "." line as described above.
std::string DataBlock(std::string_view message);

// True when the body must be encoded to travel as 7-bit lines.
bool NeedsEncoding(std::string_view body);
bool HasEightBit(std::string_view body);
// RFC 2045 quoted-printable; line ends of any kind become hard CR LF breaks.
std::string QuotedPrintable(std::string_view body);

// The name for EHLO and HELO: the host name when it is a domain of at least two
// labels (letters, digits, inner hyphens, 63 octets a label, 253 in all, not an IPv4
// address), else the address literal of the connection's local address.
std::string EhloDomain(std::string_view hostName, std::string_view localAddress);
// "[a.b.c.d]" or "[IPv6:...]"; "[127.0.0.1]" for an empty address.
std::string AddressLiteral(std::string_view address);
// The right side of a Message-ID: the host name when it is a dot-atom of letters,
// digits, "-" and ".", else the address literal.
std::string MessageIdDomain(std::string_view hostName, std::string_view localAddress);

// Server text made fit for an error report: every control character but
// the CR LF between lines becomes a blank; cut at cap octets.
std::string CleanServerText(std::string_view text, std::size_t cap);

}  // namespace SmtpText
