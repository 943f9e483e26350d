// The sender list's start-up: senders.ini read as text into the four lists, the
// question about parked registration requests, and the expiry of unknown senders.
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <optional>

#include "core/Address.h"
#include "core/AtomicFile.h"
#include "core/CSenders.h"
#include "core/IniStore.h"
#include "core/KeyedList.h"
#include "core/Log.h"
#include "core/MessageKey.h"
#include "core/MiscUtils.h"
#include "core/Numbers.h"
#include "core/ProgramFiles.h"
#include "core/Prompt.h"
#include "core/SenderFile.h"
#include "core/SendersInternal.h"

namespace fs = std::filesystem;
using namespace SendersInternal;

namespace {

constexpr MiscFuncs::DateValue kUndatedSender = 37622.0;  // 2003-01-01 00:00
constexpr int kDefaultAutoDeleteDays = 4;
constexpr int kMaxAutoDeleteDays = 100000;

// The interval in whole days; a blank, unreadable or non-positive one is the default,
// never 0 (which would delete every unknown sender at each start).
int autoDeleteDays(std::string_view text) {
    const auto days = MiscFuncs::DigitsNumber(MiscFuncs::TrimBlanks(text), 6, 1, kMaxAutoDeleteDays);
    return days ? static_cast<int>(*days) : kDefaultAutoDeleteDays;
}

// An upper bound of the number of sections: the "[" characters.
std::size_t sectionCount(std::string_view bytes) {
    std::size_t n = 0;
    for (const char *p = bytes.data(), *end = p + bytes.size();
         (p = static_cast<const char*>(std::memchr(p, '[', static_cast<std::size_t>(end - p)))) != nullptr; ++p)
        ++n;
    return n;
}

std::string parkedQuestion(std::string_view address) {
    return "Glimmerpost was not able to send registration request to " + std::string(address) +
           "\r\nServer refused this email address.\r\n Press \"Retry\" to retry sending registration request."
           "\r\nPress \"Cancel\" to approve/reject sender manually.";
}

std::string unreadableNotice(const fs::path& path, std::string_view why) {
    return "Glimmerpost could not read the sender list " + path.string() + " (" + std::string(why) +
           ").\r\nThe sender lists are shown empty, and no change to a sender can be saved until the file "
           "can be read again. The file has not been changed.";
}

// The parked request as the path names it, when it is one we may act on: an
// existing plain file ending in ".emr" directly in the OutBox of an account folder.
std::optional<fs::path> parkedFileAt(const fs::path& path) {
    if (!path.is_absolute() || !MiscFuncs::EqualsIgnoreCase(path.extension().string(), ".emr")) return {};
    std::error_code ec;
    const fs::path folder = fs::canonical(path.parent_path(), ec);
    if (ec) return {};
    const std::string account = folder.parent_path().parent_path().filename().string();
    const fs::path outBox = MessageKeys::FolderPath(account, MessageKeys::kOutBox);
    if (outBox.empty() || fs::canonical(outBox, ec) != folder || ec) return {};
    const fs::path file = folder / path.filename();
    if (!fs::is_regular_file(fs::symlink_status(file, ec))) return {};
    return file;
}

// The outgoing queue may have joined the folder and the name with a backslash.
std::optional<fs::path> parkedFile(std::string_view text) {
    if (auto file = parkedFileAt(fs::path(std::string(text)))) return file;
    if (text.find('\\') == std::string_view::npos) return {};
    std::string slashed(text);
    for (char& c : slashed)
        if (c == '\\') c = '/';
    return parkedFileAt(fs::path(slashed));
}

// Renames without ever replacing a file.
bool renameNoReplace(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    if (::unlink(from.c_str()) == 0) return true;
    ::unlink(to.c_str());
    return false;
}

// Puts the parked file back in the queue under its name with ".eml", or a free
// variant of it when a queued mail has that name meanwhile.
bool unpark(const fs::path& parked, std::string& why) {
    const std::string stem = parked.stem().string();
    for (int n = 1; n <= 99; ++n) {
        const std::string name = n == 1 ? stem + ".eml" : stem + " ~" + std::to_string(n) + ".eml";
        if (renameNoReplace(parked, parked.parent_path() / name)) {
            MiscFuncs::SyncFolderOf(parked);
            return true;
        }
        if (errno != EEXIST) break;
    }
    why = std::strerror(errno);
    return false;
}

}  // namespace

