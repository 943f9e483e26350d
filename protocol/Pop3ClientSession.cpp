#include "protocol/Pop3ClientSession.h"


#include "core/Log.h"
#include "core/Numbers.h"

namespace engines {
namespace {

constexpr std::string_view kEol = "\r\n";

const char* stateName(Pop3ClientState state) {
    switch (state) {
        case Pop3ClientState::Greeting: return "greeting";
        case Pop3ClientState::UserSent: return "USER";
        case Pop3ClientState::PassSent: return "PASS";
        case Pop3ClientState::StatSent: return "STAT";
        case Pop3ClientState::TopSent: return "TOP";
        case Pop3ClientState::RetrSent: return "RETR";
        case Pop3ClientState::DeleSent: return "DELE";
        case Pop3ClientState::QuitSent: return "QUIT";
        case Pop3ClientState::Ended: return "ended";
        case Pop3ClientState::StlsSent: return "STLS";
        case Pop3ClientState::TlsHandshake: return "TLS handshake";
    }
    return "?";
}

// A command argument from the settings: a line break in it would start a command of
// its own.
std::string argument(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != '\r' && c != '\n' && c != '\0') out += c;
    return out;
}

// The message count of a STAT reply: the digits from its fifth character on.
bool statCount(std::string_view status, int& count) {
    if (status.size() < 5) return false;
    std::string_view digits = status.substr(4);
    digits = digits.substr(0, digits.find(' '));
    const auto value = MiscFuncs::DigitsNumber(digits);
    if (!value) return false;
    count = *value > Pop3ClientSession::kMaxMessagesPerSession ? Pop3ClientSession::kMaxMessagesPerSession
                                                                : static_cast<int>(*value);
    return true;
}

}  // namespace

Pop3ClientSession::Pop3ClientSession(Pop3SessionConfig config, Pop3SessionHandler& handler)
    : config_(std::move(config)), handler_(handler) {
    // A status line's cap counts its CR, not its LF; replies come one at a time.
    reader_.reset(ReplyReader::Mode::Pop3, {kMaxStatusLine + 1, 0, 0});
}

std::vector<Pop3Action> Pop3ClientSession::take() {
    std::vector<Pop3Action> out;
    out.swap(actions_);
    return out;
}

void Pop3ClientSession::enterState(Pop3ClientState state) {
    if (MiscFuncs::LogWanted(kTranscriptLogLevel))
        MiscFuncs::WriteLog(kTranscriptLogLevel, "i",
                            "POP3 " + config_.account + " state " + stateName(state_) + " -> " + stateName(state));
    state_ = state;
}

void Pop3ClientSession::note(std::string_view direction, std::string_view text) const {
    if (!MiscFuncs::LogWanted(kTranscriptLogLevel)) return;
    MiscFuncs::WriteLog(kTranscriptLogLevel, "i",
                        "POP3 " + config_.account + " " + std::string(direction) + " " + std::string(text));
}

void Pop3ClientSession::send(std::string_view command, Pop3ClientState next, bool secret) {
    // An owner's callback that let events run may have ended the session meanwhile.
    if (ended()) return;
    note(">", secret ? std::string(command.substr(0, command.find(' '))) + " ********" : std::string(command));
    actions_.push_back({Pop3Action::Kind::Send, std::string(command) + std::string(kEol)});
    if (next == Pop3ClientState::TopSent) reader_.expectData(kMaxHeaderData, kMaxHeaderLine);
    else if (next == Pop3ClientState::RetrSent) reader_.expectData(kMaxMessageData);
    enterState(next);
}

void Pop3ClientSession::progressText(std::string_view text) {
    handler_.progress({Pop3Progress::Kind::Text, std::string(text), 0});
}

std::vector<Pop3Action> Pop3ClientSession::connected() { return take(); }

std::vector<Pop3Action> Pop3ClientSession::received(std::string_view bytes) {
    if (ended()) return {};
    // Nothing the server says between its +OK to STLS and the end of the handshake
    // counts (RFC 2595 section 4; the command-injection faults of RFC 3207 4.2).
    if (state_ == Pop3ClientState::TlsHandshake) return {};
    reader_.feed(bytes);
    for (;;) {
        if (state_ == Pop3ClientState::TlsHandshake) break;
        std::optional<ServerReply> reply = reader_.next();
        if (!reply) break;
        if (reply->tooLong) {
            fail(Pop3End::TooLong, "Error in POP3Client::DataArrival() the server's reply passes its size limit",
                 "the server's reply passes its size limit");
            break;
        }
        handle(std::move(*reply));
        if (ended()) break;
    }
    return take();
}

