#include "core/CSenders.h"

#include <cmath>
#include <ctime>
#include <iterator>

#include "core/Address.h"
#include "core/CMessages.h"
#include "core/Log.h"
#include "core/MessageKey.h"
#include "core/MiscUtils.h"
#include "core/ProgramFiles.h"
#include "core/SendersInternal.h"

using namespace SendersInternal;

namespace {

// The address as the settings file will name its section: without blanks and tabs
// at either end.
std::string trimTabs(std::string_view text) { return std::string(MiscFuncs::TrimBlanksAndTabs(text)); }

bool holdsSeparator(std::string_view text) {
    for (char c : text)
        if (c == '\t' || c == '\r' || c == '\n') return true;
    return false;
}

// The locale's default text of a date and time: short date, then the time.
std::string localeDateTimeText(MiscFuncs::DateValue value) {
    const MiscFuncs::LocalTime t = MiscFuncs::SplitDate(value);
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    char buf[96];
    const std::size_t n = std::strftime(buf, sizeof buf, "%x %X", &tm);
    return n ? std::string(buf, n) : MiscFuncs::ListDateText(value);
}

bool isListed(SenderStatus status) { return status >= SenderStatus::Blocked && status <= SenderStatus::Approved; }

std::string_view fileOfKey(std::string_view key) { return key.substr(key.rfind('\\') + 1); }

// A stored file of the sender, among the files the message store links to him. Most
// names begin with his address and a blank; a name cut to fit the file system may
// have lost both, and the store then knows the sender by the file's From header.
bool isFileOf(std::string_view file, std::string_view sender) {
    const std::size_t blank = file.find(' ');
    const bool named = blank != std::string_view::npos;
    if (named && !MiscFuncs::EqualsIgnoreCase(file.substr(0, blank), sender)) return false;
    return MessageKeys::IsMessageFileName(file);
}

}  // namespace

CSenders::CSenders() : ini_(ProgramFiles::SendersIniPath().string()) { LoadAllSenders(); }

void CSenders::AttachMessageStore(CMessages& store) {
    store_ = &store;
    MiscFuncs::KeyedList<Target> pending = std::move(pendingMoves_);
    pendingMoves_.Clear();
    for (const auto& item : pending) runMoves(item.key, item.value);
}

std::string CSenders::value(std::string_view address, std::string_view key) const {
    // Stored names are mapped and trimmed; plain addresses, the filter's every
    // question, need no copy.
    bool plain = !address.empty() && address.front() != ' ' && address.front() != '\t' && address.back() != ' ' &&
                 address.back() != '\t';
    for (char c : address) plain &= c != '[' && c != ']' && c != '\r' && c != '\n' && c != '\0';
    return plain ? ini_.Value(address, key) : ini_.Value(CIniFile::StoredSectionName(address), key);
}

SenderStatus CSenders::StatusOf(std::string_view address) const { return StatusOfLevel(value(address, kAccessLevel)); }

std::string CSenders::NameOf(std::string_view address) const { return value(address, kName); }

std::string CSenders::ReasonOf(std::string_view address) const { return value(address, kAuthReason); }

bool CSenders::UnsentRegRequestFile(std::string_view address, std::string_view path) {
    std::string ignored;
    const std::string bare = MiscFuncs::ParseAddress(address, ignored);
    if (bare.empty()) {
        MiscFuncs::WriteLog(0, "#", "Error in CSenders::UnsentRegRequestFile no address in " + std::string(address));
        return false;
    }
    return ini_.Value(bare, kUnsentRegRequest, path);
}

void CSenders::AcceptMessagesFrom(std::string_view address) { moveHeldMail(address, Target::InBox); }

void CSenders::DeleteAllMessagesFrom(std::string_view address) { moveHeldMail(address, Target::Recycled); }

void CSenders::moveHeldMail(std::string_view address, Target target) {
    const std::string sender = MiscFuncs::LowerCase(MiscFuncs::TrimBlanks(address));
    if (sender.empty()) return;
    if (store_) return runMoves(sender, target);
    pendingMoves_.Remove(sender);
    pendingMoves_.Add(sender, target);
}

