#pragma once
// SmtpClientSession: the protocol of one send of the program's SMTP client, as bytes
// in and actions out; it never sees a socket (CEsmtp's driver carries the bytes).
//
// One session: optionally POP-before-SMTP (RFC 1939: USER, PASS, STAT, QUIT) on one
// connection, then SMTP (RFC 5321) on a second: greeting, EHLO (HELO when EHLO gets
// 500, 502 or 554), AUTH (RFC 4954) by the mechanisms the EHLO reply offers, in the
// order CRAM-MD5 (RFC 2195), LOGIN, PLAIN (RFC 4616), then MAIL, RCPT, DATA with the
// dot-stuffed data (RFC 5321 4.5.2) and QUIT.
//
// - A POP3 failure or an AUTH failure adds a line to the error text and the send goes
//   on; a refused MAIL, RCPT, DATA or final dot ends it. RelayRefused is set only by a
//   permanent (5xx) refusal of RCPT, and by a recipient that cannot be put in RCPT TO.
// - Every command and reply is written to the program log at kTranscriptLogLevel
//   through one writer that masks PASS and every AUTH exchange; the last command in
//   the error text is masked the same way.
// - Waits: kGreetingSeconds for the SMTP greeting (and the connection), kReplySeconds
//   for every other reply; the driver measures them and reports timedOut().
//
// TLS, as the account asks (core/MailAccount.h Security: 0 plain, 1 STARTTLS, 2 TLS
// from the first byte), for the POP3 and the SMTP connection each: Connect carries
// the securing (implicit TLS is the driver's business); with STARTTLS the session
// sends STLS after the POP3 greeting, STARTTLS after EHLO (RFC 3207), asks for the
// upgrade (StartTls) on the server's yes, and after tlsStarted() goes on with USER, or
// with EHLO afresh, forgetting what the server offered in plain. A server that does not
// offer it, and an upgrade that fails (tlsFailed()), send no credential: the POP3
// login is given up (the send goes on, as for any POP3 failure), the SMTP send fails.
//
// Usage: feed start(), then connected(), received(), closed(), sendFailed() and
// timedOut() as they happen, performing each returned action in order, until
// finished(). Inputs after the end are ignored.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/SmtpClientAuth.h"
#include "protocol/ReplyReader.h"

namespace engines {

struct SmtpSessionConfig {
    std::string pop3Host{};  // POP-before-SMTP when not blank
    int pop3Port = 110;
    std::string pop3User{};
    std::string pop3Password{};
    std::string smtpHost{};
    int smtpPort = 25;
    std::string authUser{};  // no AUTH when empty
    std::string authPassword{};
    std::string hostName{};  // this machine's name, for EHLO
    std::string mailFrom{};  // bare addresses
    std::string rcptTo{};
    std::string message{};   // header block and body parts, not yet dot-stuffed
    int pop3Security = 0;    // 0 plain, 1 STLS, 2 TLS from the first byte
    int smtpSecurity = 0;    // 0 plain, 1 STARTTLS, 2 TLS from the first byte
};

struct SmtpAction {
    enum class Kind { Connect, Send, Close, Progress, StartTls };
    Kind kind = Kind::Send;
    std::string text{};  // Connect: the host; Send: the bytes; Progress: the text
    int number = 0;      // Connect: the port; Progress: the value
    int security = 0;    // Connect: the account's security for this connection
};

struct SmtpOutcome {
    bool sent = false;          // the server accepted the message after the final dot
    bool smtpPassed = false;    // ... and QUIT was sent
    bool pop3Passed = false;    // POP-before-SMTP got through USER, PASS and STAT
    bool relayRefused = false;
    std::string lastError{};    // lines, each ending with CR LF
    std::string lastCommand{};  // masked
    std::string lastReply{};    // cleaned server text
};

class SmtpClientSession {
public:
    static constexpr int kGreetingSeconds = 15;
    static constexpr int kReplySeconds = 60;
    static constexpr int kTranscriptLogLevel = 3;
    // Server text kept for the error text and the log.
    static constexpr std::size_t kMaxReplyReport = 2048;

    explicit SmtpClientSession(SmtpSessionConfig config);

    std::vector<SmtpAction> start();
    std::vector<SmtpAction> connected(std::string_view localAddress);
    std::vector<SmtpAction> received(std::string_view bytes);
    std::vector<SmtpAction> closed();
    std::vector<SmtpAction> sendFailed();
    std::vector<SmtpAction> timedOut();
    // The upgrade asked for by StartTls has passed, or failed (why says so).
    std::vector<SmtpAction> tlsStarted();
    std::vector<SmtpAction> tlsFailed(std::string_view why);

    // The wait for the next event, in seconds; 0 when nothing is awaited.
    int waitSeconds() const;
    bool finished() const { return state_ == State::Done; }
    const SmtpOutcome& outcome() const { return outcome_; }

private:
    enum class State {
        Idle, PopGreeting, PopStls, PopTls, PopUser, PopPass, PopStat, PopQuit,
        SmtpGreeting, Ehlo, Helo, StartTls, SmtpTls, AuthStart, AuthStep1, AuthStep2, AuthCancel,
        MailFrom, RcptTo, Data, DataEnd, Quit, Done,
    };
    enum class Secret { None, Argument, Whole };

    // The actions of one input, collected by the steps below.
    std::vector<SmtpAction> take();
    static const char* stateName(State state);
    void enterState(State state);
    void send(std::string_view command, Secret secret = Secret::None);
    void progress(int value, std::string_view text);
    void connectTo(const std::string& host, int port, ReplyReader::Mode mode, int security);
    bool upgrading() const { return state_ == State::PopTls || state_ == State::SmtpTls; }
    void askUpgrade(State handshake, ReplyReader::Mode mode);
    void sendPopUser();
    void note(std::string_view direction, std::string_view text);
    void addError(std::string_view line);
    bool inPop() const;
    bool inAuth() const;

    void handle(const ServerReply& reply);
    void handlePop(const ServerReply& reply);
    void popNegative(bool disconnected);
    void popQuit();
    void startSmtp();
    void handleSmtp(const ServerReply& reply);
    void greeted(const ServerReply& reply);
    void ehloAnswered(const ServerReply& reply);
    void parseEsmtp(const ServerReply& reply);
    void sendData();
    void mailFrom();

    // AUTH, by the shared exchange (SmtpClientAuth.h).
    void nextMechanism();
    void handleAuth(const ServerReply& reply);

    std::string stateFailureLine() const;
    void fail(std::string_view line);
    void finish();

    SmtpSessionConfig config_;
    State state_ = State::Idle;
    ReplyReader reader_;
    bool connected_ = false;
    bool smtpTlsDone_ = false;  // the SMTP connection was upgraded
    std::string ehloName_;
    // The AUTH exchange, with the mechanisms the EHLO reply offers (SmtpAuthMechanism).
    SmtpAuthExchange auth_;
    std::vector<SmtpAction> actions_;
    SmtpOutcome outcome_;
};

}  // namespace engines