std::vector<Pop3Action> Pop3ClientSession::closed() {
    if (!ended()) {
        if (state_ != Pop3ClientState::QuitSent) {
            MiscFuncs::WriteLog(2, "i", "POP3 Collector connection closed by the server for " + config_.account);
            outcome_.failure = "the server closed the connection";
        }
        finish(state_ == Pop3ClientState::QuitSent ? Pop3End::Quit : Pop3End::ServerClosed);
    }
    return take();
}

std::vector<Pop3Action> Pop3ClientSession::socketError(int number, std::string_view description) {
    if (!ended())
        fail(Pop3End::SocketError, "Winsock Error: #" + std::to_string(number) + "\t" + std::string(description),
             "the server could not be reached: " + MiscFuncs::OneLineText(description, kMaxFailureText), true);
    return take();
}

std::vector<Pop3Action> Pop3ClientSession::timedOut(std::string_view why) {
    if (!ended())
        fail(Pop3End::TimedOut, "POP3 Error! User " + config_.account + ":" + std::string(why),
             "the server stopped answering (" + MiscFuncs::OneLineText(why, kMaxFailureText) + ")");
    return take();
}

std::vector<Pop3Action> Pop3ClientSession::tlsStarted() {
    if (state_ != Pop3ClientState::TlsHandshake) return {};
    MiscFuncs::WriteLog(2, "i", "POP3 Collector TLS started for " + config_.account);
    sendUser();
    return take();
}

std::vector<Pop3Action> Pop3ClientSession::tlsFailed(std::string_view why) {
    if (!ended())
        fail(Pop3End::TlsFailed, "POP3 Error! User " + config_.account + ": " + std::string(why),
             MiscFuncs::OneLineText(why, kMaxFailureText), true);
    return take();
}

void Pop3ClientSession::sendUser() {
    send("USER " + argument(config_.user), Pop3ClientState::UserSent);
    progressText("Sending USER command..");
}

void Pop3ClientSession::handle(ServerReply reply) {
    note("<", reply.status());
    const bool dataState = state_ == Pop3ClientState::TopSent || state_ == Pop3ClientState::RetrSent;
    if (state_ == Pop3ClientState::StlsSent && !reply.positive) {
        // The user must act on it: logged at the default level.
        MiscFuncs::WriteLog(0, "#", "POP3 Error! User " + config_.account +
                                        ": the server does not offer STLS, which the account asks for:" +
                                        std::string(reply.status()));
        return fail(Pop3End::Negative, "",
                    "the server does not offer STLS, which the account asks for: " +
                        MiscFuncs::OneLineText(reply.status(), kMaxFailureText),
                    true);
    }
    // A refused DELE is the one negative reply the session survives outside the data.
    if (!reply.positive && !dataState && state_ != Pop3ClientState::DeleSent) return negative(reply);
    switch (state_) {
        case Pop3ClientState::Greeting:
            if (config_.startTls) {
                send("STLS", Pop3ClientState::StlsSent);
                return progressText("Sending STLS command..");
            }
            return sendUser();
        case Pop3ClientState::StlsSent:
            // The plain stream ends here: what the reader holds beyond the +OK goes.
            reader_.reset(ReplyReader::Mode::Pop3, {kMaxStatusLine + 1, 0, 0});
            enterState(Pop3ClientState::TlsHandshake);
            actions_.push_back({Pop3Action::Kind::StartTls, {}});
            return;
        case Pop3ClientState::TlsHandshake: return;
        case Pop3ClientState::UserSent:
            send("PASS " + argument(config_.password), Pop3ClientState::PassSent, true);
            return progressText("Sending PASS command..");
        case Pop3ClientState::PassSent:
            send("STAT", Pop3ClientState::StatSent);
            return progressText("Sending STAT command..");
        case Pop3ClientState::StatSent: return statAnswered(reply);
        case Pop3ClientState::TopSent: return topAnswered(std::move(reply));
        case Pop3ClientState::RetrSent: return retrAnswered(std::move(reply));
        case Pop3ClientState::DeleSent: return deleAnswered(reply);
        case Pop3ClientState::QuitSent: return finish(Pop3End::Quit);
        case Pop3ClientState::Ended: return;
    }
}