void CSenders::runMoves(const std::string& sender, Target target) {
    const std::string_view to = target == Target::InBox ? MessageKeys::kInBox : MessageKeys::kRecycled;
    for (const std::string& key : heldFiles(sender, MessageKeys::kWaitingAuth)) store_->MoveMessage(key, to);
}

std::vector<std::string> CSenders::heldFiles(std::string_view sender, std::string_view folder) const {
    std::vector<std::string> keys = store_->SenderKeys(sender, {}, folder);
    std::erase_if(keys, [&](const std::string& key) { return !isFileOf(fileOfKey(key), sender); });
    return keys;
}

bool CSenders::SetStatus(std::string_view name, std::string_view address, SenderStatus status,
                         std::string_view reason, MiscFuncs::DateValue date) {
    return ChangeStatus(name, address, status, reason, date) == StatusChange::Changed;
}

StatusChange CSenders::ChangeStatus(std::string_view name, std::string_view address, SenderStatus status,
                                    std::string_view reason, MiscFuncs::DateValue date) {
    std::string ignored;
    const std::string bare = trimTabs(MiscFuncs::ParseAddress(address, ignored));
    if (bare.empty() || holdsSeparator(bare)) {
        MiscFuncs::WriteLog(0, "#", "Error in CSenders::SetStatus no address in " + std::string(address));
        return StatusChange::Failed;
    }
    if (!isListed(status)) status = SenderStatus::NotListed;
    const SenderStatus old = StatusOf(bare);
    const bool dated = std::isfinite(date) && std::nearbyint(date) != 0;
    if (!dated && old == status) return StatusChange::Unchanged;
    const MiscFuncs::DateValue stamp = dated ? date : MiscFuncs::NowDate();
    // What comes from a stranger or a file is stored no longer than a list shows it.
    name = CappedField(name);
    reason = CappedField(reason);
    BulkUpdate bulk(*this);
    bool written = ini_.Value(bare, kModificationDate, MiscFuncs::DayNumberText(stamp));
    written = ini_.Value(bare, kAccessLevel, LevelText(status)) && written;
    if (status == SenderStatus::Approved) written = ini_.Value(bare, kRegistrationRequestSent, "") && written;
    if (!MiscFuncs::IsBlank(name)) written = ini_.Value(bare, kName, name) && written;
    if (!MiscFuncs::IsBlank(reason)) written = ini_.Value(bare, kAuthReason, reason) && written;
    if (!written) {
        // Refused (the file cannot be read, or the name cannot be stored): nothing of
        // this change is listed or moved.
        MiscFuncs::WriteLog(0, "#", "Error in CSenders::SetStatus the status of " + std::string(bare) +
                                        " could not be written to " + ini_.IniFile());
        return StatusChange::Failed;
    }
    // Mail moves and lists follow once senders.ini holds the change (at the end of
    // the outermost bulk update); a failed write leaves both as they were.
    std::string dateText;
    if (isListed(status)) dateText = dated ? localeDateTimeText(date) : MiscFuncs::ListDateText(stamp);
    afterWrite_.push_back([this, bare, status, entryName = std::string(name), entryReason = std::string(reason),
                           dateText = std::move(dateText), stamp] {
        if (status == SenderStatus::Approved) AcceptMessagesFrom(bare);
        else if (status == SenderStatus::Blocked) DeleteAllMessagesFrom(bare);
        unlist(bare);
        if (isListed(status))
            lists_[static_cast<std::size_t>(status)].Add(
                SenderEntry::Make(bare, entryName, entryReason, dateText, stamp));
        changed();
    });
    if (!bulk.Commit()) {
        // Only a change made inside another's mail move can still be waiting here.
        if (!afterWrite_.empty()) afterWrite_.pop_back();
        MiscFuncs::WriteLog(0, "#", "Error in CSenders::SetStatus the status of " + std::string(bare) +
                                        " could not be written to " + ini_.IniFile());
        return StatusChange::Failed;
    }
    return StatusChange::Changed;
}

