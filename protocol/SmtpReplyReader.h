#pragma once
// SmtpReplyReader: assembles the bytes a mail server sends into whole replies, however
// they arrive (a reply split byte by byte, several replies in one piece).
//
// SMTP (RFC 5321 4.2): a reply is one or more lines "xyz-text" ended by a line
// "xyz text" or "xyz", all with the same code. POP3 (RFC 1939 3): a reply is one
// status line, positive when it is "+OK" alone or followed by a blank. A line ends at
// LF, with or without CR before it.
//
// Bounded: a line longer than kMaxLineOctets with its line end (even one not yet ended), a reply over
// kMaxReplyOctets or more than kMaxQueuedReplies unread replies make the reader fail
// for good; it then yields one reply marked tooLong and ignores everything after it.
// A line that is no reply line (no three-digit code, or a code other than the one
// the reply began with) ends the reply with code 0.

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace engines {

struct ServerReply {
    int code = 0;                     // SMTP: the three-digit code; 0 malformed
    bool positive = false;            // POP3: "+OK"
    bool tooLong = false;             // the reader gave up on this server
    std::vector<std::string> lines{};  // each line without its line end
    // The lines joined by CR LF, without the last line end.
    std::string text() const;
    // SMTP: the text of the last line after the code and its separator.
    std::string lastLineText() const;
};

class SmtpReplyReader {
public:
    enum class Mode { Smtp, Pop3 };

    // RFC 5321 4.5.3.1.5 allows 512 octets a reply line; servers send longer ones.
    static constexpr std::size_t kMaxLineOctets = 4096;
    // A multi-line EHLO reply of a few dozen lines is a few KB.
    static constexpr std::size_t kMaxReplyOctets = 64 * 1024;
    // Without pipelining a server owes one reply at a time.
    static constexpr std::size_t kMaxQueuedReplies = 16;

    // Forgets what was received and reads in the given mode (a new connection).
    void reset(Mode mode);
    Mode mode() const { return mode_; }
    void feed(std::string_view bytes);
    // The oldest whole reply not yet taken.
    std::optional<ServerReply> next();
    bool failed() const { return failed_; }

private:
    void takeLine(std::string line);
    void takeSmtpLine(std::string line);
    void finishReply();
    void fail();

    Mode mode_ = Mode::Smtp;
    std::string partial_;         // a line not yet ended
    ServerReply current_;         // a multi-line reply not yet ended
    std::size_t currentOctets_ = 0;
    std::deque<ServerReply> ready_;
    bool failed_ = false;
};

}  // namespace engines
