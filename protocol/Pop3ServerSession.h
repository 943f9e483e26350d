#pragma once
// Pop3ServerSession: one session of the local POP3 server (RFC 1939), as protocol
// logic only. Bytes from the client go in through Receive; the replies come out of
// TakeOutput. The session never sees a socket: POP3ServerForm carries the bytes, and
// the tests read a session as a transcript.
//
// The map of a session:
// - States: Authorization (before and after USER) -> Transaction (after PASS) -> Ended,
//   each change made by enterState, which logs it at kStateLogLevel.
//   A session that ends any other way than by QUIT in the Transaction state never
//   reaches RFC 1939's UPDATE state, so it deletes nothing.
// - Bad commands (unknown, out of state, bad arguments, wrong password) are counted in
//   a row: the one that reaches kMaxBadCommands is answered and ends the session, and
//   any command that is not bad starts the count afresh, as dovecot does.
// - A PASS is judged at once, but its answer waits for the carrier: until then
//   PendingLogin() tells which answer it will be, Sending() is true, and the lines
//   behind it wait. ContinueSending() gives the answer. The server form answers a
//   wrong password only after its failure delay (a right one at once), so a program
//   on this machine cannot try passwords at speed; the drivers of the tests answer at
//   once. The kMaxLoginFailures-th wrong password of a session is answered and ends it.
// - Input is split into lines (CR LF, a bare LF tolerated) and each line is handled
//   in turn, so commands split across pieces and pipelined commands both work.
//   Lines that arrive while a multi-line answer is still going out wait their turn.
// - Commands: USER, PASS (Authorization); STAT, LIST [n], RETR n, TOP n k, DELE n,
//   RSET, NOOP, UIDL [n] (Transaction); QUIT (both).
// - UIDL gives each message an id stable across sessions, restarts and moves, and
//   never reused for another message: the digest of its stored bytes (see
//   uniqueIdOf), so mail programs that leave mail on the server fetch it once.
//   Keywords are matched without regard to case (RFC 1939 3).
// - The mailbox is an account's InBox as the message index holds it, in index order,
//   read once at PASS: messages stored meanwhile do not renumber the session's list.
//   The account is named by its accounts.ini section, whatever case USER used.
// - DELE marks, RSET unmarks, QUIT removes the marked messages (file and index entry);
//   STAT and LIST count and list only unmarked messages.
// - Stored message files are in wire form already (CR LF, dot-stuffed as the provider
//   sent them): RETR and TOP send the bytes as they are and add only the terminating
//   "." line (after a CR LF of their own when the file does not end in one).
// - RETR, TOP and LIST produce their data piece by piece (ContinueSending), so the
//   carrier can hold back while the client is slow to read, and a file is never held
//   in memory whole.
//
// Limits: see the constants. Passwords never reach a log or LastClientPacket.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/LineReader.h"

class CMessages;

class Pop3ServerSession {
public:
    // RFC 2449 4 allows a command line 255 octets; twice that is slack for clients
    // that pad, and anything longer is not a client talking POP3.
    static constexpr std::size_t kMaxLineBytes = 512;
    // Bad commands (unknown, out of state, bad arguments, wrong password) in a row
    // that end the session, as dovecot does.
    static constexpr int kMaxBadCommands = 10;
    // Wrong passwords that end the session (dovecot ends it after three).
    static constexpr int kMaxLoginFailures = 3;
    // The changes of state are logged at this detail level.
    static constexpr int kStateLogLevel = 4;
    // Input held while a multi-line answer goes out (pipelined commands behind it).
    static constexpr std::size_t kMaxPendingInput = 64 * 1024;
    // One piece of a message file, and of a listing.
    static constexpr std::size_t kPieceBytes = 64 * 1024;
    static constexpr std::size_t kListLinesPerPiece = 4096;

    enum class State { Authorization, Transaction, Ended };
    // The answer a judged PASS is waiting to give.
    enum class Login { None, Passed, Failed };

    // The executable's name, " POP3 Server Ver." and the version (major.minor).
    static std::string TitleFor(std::string_view version);
    // The title with the product's version (major and minor).
    static std::string DefaultTitle();

    // slot is the session's number in the server's logs; title names the server in
    // the greeting ("glimmerpost POP3 Server Ver.1.0").
    Pop3ServerSession(CMessages& messages, int slot, std::string title = DefaultTitle());
    ~Pop3ServerSession();
    Pop3ServerSession(const Pop3ServerSession&) = delete;
    Pop3ServerSession& operator=(const Pop3ServerSession&) = delete;

