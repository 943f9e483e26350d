#include "protocol/SmtpProxySession.h"

#include <algorithm>

#include "core/Log.h"
#include "core/MailAccount.h"
#include "core/MiscUtils.h"
#include "core/ProgramFiles.h"

using engines::WithoutLineEnd;

namespace {

constexpr std::string_view kCrLf = "\r\n";
// Lines dropped with a failed server are logged up to this many.
constexpr int kMaxDroppedLinesLogged = 20;
// Server text quoted in a reply to the client is cut here (reply lines are 512 octets).
constexpr std::size_t kMaxQuotedServerText = 200;

std::string Name() { return std::string(ProgramFiles::kExecutableName); }

// The command word in upper case ("" for an empty line).
std::string Verb(std::string_view text) {
    return MiscFuncs::UpperCase(text.substr(0, std::min<std::size_t>(text.find(' '), 16)));
}

bool StartsWithUpper(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && MiscFuncs::EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

// Commands a server would know, which need a transaction or a server first.
bool NeedsServer(std::string_view verb) {
    for (const std::string_view known : {"DATA", "AUTH", "VRFY", "EXPN", "HELP", "ETRN", "MAIL", "RCPT"})
        if (verb == known) return true;
    return false;
}

std::string ServerText(const std::string& reply) {
    std::string text = MiscFuncs::OneLineText(reply.substr(0, reply.find('\n')), kMaxQuotedServerText);
    if (text.size() > kMaxQuotedServerText) text.resize(kMaxQuotedServerText);
    return text;
}

std::string Slot(int slot) { return std::to_string(slot); }

// A setting as a command argument: a line break in it would start a command of its own.
std::string OneLine(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != '\r' && c != '\n' && c != '\0') out += c;
    return out;
}

}  // namespace

// Server replies: lines and replies capped, none queued (the session takes each in turn).
constexpr engines::ReplyReader::Caps kServerReplyCaps{SmtpProxyText::kMaxReplyLine, SmtpProxyText::kMaxReply, 0};

SmtpProxySession::SmtpProxySession(int slot, Sink& sink) : slot_(slot), sink_(sink) {
    replies_.reset(engines::ReplyReader::Mode::Smtp, kServerReplyCaps);
}

void SmtpProxySession::start() { reply("220 " + Name() + " ESMTP"); }

std::vector<std::string> SmtpProxySession::takeApprovedRecipients() {
    std::vector<std::string> taken;
    taken.swap(approved_);
    return taken;
}

// ---------------------------------------------------------------- client side

void SmtpProxySession::clientBytes(std::string_view bytes) {
    if (finished_) return;
    if (inMessageText()) messageBytes(bytes);
    else in_.append(bytes);
    pump();
}

void SmtpProxySession::pump() {
    while (!finished_ && awaiting_ == Awaiting::Nothing && !inMessageText() && !sink_.clientBacklogged()) {
        std::string_view line;
        const engines::LineReader::Result result = in_.next(line);
        if (result == engines::LineReader::Result::NeedMore) return;
        if (result == engines::LineReader::Result::TooLong) {
            finish("500 5.5.2 Line too long");
            return;
        }
        const int bad = badCommands_;
        command(std::string(line));
        // A command the proxy answered itself without an error ends a run of bad ones;
        // a forwarded one is judged by the server's reply.
        if (!finished_ && awaiting_ == Awaiting::Nothing && badCommands_ == bad) badCommands_ = 0;
    }
}

