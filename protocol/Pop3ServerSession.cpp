#include "protocol/Pop3ServerSession.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <unordered_map>

#include "core/CMessages.h"
#include "core/Digest.h"
#include "core/Log.h"
#include "core/MailAccount.h"
#include "core/MessageKey.h"
#include "core/MiscUtils.h"
#include "core/ProductInfo.h"
#include "core/ProgramFiles.h"
#include "protocol/Pop3ServerTransfer.h"

namespace {

const char* StateName(Pop3ServerSession::State state) {
    switch (state) {
        case Pop3ServerSession::State::Authorization: return "authorization";
        case Pop3ServerSession::State::Transaction: return "transaction";
        case Pop3ServerSession::State::Ended: return "ended";
    }
    return "?";
}

// Verbs whose arguments are credentials.
bool IsSecretVerb(std::string_view verb) {
    return MiscFuncs::EqualsIgnoreCase(verb, "PASS") || MiscFuncs::EqualsIgnoreCase(verb, "AUTH") ||
           MiscFuncs::EqualsIgnoreCase(verb, "APOP");
}

}  // namespace

const Pop3ServerSession::Command Pop3ServerSession::kCommands[] = {
    {"USER", true, false, &Pop3ServerSession::onUser, "-ERR already logged in", false},
    {"PASS", true, false, &Pop3ServerSession::onPass, "-ERR already logged in", false},
    {"STAT", false, true, &Pop3ServerSession::onStat, "-ERR User first", true},
    {"LIST", false, true, &Pop3ServerSession::onList, "-ERR User was not found", true},
    {"RETR", false, true, &Pop3ServerSession::onRetr, "-ERR User was not found", true},
    {"TOP", false, true, &Pop3ServerSession::onTop, "-ERR User was not found", true},
    {"DELE", false, true, &Pop3ServerSession::onDele, "-ERR User was not found", true},
    {"RSET", false, true, &Pop3ServerSession::onRset, "-ERR User first", false},
    {"NOOP", false, true, &Pop3ServerSession::onNoop, "-ERR User first", false},
    {"UIDL", false, true, &Pop3ServerSession::onUidl, "-ERR User first", false},
    {"QUIT", true, true, &Pop3ServerSession::onQuit, "", false},
};

Pop3ServerSession::Pop3ServerSession(CMessages& messages, int slot, std::string title)
    : messages_(messages), slot_(slot), title_(std::move(title)) {}

Pop3ServerSession::~Pop3ServerSession() = default;

std::string Pop3ServerSession::DefaultTitle() { return TitleFor(ProductInfo::VersionText()); }

std::string Pop3ServerSession::TitleFor(std::string_view version) {
    return std::string(ProgramFiles::kExecutableName) + " POP3 Server Ver." + std::string(version);
}

bool Pop3ServerSession::Open(std::string_view remoteAddress, std::string_view localAddress) {
    const std::string remote(MiscFuncs::TrimBlanks(remoteAddress));
    const std::string where = std::string(remote) + " on socket " + std::to_string(slot_);
    if (!remote.empty() && remote == MiscFuncs::TrimBlanks(localAddress)) {
        reply("+OK " + title_ + " Ready");
        MiscFuncs::WriteLog(2, "i", "POP3 server accepted connection from " + where);
        return true;
    }
    MiscFuncs::WriteLog(2, "i", "POP3 server denied connection from " + where);
    reply("-ERR " + title_ + " can not be accessed from the network");
    end();
    return false;
}

std::size_t Pop3ServerSession::InputRoom() const {
    if (Ended()) return 0;
    const std::size_t pending = input_.size();
    return pending < kMaxPendingInput ? kMaxPendingInput - pending : 0;
}

void Pop3ServerSession::Receive(std::string_view bytes) {
    while (!bytes.empty() && !Ended()) {
        const std::size_t room = InputRoom();
        if (room == 0) {
            // The carrier gives no more than InputRoom; a client that still gets
            // here has outrun every bound.
            MiscFuncs::WriteLog(1, "#", "POP3Server Error! Too much input on socket #" + std::to_string(slot_));
            end();
            return;
        }
        const std::size_t take = std::min(room, bytes.size());
        input_.append(bytes.substr(0, take));
        bytes.remove_prefix(take);
        handleLines();
    }
}

