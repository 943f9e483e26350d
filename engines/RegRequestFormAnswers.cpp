// RegRequestForm: finding the requests and applying the answers.
#include <QCheckBox>

#include <algorithm>
#include <limits>
#include <system_error>

#include "core/CSenders.h"
#include "core/Log.h"
#include "core/MiscUtils.h"
#include "protocol/RegReplyFile.h"
#include "engines/RegRequestForm.h"
#include "platform/AliveGuard.h"

namespace fs = std::filesystem;

namespace {

// Marks the form as busy with an answer for the scope; the form may be gone at its
// end (an answer lets events run).
class AnswerScope {
public:
    AnswerScope(QObject* form, bool& flag) : alive_(form), flag_(flag) { flag_ = true; }
    ~AnswerScope() {
        if (alive_) flag_ = false;
    }
    AnswerScope(const AnswerScope&) = delete;
    AnswerScope& operator=(const AnswerScope&) = delete;
    bool alive() const { return alive_.alive(); }

private:
    platform::AliveGuard alive_;
    bool& flag_;
};

bool isGone(const fs::path& file) {
    std::error_code ec;
    return fs::symlink_status(file, ec).type() == fs::file_type::not_found;
}

}  // namespace

void RegRequestForm::PollTimer_Timer() {
    if (isVisible() || answering_) return;
    const platform::AliveGuard alive(this);
    std::optional<Request> found = findRequest();
    if (!alive || !found) return;
    request_ = std::move(*found);
    ProcessRequest();
}

std::optional<RegRequestForm::Request> RegRequestForm::findRequest() {
    forgetVanished();
    const platform::AliveGuard alive(this);
    for (const std::string& account : accountNames()) {
        std::optional<Request> found = takeFrom(account);
        if (!alive) return std::nullopt;
        if (found) return found;
    }
    return std::nullopt;
}

// The first request of the account's InBox that is to be asked about.
std::optional<RegRequestForm::Request> RegRequestForm::takeFrom(const std::string& account) {
    const fs::path folder = RegReplyFile::FolderOf(account);
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec)) return std::nullopt;
    const platform::AliveGuard alive(this);
    MiscFuncs::DirList list;
    std::string name = MiscFuncs::SafeDir(list, (folder / ("*" + std::string(RegReplyFile::kExtension))).string());
    // Listing a large folder lets events run.
    if (!alive) return std::nullopt;
    for (; !name.empty(); name = MiscFuncs::SafeDir(list, "")) {
        if (!RegReplyFile::IsReplyFileName(name)) continue;
        std::optional<Request> found = consider(account, folder / name);
        if (found) return found;
    }
    return std::nullopt;
}

// The file's request, unless it is damaged, was answered already, or its sender is
// waiting for approval.
std::optional<RegRequestForm::Request> RegRequestForm::consider(const std::string& account, const fs::path& file) {
    std::error_code ec;
    const fs::file_time_type stamp = fs::last_write_time(file, ec);
    if (ec) return std::nullopt;
    const std::string key = file.string();
    const auto known = known_.find(key);
    if (known != known_.end() && known->second.stamp == stamp) {
        if (known->second.passOver) return std::nullopt;
        if (senders_.StatusOf(known->second.address) == SenderStatus::WaitingAuth) return std::nullopt;
    }
    RegReplyFile::ReadOutcome read = RegReplyFile::Read(file);
    if (read.status == RegReplyFile::ReadStatus::Gone) {
        known_.erase(key);
        return std::nullopt;
    }
    if (read.status == RegReplyFile::ReadStatus::Damaged) {
        MiscFuncs::WriteLog(1, "!", "Damaged registration reply passed over: " + file.string() + " (" + read.why + ")");
        known_[key] = Known{stamp, std::string(), true};
        return std::nullopt;
    }
    RegReplyFile::Contents& c = read.contents;
    if (senders_.StatusOf(c.address) == SenderStatus::WaitingAuth) {
        known_[key] = Known{stamp, c.address, false};
        return std::nullopt;
    }
    known_.erase(key);
    return Request{std::move(c.name), std::move(c.from), std::move(c.reason), key, account, std::move(c.address)};
}