void SmtpProxySession::command(std::string_view line) {
    const std::string_view text = WithoutLineEnd(line);
    if (text.find_first_of(std::string_view("\r\0", 2)) != std::string_view::npos) {
        // RFC 5321 2.3.8: a server that reads a bare CR as a line end would see a
        // second command in it (an RSET and a MAIL FROM of a stranger, say). Such a
        // line is neither kept nor passed on.
        logClientLine(maskNextLine_ ? std::string_view("****") : text, maskNextLine_ ? "****" : "");
        if (maskNextLine_) {
            // The server still waits for an answer to its 334: cancel the exchange.
            maskNextLine_ = false;
            forward("*\r\n", "AUTH");
            return;
        }
        errorReply("501 5.5.2 Syntax error: bare CR or NUL in the command line");
        return;
    }
    if (maskNextLine_) {
        // The answer to a 334 carries the password.
        maskNextLine_ = false;
        logClientLine(text, "****");
        forward(line, "AUTH");
        return;
    }
    const std::string verb = Verb(text);
    logClientLine(text, verb);
    if (verb == "HELO" || verb == "EHLO") heloCommand(line, verb);
    else if (verb == "RSET") rsetCommand(line);
    else if (verb == "QUIT") quitCommand();
    else if (StartsWithUpper(text, "MAIL FROM:")) mailCommand(line, text.substr(10));
    else if (StartsWithUpper(text, "RCPT TO:")) rcptCommand(line, text.substr(8));
    // Both would take the stream out of line-by-line SMTP, which the proxy must follow.
    else if (verb == "STARTTLS" || verb == "BDAT") errorReply("502 5.5.1 Command not implemented");
    else otherCommand(line, verb);
}

void SmtpProxySession::heloCommand(std::string_view line, std::string_view verb) {
    greeting_ = std::string(line);
    if (verb == "HELO") reply("250 " + Name());
    else reply("250-" + Name() + "\r\n250-PIPELINING\r\n250 8BITMIME");
}

void SmtpProxySession::rsetCommand(std::string_view line) {
    if (serverOpen_) forward(line, "RSET");
    else reply("250 flushed");
}

void SmtpProxySession::quitCommand() {
    reply("221 closing transmission channel");
    politeQuit();
    finished_ = true;
}

void SmtpProxySession::mailCommand(std::string_view line, std::string_view argument) {
    const std::optional<std::string> address = SmtpProxyText::Bracketed(argument);
    if (!address) {
        errorReply("501 5.5.4 Syntax: MAIL FROM:<address>");
        return;
    }
    if (serverOpen_) {
        if (MiscFuncs::EqualsIgnoreCase(*address, sender_)) {
            forward(line, "MAIL");
            return;
        }
        // Another account sends through its own server.
        politeQuit();
        sink_.dropServer();
        serverOpen_ = false;
        enterState(RemoteState::WaitGreeting);
    }
    if (greeting_.empty()) {
        errorReply("503 5.5.1 Send HELO or EHLO first");
        return;
    }
    mailParameters_ = SmtpProxyText::MailParameters(argument);
    connectForSender(*address);
}

void SmtpProxySession::connectForSender(const std::string& sender) {
    SmtpProxyText::ServerAddress server;
    MailAccount account;
    const SmtpProxyText::AccountLookup found = SmtpProxyText::FindAccountServer(sender, server, &account);
    if (found != SmtpProxyText::AccountLookup::Found) {
        MiscFuncs::WriteLog(1, "#", "SMTP proxy refused sender " + std::string(sender) + " on proxy socket #" +
                                        Slot(slot_) + ": not an account with an SMTP server");
        relayFailed(sender, found == SmtpProxyText::AccountLookup::NoAccount
                                ? "the sender is not one of the accounts"
                                : "the account has no SMTP server");
        // Relaying for anyone but the user's own accounts would make an open relay.
        finish(found == SmtpProxyText::AccountLookup::NoAccount
                   ? "550 5.7.1 Relaying denied: the sender is not one of the accounts"
                   : "421 4.3.5 No SMTP server is set for this account");
        return;
    }
    sender_ = sender;
    MiscFuncs::WriteLog(2, "i", "Started SMTP session for " + std::string(sender_) + " on proxy socket #" + Slot(slot_));
    accountAuth_ = engines::SmtpAccountAuthOf(account);
    auth_ = engines::SmtpAuthExchange(accountAuth_.authUser, accountAuth_.authPassword);
    smtpServer_ = server;
    enterState(RemoteState::WaitGreeting);
    serverOpen_ = true;
    const std::string pop3Host(MiscFuncs::TrimBlanks(accountAuth_.pop3Server));
    if (pop3Host.empty()) return connectSmtp();
    // POP-before-SMTP: the POP3 login opens the SMTP server to this machine.
    const std::optional<int> port = Accounts::ServerPort(accountAuth_.pop3Port, Accounts::kPop3Port);
    replies_.reset(engines::ReplyReader::Mode::Pop3, kServerReplyCaps);
    awaiting_ = Awaiting::PopGreeting;
    sink_.connectServer({pop3Host, port.value_or(Accounts::kPop3Port), accountAuth_.pop3Security});
}

