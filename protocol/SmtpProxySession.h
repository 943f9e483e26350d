#pragma once
// SmtpProxySession: the protocol of one mail-program connection to the local SMTP
// proxy (RFC 5321, with PIPELINING, RFC 2920, and 8BITMIME, RFC 6152, advertised).
// Bytes in, bytes out: the engine carries the bytes between the sockets and the
// session; the session never sees a socket or a timer.
//
// Map of a session:
// - The proxy greets and answers HELO/EHLO, QUIT, and RSET while no server is in use,
//   itself. MAIL FROM must name one of the user's accounts (accounts.ini); the session
//   then asks for a connection to that account's SMTP server, greets it with the
//   client's own HELO/EHLO line (HELO again when the server refuses EHLO) and sends its
//   own MAIL FROM, whose reply answers the client's MAIL FROM. That MAIL FROM carries
//   the parameters of the client's (BODY=8BITMIME, SIZE=...) that the server offers.
// - A command line holding a CR or NUL before its line end is refused (501) and goes
//   nowhere (RFC 5321 2.3.8): a server reading the CR as a line end would take the
//   rest for a command of the client's.
// - The client's input is split into lines and handled one line at a time, in order.
//   Towards the server the session goes in lock-step: one command, then its reply, so
//   any server works although the client may pipeline. Lines that come meanwhile
//   wait (up to kMaxBacklog bytes; beyond that the engine stops reading the client).
// - Towards the server the proxy authenticates as the account asks (accounts.ini
//   SMTPRequiresAuth "1"), exactly as the program's SMTP client does and with its code
//   (protocol/SmtpClientAuth.h): SMTPAuthType "1" logs in to the account's POP3 server
//   first (USER, PASS, STAT, QUIT; a failure there is logged and the SMTP server
//   judges); other types run AUTH CRAM-MD5, LOGIN or PLAIN, as the server offers them,
//   after the EHLO and before the proxy's MAIL FROM. None of that exchange reaches the
//   client; when every mechanism fails, the server's refusal answers the client's MAIL
//   FROM and the server connection is closed (the next MAIL FROM starts afresh).
//   Credentials never reach a log.
// - Towards the server (and the POP3 server before it) the connection is secured as
//   the account asks (SMTPSecurity, POP3Security): TLS from the first byte is the
//   engine's; with STARTTLS the session sends STARTTLS after the server's EHLO reply
//   (EHLO even when the client said HELO), asks the engine for the upgrade
//   (startServerTls) on its 220, and after serverTlsStarted() sends EHLO again and
//   only then authenticates; STLS likewise before the POP3 USER. What the server sent
//   before the handshake is dropped. A server that does not offer STARTTLS, and a
//   failed handshake, end the client's transaction with a 421 before any credential
//   or mail is sent. The client is offered nothing new.
// - Every RCPT TO address is handed out as a recipient to approve.
// - After the 354 that answers DATA the message text passes through untouched up to
//   its "CRLF.CRLF"; the reply after it ends the transaction (remote state 1 again),
//   so further messages follow in the same session.
// - The session ends on QUIT, a line over kMaxCommandLine, kMaxBadCommands error
//   replies in a row (a command answered without an error starts the count afresh),
//   a sender that is not an account, a server that fails before the client
//   could be served, and the idle time-out; finished() then tells the engine to close.
// - Logs mask AUTH lines and the client lines that answer a 334.
//
// Remote states, as logged (numbered): 0 waiting for the server's greeting, 1 greeted
// (ready for MAIL FROM), 2 MAIL FROM sent, 3 inside DATA; the message text passes
// while in state 3 and no reply is owed. Every change goes through enterState, which
// logs it at kStateLogLevel.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/LineReader.h"
#include "protocol/ReplyReader.h"
#include "protocol/SmtpClientAuth.h"
#include "protocol/SmtpProxySessionText.h"

class SmtpProxySession {
public:
    // A client that pipelines faster than the server answers is held back beyond this.
    static constexpr std::size_t kMaxBacklog = 64 * 1024;
    // Error replies in a row that end the session (a client sending junk).
    static constexpr int kMaxBadCommands = 10;
    // The changes of remote state are logged at this detail level.
    static constexpr int kStateLogLevel = 4;

    enum class RemoteState : int { WaitGreeting = 0, Greeted = 1, MailSent = 2, InData = 3 };

    // What the session asks of its engine.
    class Sink {
    public:
        virtual ~Sink() = default;
        virtual void toClient(std::string_view bytes) = 0;
        virtual void toServer(std::string_view bytes) = 0;
        // Starts a connection to the server; its bytes come back through serverBytes,
        // its failure through serverFailed.
        virtual void connectServer(const SmtpProxyText::ServerAddress& server) = 0;
        // Closes the server connection (queued output still goes out).
        virtual void dropServer() = 0;
        // Upgrades the server connection to TLS; serverTlsStarted or serverTlsFailed follows.
        virtual void startServerTls() {}
        // True while so much is queued for the client that no more replies should be
        // made; the engine calls resume() once it has drained.
        virtual bool clientBacklogged() const = 0;
    };