    // Greets a client whose address is the local address of its connection; any
    // other client is refused and the session ends. Returns whether it was greeted.
    bool Open(std::string_view remoteAddress, std::string_view localAddress);
    // Takes bytes from the client and handles every complete line it can.
    void Receive(std::string_view bytes);
    // How many more bytes Receive may be given now (0 once the session has ended).
    std::size_t InputRoom() const;
    // True while there is more to produce: a multi-line answer under way, the answer
    // to a PASS (PendingLogin), or lines held back until the output produced so far
    // has been taken.
    bool Sending() const { return transfer_ != nullptr || held_ || pendingLogin_ != Login::None; }
    // Produces the answer to a PASS, or else the next piece of a multi-line answer;
    // once that is complete the lines that waited behind it are handled.
    void ContinueSending();
    Login PendingLogin() const { return pendingLogin_; }
    // Wrong passwords so far in this session.
    int LoginFailures() const { return loginFailures_; }
    // The bytes produced so far, taken.
    std::string TakeOutput();
    std::size_t OutputSize() const { return output_.size(); }

    // The client was silent too long: it is told so and the session ends.
    void TimeOut();
    // The connection is gone (or the server unloads): the session ends quietly.
    void Drop();

    // The MD5 digest of a file's bytes, in lower-case hex; kept per file while its
    // size, time stamp and inode stay.
    static std::string FileDigest(const std::filesystem::path& path);

    State CurrentState() const { return state_; }
    bool Ended() const { return state_ == State::Ended; }
    int Slot() const { return slot_; }
    // The account as accounts.ini spells it, once USER named one.
    const std::string& Account() const { return account_; }
    // Unmarked messages and their octets.
    std::size_t MessageCount() const { return liveCount_; }
    std::uint64_t MessageOctets() const { return liveOctets_; }
    // Messages removed by QUIT.
    std::size_t RemovedCount() const { return removed_; }
    // The last line from the client (PASS and AUTH data masked; the log cleans and
    // cuts it) and a record of the last reply, for the log.
    const std::string& LastClientPacket() const { return lastClientPacket_; }
    const std::string& LastServerPacket() const { return lastServerPacket_; }

private:
    struct Message {
        std::string key;
        std::filesystem::path path;
        std::uint64_t size = 0;
        bool marked = false;
    };
    struct Transfer;
    using Handler = void (Pop3ServerSession::*)(std::string_view argument);
    struct Command {
        std::string_view verb;
        bool inAuthorization;
        bool inTransaction;
        Handler handler;
        std::string_view outOfStateReply;
        bool endsOutOfState;
    };
    static const Command kCommands[];

    void handleLines();
    void handleLine(std::string_view line);
    void dispatch(std::string_view verb, std::string_view argument);
    void outOfState(const Command& command);
    void lineTooLong();
    void badCommand();
    void enterState(State state);
    void end();

    void reply(std::string_view text);
    void reply(std::string_view text, std::string_view record);

    void onUser(std::string_view argument);
    void onPass(std::string_view argument);
    void onStat(std::string_view argument);
    void onList(std::string_view argument);
    void onRetr(std::string_view argument);
    void onTop(std::string_view argument);
    void onDele(std::string_view argument);
    void onRset(std::string_view argument);
    void onNoop(std::string_view argument);
    void onUidl(std::string_view argument);
    void onQuit(std::string_view argument);

    void answerLogin();
    void loadMailbox();
    // The unique-id of mailbox entry index (UIDL).
    std::string uniqueIdOf(std::size_t index);
    void recount();
    Message* findMessage(std::string_view argument);
    void startFile(const Message& message, long long bodyLines);
    void producePiece();
    void filePiece();
    void listPiece();
    void finishFile();
    std::size_t applyDeletions();
    std::string statusCounts() const;

    CMessages& messages_;
    const int slot_;
    const std::string title_;
    State state_ = State::Authorization;
    std::string account_;
    std::vector<Message> mailbox_;
    std::vector<std::string> uids_;  // filled at the first UIDL
    std::size_t liveCount_ = 0;
    std::uint64_t liveOctets_ = 0;
    std::size_t removed_ = 0;
    int badCommands_ = 0;  // in a row
    int loginFailures_ = 0;
    Login pendingLogin_ = Login::None;
    bool lineWasBad_ = false;
    engines::LineReader input_{kMaxLineBytes, engines::LineReader::CapCounts::WithoutLineEnd};
    bool held_ = false;
    std::string output_;
    std::unique_ptr<Transfer> transfer_;
    std::string lastClientPacket_;
    std::string lastServerPacket_;
};
