#include "engines/SMTPSpooler.h"

#include <exception>
#include <system_error>
#include <vector>

#include "core/Address.h"
#include "core/CIniFile.h"
#include "core/Log.h"
#include "core/MailAccount.h"
#include "core/MiscUtils.h"
#include "core/ProgramSettings.h"
#include "core/Prompt.h"
#include "engines/CEsmtp.h"
#include "engines/OutBoxMessage.h"
#include "platform/AliveGuard.h"
#include "platform/WindowHelpers.h"

namespace fs = std::filesystem;

namespace {

// The accounts of accounts.ini in file order, up to the first blank section name.
std::vector<std::string> accountNames() {
    return Accounts::AccountNames(Accounts::ProgramAccounts());
}

// One sending as the main window and the pointer see it. The hooks are copies: the
// spooler may be gone when the sending ends.
class SendingSession {
public:
    explicit SendingSession(const SMTPSpooler::Hooks& hooks) : ended_(hooks.sessionEnded) {
        if (hooks.sessionStarted) hooks.sessionStarted();
        MiscFuncs::BeginBusy();
    }
    ~SendingSession() {
        try {
            if (ended_) ended_();
        } catch (const std::exception& e) {
            MiscFuncs::WriteLog(0, "#", std::string("Error in SMTPSpoller::PollTimer_Timer ") + e.what());
        }
        MiscFuncs::EndBusy();
    }
    SendingSession(const SendingSession&) = delete;
    SendingSession& operator=(const SendingSession&) = delete;

private:
    std::function<void()> ended_;
};

}  // namespace

SMTPSpooler::SMTPSpooler(Hooks hooks, QObject* parent) : QObject(parent), hooks_(std::move(hooks)) {
    PollTimer_.setTag(kIdleTag);
    PollTimer_.setInterval(kFirstRunMs);
    PollTimer_.setEnabled(true);
    connect(&PollTimer_, &platform::TimerControl::timer, this, &SMTPSpooler::PollTimer_Timer);
}

SMTPSpooler::~SMTPSpooler() { PollTimer_.setEnabled(false); }

bool SMTPSpooler::AddNewMessage(MessageType type, std::string_view account, std::string_view recipient,
                                std::string_view subject) {
    std::string error;
    if (OutBox::Queue(type, account, recipient, subject, &error).empty()) {
        // In the log too, whatever LogLevel says: the box may be gone before it is read.
        MiscFuncs::WriteLog(0, "#", "Error in SMTPSpoller::AddNewMessage the mail of " + std::string(account) + " to " +
                                        std::string(recipient) + " could not be queued: " + error);
        Prompt::Ask("Error in SMTPSpoller::AddNewMessage \r\n" + error, {}, Prompt::Buttons::OK);
        return false;
    }
    // During a run the run's own re-arm picks the new file up.
    if (!running()) {
        PollTimer_.setInterval(kQueuedMs);
        PollTimer_.setEnabled(true);
    }
    return true;
}

void SMTPSpooler::PollTimer_Timer() {
    if (running()) return;
    PollTimer_.setEnabled(false);
    PollTimer_.setTag(kRunningTag);
    const platform::AliveGuard alive(this);
    int next = kIdleMs;
    try {
        next = runOnce();
    } catch (const std::exception& e) {
        MiscFuncs::WriteLog(0, "#", std::string("Error in SMTPSpoller::PollTimer_Timer ") + e.what());
        next = kIdleMs;
    }
    if (!alive || next == kGone) return;
    rearm(next);
}

int SMTPSpooler::runOnce() {
    const platform::AliveGuard alive(this);
    const std::optional<Pick> pick = findMail();
    // Listing a large folder lets events run.
    if (!alive) return kGone;
    if (!pick) {
        resumeAfter_.clear();
        return kIdleMs;
    }
    return send(*pick);
}

std::optional<SMTPSpooler::Pick> SMTPSpooler::findMail() {
    const std::vector<std::string> names = accountNames();
    std::size_t start = 0;
    for (std::size_t i = 0; i < names.size() && !resumeAfter_.empty(); ++i) {
        if (names[i] == resumeAfter_) start = i + 1;
    }
    const platform::AliveGuard alive(this);
    for (std::size_t n = 0; n < names.size(); ++n) {
        std::optional<Pick> pick = pickFrom(names[(start + n) % names.size()]);
        if (!alive || pick) return pick;
    }
    return std::nullopt;
}

