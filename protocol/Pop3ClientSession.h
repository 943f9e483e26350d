#pragma once
// Pop3ClientSession: the protocol of one collection of one account (RFC 1939), as
// bytes in and actions out; it never sees a socket (POP3CollectorForm carries the
// bytes).
//
// One session: greeting, USER, PASS, STAT, then TOP n 0 for every message (the first
// pass: each header block is classified by the owner), then the second pass in message
// order: DELE for a message to delete unread, nothing for one to leave, RETR for the
// others, which the owner stores; DELE follows only a store that succeeded. QUIT ends
// it after the last message that needed a command.
//
// Nothing is lost:
// - DELE only marks; the server deletes at QUIT (RFC 1939 section 6). Before QUIT the
//   owner commits every store of the session to disk; when that fails the session ends
//   without QUIT, so nothing is deleted. Every other failure ends without QUIT too.
// - A message that cannot be stored, or that the server refuses to give (-ERR to TOP or
//   RETR), is left on the server and the session goes on with the next one; a refused
//   DELE leaves that message and goes on. One bad message never holds up the rest, and
//   never voids the deletions of those already stored.
// - Replies are assembled however the bytes arrive (protocol/ReplyReader.h); a
//   reply over its cap ends the session.
//
// The message data is handed over exactly as transmitted: CR LF, dot-stuffing kept,
// without the final "." line. That is the form in which messages are stored.
//
// STLS (RFC 2595 section 4), for an account that asks for it: after the greeting the
// session sends STLS and, on +OK, asks its owner to upgrade the connection
// (Pop3Action::StartTls); whatever the server sent after that +OK is dropped unread.
// tlsStarted() then sends USER over the encrypted connection. A server that refuses
// STLS, and an upgrade that fails (tlsFailed()), end the session before any USER or
// PASS. TLS from the first byte is the owner's business: the session sees it as an
// ordinary connection.
//
// Every command and reply goes to the program log at kTranscriptLogLevel through one
// writer, which masks the PASS argument. Reply text from the server is cleaned of
// control characters and cut before it reaches any log.
//
// Usage: feed connected(), received(), closed(), socketError() and timedOut() as they
// happen and perform the returned actions in order, until ended(). Inputs after the
// end are ignored. The owner's callbacks run while received() runs.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/MessageFilter.h"
#include "protocol/ReplyReader.h"

namespace engines {

// The client states of a session, numbered as the collector's slots keep them.
enum class Pop3ClientState : int {
    Greeting = 0, UserSent = 1, PassSent = 2, StatSent = 3, TopSent = 4, RetrSent = 5, DeleSent = 6,
    QuitSent = 7, Ended = 8, StlsSent = 9, TlsHandshake = 10,
};

// The filter's decision on one message and its reason for the message log.
struct Classified {
    FilterVerdict verdict = FilterVerdict::LeaveOnServer;
    std::string reason{};
};

// A step of the collection progress display.
struct Pop3Progress {
    enum class Kind { Text, Maximum, HeaderCounted, MessageCounted };
    Kind kind = Kind::Text;
    std::string text{};
    int number = 0;  // Maximum: the message count
};

// What a session asks of its owner while it handles a reply.
class Pop3SessionHandler {
public:
    virtual ~Pop3SessionHandler() = default;
    // The decision on message `number` from its TOP data (the header block as
    // transmitted, with the empty line that ends it).
    virtual Classified classify(int number, std::string headerData) = 0;
    // Stores or handles a fetched message; true when it may be deleted from the server.
    virtual bool store(int number, const Classified& decision, std::string message) = 0;
    // Makes every store of the session durable; false when it could not.
    virtual bool commit() = 0;
    virtual void progress(const Pop3Progress& step) { (void)step; }
    // Named points of the session, for tests that stop the program there.
    virtual void checkpoint(std::string_view point) { (void)point; }
};

struct Pop3Action {
    enum class Kind { Send, End, StartTls };
    Kind kind = Kind::Send;
    std::string bytes{};  // Send: the command with its CR LF
};

enum class Pop3End { None, Quit, ServerClosed, Negative, Failed, TooLong, TimedOut, SocketError, TlsFailed };

struct Pop3Outcome {
    Pop3End end = Pop3End::None;
    bool quitSent = false;
    // A line for the program log (level 1, kind "#"), "" for none; written before the
    // session end when errorFirst, else after it.
    std::string errorLine{};
    bool errorFirst = false;
    // Why the session failed, for the user (the server's reply or the socket's error,
    // cleaned and cut); "" when it ended by QUIT.
    std::string failure{};
};

struct Pop3SessionConfig {
    std::string account{};  // for the log lines
    std::string user{};
    std::string password{};
    bool startTls = false;  // STLS before USER
};

class Pop3ClientSession {
public:
    // RFC 1939 allows 512 octets a status line; servers' texts are allowed far more.
    static constexpr std::size_t kMaxStatusLine = 64u << 10;
    // The data caps. A header block is small; a header line past 64 KB is no mail.
    static constexpr std::size_t kMaxHeaderData = 16u << 20;
    static constexpr std::size_t kMaxHeaderLine = 64u << 10;
    // Bodies may hold long lines; the whole message is capped instead.
    static constexpr std::size_t kMaxMessageData = 256u << 20;
    // STAT counts of more are handled this many at a time, one session after another.
    static constexpr int kMaxMessagesPerSession = 32767;
    static constexpr int kTranscriptLogLevel = 4;
    // Server text quoted in the failure shown to the user.
    static constexpr std::size_t kMaxFailureText = 200;

    Pop3ClientSession(Pop3SessionConfig config, Pop3SessionHandler& handler);

    std::vector<Pop3Action> connected();
    std::vector<Pop3Action> received(std::string_view bytes);
    std::vector<Pop3Action> closed();
    std::vector<Pop3Action> socketError(int number, std::string_view description);
    // No reply came in time; why says so for the log.
    std::vector<Pop3Action> timedOut(std::string_view why);
    // The upgrade asked for by StartTls has passed, or failed (why says so).
    std::vector<Pop3Action> tlsStarted();
    std::vector<Pop3Action> tlsFailed(std::string_view why);

    Pop3ClientState state() const { return state_; }
    bool ended() const { return state_ == Pop3ClientState::Ended; }
    const Pop3Outcome& outcome() const { return outcome_; }
    int count() const { return count_; }
    int current() const { return current_; }
    const std::vector<Classified>& decisions() const { return decisions_; }


private:
    std::vector<Pop3Action> take();
    void enterState(Pop3ClientState state);
    void send(std::string_view command, Pop3ClientState next, bool secret = false);
    void note(std::string_view direction, std::string_view text) const;
    void progressText(std::string_view text);

    void handle(ServerReply reply);
    void statAnswered(const ServerReply& reply);
    void topAnswered(ServerReply reply);
    void retrAnswered(ServerReply reply);
    void deleAnswered(const ServerReply& reply);
    void sendUser();
    void sendTop();
    void requestFrom(int number);
    void quit();
    void refused(const ServerReply& reply);

    void negative(const ServerReply& reply);
    void fail(Pop3End end, std::string line, std::string failure, bool first = false);
    void finish(Pop3End end);

    Pop3SessionConfig config_;
    Pop3SessionHandler& handler_;
    ReplyReader reader_;
    Pop3ClientState state_ = Pop3ClientState::Greeting;
    int count_ = 0;
    int current_ = 0;
    std::vector<Classified> decisions_;
    std::vector<Pop3Action> actions_;
    Pop3Outcome outcome_;
};

}  // namespace engines