std::size_t CSenders::SetStatusMany(const std::vector<SenderUpdate>& updates) {
    BulkUpdate bulk(*this);
    std::size_t n = 0;
    for (const SenderUpdate& u : updates)
        if (SetStatus(u.name, u.address, u.status, u.reason, u.date)) ++n;
    return n;
}

void CSenders::DeleteSender(std::string_view address) {
    const std::string sender = MiscFuncs::LowerCase(MiscFuncs::TrimBlanks(address));
    DeleteAllMessagesFrom(sender);
    unlist(sender);
    changed();
}

std::size_t CSenders::MessagesStored(std::string_view address, std::vector<std::string>* files) const {
    if (!store_) {
        MiscFuncs::WriteLog(0, "#", "Error in CSenders::MessagesStored the message store is not attached");
        return files ? files->size() : 0;
    }
    const std::vector<std::string> keys = MessageKeysStored(address);
    if (!files) return keys.size();
    for (const std::string& key : keys) files->push_back(MessageKeys::PathOfKey(key).string());
    return files->size();
}

std::vector<std::string> CSenders::MessageKeysStored(std::string_view address) const {
    if (!store_) return {};
    const std::string sender = MiscFuncs::LowerCase(MiscFuncs::TrimBlanks(address));
    std::vector<std::string> keys = heldFiles(sender, MessageKeys::kWaitingAuth);
    std::vector<std::string> inBox = heldFiles(sender, MessageKeys::kInBox);
    keys.insert(keys.end(), std::make_move_iterator(inBox.begin()), std::make_move_iterator(inBox.end()));
    return keys;
}

std::size_t CSenders::MessagesStoredAwaitingAuth(std::string_view address) const {
    if (!store_) return 0;
    return heldFiles(MiscFuncs::LowerCase(MiscFuncs::TrimBlanks(address)), MessageKeys::kWaitingAuth).size();
}

const SenderList& CSenders::List(SenderStatus status) const {
    static const SenderList kEmpty;
    return isListed(status) ? lists_[static_cast<std::size_t>(status)] : kEmpty;
}

std::vector<std::string> CSenders::AddressesOf(SenderStatus status) const {
    std::vector<std::string> out;
    const SenderList& list = List(status);
    out.reserve(list.Count());
    for (const auto& item : list) out.push_back(item.key);
    return out;
}

void CSenders::unlist(std::string_view address) {
    for (SenderList& list : lists_) list.Remove(address);
}

void CSenders::changed() {
    if (bulkDepth_ > 0) bulkChanged_ = true;
    else Change.Raise();
}

CSenders::BulkUpdate::BulkUpdate(CSenders& senders) : senders_(senders), batch_(senders.ini_) {
    ++senders_.bulkDepth_;
}

CSenders::BulkUpdate::~BulkUpdate() { Commit(); }

bool CSenders::BulkUpdate::Commit() {
    if (done_) return result_;
    done_ = true;
    result_ = batch_.Commit();
    if (!result_)
        MiscFuncs::WriteLog(0, "#", "Error in CSenders::BulkUpdate " + senders_.ini_.IniFile() + " could not be written");
    if (senders_.bulkDepth_ == 1) {
        // The outermost update: what the written changes move and list follows now,
        // or, when the file could not be written, never. A step may lead to a change
        // of its own (through a listener of the message store); that one follows too.
        if (!result_) senders_.afterWrite_.clear();
        while (!senders_.afterWrite_.empty()) {
            std::vector<std::function<void()>> after = std::move(senders_.afterWrite_);
            senders_.afterWrite_.clear();
            for (const auto& step : after) step();
        }
    }
    if (--senders_.bulkDepth_ > 0 || !senders_.bulkChanged_) return result_;
    senders_.bulkChanged_ = false;
    // A listener may release the sender list: nothing of it is touched afterwards.
    senders_.Change.Raise();
    return result_;
}
