#pragma once
// The text pieces of an SMTP proxy session (RFC 5321): whole lines out of the client's
// byte stream, whole replies (multi-line ones included) out of the server's, the end of
// the message text ("CRLF.CRLF", 4.1.1.4) found across piece boundaries, log-safe text,
// and the SMTP server of the account that a MAIL FROM names.
//
// Everything here takes any bytes and keeps to the caps below; nothing is thrown.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace SmtpProxyText {

// A command line may hold MAIL parameters, so the cap is the text-line limit of
// RFC 5321 4.5.3.1.6 (1000 octets with CR LF) rather than the 512 of 4.5.3.1.4.
inline constexpr std::size_t kMaxCommandLine = 1000;
// Reply lines are 512 octets (4.5.3.1.5); servers are allowed some slack.
inline constexpr std::size_t kMaxReplyLine = 4096;
// A whole multi-line reply (an EHLO list is the longest a server sends).
inline constexpr std::size_t kMaxReply = 64 * 1024;

// Bytes in, whole lines out. A line ends with LF (CR LF, or a bare LF); the line handed
// out keeps its end. Taking lines from the front costs nothing until the buffer is
// compacted on a later append.
class LineBuffer {
public:
    void append(std::string_view bytes);
    // The next whole line, valid until the next append or take; nullopt when no line
    // end has come yet.
    std::optional<std::string_view> next();
    // The bytes not taken yet (a partial line, or everything after a pause).
    std::string_view rest() const { return std::string_view(data_).substr(start_); }
    std::size_t size() const { return data_.size() - start_; }
    bool empty() const { return size() == 0; }
    std::string takeAll();

private:
    std::string data_;
    std::size_t start_ = 0;
};

// Server bytes in, whole replies out (RFC 5321 4.2.1: "ddd-text" lines up to a
// "ddd text" or "ddd" line). A line that does not look like a reply line ends the
// reply it is in, so a confused server cannot hold a reply open without end.
class ReplyReader {
public:
    enum class Result { Reply, NeedMore, TooLong };
    void append(std::string_view bytes) { lines_.append(bytes); }
    // Takes the next whole reply (line ends included) into reply.
    Result next(std::string& reply);
    bool empty() const { return lines_.empty() && current_.empty(); }

private:
    LineBuffer lines_;
    std::string current_;
};

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

// The line without its CR LF or LF.
std::string_view WithoutLineEnd(std::string_view line);
// The text between the first "<" and the next ">" after it; nullopt without them.
std::optional<std::string> Bracketed(std::string_view text);
// The parameters after the address of a MAIL FROM argument ("<a@b> BODY=8BITMIME
// SIZE=10" gives "BODY=8BITMIME" and "SIZE=10"): words of printable characters, at
// most kMaxMailParameters of them.
inline constexpr std::size_t kMaxMailParameters = 16;
std::vector<std::string> MailParameters(std::string_view argument);
// The keywords (upper case) of an EHLO reply's lines after the first.
std::vector<std::string> EhloKeywords(std::string_view reply);
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
};
enum class AccountLookup { Found, NoAccount, NoServer };
// Looks the sender up among the sections of accounts.ini (letter case ignored) and
// reads its `SMTPServer` and `SMTPServerPort` (blank means 25). NoServer: the account
// exists but names no usable server or port.
AccountLookup FindAccountServer(std::string_view sender, ServerAddress& server);

}  // namespace SmtpProxyText