void RegRequestForm::forgetVanished() {
    std::erase_if(known_, [](const auto& item) { return isGone(item.first); });
}

void RegRequestForm::ProcessRequest() {
    if (isVisible()) return;
    if (asking()) {
        showRequest();
        PollTimer_.setEnabled(false);
        const std::int64_t ticks = static_cast<std::int64_t>(settings_.RegDialogShowInterval()) * 2;
        countdown_ = static_cast<std::int16_t>(std::clamp<std::int64_t>(ticks, 0, std::numeric_limits<std::int16_t>::max()));
        ShowTimer_.setEnabled(true);
        MiscFuncs::WriteLog(3, "i", "Registration of sender: " + request_.address);
        SetWindowToFrontForeground();
        return;
    }
    const AnswerScope scope(this, answering_);
    const Approval done = approveSender();
    if (done == Approval::Gone) return;
    if (done == Approval::Failed) {
        MiscFuncs::WriteLog(0, "#", "Error in RegRequestForm::ProcessRequest " + request_.file);
    }
    PollTimer_.setEnabled(true);
    ShowTimer_.setEnabled(false);
}

bool RegRequestForm::asking() const {
    return MiscFuncs::TrimBlanks(settings_.Text(OptionKeys::ShowRegDialogs)) != "0";
}

// Status 3, the sender's reply files removed, the confirmation queued.
RegRequestForm::Approval RegRequestForm::approveSender() {
    const platform::AliveGuard alive(this);
    const Request r = request_;
    senders_.SetStatus(r.name, r.address, SenderStatus::Approved, r.reason);
    if (!alive) return Approval::Gone;
    if (senders_.StatusOf(r.address) != SenderStatus::Approved) return Approval::Failed;
    deleteReplyFiles(r);
    if (!alive) return Approval::Gone;
    MiscFuncs::WriteLog(3, "i", "Registration: Sending confirmation to " + r.address);
    queueConfirmation(r);
    return alive ? Approval::Done : Approval::Gone;
}

void RegRequestForm::queueConfirmation(const Request& r) {
    if (!hooks_.addNewMessage) return;
    if (MiscFuncs::IsBlank(r.account)) {
        MiscFuncs::WriteLog(1, "#", "Error in RegRequestForm::QueueConfirmation no account to confirm " + r.address);
        return;
    }
    // A request from Authrize has no address text of the sender's own: "name address"
    // would make a malformed To header, the bare address cannot.
    const std::string& recipient = r.file.empty() ? r.address : r.emailText;
    // A copy: the form, and the hook it holds, may be gone before the call returns.
    const QueueMail queue = hooks_.addNewMessage;
    queue(MessageType::Confirmation, MiscFuncs::TrimBlanks(r.account), recipient, kConfirmationSubject);
}

void RegRequestForm::bApprove_Click() {
    if (answering_) return;
    const AnswerScope scope(this, answering_);
    const bool timing = ShowTimer_.enabled();
    ShowTimer_.setEnabled(false);
    const Approval done = approveSender();
    if (done == Approval::Gone) return;
    if (done == Approval::Failed) {
        MiscFuncs::WriteLog(4, "i", "Error in bApprove_Click: " + request_.file);
        ShowTimer_.setEnabled(timing);
        return;
    }
    applyAlwaysApprove();
    finish();
}

void RegRequestForm::bReject_Click() {
    if (answering_) return;
    const AnswerScope scope(this, answering_);
    const bool timing = ShowTimer_.enabled();
    ShowTimer_.setEnabled(false);
    const Request r = request_;
    senders_.SetStatus(r.name, r.address, SenderStatus::Blocked, "Blocked because " + r.reason);
    if (!scope.alive()) return;
    if (senders_.StatusOf(r.address) != SenderStatus::Blocked) {
        MiscFuncs::WriteLog(4, "i", "Error in bReject_Click: " + r.file);
        ShowTimer_.setEnabled(timing);
        return;
    }
    MiscFuncs::WriteLog(4, "i", "Trying to kill file :" + r.file);
    deleteReplyFiles(r);
    if (!scope.alive()) return;
    applyAlwaysApprove();
    finish();
}

