#pragma once
// The text pieces of an SMTP proxy session (RFC 5321): the caps on the client's lines
// and the server's replies (read by protocol/LineReader.h and protocol/ReplyReader.h),
// the end of the message text ("CRLF.CRLF", 4.1.1.4) found across piece boundaries,
// the MAIL parameters and EHLO keywords, and the SMTP server of the account that a
// MAIL FROM names.
//
// Everything here takes any bytes and keeps to the caps below; nothing is thrown.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct MailAccount;

namespace SmtpProxyText {

// A command line may hold MAIL parameters, so the cap is the text-line limit of
// RFC 5321 4.5.3.1.6 (1000 octets with CR LF) rather than the 512 of 4.5.3.1.4.
inline constexpr std::size_t kMaxCommandLine = 1000;
// Reply lines are 512 octets (4.5.3.1.5); servers are allowed some slack.
inline constexpr std::size_t kMaxReplyLine = 4096;
// A whole multi-line reply (an EHLO list is the longest a server sends).
inline constexpr std::size_t kMaxReply = 64 * 1024;

// Finds "CR LF . CR LF" in the message text as it streams past. The text starts at a
// line start, so a message that is only "." CR LF ends at once.
class DataEndScanner {
public:
    static constexpr std::size_t npos = std::string_view::npos;
    void reset() { matched_ = kLineStart; }
    // The length of the prefix of bytes up to and including the end, npos when the end
    // is not in them (what was seen is remembered for the next piece).
    std::size_t scan(std::string_view bytes);

private:
    enum : int { kNone, kCr, kLineStart, kDot, kDotCr };
    int matched_ = kLineStart;
};

// The text between the first "<" and the next ">" after it; nullopt without them.
std::optional<std::string> Bracketed(std::string_view text);
// The parameters after the address of a MAIL FROM argument ("<a@b> BODY=8BITMIME
// SIZE=10" gives "BODY=8BITMIME" and "SIZE=10"): words of printable characters, at
// most kMaxMailParameters of them.
inline constexpr std::size_t kMaxMailParameters = 16;
std::vector<std::string> MailParameters(std::string_view argument);
// The keywords (upper case) of an EHLO reply's lines (without their ends) after the first.
std::vector<std::string> EhloKeywords(const std::vector<std::string>& lines);
// Whether a MAIL parameter's extension is among the keywords: BODY needs 8BITMIME,
// RET and ENVID need DSN, any other parameter its own keyword (SIZE, SMTPUTF8, AUTH).
bool ParameterOffered(std::string_view parameter, const std::vector<std::string>& keywords);

// An address that may name an account or a recipient: 1 to 254 bytes, one "@" with
// text on both sides, no blank, control byte or angle bracket.
bool PlausibleAddress(std::string_view address);
// A port as a whole number 1..65535 (blanks around it allowed); nullopt otherwise.
std::optional<int> PortNumber(std::string_view text);

// The SMTP server of an account in accounts.ini.
struct ServerAddress {
    std::string host;
    int port = 25;
    int security = 0;  // the account's SMTPSecurity (or POP3Security): 0 plain, 1 STARTTLS, 2 TLS
};
enum class AccountLookup { Found, NoAccount, NoServer };
// Looks the sender up among the sections of accounts.ini (letter case ignored) and
// reads its `SMTPServer` and `SMTPServerPort` (blank means 25). NoServer: the account
// exists but names no usable server or port. When found, *record (if given) is the
// account's whole record, read in the same look-up.
AccountLookup FindAccountServer(std::string_view sender, ServerAddress& server, MailAccount* record = nullptr);

}  // namespace SmtpProxyText