    SmtpProxySession(int slot, Sink& sink);
    SmtpProxySession(const SmtpProxySession&) = delete;
    SmtpProxySession& operator=(const SmtpProxySession&) = delete;

    // Sends the proxy's greeting.
    void start();
    void clientBytes(std::string_view bytes);
    void serverBytes(std::string_view bytes);
    // The server connection failed, broke or closed, or did not come in time.
    void serverFailed();
    // The upgrade asked for by startServerTls has passed, or failed (why says so).
    void serverTlsStarted();
    void serverTlsFailed(std::string_view why);
    // The client was silent for the session time-out.
    void clientIdle();
    // Handles the lines that waited for the client's output to drain.
    void resume() { pump(); }

    bool finished() const { return finished_; }
    // False while the lines waiting exceed kMaxBacklog: the engine stops reading.
    bool wantsClientInput() const { return finished_ || in_.size() <= kMaxBacklog; }
    // The recipients named since the last call (lower case).
    std::vector<std::string> takeApprovedRecipients();

    RemoteState state() const { return state_; }
    // The remote state's number, as the logs show it.
    int remoteState() const { return static_cast<int>(state_); }
    const std::string& sender() const { return sender_; }
    const std::string& greetingLine() const { return greeting_; }
    bool serverInUse() const { return serverOpen_; }
    bool inMessageText() const {
        return !finished_ && state_ == RemoteState::InData && awaiting_ == Awaiting::Nothing;
    }

private:
    // What the reply that the server owes answers; the first four are the POP3
    // server's (POP-before-SMTP).
    enum class Awaiting {
        PopGreeting, PopStls, PopTls, PopUser, PopPass, PopStat,
        Nothing, Greeting, Helo, StartTls, TlsHandshake, Auth, ProxyMail, ClientCommand, DataEnd,
    };
    bool awaitingPop3() const { return awaiting_ <= Awaiting::PopStat; }

    void pump();
    void command(std::string_view line);
    void heloCommand(std::string_view line, std::string_view verb);
    void rsetCommand(std::string_view line);
    void quitCommand();
    void mailCommand(std::string_view line, std::string_view argument);
    void connectForSender(const std::string& sender);
    void rcptCommand(std::string_view line, std::string_view argument);
    void otherCommand(std::string_view line, std::string_view verb);

    void onReply(const engines::ServerReply& reply);
    void greetingReply(const std::string& reply, std::string_view code);
    void heloReply(const engines::ServerReply& reply, std::string_view code);
    void clientCommandReply(std::string_view code);
    void proxyMailFrom();
    void startAuth(const std::vector<std::string>& ehloLines);
    void authReply(const engines::ServerReply& reply);
    void authFailed();
    void popReply(const engines::ServerReply& reply);
    void popDone();
    void connectSmtp();
    std::string serverGreeting() const;
    void popUser();
    void sendServerSecret(std::string_view text);
    void beginMessageText();
    void messageBytes(std::string_view bytes);

    void reply(std::string_view text);
    void errorReply(std::string_view text);
    void forward(std::string_view line, std::string_view verb);
    void sendServer(std::string_view text, RemoteState newState);
    void enterState(RemoteState state);
    void countError();
    void finish(std::string_view lastReply);
    void failServer(std::string_view clientReply);
    static void relayFailed(std::string_view account, std::string_view why);
    void dropQueuedLines();
    void politeQuit();
    void logClientLine(std::string_view text, std::string_view verb);

    int slot_;
    Sink& sink_;
    engines::LineReader in_{SmtpProxyText::kMaxCommandLine};
    engines::ReplyReader replies_;
    SmtpProxyText::DataEndScanner dataEnd_;
    Awaiting awaiting_ = Awaiting::Nothing;
    std::string awaitedVerb_;
    RemoteState state_ = RemoteState::WaitGreeting;
    std::string greeting_;
    std::string sender_;
    std::vector<std::string> mailParameters_;    // of the client's MAIL FROM
    std::vector<std::string> serverExtensions_;  // the keywords of the server's EHLO reply
    // Authentication towards the server, as the account asks for it (the SMTP
    // client's own exchange and settings, protocol/SmtpClientAuth.h).
    engines::SmtpAccountAuth accountAuth_;
    engines::SmtpAuthExchange auth_;
    std::string authRefusal_;  // the server's reply that refused the last mechanism
    SmtpProxyText::ServerAddress smtpServer_;
    std::vector<std::string> approved_;
    bool serverOpen_ = false;
    bool heloFallbackTried_ = false;
    bool serverTls_ = false;  // the SMTP server connection was upgraded
    bool maskNextLine_ = false;
    int badCommands_ = 0;  // error replies in a row
    bool finished_ = false;
};
