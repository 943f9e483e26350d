#include "protocol/SmtpClientSession.h"

#include <algorithm>
#include <iterator>

#include "core/Log.h"
#include "core/MiscUtils.h"
#include "protocol/SmtpProxySessionText.h"
#include "protocol/SmtpText.h"

namespace engines {
namespace {

constexpr std::string_view kNotPositive = "SMTP server did not reply positively to client's command";
constexpr std::string_view kRefused = "SMTP server refused to accept/relay email message";
constexpr std::string_view kDisconnected = "Remote host disconnected";
constexpr std::string_view kSendError = "Error sending data to remote host";
constexpr std::string_view kTooLong = "Server reply exceeds the length limit";
constexpr std::string_view kMasked = "****";

// The first line of a command, up to its first CR, as the error text shows it.
std::string firstLine(std::string_view text) { return std::string(text.substr(0, text.find('\r'))); }

// A POP3 argument goes on one command line: CR, LF and NUL cannot be part of it.
std::string oneLine(std::string text) {
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
    return text;
}

}  // namespace

SmtpClientSession::SmtpClientSession(SmtpSessionConfig config)
    : config_(std::move(config)), auth_(config_.authUser, config_.authPassword) {
    config_.pop3User = oneLine(std::move(config_.pop3User));
    config_.pop3Password = oneLine(std::move(config_.pop3Password));
}

std::vector<SmtpAction> SmtpClientSession::take() {
    std::vector<SmtpAction> out;
    out.swap(actions_);
    return out;
}

const char* SmtpClientSession::stateName(State state) {
    static const char* const kNames[] = {
        "idle", "POP3 greeting", "STLS", "POP3 TLS handshake", "USER", "PASS", "STAT", "POP3 QUIT", "SMTP greeting",
        "EHLO", "HELO", "STARTTLS", "SMTP TLS handshake", "AUTH", "AUTH answer", "AUTH password", "AUTH cancel",
        "MAIL", "RCPT", "DATA", "message", "QUIT", "done",
    };
    static_assert(std::size(kNames) == static_cast<std::size_t>(State::Done) + 1);
    return kNames[static_cast<int>(state)];
}

void SmtpClientSession::enterState(State state) {
    if (MiscFuncs::LogWanted(kTranscriptLogLevel) && state != state_) {
        MiscFuncs::WriteLog(kTranscriptLogLevel, "i",
                            std::string("SMTP client: ") + stateName(state_) + " -> " + stateName(state));
    }
    state_ = state;
}

bool SmtpClientSession::inPop() const { return state_ >= State::PopGreeting && state_ <= State::PopQuit; }
bool SmtpClientSession::inAuth() const { return state_ >= State::AuthStart && state_ <= State::AuthCancel; }

int SmtpClientSession::waitSeconds() const {
    if (state_ == State::Idle || state_ == State::Done) return 0;
    return state_ == State::SmtpGreeting ? kGreetingSeconds : kReplySeconds;
}

// The one writer of commands: what is logged and kept as the last command never
// holds a password or AUTH data.
void SmtpClientSession::send(std::string_view command, Secret secret) {
    std::string shown = firstLine(command);
    if (secret == Secret::Whole) shown = kMasked;
    if (secret == Secret::Argument) shown = shown.substr(0, shown.find(' ')) + " " + std::string(kMasked);
    outcome_.lastCommand = shown;
    note("sent", shown);
    actions_.push_back({SmtpAction::Kind::Send, std::string(command), 0});
}

void SmtpClientSession::note(std::string_view direction, std::string_view text) {
    if (!MiscFuncs::LogWanted(kTranscriptLogLevel)) return;
    MiscFuncs::WriteLog(kTranscriptLogLevel, "i", std::string("SMTP client ") + std::string(direction) + ": " + std::string(text));
}

void SmtpClientSession::progress(int value, std::string_view text) {
    actions_.push_back({SmtpAction::Kind::Progress, std::string(text), value});
}

void SmtpClientSession::addError(std::string_view line) {
    outcome_.lastError.append(line).append("\r\n");
}

void SmtpClientSession::connectTo(const std::string& host, int port, ReplyReader::Mode mode, int security) {
    reader_.reset(mode);
    connected_ = false;
    actions_.push_back({SmtpAction::Kind::Connect, host, port, security});
}

// The plain stream ends with the server's yes: what the reader holds beyond it goes.
void SmtpClientSession::askUpgrade(State handshake, ReplyReader::Mode mode) {
    reader_.reset(mode);
    enterState(handshake);
    actions_.push_back({SmtpAction::Kind::StartTls, {}, 0});
}

std::vector<SmtpAction> SmtpClientSession::tlsStarted() {
    if (state_ == State::PopTls) {
        sendPopUser();
    } else if (state_ == State::SmtpTls) {
        // RFC 3207 4.2: what the server offered before TLS is forgotten.
        smtpTlsDone_ = true;
        auth_ = SmtpAuthExchange(config_.authUser, config_.authPassword);
        enterState(State::Ehlo);
        send("EHLO " + ehloName_ + "\r\n");
    }
    return take();
}

std::vector<SmtpAction> SmtpClientSession::tlsFailed(std::string_view why) {
    if (finished()) return {};
    connected_ = false;
    if (inPop()) {
        addError("Unable to authorize POP server: " + std::string(why));
        startSmtp();
    } else {
        fail("Unable to connect to SMTP server securely: " + std::string(why));
    }
    return take();
}

std::vector<SmtpAction> SmtpClientSession::start() {
    if (state_ != State::Idle) return {};
    progress(1, "Sending msg - Initialising..");
    if (!SmtpText::IsEnvelopeAddress(config_.rcptTo)) {
        // No server could ever take it: the queue counts it like a refused relay.
        outcome_.relayRefused = true;
        fail("Invalid recipient address");
    } else if (!SmtpText::IsEnvelopeAddress(config_.mailFrom)) {
        fail("Invalid sender address");
    } else if (!MiscFuncs::IsBlank(config_.pop3Host)) {
        enterState(State::PopGreeting);
        connectTo(config_.pop3Host, config_.pop3Port, ReplyReader::Mode::Pop3, config_.pop3Security);
    } else {
        startSmtp();
    }
    return take();
}

std::vector<SmtpAction> SmtpClientSession::connected(std::string_view localAddress) {
    if (finished()) return {};
    connected_ = true;
    if (state_ == State::SmtpGreeting) ehloName_ = SmtpText::EhloDomain(config_.hostName, localAddress);
    return take();
}

std::vector<SmtpAction> SmtpClientSession::received(std::string_view bytes) {
    if (finished() || upgrading()) return {};
    reader_.feed(bytes);
    while (!finished() && !upgrading()) {
        std::optional<ServerReply> reply = reader_.next();
        if (!reply) break;
        handle(*reply);
    }
    return take();
}

std::vector<SmtpAction> SmtpClientSession::closed() {
    if (finished()) return {};
    const bool wasConnected = connected_;
    connected_ = false;
    if (state_ == State::PopUser || state_ == State::PopPass) {
        popNegative(true);
    } else if (inPop()) {
        if (state_ == State::PopGreeting) addError("Unable to connect to POP host for authorization");
        startSmtp();
    } else if (state_ == State::Quit) {
        finish();
    } else if (state_ == State::SmtpGreeting) {
        fail("Unable to connect to SMTP server");
    } else {
        if (wasConnected) addError(kDisconnected);
        fail(inAuth() ? std::string_view() : stateFailureLine());
    }
    return take();
}

std::vector<SmtpAction> SmtpClientSession::sendFailed() {
    if (finished()) return {};
    const std::string_view line = connected_ ? kSendError : kDisconnected;
    connected_ = false;
    if (inPop()) {
        addError(line);
        startSmtp();
    } else if (state_ == State::Quit) {
        finish();
    } else {
        fail(line);
    }
    return take();
}

std::vector<SmtpAction> SmtpClientSession::timedOut() {
    if (finished()) return {};
    switch (state_) {
    case State::PopGreeting:
        addError("Unable to connect to POP host for authorization");
        startSmtp();
        break;
    case State::PopUser: case State::PopPass: popNegative(false); break;
    case State::PopStls: case State::PopStat: popQuit(); break;
    case State::PopTls: startSmtp(); break;
    case State::PopQuit: startSmtp(); break;
    case State::Quit: finish(); break;
    case State::AuthStart: case State::AuthStep1: case State::AuthStep2: case State::AuthCancel:
        nextMechanism();
        break;
    default: fail(stateFailureLine()); break;
    }
    return take();
}

void SmtpClientSession::handle(const ServerReply& reply) {
    for (const std::string& line : reply.lines) note("received", line);
    outcome_.lastReply = SmtpText::CleanServerText(reply.text(), kMaxReplyReport);
    if (inPop()) handlePop(reply);
    else handleSmtp(reply);
}

// ---------------------------------------------------------------- POP-before-SMTP

void SmtpClientSession::handlePop(const ServerReply& reply) {
    if (reply.tooLong) addError(kTooLong);
    const bool positive = reply.positive && !reply.tooLong;
    switch (state_) {
    case State::PopGreeting:
        if (!positive) {
            addError("Unable to connect to POP host for authorization");
            return startSmtp();
        }
        progress(2, "Sending msg - Authenticating..");
        if (config_.pop3Security == 1) {
            enterState(State::PopStls);
            send("STLS\r\n");
            break;
        }
        sendPopUser();
        break;
    case State::PopStls:
        if (!positive) {
            MiscFuncs::WriteLog(0, "#", "POP3 server " + config_.pop3Host +
                                            " does not offer STLS, which the account asks for: no POP3 login before SMTP");
            addError("Unable to authorize POP server, server does not offer STLS");
            return popQuit();
        }
        askUpgrade(State::PopTls, ReplyReader::Mode::Pop3);
        break;
    case State::PopUser:
        if (!positive) return popNegative(false);
        enterState(State::PopPass);
        send("PASS " + config_.pop3Password + "\r\n", Secret::Argument);
        break;
    case State::PopPass:
        if (!positive) return popNegative(false);
        enterState(State::PopStat);
        send("STAT\r\n");
        break;
    case State::PopStat:
        outcome_.pop3Passed = !reply.tooLong;
        popQuit();
        break;
    default: startSmtp(); break;
    }
}

void SmtpClientSession::sendPopUser() {
    enterState(State::PopUser);
    send("USER " + config_.pop3User + "\r\n");
}

void SmtpClientSession::popNegative(bool disconnected) {
    if (disconnected) addError(kDisconnected);
    addError(state_ == State::PopUser ? "Unable to authorize POP server, server refused user"
                                      : "Unable to authorize POP server, server refused password");
    popQuit();
}

void SmtpClientSession::popQuit() {
    if (!connected_) return startSmtp();
    enterState(State::PopQuit);
    send("QUIT\r\n");
}

// ---------------------------------------------------------------- SMTP

void SmtpClientSession::startSmtp() {
    if (connected_ || inPop()) actions_.push_back({SmtpAction::Kind::Close, {}, 0});
    // The error text names the SMTP server's last words, not the POP3 server's.
    outcome_.lastCommand.clear();
    outcome_.lastReply.clear();
    enterState(State::SmtpGreeting);
    connectTo(config_.smtpHost, config_.smtpPort, ReplyReader::Mode::Smtp, config_.smtpSecurity);
}

void SmtpClientSession::handleSmtp(const ServerReply& reply) {
    if (reply.tooLong) return fail(kTooLong);
    switch (state_) {
    case State::SmtpGreeting: greeted(reply); break;
    case State::Ehlo: case State::Helo: ehloAnswered(reply); break;
    case State::StartTls:
        if (reply.code != 220) return fail("SMTP server refused STARTTLS");
        askUpgrade(State::SmtpTls, ReplyReader::Mode::Smtp);
        break;
    case State::MailFrom:
        if (reply.code != 250) return fail(kNotPositive);
        enterState(State::RcptTo);
        send("RCPT TO:<" + config_.rcptTo + ">\r\n");
        break;
    case State::RcptTo:
        if (reply.code != 250 && reply.code != 251) {
            outcome_.relayRefused = reply.code >= 500 && reply.code <= 599;
            return fail(kRefused);
        }
        enterState(State::Data);
        send("DATA\r\n");
        break;
    case State::Data:
        if (reply.code != 354) return fail(kNotPositive);
        sendData();
        break;
    case State::DataEnd:
        if (reply.code != 250) return fail(kRefused);
        outcome_.sent = true;
        enterState(State::Quit);
        send("QUIT\r\n");
        outcome_.smtpPassed = true;
        break;
    case State::Quit: finish(); break;
    default: handleAuth(reply); break;
    }
}

void SmtpClientSession::greeted(const ServerReply& reply) {
    if (reply.code != 220) return fail("SMTP server is not functioning properly");
    enterState(State::Ehlo);
    send("EHLO " + ehloName_ + "\r\n");
}

void SmtpClientSession::ehloAnswered(const ServerReply& reply) {
    if (state_ == State::Ehlo && (reply.code == 500 || reply.code == 502 || reply.code == 554)) {
        enterState(State::Helo);
        send("HELO " + ehloName_ + "\r\n");
        return;
    }
    if (reply.code != 250) return fail(kNotPositive);
    if (config_.smtpSecurity == 1 && !smtpTlsDone_) {
        // No credential and no mail before the connection is encrypted.
        const std::vector<std::string> keywords = SmtpProxyText::EhloKeywords(reply.lines);
        if (state_ != State::Ehlo || std::find(keywords.begin(), keywords.end(), "STARTTLS") == keywords.end()) {
            // The user must act on it: logged at the default level too.
            MiscFuncs::WriteLog(0, "#", "SMTP server does not offer STARTTLS, which the account asks for: " +
                                            config_.smtpHost);
            return fail("SMTP server does not offer STARTTLS, which the account asks for");
        }
        enterState(State::StartTls);
        send("STARTTLS\r\n");
        return;
    }
    if (state_ == State::Ehlo) parseEsmtp(reply);
    nextMechanism();
}

// The mechanisms of every "AUTH" line of the EHLO reply (its continuation lines
// and its last line alike).
void SmtpClientSession::parseEsmtp(const ServerReply& reply) { auth_.Offer(reply.lines); }

void SmtpClientSession::mailFrom() {
    progress(3, "Sending msg - Composing message..");
    enterState(State::MailFrom);
    send("MAIL FROM:<" + config_.mailFrom + ">\r\n");
}

void SmtpClientSession::sendData() {
    enterState(State::DataEnd);
    std::string data = SmtpText::DataBlock(config_.message);
    note("sent", "the message, " + std::to_string(data.size()) + " octets, and the final \".\"");
    outcome_.lastCommand = ".";
    actions_.push_back({SmtpAction::Kind::Send, std::move(data), 0});
}

// ---------------------------------------------------------------- the end

std::string SmtpClientSession::stateFailureLine() const {
    switch (state_) {
    case State::SmtpGreeting:
        return connected_ ? "SMTP server is not functioning properly" : "Unable to connect to SMTP server";
    case State::RcptTo: case State::DataEnd: return std::string(kRefused);
    default: return std::string(kNotPositive);
    }
}

void SmtpClientSession::fail(std::string_view line) {
    if (!line.empty()) addError(line);
    outcome_.lastError += "\r\nClient sent: " + outcome_.lastCommand + "\r\nServer replied: " + outcome_.lastReply + "\r\n";
    if (connected_) {
        note("sent", "QUIT");
        actions_.push_back({SmtpAction::Kind::Send, "QUIT\r\n", 0});
    }
    finish();
}

void SmtpClientSession::finish() {
    actions_.push_back({SmtpAction::Kind::Close, {}, 0});
    progress(4, "Sending msg - Completed");
    enterState(State::Done);
    connected_ = false;
}

// ---------------------------------------------------------------- AUTH (protocol/SmtpClientAuth.h)

void SmtpClientSession::nextMechanism() {
    if (const std::optional<std::string> command = auth_.Begin()) {
        enterState(State::AuthStart);
        return send(*command);
    }
    mailFrom();
}

void SmtpClientSession::handleAuth(const ServerReply& reply) {
    const SmtpAuthStep step = auth_.Answer(reply.code, reply.lastLineText());
    switch (step.kind) {
    case SmtpAuthStep::Kind::Send:
        switch (auth_.stage()) {
        case SmtpAuthExchange::Stage::Step1: enterState(State::AuthStep1); break;
        case SmtpAuthExchange::Stage::Step2: enterState(State::AuthStep2); break;
        case SmtpAuthExchange::Stage::Cancel: enterState(State::AuthCancel); break;
        default: break;
        }
        return send(step.bytes, step.secret ? Secret::Whole : Secret::None);
    case SmtpAuthStep::Kind::Authenticated: return mailFrom();
    case SmtpAuthStep::Kind::Refused:
        if (!step.error.empty()) addError(step.error);
        return nextMechanism();
    }
}

}  // namespace engines