void RegRequestForm::ShowTimer_Timer() {
    if (answering_) return;
    if (countdown_ != 0) {
        SetWindowToFrontForeground();
        --countdown_;
        return;
    }
    timeOut();
}

// No answer: the sender waits in the approval list.
void RegRequestForm::timeOut() {
    const AnswerScope scope(this, answering_);
    ShowTimer_.setEnabled(false);
    const Request r = request_;
    senders_.SetStatus(r.name, r.address, SenderStatus::WaitingAuth, r.reason);
    if (!scope.alive()) return;
    if (senders_.StatusOf(r.address) == SenderStatus::WaitingAuth) {
        MiscFuncs::WriteLog(4, "i", "Trying to kill file :" + r.file);
        deleteReplyFiles(r);
        if (!scope.alive()) return;
    } else {
        // The reply stays, so the sender is asked about at a later tick.
        MiscFuncs::WriteLog(4, "i", "Error in ShowTimer_Timer: " + r.file);
    }
    applyAlwaysApprove();
    PollTimer_.setEnabled(true);
    MiscFuncs::WriteLog(3, "i", "Registration: Hiding form");
    hide();
    MiscFuncs::WriteLog(3, "i", "Registration: Done ");
}

void RegRequestForm::applyAlwaysApprove() {
    if (cbAlwaysApprove->isChecked()) settings_.SetText(OptionKeys::ShowRegDialogs, "0");
}

void RegRequestForm::finish() {
    PollTimer_.setEnabled(true);
    ShowTimer_.setEnabled(false);
    hide();
}

// The answer covers the sender, not one file: his other replies go too, so he is
// not asked about (and confirmed) again.
void RegRequestForm::deleteReplyFiles(const Request& r) {
    if (!MiscFuncs::IsBlank(r.file)) deleteOneFile(r.file);
    const platform::AliveGuard alive(this);
    const std::vector<fs::path> others = replyFilesOf(r.address);
    if (!alive) return;
    for (const fs::path& file : others) {
        if (file.string() == r.file) continue;
        MiscFuncs::WriteLog(4, "i", "Trying to kill file :" + file.string());
        deleteOneFile(file);
    }
}

void RegRequestForm::deleteOneFile(const fs::path& file) {
    std::error_code ec;
    if (fs::remove(file, ec) || isGone(file)) {
        known_.erase(file.string());
        return;
    }
    MiscFuncs::WriteLog(1, "#", "Failed to delete file " + file.string());
    const fs::file_time_type stamp = fs::last_write_time(file, ec);
    known_[file.string()] = Known{stamp, request_.address, true};
}

std::vector<fs::path> RegRequestForm::replyFilesOf(std::string_view address) {
    std::vector<fs::path> files;
    const platform::AliveGuard alive(this);
    for (const std::string& account : accountNames()) {
        const fs::path folder = RegReplyFile::FolderOf(account);
        std::error_code ec;
        if (folder.empty() || !fs::is_directory(folder, ec)) continue;
        MiscFuncs::DirList list;
        std::string name = MiscFuncs::SafeDir(list, (folder / ("*" + std::string(RegReplyFile::kExtension))).string());
        if (!alive) return {};
        for (; !name.empty(); name = MiscFuncs::SafeDir(list, "")) {
            if (!RegReplyFile::IsReplyFileName(name)) continue;
            const std::optional<std::string> of = addressOf(folder / name);
            if (of && *of == address) files.push_back(folder / name);
        }
    }
    return files;
}

// The sender of a reply file, from what the polls learnt when the file is unchanged.
std::optional<std::string> RegRequestForm::addressOf(const fs::path& file) {
    std::error_code ec;
    const fs::file_time_type stamp = fs::last_write_time(file, ec);
    if (ec) return std::nullopt;
    const auto known = known_.find(file.string());
    if (known != known_.end() && known->second.stamp == stamp) {
        if (known->second.address.empty()) return std::nullopt;
        return known->second.address;
    }
    const RegReplyFile::ReadOutcome read = RegReplyFile::Read(file);
    if (read.status != RegReplyFile::ReadStatus::Ok) return std::nullopt;
    return read.contents.address;
}
