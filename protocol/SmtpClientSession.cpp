#include "protocol/SmtpClientSession.h"

#include <iterator>

#include "core/Log.h"
#include "core/MiscUtils.h"
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

const char* SmtpClientSession::phaseName(Phase phase) {
    static const char* const kNames[] = {
        "idle", "POP3 greeting", "USER", "PASS", "STAT", "POP3 QUIT", "SMTP greeting", "EHLO", "HELO",
        "AUTH", "AUTH answer", "AUTH password", "AUTH cancel", "MAIL", "RCPT", "DATA", "message", "QUIT", "done",
    };
    static_assert(std::size(kNames) == static_cast<std::size_t>(Phase::Done) + 1);
    return kNames[static_cast<int>(phase)];
}

void SmtpClientSession::enterPhase(Phase phase) {
    if (MiscFuncs::LogWanted(kTranscriptLogLevel) && phase != phase_) {
        MiscFuncs::WriteLog(kTranscriptLogLevel, "i",
                            std::string("SMTP client: ") + phaseName(phase_) + " -> " + phaseName(phase));
    }
    phase_ = phase;
}

bool SmtpClientSession::inPop() const { return phase_ >= Phase::PopGreeting && phase_ <= Phase::PopQuit; }
bool SmtpClientSession::inAuth() const { return phase_ >= Phase::AuthStart && phase_ <= Phase::AuthCancel; }

