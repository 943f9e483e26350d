#pragma once
// Pop3ReplyReader: assembles the replies of a POP3 server (RFC 1939 section 3) from
// bytes as they arrive, however they are split.
//
// A reply is a status line ("+OK ..." or "-ERR ...", ended by CR LF; a bare LF is
// taken too) and, for the multi-line commands the caller announces (TOP, RETR), after
// a positive status the data lines up to the line "." (CR LF "." CR LF; the first data
// line may be the "." itself). The data is returned exactly as transmitted, dot-
// stuffing kept, with the line end before the final "." and without that line. A
// negative status ends a multi-line reply at once: it is never taken for data.
//
// Streaming: data is appended to one buffer and only the newly arrived bytes (and the
// four before them) are searched for the end, so a reply of n bytes costs O(n) time
// and about n bytes of memory, however it is split. Bytes after a complete reply are
// kept for the next one.
//
// Limits: a status line is capped at kMaxStatusLine bytes; a multi-line reply at the
// data cap the caller gives, and, when the caller gives one, each of its lines at a
// line cap (a partial line already over the cap counts). Passing a cap is an error
// the caller ends the session on.

#include <cstddef>
#include <string>
#include <string_view>

namespace engines {

enum class EndCheck;

struct Pop3Reply {
    bool positive = false;  // the status line begins with "+"
    std::string status;     // the status line without its line end
    std::string data;       // multi-line data as transmitted; "" for a one-line reply
};

class Pop3ReplyReader {
public:
    // RFC 1939 allows 512 octets; servers' texts are allowed far more room than that.
    static constexpr std::size_t kMaxStatusLine = 64 * 1024;

    enum class Status { Incomplete, Complete, TooLong };

    // What the next reply is: one line, or a multi-line reply with these caps
    // (maxLine 0: lines are not capped).
    void expectLine();
    void expectMultiLine(std::size_t maxData, std::size_t maxLine = 0);

    // Adds received bytes; then poll() tells whether the expected reply is whole.
    void append(std::string_view bytes);
    Status poll();
    // The complete reply; afterwards nothing is expected until the next expect call.
    Pop3Reply take();

    // Bytes received but not yet part of a reply taken.
    std::size_t buffered() const { return pending_.size() + data_.size(); }

private:
    enum class Phase { Idle, Status, Data, Done };

    Status pollStatus();
    Status scanData();
    // Where the "." line that ends the data begins, and its length with its line end.
    EndCheck findEnd(std::size_t& dot, std::size_t& length) const;
    bool lineOverCap(std::size_t limit);
    void finishData(std::size_t dot, std::size_t endLength);

    Phase phase_ = Phase::Idle;
    bool multiLine_ = false;
    std::size_t maxData_ = 0;
    std::size_t maxLine_ = 0;
    std::string pending_;      // bytes not yet in a reply
    std::size_t statusScan_ = 0;
    std::string data_;         // the data of the multi-line reply being read
    std::size_t dataScan_ = 0;  // where the search for the end resumes
    std::size_t lineStart_ = 0;  // where the data's last, unfinished line began
    Pop3Reply reply_;
};

}  // namespace engines