std::optional<SMTPSpooler::Pick> SMTPSpooler::pickFrom(const std::string& account) {
    const fs::path folder = OutBox::FolderOf(account);
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec)) return std::nullopt;
    MiscFuncs::DirList list;
    std::string name = MiscFuncs::SafeDir(list, (folder / ("*" + std::string(OutBox::kQueuedExtension))).string());
    std::optional<Pick> pick;
    for (; !name.empty(); name = MiscFuncs::SafeDir(list, "")) {
        const fs::path file = folder / name;
        if (!OutBox::IsQueuedName(name) || skipSent(file)) continue;
        if (pick) {
            pick->more = true;
            break;
        }
        pick = Pick{account, file, false};
    }
    return pick;
}

// A sent file that stayed behind is tried for deletion again; while it stays it is
// never handed out.
bool SMTPSpooler::skipSent(const fs::path& file) {
    const auto kept = sentKept_.find(file.string());
    if (kept == sentKept_.end()) return false;
    std::error_code ec;
    fs::remove(file, ec);
    if (fs::exists(file, ec)) return true;
    sentKept_.erase(kept);
    return true;
}

int SMTPSpooler::send(const Pick& pick) {
    CIniFile file(pick.file.string());
    const OutBox::Contents mail = OutBox::Read(file);
    const platform::AliveGuard alive(this);
    bool sent = false;
    bool refused = false;
    std::string why;
    {
        const SendingSession session(hooks_);
        CEsmtp smtp;
        // The hook may let events run as well.
        if (!alive) return kGone;
        sent = smtp.SendMessage(mail.type, pick.account, mail.recipient, mail.subject, SMTPSocket);
        refused = smtp.RelayRefused;
        why = smtp.LastError;
    }
    if (!alive) return kGone;
    if (sent) {
        MiscFuncs::WriteLog(2, "i", "Registration request sent to " + mail.recipient);
        afterSent(pick.file);
        resumeAfter_.clear();
        return pick.more ? kMoreQueuedMs : kIdleMs;
    }
    MiscFuncs::WriteLog(1, "#", "Failed to send registration request to " + mail.recipient);
    // Whatever LogLevel asks for: the user has to act on it (the account's SMTP settings).
    MiscFuncs::WriteLog(0, "#", "Sending the mail of " + pick.account + " to " + mail.recipient + " failed: " +
                                    (why.empty() ? std::string("the server did not take it") : why));
    resumeAfter_ = pick.account;
    if (!refused) return kIdleMs;
    countRefusal(pick, file, mail.recipient, mail.badRelayAttempts);
    return pick.more ? kMoreQueuedMs : kIdleMs;
}

void SMTPSpooler::afterSent(const fs::path& file) {
    std::error_code ec;
    if (fs::remove(file, ec) || !fs::exists(file, ec)) return;
    MiscFuncs::WriteLog(1, "#", "Failed to delete file " + file.string());
    std::string error;
    const fs::path parked = OutBox::Park(file, &error);
    if (!parked.empty()) {
        MiscFuncs::WriteLog(1, "#", "Sent mail kept as " + parked.string());
        return;
    }
    sentKept_.insert(file.string());
    MiscFuncs::WriteLog(1, "#", "Sent mail " + file.string() + " is kept out of the queue: " + error);
}

void SMTPSpooler::countRefusal(const Pick& pick, CIniFile& file, const std::string& recipient, int stored) {
    // Removed meanwhile (the user or the sender list): writing would make a new file.
    std::error_code ec;
    if (!fs::exists(pick.file, ec)) return;
    const int attempts = stored + 1;
    file.Value(OutBox::kSection, OutBox::kBadRelayAttemptsKey, attempts);
    const ProgramSettings settings;
    if (attempts < settings.MaxRelayingDeniedAttempts()) return;
    std::string error;
    const fs::path parked = OutBox::Park(pick.file, &error);
    if (parked.empty()) {
        MiscFuncs::WriteLog(1, "#", "Failed to park file " + pick.file.string() + ": " + error);
        return;
    }
    std::string name;
    const std::string address = MiscFuncs::ParseAddress(recipient, name);
    if (hooks_.unsentRegRequestFile) hooks_.unsentRegRequestFile(address, parked.string());
}

void SMTPSpooler::rearm(int intervalMs) {
    PollTimer_.setInterval(intervalMs);
    PollTimer_.setTag(kIdleTag);
    PollTimer_.setEnabled(true);
}