void Pop3ServerSession::ContinueSending() {
    if (pendingLogin_ != Login::None) answerLogin();
    else if (transfer_) producePiece();
    if (!transfer_ && pendingLogin_ == Login::None && !Ended()) handleLines();
}

std::string Pop3ServerSession::TakeOutput() {
    std::string taken;
    taken.swap(output_);
    return taken;
}

void Pop3ServerSession::TimeOut() {
    if (Ended()) return;
    MiscFuncs::WriteLog(1, "#", "POP3Server Error! Session timed out on socket #" + std::to_string(slot_));
    // Inside a message a reply line would only pass for message text.
    if (!transfer_) reply("-ERR POP3 server session timed out");
    end();
}

void Pop3ServerSession::Drop() { end(); }

void Pop3ServerSession::handleLines() {
    held_ = false;
    while (!Ended() && !transfer_ && pendingLogin_ == Login::None) {
        if (output_.size() >= kPieceBytes) {
            held_ = true;  // the carrier drains the output first
            break;
        }
        std::string_view line;
        const engines::LineReader::Result result = input_.next(line);
        if (result == engines::LineReader::Result::NeedMore) break;
        if (result == engines::LineReader::Result::TooLong) {
            lineTooLong();
            break;
        }
        handleLine(std::string(engines::WithoutLineEnd(line)));
    }
    if (Ended()) input_.clear();
}

void Pop3ServerSession::handleLine(std::string_view line) {
    const std::size_t space = line.find(' ');
    const std::string_view verb = line.substr(0, space);
    const std::string_view argument = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
    lastClientPacket_ = IsSecretVerb(verb) ? std::string(verb) + " ****" : std::string(line);
    lineWasBad_ = false;
    dispatch(verb, argument);
    // Only bad commands in a row end the session.
    if (!lineWasBad_) badCommands_ = 0;
}

void Pop3ServerSession::dispatch(std::string_view verb, std::string_view argument) {
    for (const Command& command : kCommands) {
        if (!MiscFuncs::EqualsIgnoreCase(verb, command.verb)) continue;
        const bool allowed = state_ == State::Transaction ? command.inTransaction : command.inAuthorization;
        if (allowed) (this->*command.handler)(argument);
        else outOfState(command);
        return;
    }
    MiscFuncs::WriteLog(1, "#", "POP3Server error! Account:\r\n" + lastClientPacket_);
    reply("-ERR", "-ERR Unknown command");
    badCommand();
}

void Pop3ServerSession::outOfState(const Command& command) {
    if (command.verb == "STAT")
        MiscFuncs::WriteLog(1, "#", "POP3Server error! STAT command before authentication");
    reply(command.outOfStateReply);
    if (command.endsOutOfState) end();
    else badCommand();
}

void Pop3ServerSession::lineTooLong() {
    MiscFuncs::WriteLog(1, "#", "POP3Server Error! Command line too long on socket #" + std::to_string(slot_));
    reply("-ERR line too long");
    end();
}

void Pop3ServerSession::badCommand() {
    lineWasBad_ = true;
    if (++badCommands_ < kMaxBadCommands) return;
    MiscFuncs::WriteLog(1, "#", "POP3Server Error! Too many bad commands on socket #" + std::to_string(slot_));
    end();
}

void Pop3ServerSession::enterState(State state) {
    if (state == state_) return;
    if (MiscFuncs::LogWanted(kStateLogLevel))
        MiscFuncs::WriteLog(kStateLogLevel, "i", "POP3Server socket #" + std::to_string(slot_) + " state " +
                                                      StateName(state_) + " -> " + StateName(state));
    state_ = state;
}

void Pop3ServerSession::end() {
    enterState(State::Ended);
    transfer_.reset();
    held_ = false;
    pendingLogin_ = Login::None;
}