struct CSenders::LoadState {
    // Auto-deletion of unknown senders.
    bool autoDelete = false;
    int days = kDefaultAutoDeleteDays;
    MiscFuncs::DateValue now = 0;
    std::size_t count = 0;
    // Unknown senders older than the interval, deleted once the load is done.
    std::vector<std::string> expired;
    // Two bits per address loaded so far: only an address whose bits are both set
    // already may be a second section of one sender, and only that one costs a look
    // into the four lists.
    std::vector<std::uint64_t> seen;

    // A section read and not loaded yet, with the hash of its address.
    std::optional<SenderFile::SenderRecord> waiting;
    std::size_t waitingHash = 0;

    explicit LoadState(std::size_t fileSize) : seen(std::bit_ceil(std::max<std::size_t>(fileSize / 256, 16))) {}

    bool maybeSeen(std::uint64_t h) {
        const std::uint64_t a = bitA(h), b = bitB(h);
        const bool both = (seen[a / 64] >> (a % 64) & 1) && (seen[b / 64] >> (b % 64) & 1);
        seen[a / 64] |= std::uint64_t{1} << (a % 64);
        seen[b / 64] |= std::uint64_t{1} << (b % 64);
        return both;
    }
    // Asks the processor to fetch the two words that maybeSeen(h) will read.
    void prefetchSeen(std::uint64_t h) const {
        __builtin_prefetch(&seen[bitA(h) / 64]);
        __builtin_prefetch(&seen[bitB(h) / 64]);
    }

private:
    std::uint64_t bitA(std::uint64_t h) const { return h & (seen.size() * 64 - 1); }
    std::uint64_t bitB(std::uint64_t h) const { return (h >> 32 ^ h >> 13) & (seen.size() * 64 - 1); }
};

void CSenders::LoadAllSenders() {
    std::string bytes, why;
    MiscFuncs::FileStamp stamp;
    const fs::path path(ini_.IniFile());
    const MiscFuncs::ReadStatus read = MiscFuncs::ReadWholeFileStamped(path, bytes, IniStore::kMaxFileSize, stamp, &why);
    if (read == MiscFuncs::ReadStatus::Missing) return;
    if (read != MiscFuncs::ReadStatus::Read) {
        // Not taken for an empty list: the settings file refuses every write to a file
        // it cannot read, so nothing is written over it, and the user learns why.
        if (read == MiscFuncs::ReadStatus::TooLarge)
            why = "it is larger than " + std::to_string(IniStore::kMaxFileSize / (1024 * 1024)) + " MiB";
        MiscFuncs::WriteLog(0, "#", "Error in CSenders::LoadAllSenders " + path.string() + ": " + why);
        Prompt::Ask(unreadableNotice(path, why), "", Prompt::Buttons::OK, Prompt::Kind::Critical);
        return;
    }
    const CIniFile options(ProgramFiles::OptionsIniPath().string());
    LoadState state(bytes.size());
    state.autoDelete = MiscFuncs::TrimBlanks(options.Value("options", "AutoDeleteUnregistered")) == "1";
    state.days = autoDeleteDays(options.Value("options", "AutoDeleteUnregisteredInterval"));
    state.now = MiscFuncs::NowDate();
    // Any list may hold nearly all senders: sized once, none of them grows step by step.
    const std::size_t sections = sectionCount(bytes);
    for (SenderList& list : lists_) list.Reserve(list.Count() + sections / 4);
    // Each section is loaded once the next one is read: what its load will look up
    // is fetched meanwhile.
    SenderFile::Parse(bytes, [&](const SenderFile::SenderRecord& r) {
        const std::size_t hash = SenderList::HashOf(r.address);
        state.prefetchSeen(hash);
        const SenderStatus status = StatusOfLevel(r.accessLevel);
        if (status != SenderStatus::NotListed) lists_[static_cast<std::size_t>(status)].Prefetch(hash);
        if (state.waiting) loadRecord(*state.waiting, state.waitingHash, state);
        state.waiting = r;
        state.waitingHash = hash;
    });
    if (state.waiting) loadRecord(*state.waiting, state.waitingHash, state);
    loadWrites_.reset();
    MiscFuncs::WriteLog(3, "i", std::to_string(state.count) + " senders have been loaded successfuly");
    if (state.expired.empty()) return;
    BulkUpdate bulk(*this);
    for (const std::string& address : state.expired) DeleteSender(address);
}