void Pop3ClientSession::statAnswered(const ServerReply& reply) {
    if (!statCount(reply.status(), count_))
        return fail(Pop3End::Failed, "Error in POP3Client::DataArrival() unreadable STAT reply: " + std::string(reply.status()),
                    "unreadable STAT reply: " + MiscFuncs::OneLineText(reply.status(), kMaxFailureText));
    if (count_ < 1) return quit();
    handler_.progress({Pop3Progress::Kind::Maximum, {}, count_});
    decisions_.reserve(static_cast<std::size_t>(count_));
    current_ = 1;
    sendTop();
}

void Pop3ClientSession::sendTop() { send("TOP " + std::to_string(current_) + " 0", Pop3ClientState::TopSent); }

void Pop3ClientSession::topAnswered(ServerReply reply) {
    if (reply.positive) {
        decisions_.push_back(handler_.classify(current_, std::move(reply.data)));
    } else {
        refused(reply);
        decisions_.push_back({FilterVerdict::LeaveOnServer, "The server refused its headers"});
    }
    if (current_ < count_) {
        ++current_;
        sendTop();
        progressText("Sending TOP " + std::to_string(current_) + " command..");
        handler_.progress({Pop3Progress::Kind::HeaderCounted, {}, current_});
        return;
    }
    requestFrom(1);
}

void Pop3ClientSession::requestFrom(int number) {
    for (current_ = number; current_ <= count_; ++current_) {
        switch (decisions_[static_cast<std::size_t>(current_ - 1)].verdict) {
            case FilterVerdict::LeaveOnServer: continue;
            case FilterVerdict::DeleteFromServer:
                return send("DELE " + std::to_string(current_), Pop3ClientState::DeleSent);
            default: return send("RETR " + std::to_string(current_), Pop3ClientState::RetrSent);
        }
    }
    current_ = count_;
    quit();
}

void Pop3ClientSession::retrAnswered(ServerReply reply) {
    if (!reply.positive) {
        refused(reply);
        return requestFrom(current_ + 1);
    }
    handler_.progress({Pop3Progress::Kind::MessageCounted, {}, current_});
    handler_.checkpoint("after-retr");
    const Classified& decision = decisions_[static_cast<std::size_t>(current_ - 1)];
    if (!handler_.store(current_, decision, std::move(reply.data))) {
        MiscFuncs::WriteLog(1, "#", "POP3 Collector left message " + std::to_string(current_) + " of " +
                                        config_.account + " on the server: it could not be stored");
        return requestFrom(current_ + 1);
    }
    handler_.checkpoint("after-save");
    send("DELE " + std::to_string(current_), Pop3ClientState::DeleSent);
    progressText("Sending DELE command..");
}

void Pop3ClientSession::deleAnswered(const ServerReply& reply) {
    if (reply.positive) handler_.checkpoint("after-dele");
    else refused(reply);
    if (current_ >= count_) return quit();
    requestFrom(current_ + 1);
}

void Pop3ClientSession::refused(const ServerReply& reply) {
    MiscFuncs::WriteLog(1, "#", "POP3 Error! User " + config_.account + ":" + std::string(reply.status()));
}

void Pop3ClientSession::quit() {
    if (!handler_.commit())
        return fail(Pop3End::Failed,
                    "Error in POP3Client::DataArrival() the stored messages could not be written to disk",
                    "the collected messages could not be written to disk");
    handler_.checkpoint("before-quit");
    send("QUIT", Pop3ClientState::QuitSent);
    outcome_.quitSent = true;
    progressText("Sending QUIT command..");
}

void Pop3ClientSession::negative(const ServerReply& reply) {
    fail(Pop3End::Negative, "POP3 Error! User " + config_.account + ":" + std::string(reply.status()),
         "the server refused: " + MiscFuncs::OneLineText(reply.status(), kMaxFailureText));
}

void Pop3ClientSession::fail(Pop3End end, std::string line, std::string failure, bool first) {
    outcome_.errorLine = std::move(line);
    outcome_.failure = std::move(failure);
    outcome_.errorFirst = first;
    finish(end);
}

void Pop3ClientSession::finish(Pop3End end) {
    if (ended()) return;
    if (end == Pop3End::Quit) handler_.checkpoint("after-quit");
    outcome_.end = end;
    enterState(Pop3ClientState::Ended);
    actions_.push_back({Pop3Action::Kind::End, {}});
}

}  // namespace engines