int SmtpClientSession::waitSeconds() const {
    if (phase_ == Phase::Idle || phase_ == Phase::Done) return 0;
    return phase_ == Phase::SmtpGreeting ? kGreetingSeconds : kReplySeconds;
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

void SmtpClientSession::connectTo(const std::string& host, int port, ReplyReader::Mode mode) {
    reader_.reset(mode);
    connected_ = false;
    actions_.push_back({SmtpAction::Kind::Connect, host, port});
}

std::vector<SmtpAction> SmtpClientSession::start() {
    if (phase_ != Phase::Idle) return {};
    progress(1, "Sending msg - Initialising..");
    if (!SmtpText::IsEnvelopeAddress(config_.rcptTo)) {
        // No server could ever take it: the queue counts it like a refused relay.
        outcome_.relayRefused = true;
        fail("Invalid recipient address");
    } else if (!SmtpText::IsEnvelopeAddress(config_.mailFrom)) {
        fail("Invalid sender address");
    } else if (!MiscFuncs::IsBlank(config_.pop3Host)) {
        enterPhase(Phase::PopGreeting);
        connectTo(config_.pop3Host, config_.pop3Port, ReplyReader::Mode::Pop3);
    } else {
        startSmtp();
    }
    return take();
}

std::vector<SmtpAction> SmtpClientSession::connected(std::string_view localAddress) {
    if (finished()) return {};
    connected_ = true;
    if (phase_ == Phase::SmtpGreeting) ehloName_ = SmtpText::EhloDomain(config_.hostName, localAddress);
    return take();
}

std::vector<SmtpAction> SmtpClientSession::received(std::string_view bytes) {
    if (finished()) return {};
    reader_.feed(bytes);
    while (!finished()) {
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
    if (phase_ == Phase::PopUser || phase_ == Phase::PopPass) {
        popNegative(true);
    } else if (inPop()) {
        if (phase_ == Phase::PopGreeting) addError("Unable to connect to POP host for authorization");
        startSmtp();
    } else if (phase_ == Phase::Quit) {
        finish();
    } else if (phase_ == Phase::SmtpGreeting) {
        fail("Unable to connect to SMTP server");
    } else {
        if (wasConnected) addError(kDisconnected);
        fail(inAuth() ? std::string_view() : phaseFailureLine());
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
    } else if (phase_ == Phase::Quit) {
        finish();
    } else {
        fail(line);
    }
    return take();
}

std::vector<SmtpAction> SmtpClientSession::timedOut() {
    if (finished()) return {};
    switch (phase_) {
    case Phase::PopGreeting:
        addError("Unable to connect to POP host for authorization");
        startSmtp();
        break;
    case Phase::PopUser: case Phase::PopPass: popNegative(false); break;
    case Phase::PopStat: popQuit(); break;
    case Phase::PopQuit: startSmtp(); break;
    case Phase::Quit: finish(); break;
    case Phase::AuthStart: case Phase::AuthStep1: case Phase::AuthStep2: case Phase::AuthCancel:
        nextMechanism();
        break;
    default: fail(phaseFailureLine()); break;
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
    switch (phase_) {
    case Phase::PopGreeting:
        if (!positive) {
            addError("Unable to connect to POP host for authorization");
            return startSmtp();
        }
        progress(2, "Sending msg - Authenticating..");
        enterPhase(Phase::PopUser);
        send("USER " + config_.pop3User + "\r\n");
        break;
    case Phase::PopUser:
        if (!positive) return popNegative(false);
        enterPhase(Phase::PopPass);
        send("PASS " + config_.pop3Password + "\r\n", Secret::Argument);
        break;
    case Phase::PopPass:
        if (!positive) return popNegative(false);
        enterPhase(Phase::PopStat);
        send("STAT\r\n");
        break;
    case Phase::PopStat:
        outcome_.pop3Passed = !reply.tooLong;
        popQuit();
        break;
    default: startSmtp(); break;
    }
}

void SmtpClientSession::popNegative(bool disconnected) {
    if (disconnected) addError(kDisconnected);
    addError(phase_ == Phase::PopUser ? "Unable to authorize POP server, server refused user"
                                      : "Unable to authorize POP server, server refused password");
    popQuit();
}

void SmtpClientSession::popQuit() {
    if (!connected_) return startSmtp();
    enterPhase(Phase::PopQuit);
    send("QUIT\r\n");
}

// ---------------------------------------------------------------- SMTP

void SmtpClientSession::startSmtp() {
    if (connected_ || inPop()) actions_.push_back({SmtpAction::Kind::Close, {}, 0});
    // The error text names the SMTP server's last words, not the POP3 server's.
    outcome_.lastCommand.clear();
    outcome_.lastReply.clear();
    enterPhase(Phase::SmtpGreeting);
    connectTo(config_.smtpHost, config_.smtpPort, ReplyReader::Mode::Smtp);
}

void SmtpClientSession::handleSmtp(const ServerReply& reply) {
    if (reply.tooLong) return fail(kTooLong);
    switch (phase_) {
    case Phase::SmtpGreeting: greeted(reply); break;
    case Phase::Ehlo: case Phase::Helo: ehloAnswered(reply); break;
    case Phase::MailFrom:
        if (reply.code != 250) return fail(kNotPositive);
        enterPhase(Phase::RcptTo);
        send("RCPT TO:<" + config_.rcptTo + ">\r\n");
        break;
    case Phase::RcptTo:
        if (reply.code != 250 && reply.code != 251) {
            outcome_.relayRefused = reply.code >= 500 && reply.code <= 599;
            return fail(kRefused);
        }
        enterPhase(Phase::Data);
        send("DATA\r\n");
        break;
    case Phase::Data:
        if (reply.code != 354) return fail(kNotPositive);
        sendData();
        break;
    case Phase::DataEnd:
        if (reply.code != 250) return fail(kRefused);
        outcome_.sent = true;
        enterPhase(Phase::Quit);
        send("QUIT\r\n");
        outcome_.smtpPassed = true;
        break;
    case Phase::Quit: finish(); break;
    default: handleAuth(reply); break;
    }
}

void SmtpClientSession::greeted(const ServerReply& reply) {
    if (reply.code != 220) return fail("SMTP server is not functioning properly");
    enterPhase(Phase::Ehlo);
    send("EHLO " + ehloName_ + "\r\n");
}

void SmtpClientSession::ehloAnswered(const ServerReply& reply) {
    if (phase_ == Phase::Ehlo && (reply.code == 500 || reply.code == 502 || reply.code == 554)) {
        enterPhase(Phase::Helo);
        send("HELO " + ehloName_ + "\r\n");
        return;
    }
    if (reply.code != 250) return fail(kNotPositive);
    if (phase_ == Phase::Ehlo) parseEsmtp(reply);
    nextMechanism();
}

// The mechanisms of every "AUTH" line of the EHLO reply (its continuation lines
// and its last line alike).
void SmtpClientSession::parseEsmtp(const ServerReply& reply) { auth_.Offer(reply.lines); }

void SmtpClientSession::mailFrom() {
    progress(3, "Sending msg - Composing message..");
    enterPhase(Phase::MailFrom);
    send("MAIL FROM:<" + config_.mailFrom + ">\r\n");
}

void SmtpClientSession::sendData() {
    enterPhase(Phase::DataEnd);
    std::string data = SmtpText::DataBlock(config_.message);
    note("sent", "the message, " + std::to_string(data.size()) + " octets, and the final \".\"");
    outcome_.lastCommand = ".";
    actions_.push_back({SmtpAction::Kind::Send, std::move(data), 0});
}

// ---------------------------------------------------------------- the end

std::string SmtpClientSession::phaseFailureLine() const {
    switch (phase_) {
    case Phase::SmtpGreeting:
        return connected_ ? "SMTP server is not functioning properly" : "Unable to connect to SMTP server";
    case Phase::RcptTo: case Phase::DataEnd: return std::string(kRefused);
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
    enterPhase(Phase::Done);
    connected_ = false;
}

// ---------------------------------------------------------------- AUTH (protocol/SmtpClientAuth.h)

void SmtpClientSession::nextMechanism() {
    if (const std::optional<std::string> command = auth_.Begin()) {
        enterPhase(Phase::AuthStart);
        return send(*command);
    }
    mailFrom();
}

void SmtpClientSession::handleAuth(const ServerReply& reply) {
    const SmtpAuthStep step = auth_.Answer(reply.code, reply.lastLineText());
    switch (step.kind) {
    case SmtpAuthStep::Kind::Send:
        switch (auth_.stage()) {
        case SmtpAuthExchange::Stage::Step1: enterPhase(Phase::AuthStep1); break;
        case SmtpAuthExchange::Stage::Step2: enterPhase(Phase::AuthStep2); break;
        case SmtpAuthExchange::Stage::Cancel: enterPhase(Phase::AuthCancel); break;
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