void SmtpProxySession::connectSmtp() {
    replies_.reset(engines::ReplyReader::Mode::Smtp, kServerReplyCaps);
    heloFallbackTried_ = false;
    serverTls_ = false;
    awaiting_ = Awaiting::Greeting;
    sink_.connectServer(smtpServer_);
}

void SmtpProxySession::popReply(const engines::ServerReply& reply) {
    if (!reply.positive) {
        MiscFuncs::WriteLog(1, "#", "SMTP proxy: the POP3 login before SMTP failed for " + std::string(sender_) +
                                        " on proxy socket #" + Slot(slot_) + ": " + ServerText(reply.raw));
        return popDone();
    }
    switch (awaiting_) {
    case Awaiting::PopGreeting:
        if (accountAuth_.pop3Security == 1) {
            awaiting_ = Awaiting::PopStls;
            return sendServer("STLS", state_);
        }
        return popUser();
    case Awaiting::PopStls:
        replies_.reset(engines::ReplyReader::Mode::Pop3, kServerReplyCaps);
        awaiting_ = Awaiting::PopTls;
        return sink_.startServerTls();
    case Awaiting::PopUser:
        awaiting_ = Awaiting::PopPass;
        return sendServerSecret("PASS " + OneLine(accountAuth_.pop3Password));
    case Awaiting::PopPass:
        awaiting_ = Awaiting::PopStat;
        return sendServer("STAT", state_);
    default: return popDone();
    }
}

void SmtpProxySession::popUser() {
    awaiting_ = Awaiting::PopUser;
    sendServer("USER " + OneLine(accountAuth_.pop3User), state_);
}

// The client's own HELO or EHLO line; EHLO where the account asks for STARTTLS, which
// only an EHLO reply can offer.
std::string SmtpProxySession::serverGreeting() const {
    const std::string_view greeting = WithoutLineEnd(greeting_);
    if (smtpServer_.security == 1 && Verb(greeting) == "HELO") return "EHLO" + std::string(greeting.substr(4));
    return std::string(greeting);
}

void SmtpProxySession::serverTlsStarted() {
    if (finished_ || !serverOpen_) return;
    if (awaiting_ == Awaiting::PopTls) return popUser();
    if (awaiting_ != Awaiting::TlsHandshake) return;
    // RFC 3207 4.2: the server is greeted afresh; what it offered before is forgotten.
    serverTls_ = true;
    heloFallbackTried_ = false;
    awaiting_ = Awaiting::Helo;
    sendServer(serverGreeting(), RemoteState::Greeted);
}

void SmtpProxySession::serverTlsFailed(std::string_view why) {
    if (finished_ || !serverOpen_) return;
    if (awaitingPop3()) return serverFailed();
    MiscFuncs::WriteLog(0, "#", "SMTP proxy: no secure connection to the SMTP server of " + std::string(sender_) +
                                    " on proxy socket #" + Slot(slot_) + ": " + std::string(why));
    failServer("421 4.7.0 No secure connection to the SMTP server: " +
               MiscFuncs::OneLineText(why, kMaxQuotedServerText));
}

void SmtpProxySession::popDone() {
    sink_.toServer("QUIT\r\n");
    sink_.dropServer();
    connectSmtp();
}