void Pop3ServerSession::reply(std::string_view text) { reply(text, text); }

void Pop3ServerSession::reply(std::string_view text, std::string_view record) {
    output_.append(text).append("\r\n");
    lastServerPacket_.assign(record).append("\r\n");
}

// ---------------------------------------------------------------- authorization

void Pop3ServerSession::onUser(std::string_view argument) {
    const std::string name(MiscFuncs::TrimBlanks(argument));
    const std::optional<std::string> found =
        Accounts::FindAccountSection(Accounts::ProgramAccounts(), name);
    if (!found) {
        reply("-ERR " + name + " is not a user here.");
        MiscFuncs::WriteLog(1, "#", "POP3Server Error! Unknown account " + std::string(name));
        MiscFuncs::WriteLog(1, "i", "USER cmd");
        end();
        return;
    }
    account_ = *found;
    reply("+OK " + name + " is welcome here");
    MiscFuncs::WriteLog(1, "i", "USER cmd");
}

void Pop3ServerSession::onPass(std::string_view argument) {
    MiscFuncs::WriteLog(1, "i", "PASS cmd");
    if (account_.empty()) {
        reply("-ERR User first");
        badCommand();
        return;
    }
    if (!Accounts::POP3PasswordMatches(Accounts::ProgramAccounts(), account_, MiscFuncs::TrimBlanks(argument))) {
        MiscFuncs::WriteLog(1, "#", "POP3 Server Error! Incorrect password for " + account_);
        pendingLogin_ = Login::Failed;
        lineWasBad_ = true;  // counted when it is answered
        return;
    }
    pendingLogin_ = Login::Passed;
}

void Pop3ServerSession::answerLogin() {
    const Login login = pendingLogin_;
    pendingLogin_ = Login::None;
    if (login == Login::Failed) {
        reply("-ERR invalid usercode or password, please try again");
        if (++loginFailures_ < kMaxLoginFailures) return badCommand();
        MiscFuncs::WriteLog(1, "#", "POP3Server Error! Too many failed logins on socket #" + std::to_string(slot_));
        return end();
    }
    MiscFuncs::WriteLog(1, "i", "Servicing " + account_ + " on socket #" + std::to_string(slot_));
    loadMailbox();
    enterState(State::Transaction);
    reply("+OK " + std::to_string(liveCount_) + " " + std::to_string(liveOctets_));
}

// The maildrop is fixed here, once: RFC 1939 4 has the server lock it at login.
void Pop3ServerSession::loadMailbox() {
    mailbox_.clear();
    uids_.clear();
    for (const auto& item : messages_.MessageIndex()) {
        MessageKeys::KeyParts parts;
        if (!MessageKeys::SplitKey(item.Key(), parts)) continue;
        if (!MiscFuncs::EqualsIgnoreCase(parts.account, account_)) continue;
        if (MessageKeys::CanonicalFolder(parts.folder) != MessageKeys::kInBox) continue;
        std::error_code error;
        std::filesystem::path path = MessageKeys::PathOfKey(item.Key());
        const std::uintmax_t size = std::filesystem::file_size(path, error);
        if (error) continue;  // listed but gone: nothing a client could retrieve
        mailbox_.push_back({std::string(item.Key()), std::move(path), size, false});
    }
    recount();
}

// A message's unique-id is the MD5 digest of its stored bytes: the collector writes a
// file once and nothing changes it afterwards, so the id stays the same across
// sessions, restarts and moves between folders (which may rename the file), and a
// new message never gets the id of one deleted before, even under its old name. The
// digests are kept per file (path, size, time stamps, inode), so a file is read once
// per run of the program. Two files of the same bytes in one mailbox (a message
// collected twice) are told apart by a suffix, as RFC 1939 wants ids unique there.
std::string Pop3ServerSession::uniqueIdOf(std::size_t index) {
    if (uids_.empty()) {
        uids_.resize(mailbox_.size());
        std::unordered_map<std::string, int> seen;
        for (std::size_t i = 0; i < mailbox_.size(); ++i) {
            std::string id = Pop3ServerSession::FileDigest(mailbox_[i].path);
            const int n = ++seen[id];
            if (n > 1) id += "-" + std::to_string(n);
            uids_[i] = std::move(id);
        }
    }
    return uids_[index];
}

