#include "engines/SmtpProxySession.h"

#include <algorithm>

#include "core/Log.h"
#include "core/MiscUtils.h"
#include "core/ProgramFiles.h"

using SmtpProxyText::LogText;
using SmtpProxyText::WithoutLineEnd;

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
    std::string text = LogText(reply.substr(0, reply.find('\n')));
    if (text.size() > kMaxQuotedServerText) text.resize(kMaxQuotedServerText);
    return text;
}

std::string Slot(int slot) { return std::to_string(slot); }

}  // namespace

SmtpProxySession::SmtpProxySession(int slot, Sink& sink) : slot_(slot), sink_(sink) {}

void SmtpProxySession::start() { reply("220 " + Name() + " ESMTP"); }

std::vector<std::string> SmtpProxySession::takeApprovedRecipients() {
    std::vector<std::string> taken;
    taken.swap(approved_);
    return taken;
}

// ---------------------------------------------------------------- client side

void SmtpProxySession::clientBytes(std::string_view bytes) {
    if (finished_) return;
    if (messageText_) messageBytes(bytes);
    else in_.append(bytes);
    pump();
}

void SmtpProxySession::pump() {
    using SmtpProxyText::kMaxCommandLine;
    while (!finished_ && awaiting_ == Awaiting::Nothing && !messageText_ && !sink_.clientBacklogged()) {
        const std::optional<std::string_view> line = in_.next();
        if (!line) {
            if (in_.size() > kMaxCommandLine) finish("500 5.5.2 Line too long");
            return;
        }
        if (line->size() > kMaxCommandLine) {
            finish("500 5.5.2 Line too long");
            return;
        }
        command(std::string(*line));
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
        state_ = kWaitGreeting;
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
    const SmtpProxyText::AccountLookup found = SmtpProxyText::FindAccountServer(sender, server);
    if (found != SmtpProxyText::AccountLookup::Found) {
        MiscFuncs::WriteLog(1, "#", "SMTP proxy refused sender " + LogText(sender) + " on proxy socket #" +
                                        Slot(slot_) + ": not an account with an SMTP server");
        // Relaying for anyone but the user's own accounts would make an open relay.
        finish(found == SmtpProxyText::AccountLookup::NoAccount
                   ? "550 5.7.1 Relaying denied: the sender is not one of the accounts"
                   : "421 4.3.5 No SMTP server is set for this account");
        return;
    }
    sender_ = sender;
    MiscFuncs::WriteLog(2, "i", "Started SMTP session for " + LogText(sender_) + " on proxy socket #" + Slot(slot_));
    state_ = kWaitGreeting;
    heloFallbackTried_ = false;
    serverOpen_ = true;
    awaiting_ = Awaiting::Greeting;
    sink_.connectServer(server);
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
    replies_.append(bytes);
    std::string reply;
    while (!finished_ && serverOpen_) {
        const SmtpProxyText::ReplyReader::Result result = replies_.next(reply);
        if (result == SmtpProxyText::ReplyReader::Result::NeedMore) break;
        if (result == SmtpProxyText::ReplyReader::Result::TooLong) {
            MiscFuncs::WriteLog(1, "#", "SMTP proxy: over-long reply from the server on proxy socket #" + Slot(slot_));
            failServer("421 4.4.0 Bad reply from the SMTP server");
            break;
        }
        onReply(reply);
    }
    pump();
}

void SmtpProxySession::onReply(const std::string& reply) {
    if (MiscFuncs::LogWanted(4)) MiscFuncs::WriteLog(4, "i", "SMTPR <-" + Slot(slot_) + " " + LogText(reply));
    const std::string code = MiscFuncs::UpperCase(reply.substr(0, 3));
    const Awaiting answered = awaiting_;
    if (answered == Awaiting::Greeting) return greetingReply(reply, code);
    if (answered == Awaiting::Helo) return heloReply(reply, code);
    awaiting_ = Awaiting::Nothing;
    // Also a reply nobody asked for (a 421 before the server hangs up) goes to the client.
    sink_.toClient(reply);
    if (answered == Awaiting::ProxyMail && code[0] != '2') state_ = kGreeted;
    else if (answered == Awaiting::ClientCommand) clientCommandReply(code);
    else if (answered == Awaiting::DataEnd) state_ = kGreeted;
}

void SmtpProxySession::greetingReply(const std::string& reply, std::string_view code) {
    if (code == "220") {
        sendServer(WithoutLineEnd(greeting_), kGreeted);
        awaiting_ = Awaiting::Helo;
        return;
    }
    MiscFuncs::WriteLog(1, "#", "SMTP server refused proxy socket #" + Slot(slot_) + ": " + LogText(reply));
    failServer("421 4.4.0 SMTP server not ready: " + ServerText(reply));
}

void SmtpProxySession::heloReply(const std::string& reply, std::string_view code) {
    if (code[0] == '2') {
        serverExtensions_ = heloFallbackTried_ || Verb(WithoutLineEnd(greeting_)) != "EHLO"
                                ? std::vector<std::string>{}
                                : SmtpProxyText::EhloKeywords(reply);
        return proxyMailFrom();
    }
    const std::string_view greeting = WithoutLineEnd(greeting_);
    if (code[0] == '5' && !heloFallbackTried_ && Verb(greeting) == "EHLO") {
        // RFC 5321 4.1.4: a server without extensions still takes HELO.
        heloFallbackTried_ = true;
        sendServer("HELO" + std::string(greeting.substr(4)), kGreeted);
        return;
    }
    MiscFuncs::WriteLog(1, "#", "SMTP server refused proxy socket #" + Slot(slot_) + ": " + LogText(reply));
    failServer("421 4.4.0 SMTP server not ready: " + ServerText(reply));
}

// The proxy's own MAIL FROM, with the parameters of the client's (BODY=8BITMIME,
// SIZE=...) that the server's EHLO reply offers: the proxy offers 8BITMIME to the
// client, so the server must hear of an 8-bit body.
void SmtpProxySession::proxyMailFrom() {
    std::string command = "MAIL FROM:<" + sender_ + ">";
    for (const std::string& parameter : mailParameters_)
        if (SmtpProxyText::ParameterOffered(parameter, serverExtensions_)) command += " " + parameter;
    sendServer(command, kMailSent);
    awaiting_ = Awaiting::ProxyMail;
}

void SmtpProxySession::clientCommandReply(std::string_view code) {
    if (awaitedVerb_ == "DATA" && code == "354") {
        state_ = kInData;
        beginMessageText();
        return;
    }
    if (awaitedVerb_ == "MAIL" && code[0] == '2') state_ = kMailSent;
    else if (awaitedVerb_ == "RSET" && code[0] == '2') state_ = kGreeted;
    else if (awaitedVerb_ == "AUTH" && code == "334") maskNextLine_ = true;
    if (code == "500" || code == "502") countError();
}

void SmtpProxySession::serverFailed() {
    if (finished_ || !serverOpen_) return;
    // A client in the middle of AUTH still owes the server an answer.
    const bool idle = awaiting_ == Awaiting::Nothing && !messageText_ && !maskNextLine_;
    const bool lost = awaiting_ != Awaiting::Greeting && awaiting_ != Awaiting::Helo;
    sink_.dropServer();
    serverOpen_ = false;
    state_ = kWaitGreeting;
    // Between transactions the client can go on: its next MAIL FROM connects again.
    if (idle) return;
    failServer(lost ? "421 4.4.2 Connection to the SMTP server was lost"
                    : "421 4.4.1 Connection to the SMTP server failed");
}

// ---------------------------------------------------------------- message text

void SmtpProxySession::beginMessageText() {
    messageText_ = true;
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
    messageText_ = false;
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
    dropQueuedLines();
    if (serverOpen_) sink_.dropServer();
    serverOpen_ = false;
    finish(clientReply);
}

void SmtpProxySession::dropQueuedLines() {
    int dropped = 0;
    while (in_.next()) {
        if (dropped++ < kMaxDroppedLinesLogged) MiscFuncs::WriteLog(1, "#", "REmoteSMTP socket is not connected");
    }
    in_.takeAll();
}

// A server between transactions hears a QUIT before the connection goes down.
void SmtpProxySession::politeQuit() {
    if (serverOpen_ && awaiting_ == Awaiting::Nothing && !messageText_) sink_.toServer("QUIT\r\n");
}

void SmtpProxySession::reply(std::string_view text) {
    std::string bytes(text);
    bytes += kCrLf;
    sink_.toClient(bytes);
    if (MiscFuncs::LogWanted(4)) MiscFuncs::WriteLog(4, "i", "SMTPL ->" + Slot(slot_) + " " + LogText(text));
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

void SmtpProxySession::sendServer(std::string_view text, int newState) {
    std::string bytes(text);
    bytes += kCrLf;
    sink_.toServer(bytes);
    state_ = newState;
    if (MiscFuncs::LogWanted(4)) {
        MiscFuncs::WriteLog(4, "i", "SMTPR ->" + Slot(slot_) + ":" + std::to_string(newState) + " " + LogText(text));
    }
}

void SmtpProxySession::logClientLine(std::string_view text, std::string_view verb) {
    if (!MiscFuncs::LogWanted(4)) return;
    std::string shown;
    if (verb == "****") shown = "****";
    else if (verb == "AUTH") shown = LogText(text.substr(0, std::min<std::size_t>(text.find(' ', 5), 40))) + " ****";
    else shown = LogText(text);
    MiscFuncs::WriteLog(4, "i", "SMTPL <-" + Slot(slot_) + " " + shown);
}