void SmtpProxySession::rcptCommand(std::string_view line, std::string_view argument) {
    const std::optional<std::string> address = SmtpProxyText::Bracketed(argument);
    if (!address) {
        errorReply("501 5.5.4 Syntax: RCPT TO:<address>");
        return;
    }
    if (!serverOpen_) {
        errorReply("503 5.5.1 Bad sequence of commands");
        return;
    }
    if (SmtpProxyText::PlausibleAddress(*address)) approved_.push_back(MiscFuncs::LowerCase(*address));
    forward(line, "RCPT");
}

void SmtpProxySession::otherCommand(std::string_view line, std::string_view verb) {
    if (serverOpen_) forward(line, verb);
    else if (verb == "NOOP") reply("250 OK");
    else if (NeedsServer(verb)) errorReply("503 5.5.1 Bad sequence of commands");
    else errorReply("500 5.5.2 Command not recognized");
}

// ---------------------------------------------------------------- server side

void SmtpProxySession::serverBytes(std::string_view bytes) {
    if (finished_ || !serverOpen_) return;
    // Whatever comes between the server's yes and the end of the handshake is dropped.
    if (awaiting_ == Awaiting::TlsHandshake || awaiting_ == Awaiting::PopTls) return;
    replies_.feed(bytes);
    while (!finished_ && serverOpen_ && awaiting_ != Awaiting::TlsHandshake && awaiting_ != Awaiting::PopTls) {
        const std::optional<engines::ServerReply> reply = replies_.next();
        if (!reply) break;
        if (reply->tooLong) {
            MiscFuncs::WriteLog(1, "#", "SMTP proxy: over-long reply from the server on proxy socket #" + Slot(slot_));
            failServer("421 4.4.0 Bad reply from the SMTP server");
            break;
        }
        onReply(*reply);
    }
    pump();
}

void SmtpProxySession::onReply(const engines::ServerReply& serverReply) {
    const std::string& reply = serverReply.raw;
    if (MiscFuncs::LogWanted(4)) MiscFuncs::WriteLog(4, "i", "SMTPR <-" + Slot(slot_) + " " + std::string(reply));
    const std::string code = MiscFuncs::UpperCase(reply.substr(0, 3));
    const Awaiting answered = awaiting_;
    if (awaitingPop3()) return popReply(serverReply);
    if (answered == Awaiting::Auth) return authReply(serverReply);
    if (answered == Awaiting::Greeting) return greetingReply(reply, code);
    if (answered == Awaiting::Helo) return heloReply(serverReply, code);
    if (answered == Awaiting::StartTls) {
        if (code == "220") {
            replies_.reset(engines::ReplyReader::Mode::Smtp, kServerReplyCaps);
            awaiting_ = Awaiting::TlsHandshake;
            return sink_.startServerTls();
        }
        MiscFuncs::WriteLog(0, "#", "SMTP server refused STARTTLS on proxy socket #" + Slot(slot_) + ": " + reply);
        return failServer("421 4.7.0 The SMTP server refused STARTTLS: " + ServerText(reply));
    }
    awaiting_ = Awaiting::Nothing;
    // Also a reply nobody asked for (a 421 before the server hangs up) goes to the client.
    sink_.toClient(reply);
    if (answered == Awaiting::ProxyMail && code[0] != '2') enterState(RemoteState::Greeted);
    else if (answered == Awaiting::ProxyMail) badCommands_ = 0;
    else if (answered == Awaiting::ClientCommand) clientCommandReply(code);
    else if (answered == Awaiting::DataEnd) enterState(RemoteState::Greeted);
}

void SmtpProxySession::greetingReply(const std::string& reply, std::string_view code) {
    if (code == "220") {
        sendServer(serverGreeting(), RemoteState::Greeted);
        awaiting_ = Awaiting::Helo;
        return;
    }
    MiscFuncs::WriteLog(1, "#", "SMTP server refused proxy socket #" + Slot(slot_) + ": " + std::string(reply));
    failServer("421 4.4.0 SMTP server not ready: " + ServerText(reply));
}