std::string Pop3ServerSession::FileDigest(const std::filesystem::path& path) {
    struct Known {
        std::uint64_t size = 0, inode = 0;
        std::int64_t stampNs = 0, changeNs = 0;
        std::string digest;
    };
    static std::unordered_map<std::string, Known> known;
    constexpr std::size_t kMaxKnown = 200000;
    struct stat info {};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        if (fd >= 0) ::close(fd);
        // Gone under the session: an id no file can have (digests are hex).
        return "gone-" + MiscFuncs::MD5Hex(path.string());
    }
    const auto ns = [](const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; };
    const std::int64_t stampNs = ns(info.st_mtim), changeNs = ns(info.st_ctim);
    auto it = known.find(path.string());
    if (it != known.end() && it->second.size == static_cast<std::uint64_t>(info.st_size) &&
        it->second.inode == info.st_ino && it->second.stampNs == stampNs &&
        it->second.changeNs == changeNs) {
        ::close(fd);
        return it->second.digest;
    }
    MiscFuncs::MD5Context context;
    MiscFuncs::MD5Init(context);
    std::string buffer(kPieceBytes, '\0');
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        MiscFuncs::MD5Update(context, std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
    ::close(fd);
    std::string digest = MiscFuncs::MD5DigestHex(MiscFuncs::MD5Final(context), false);
    if (known.size() >= kMaxKnown) known.clear();
    known[path.string()] = {static_cast<std::uint64_t>(info.st_size), info.st_ino, stampNs, changeNs, digest};
    return digest;
}

void Pop3ServerSession::recount() {
    liveCount_ = 0;
    liveOctets_ = 0;
    for (const Message& message : mailbox_) {
        if (message.marked) continue;
        ++liveCount_;
        liveOctets_ += message.size;
    }
}

// ---------------------------------------------------------------- transaction and update

void Pop3ServerSession::onStat(std::string_view) {
    if (liveCount_ == 0) reply("+OK 0 0 ");
    else reply(statusCounts());
    MiscFuncs::WriteLog(1, "i", "STAT cmd");
}

std::string Pop3ServerSession::statusCounts() const {
    return "+OK " + std::to_string(liveCount_) + " " + std::to_string(liveOctets_);
}

void Pop3ServerSession::onDele(std::string_view argument) {
    Message* message = findMessage(argument);
    if (message == nullptr) return;
    message->marked = true;
    --liveCount_;
    liveOctets_ -= message->size;
    const std::size_t number = static_cast<std::size_t>(message - mailbox_.data()) + 1;
    reply("+OK message " + std::to_string(number) + " deleted");
}

void Pop3ServerSession::onRset(std::string_view) {
    for (Message& message : mailbox_) message.marked = false;
    recount();
    reply("+OK maildrop has " + std::to_string(liveCount_) + " messages (" + std::to_string(liveOctets_) +
          " octets)");
}

void Pop3ServerSession::onNoop(std::string_view) { reply("+OK"); }

void Pop3ServerSession::onQuit(std::string_view) {
    const bool update = state_ == State::Transaction;
    const std::size_t failed = update ? applyDeletions() : 0;
    MiscFuncs::WriteLog(1, "i", "User " + account_ + " logged off");
    reply(failed == 0 ? "+OK POP3 server signing off (maildrop empty)" : "-ERR some deleted messages not removed");
    end();
}

// RFC 1939 6: the UPDATE state. Returns how many marked messages stayed.
std::size_t Pop3ServerSession::applyDeletions() {
    std::size_t failed = 0;
    for (const Message& message : mailbox_) {
        if (!message.marked) continue;
        if (messages_.RemoveMessage(message.key)) ++removed_;
        else ++failed;
    }
    return failed;
}