void CSenders::loadWrites() {
    if (!loadWrites_) loadWrites_ = std::make_unique<BulkUpdate>(*this);
}

void CSenders::loadRecord(const SenderFile::SenderRecord& r, std::size_t hash, LoadState& state) {
    // The address as written: hashing and comparing ignore letter case, the entry
    // is made in lower case, and a copy is made only on the rare paths that need one.
    const std::string_view written = r.address;
    SenderStatus status = StatusOfLevel(r.accessLevel);
    // A second section of one sender: the settings file reads the first one's keys.
    if (state.maybeSeen(hash))
        for (SenderList& list : lists_)
            if (list.FindItemHashed(written, hash)) return;
    MiscFuncs::DateValue date = kUndatedSender;
    if (!MiscFuncs::IsBlank(r.modificationDate) && !MiscFuncs::DayNumberFromText(r.modificationDate, date)) {
        MiscFuncs::WriteLog(0, "#", "Error in CSenders::LoadAllSenders Type mismatch: ModificationDate \"" +
                                        std::string(r.modificationDate) + "\" of " + MiscFuncs::LowerCase(written));
        return;
    }
    if (!MiscFuncs::IsValidEmail(written)) {
        const std::string address = MiscFuncs::LowerCase(written);
        MiscFuncs::WriteLog(0, "#", "Somehow invalid email address appeared: " + std::string(address));
        loadWrites();
        DeleteSender(address);
        return;
    }
    if (!MiscFuncs::IsBlank(r.unsentRegRequest))
        status = askAboutParked(MiscFuncs::LowerCase(written), r.unsentRegRequest, status);
    ++state.count;
    if (status == SenderStatus::NotListed) {
        const std::string address = MiscFuncs::LowerCase(written);
        MiscFuncs::WriteLog(0, "#", "Sender " + address + "some how does not have any status");
        loadWrites();
        SetStatus("", address, SenderStatus::Unknown, "", 0);
        return;
    }
    if (state.autoDelete && status == SenderStatus::Unknown && state.now - date > state.days)
        state.expired.push_back(MiscFuncs::LowerCase(written));
    // Refused for a sender that the question about its parked request has just listed.
    lists_[static_cast<std::size_t>(status)].AddHashed(EntryOfFile(written, r.name, r.authReason, date), hash);
}

SenderStatus CSenders::askAboutParked(const std::string& address, std::string_view parked, SenderStatus status) {
    loadWrites();
    const std::optional<fs::path> file = parkedFile(parked);
    if (!file) {
        // Nothing to retry or delete: a request sent meanwhile, or a path outside the queue.
        MiscFuncs::WriteLog(1, "#", "Error in CSenders::LoadAllSenders no parked registration request at " +
                                        std::string(parked));
        ini_.Value(address, kUnsentRegRequest, "");
        return status;
    }
    const Prompt::Answer answer =
        Prompt::Ask(parkedQuestion(address), "", Prompt::Buttons::RetryCancel, Prompt::Kind::Question, 1);
    if (answer == Prompt::Answer::Retry) {
        retryParked(address, file->string());
        return status;
    }
    cancelParked(address, file->string());
    return SenderStatus::Blocked;
}

void CSenders::retryParked(const std::string& address, const std::string& parked) {
    {
        CIniFile request(parked);
        if (!request.Value("Message", "BadRelayAttempts", ""))
            MiscFuncs::WriteLog(1, "#", "Error in CSenders::LoadAllSenders could not write " + parked);
    }
    std::string why;
    if (!unpark(parked, why)) {
        // The key stays, so the question comes again at the next start.
        MiscFuncs::WriteLog(0, "#", "Error in CSenders::LoadAllSenders " + why + ": " + parked);
        return;
    }
    ini_.Value(address, kUnsentRegRequest, "");
}

void CSenders::cancelParked(const std::string& address, const std::string& parked) {
    ini_.Value(address, kUnsentRegRequest, "");
    SetStatus("", address, SenderStatus::Blocked, "", 0);
    if (::unlink(parked.c_str()) != 0) MiscFuncs::WriteLog(1, "#", "Failed to delete file" + parked);
}