void SmtpProxySession::heloReply(const engines::ServerReply& serverReply, std::string_view code) {
    const std::string& reply = serverReply.raw;
    const std::string greeting = serverGreeting();
    if (code[0] == '2') {
        const bool extended = !heloFallbackTried_ && Verb(greeting) == "EHLO";
        serverExtensions_ = extended ? SmtpProxyText::EhloKeywords(serverReply.lines) : std::vector<std::string>{};
        if (smtpServer_.security == 1 && !serverTls_) {
            // No credential and no mail before the connection is encrypted.
            const auto& words = serverExtensions_;
            if (std::find(words.begin(), words.end(), "STARTTLS") == words.end()) {
                MiscFuncs::WriteLog(0, "#", "SMTP server of " + std::string(sender_) + " does not offer STARTTLS, "
                                            "which the account asks for, on proxy socket #" + Slot(slot_));
                return failServer("421 4.7.0 The SMTP server does not offer STARTTLS");
            }
            awaiting_ = Awaiting::StartTls;
            return sendServer("STARTTLS", state_);
        }
        return startAuth(extended ? serverReply.lines : std::vector<std::string>{});
    }
    if (code[0] == '5' && !heloFallbackTried_ && Verb(greeting) == "EHLO") {
        // RFC 5321 4.1.4: a server without extensions still takes HELO.
        heloFallbackTried_ = true;
        sendServer("HELO" + std::string(greeting.substr(4)), RemoteState::Greeted);
        return;
    }
    MiscFuncs::WriteLog(1, "#", "SMTP server refused proxy socket #" + Slot(slot_) + ": " + std::string(reply));
    failServer("421 4.4.0 SMTP server not ready: " + ServerText(reply));
}

// AUTH as the account asks, by the mechanisms the EHLO reply offers; without a user
// name or an offered mechanism the server judges the mail as it is.
void SmtpProxySession::startAuth(const std::vector<std::string>& ehloLines) {
    auth_.Reset();
    auth_.Offer(ehloLines);
    authRefusal_.clear();
    if (const std::optional<std::string> command = auth_.Begin()) {
        awaiting_ = Awaiting::Auth;
        return sendServer(WithoutLineEnd(*command), state_);
    }
    proxyMailFrom();
}

// The reply's code and last line as the reader gives them, as the SMTP client reads them.
void SmtpProxySession::authReply(const engines::ServerReply& serverReply) {
    const std::string& reply = serverReply.raw;
    const engines::SmtpAuthStep step = auth_.Answer(serverReply.code, serverReply.lastLineText());
    switch (step.kind) {
    case engines::SmtpAuthStep::Kind::Send:
        if (step.secret) return sendServerSecret(WithoutLineEnd(step.bytes));
        return sendServer(WithoutLineEnd(step.bytes), state_);
    case engines::SmtpAuthStep::Kind::Authenticated:
        MiscFuncs::WriteLog(2, "i", "SMTP proxy authenticated " + std::string(sender_) + " on proxy socket #" + Slot(slot_));
        return proxyMailFrom();
    case engines::SmtpAuthStep::Kind::Refused:
        if (!step.reply.empty()) authRefusal_ = reply;
        if (const std::optional<std::string> command = auth_.Begin())
            return sendServer(WithoutLineEnd(*command), state_);
        return authFailed();
    }
}

// Every mechanism failed: the server's refusal answers the client's MAIL FROM.
void SmtpProxySession::authFailed() {
    MiscFuncs::WriteLog(1, "#", "SMTP server refused the authentication of " + std::string(sender_) +
                                    " on proxy socket #" + Slot(slot_) + ": " + ServerText(authRefusal_));
    relayFailed(sender_, "the SMTP server refused the authentication: " + ServerText(authRefusal_));
    const bool refusal = !authRefusal_.empty() && (authRefusal_[0] == '4' || authRefusal_[0] == '5');
    awaiting_ = Awaiting::Nothing;
    if (refusal) sink_.toClient(authRefusal_);
    else reply("535 5.7.8 Authentication to the SMTP server failed");
    politeQuit();
    sink_.dropServer();
    serverOpen_ = false;
    enterState(RemoteState::WaitGreeting);
}

