#pragma once
// ReplyReader: assembles the replies of a mail server from its bytes as they arrive,
// however they are split (byte by byte, several replies in one piece). The one reader
// of server replies: the SMTP client, the SMTP proxy and the POP3 collector read
// through it, each with its own caps.
//
// SMTP (RFC 5321 4.2.1): a reply is the lines "ddd-text" up to the first line that is
// not one ("ddd text", "ddd"). Its code is that of its lines; code 0 when a line is no
// reply line (no three-digit code) or has another code than the first, so a confused
// server cannot hold a reply open without end.
//
// POP3 (RFC 1939 3): a reply is one status line, positive when it is "+OK", alone or
// followed by a blank.
// When the caller announces data (expectData: TOP, RETR), a positive status is
// followed by data lines up to the line "." (the first data line may be the "." itself);
// from a server whose status line ends in CR LF, only "." CR LF ends the data.
// The data is kept exactly as transmitted, dot-stuffing kept, with the line end
// before the final "." and without that line. A negative status ends the reply at once.
//
// A line ends at LF, with or without CR before it (protocol/LineReader.h).
//
// Bounded: a line over its cap (its end counted; even one not yet ended), an SMTP reply
// over the reply cap, POP3 data or a data line over the caps given with expectData, or
// more replies out of one feed than the queue cap make the reader fail for good: it
// then yields one reply marked tooLong (with the lines of the reply it was reading)
// and nothing after it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/LineReader.h"

namespace engines {

struct ServerReply {
    int code = 0;                      // SMTP: the three-digit code; 0 malformed
    bool positive = false;             // POP3: the status line is "+OK", alone or with text
    bool tooLong = false;              // the reader gave up on this server
    std::vector<std::string> lines{};  // each line without its line end
    std::string raw{};                 // the reply's lines as received, line ends included
    std::string data{};                // POP3: the multi-line data as transmitted
    // The lines joined by CR LF, without the last line end.
    std::string text() const;
    // SMTP: the text of the last line after the code and its separator.
    std::string lastLineText() const;
    // POP3: the status line without its end ("" for none).
    std::string_view status() const;
};

class ReplyReader {
public:
    enum class Mode { Smtp, Pop3 };

    // RFC 5321 4.5.3.1.5 allows 512 octets a reply line; servers send longer ones.
    static constexpr std::size_t kMaxLineOctets = 4096;
    // A multi-line EHLO reply of a few dozen lines is a few KB.
    static constexpr std::size_t kMaxReplyOctets = 64 * 1024;
    // Without pipelining a server owes one reply at a time.
    static constexpr std::size_t kMaxQueuedReplies = 16;

    struct Caps {
        std::size_t line = kMaxLineOctets;       // a line with its end
        std::size_t reply = kMaxReplyOctets;     // SMTP: a whole reply, line ends included
        std::size_t queued = kMaxQueuedReplies;  // replies out of one feed; 0: no cap
    };

    // Forgets what was received and reads in the given mode (a new connection).
    void reset(Mode mode, Caps caps);
    void reset(Mode mode);  // with the caps above
    // POP3: the next reply, when positive, carries data up to the "." line; maxData
    // caps the data, maxLine each of its lines without its LF (0: lines uncapped).
    void expectData(std::size_t maxData, std::size_t maxLine = 0);

    void feed(std::string_view bytes);
    // The next whole reply; nullopt while none is whole.
    std::optional<ServerReply> next();
    bool failed() const { return failed_; }
    // Bytes received but not yet handed out in a reply.
    std::size_t buffered() const { return lines_.size() + current_.raw.size() + current_.data.size(); }

private:
    enum class Phase { Reply, Data };

    bool endsData(std::string_view line) const;
    ServerReply finish();
    ServerReply fail();
    bool smtpLine(std::string_view line);
    void statusLine(std::string_view line);

    Mode mode_ = Mode::Smtp;
    Caps caps_{};
    LineReader lines_{kMaxLineOctets};
    Phase phase_ = Phase::Reply;
    bool dataExpected_ = false;
    bool serverCrlf_ = true;  // the status line before the data ended in CR LF
    std::size_t maxData_ = 0;
    std::size_t maxDataLine_ = 0;
    ServerReply current_;
    std::size_t sinceFeed_ = 0;  // replies handed out since the last feed
    bool failed_ = false;
};

}  // namespace engines