// The proxy's own MAIL FROM, with the parameters of the client's (BODY=8BITMIME,
// SIZE=...) that the server's EHLO reply offers: the proxy offers 8BITMIME to the
// client, so the server must hear of an 8-bit body.
void SmtpProxySession::proxyMailFrom() {
    std::string command = "MAIL FROM:<" + sender_ + ">";
    for (const std::string& parameter : mailParameters_)
        if (SmtpProxyText::ParameterOffered(parameter, serverExtensions_)) command += " " + parameter;
    sendServer(command, RemoteState::MailSent);
    awaiting_ = Awaiting::ProxyMail;
}

void SmtpProxySession::clientCommandReply(std::string_view code) {
    if (awaitedVerb_ == "DATA" && code == "354") {
        enterState(RemoteState::InData);
        beginMessageText();
        return;
    }
    if (awaitedVerb_ == "MAIL" && code[0] == '2') enterState(RemoteState::MailSent);
    else if (awaitedVerb_ == "RSET" && code[0] == '2') enterState(RemoteState::Greeted);
    else if (awaitedVerb_ == "AUTH" && code == "334") maskNextLine_ = true;
    if (code == "500" || code == "502") countError();
    else badCommands_ = 0;
}

void SmtpProxySession::serverFailed() {
    if (finished_ || !serverOpen_) return;
    if (awaitingPop3()) {
        // As the SMTP client does: without the POP3 login the SMTP server judges.
        MiscFuncs::WriteLog(1, "#", "SMTP proxy: no POP3 login before SMTP for " + std::string(sender_) +
                                        " on proxy socket #" + Slot(slot_) + ": the POP3 server failed");
        sink_.dropServer();
        return connectSmtp();
    }
    // A client in the middle of AUTH still owes the server an answer.
    const bool idle = awaiting_ == Awaiting::Nothing && !inMessageText() && !maskNextLine_;
    const bool lost = awaiting_ != Awaiting::Greeting && awaiting_ != Awaiting::Helo;
    sink_.dropServer();
    serverOpen_ = false;
    enterState(RemoteState::WaitGreeting);
    // Between transactions the client can go on: its next MAIL FROM connects again.
    if (idle) return;
    failServer(lost ? "421 4.4.2 Connection to the SMTP server was lost"
                    : "421 4.4.1 Connection to the SMTP server failed");
}

// ---------------------------------------------------------------- message text

// The message text follows: the remote state is InData and no reply is owed.
void SmtpProxySession::beginMessageText() {
    dataEnd_.reset();
    if (!in_.empty()) {
        // A client that did not wait for the 354.
        const std::string early = in_.takeAll();
        messageBytes(early);
    }
}

void SmtpProxySession::messageBytes(std::string_view bytes) {
    const std::size_t end = dataEnd_.scan(bytes);
    if (end == SmtpProxyText::DataEndScanner::npos) {
        sink_.toServer(bytes);
        return;
    }
    sink_.toServer(bytes.substr(0, end));
    awaiting_ = Awaiting::DataEnd;
    in_.append(bytes.substr(end));
}

// ---------------------------------------------------------------- endings and output

void SmtpProxySession::clientIdle() {
    if (finished_) return;
    MiscFuncs::WriteLog(1, "#", "SMTP session timed out for local socket");
    finish("421 4.4.2 Timeout, closing transmission channel");
}

void SmtpProxySession::finish(std::string_view lastReply) {
    if (finished_) return;
    reply(lastReply);
    politeQuit();
    finished_ = true;
}

void SmtpProxySession::failServer(std::string_view clientReply) {
    relayFailed(sender_, WithoutLineEnd(clientReply));
    dropQueuedLines();
    if (serverOpen_) sink_.dropServer();
    serverOpen_ = false;
    finish(clientReply);
}

// Whatever LogLevel asks for: the user has to act on it (the account's SMTP settings).
void SmtpProxySession::relayFailed(std::string_view account, std::string_view why) {
    MiscFuncs::WriteLog(0, "#", "SMTP proxy could not relay the mail of " + std::string(account) + ": " + std::string(why));
}

void SmtpProxySession::dropQueuedLines() {
    const std::string_view queued = in_.pending();
    const auto lines = std::min<std::ptrdiff_t>(std::count(queued.begin(), queued.end(), '\n'), kMaxDroppedLinesLogged);
    for (std::ptrdiff_t i = 0; i < lines; ++i) MiscFuncs::WriteLog(1, "#", "REmoteSMTP socket is not connected");
    in_.clear();
}

// A server between transactions hears a QUIT before the connection goes down.
void SmtpProxySession::politeQuit() {
    if (serverOpen_ && awaiting_ == Awaiting::Nothing && !inMessageText()) sink_.toServer("QUIT\r\n");
}

void SmtpProxySession::reply(std::string_view text) {
    std::string bytes(text);
    bytes += kCrLf;
    sink_.toClient(bytes);
    if (MiscFuncs::LogWanted(4)) MiscFuncs::WriteLog(4, "i", "SMTPL ->" + Slot(slot_) + " " + std::string(text));
}

void SmtpProxySession::errorReply(std::string_view text) {
    reply(text);
    countError();
}

void SmtpProxySession::countError() {
    if (++badCommands_ >= kMaxBadCommands) finish("421 4.7.0 Too many errors, closing transmission channel");
}

void SmtpProxySession::forward(std::string_view line, std::string_view verb) {
    std::string bytes(WithoutLineEnd(line));
    bytes += kCrLf;
    sink_.toServer(bytes);
    awaiting_ = Awaiting::ClientCommand;
    awaitedVerb_ = std::string(verb);
}

void SmtpProxySession::sendServer(std::string_view text, RemoteState newState) {
    std::string bytes(text);
    bytes += kCrLf;
    sink_.toServer(bytes);
    enterState(newState);
    if (MiscFuncs::LogWanted(4)) {
        MiscFuncs::WriteLog(4, "i", "SMTPR ->" + Slot(slot_) + ":" + std::to_string(remoteState()) + " " + std::string(text));
    }
}

void SmtpProxySession::enterState(RemoteState state) {
    if (state == state_) return;
    if (MiscFuncs::LogWanted(kStateLogLevel))
        MiscFuncs::WriteLog(kStateLogLevel, "i", "SMTP proxy socket #" + Slot(slot_) + " remote state " +
                                                     std::to_string(remoteState()) + " -> " +
                                                     std::to_string(static_cast<int>(state)));
    state_ = state;
}

// A line with credentials: sent like any other, logged without them.
void SmtpProxySession::sendServerSecret(std::string_view text) {
    std::string bytes(text);
    bytes += kCrLf;
    sink_.toServer(bytes);
    if (MiscFuncs::LogWanted(4)) MiscFuncs::WriteLog(4, "i", "SMTPR ->" + Slot(slot_) + ":" + std::to_string(remoteState()) + " ****");
}

void SmtpProxySession::logClientLine(std::string_view text, std::string_view verb) {
    if (!MiscFuncs::LogWanted(4)) return;
    std::string shown;
    if (verb == "****") shown = "****";
    else if (verb == "AUTH") shown = std::string(text.substr(0, std::min<std::size_t>(text.find(' ', 5), 40))) + " ****";
    else shown = std::string(text);
    MiscFuncs::WriteLog(4, "i", "SMTPL <-" + Slot(slot_) + " " + shown);
}
