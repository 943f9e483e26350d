// The header cache of CMessages: loading the index from each account's msgcache.txt
// (or rebuilding it from the folders) at start-up and writing the caches back.
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "core/AtomicFile.h"
#include "core/CIniFile.h"
#include "core/CMessages.h"
#include "core/Dates.h"
#include "core/Log.h"
#include "core/MessageKey.h"
#include "core/MiscUtils.h"
#include "core/ProgramFiles.h"

namespace fs = std::filesystem;

namespace {

// Our own lines stay far below this: the display fields are cut when entries are made.
constexpr std::size_t kMaxCacheLine = 16 * 1024;
constexpr std::size_t kMaxCacheBytes = std::size_t{512} << 20;
constexpr int kDefaultRetentionDays = 100;
constexpr int kMaxRetentionDays = 1'000'000;

// The steps of the load that its error line reports.
enum Step : int {
    kReadAccounts = 1, kReadRetention = 3, kCheckAccount = 4, kOpenCache = 7, kReadLine = 9, kFindKey = 11, kReadDate = 12,
    kIndexLine = 17,
};

fs::path cachePath(std::string_view account) {
    return MessageKeys::MailDirPath(account) / std::string(ProgramFiles::kMessageCache);
}

bool wholeNumber(std::string_view text, int& value) {
    text = MiscFuncs::TrimBlanks(text);
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 9) return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    value = negative ? -v : v;
    return true;
}

bool hasControlBytes(std::string_view line) {
    for (unsigned char c : line)
        if ((c < 0x20 && c != '\t') || c == 0x7F) return true;
    return false;
}

// The five TAB-separated fields of a line; false for any other count.
bool fiveFields(std::string_view line, std::string_view (&fields)[5]) {
    for (int i = 0; i < 4; ++i) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) return false;
        fields[i] = line.substr(0, tab);
        line.remove_prefix(tab + 1);
    }
    fields[4] = line;
    return line.find('\t') == std::string_view::npos;
}

std::string lineNo(std::size_t n) { return "line " + std::to_string(n) + " "; }

}  // namespace

// Which Recycled messages the load deletes: those dated after 2000-01-01 00:00 and
// before now less the retention. Without a usable retention nothing is purged.
struct CMessages::Purge {
    bool usable = true;
    MiscFuncs::DateValue before = 0;
    bool due(std::string_view folder, std::int32_t minutes) const {
        return usable && minutes > 0 && MiscFuncs::MinutesToDate(minutes) < before &&
               MessageKeys::CanonicalFolder(folder) == MessageKeys::kRecycled;
    }
};

CMessages::CMessages(Start start) : saveOnClose_(start == Start::LoadCaches) {
    if (saveOnClose_) loadCached();
}

CMessages::~CMessages() {
    if (saveOnClose_) saveCached("");
}

std::vector<std::string> CMessages::accountList() const {
    const CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    std::vector<std::string> names = accounts.AllSectionsArray();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (MiscFuncs::IsBlank(names[i])) {
            names.resize(i);
            break;
        }
    }
    return names;
}

void CMessages::loadCached() {
    const std::vector<std::string> accounts = accountList();
    const CIniFile options(ProgramFiles::OptionsIniPath().string());
    const std::string ttl = options.Value("options", "TTLForDeletedMessages");
    int days = kDefaultRetentionDays;
    Purge purge;
    if (!MiscFuncs::IsBlank(ttl) && !wholeNumber(ttl, days)) {
        // Without a retention nothing may be purged: every account is scanned instead.
        MiscFuncs::WriteLog(0, "#", "Error in CMessages::LoadCached Type mismatch: TTLForDeletedMessages=" + ttl +
                                        ";Debug line #" + std::to_string(kReadRetention));
        purge.usable = false;
    }
    purge.before = MiscFuncs::NowDate() - MiscFuncs::MaxOf(0, MiscFuncs::MinOf(days, kMaxRetentionDays));
    std::error_code ec;
    const bool crashed = fs::exists(ProgramFiles::RunningMarkerPath(), ec);
    index_.Reserve(index_.Count() + 1024);
    for (const std::string& account : accounts) {
        if (!MessageKeys::IsSafeName(account)) {
            MiscFuncs::WriteLog(0, "#", "Error in CMessages::LoadCached Bad file name or number: " + account +
                                            ";Debug line #" + std::to_string(kCheckAccount));
            continue;
        }
        if (crashed || !purge.usable || !fs::exists(cachePath(account), ec)) {
            rebuild(account);
            continue;
        }
        MiscFuncs::WriteLog(3, "i", "Glimmerpost is loading cached message headers for " + account);
        int step = kOpenCache;
        std::string why;
        if (loadCacheFile(account, purge, step, why)) continue;
        MiscFuncs::WriteLog(0, "#", "Error in CMessages::LoadCached " + why + ";Debug line #" + std::to_string(step));
        rebuild(account);
    }
}

void CMessages::rebuild(std::string_view account) {
    MiscFuncs::WriteLog(3, "i", "Glimmerpost is creating cache for message headers for account " + std::string(account));
    LoadMessages(account);
    saveCached(account);
}

// Takes the account's entries from its cache only when every line is sound; on the
// first fault the entries already taken are dropped again and false is returned.
bool CMessages::loadCacheFile(std::string_view account, const Purge& purge, int& step, std::string& why) {
    const fs::path path = cachePath(account);
    std::string text;
    if (!MiscFuncs::ReadWholeFile(path, text, kMaxCacheBytes + 1) || text.size() > kMaxCacheBytes) {
        why = "cannot read " + path.string();
        return false;
    }
    std::vector<const MessageIndexEntry*> taken;
    std::vector<std::string_view> purged;
    std::string_view rest(text);
    for (std::size_t n = 1; !rest.empty() && why.empty(); ++n) {
        step = kReadLine;
        const std::size_t eol = rest.find("\r\n");
        const std::string_view line = rest.substr(0, eol);
        rest.remove_prefix(eol == std::string_view::npos ? rest.size() : eol + 2);
        if (eol == std::string_view::npos || line.size() > kMaxCacheLine || hasControlBytes(line)) {
            why = lineNo(n) + "is cut short, too long or holds control characters";
            break;
        }
        step = kFindKey;
        std::string_view fields[5];
        MessageKeys::KeyParts parts;
        if (!fiveFields(line, fields) || !MessageKeys::SplitKey(fields[3], parts) ||
            !MiscFuncs::EqualsIgnoreCase(parts.account, account)) {
            why = lineNo(n) + "holds no message key of the account";
            break;
        }
        const std::string_view key = fields[3];
        step = kReadDate;
        MessageIndexEntry entry;
        if (!MiscFuncs::MinutesFromText(fields[4], entry.Minutes)) {
            why = lineNo(n) + "holds no time";
            break;
        }
        if (purge.due(parts.folder, entry.Minutes)) {
            purged.push_back(line);
            continue;
        }
        step = kIndexLine;
        entry.Text.assign(line);
        const MessageIndexEntry* added = addEntry(std::string(key), std::move(entry));
        if (added) taken.push_back(added);
        else why = lineNo(n) + "repeats the key " + std::string(key);
    }
    if (!why.empty()) {
        for (const MessageIndexEntry* e : taken) dropEntry(std::string(e->Key()));
        return false;
    }
    for (std::string_view line : purged) purgeLine(line);
    step = kOpenCache;
    return true;
}

// Deletes an expired Recycled message; one that cannot be deleted keeps its entry.
void CMessages::purgeLine(std::string_view line) {
    const std::size_t t4 = line.rfind('\t'), t3 = line.rfind('\t', t4 - 1);
    const std::string key(line.substr(t3 + 1, t4 - t3 - 1));
    const fs::path path = MessageKeys::PathOfKey(key);
    if (::unlink(path.c_str()) == 0) return;
    const bool gone = errno == ENOENT;
    MiscFuncs::WriteLog(1, "#", "Failed to delete file " + MiscFuncs::GetShortPath(path.string()));
    if (gone) return;
    MessageIndexEntry entry;
    entry.Text.assign(line);
    MiscFuncs::MinutesFromText(line.substr(t4 + 1), entry.Minutes);
    addEntry(key, std::move(entry));
}

// Rewrites the cache of one account (all accounts of accounts.ini when blank) from
// scratch, also when the account has no entries left. An account whose folders
// could not all be read loses its cache instead, so the next start rescans it.
bool CMessages::saveCached(std::string_view account) {
    std::vector<std::string> accounts = MiscFuncs::IsBlank(account) ? accountList() : std::vector<std::string>{std::string(account)};
    MiscFuncs::WriteLog(3, "i", "Glimmerpost is saving cached message headers");
    std::unordered_map<std::string, std::string, MiscFuncs::CaseInsensitiveHash, MiscFuncs::CaseInsensitiveEqual>
        bodies;
    for (const std::string& name : accounts) bodies.emplace(name, std::string());
    for (const auto& item : index_) {
        const std::string_view owner = std::string_view(item.key).substr(0, item.key.find('\\'));
        const auto body = bodies.find(owner);
        if (body == bodies.end()) continue;
        body->second.append(item.value.Text).append("\r\n");
    }
    bool ok = true;
    for (const std::string& name : accounts) {
        if (!MessageKeys::IsSafeName(name)) continue;
        const fs::path path = cachePath(name);
        const std::string& body = bodies.find(name)->second;
        std::error_code ec;
        if (incomplete_.count(MiscFuncs::LowerCase(name))) {
            fs::remove(path, ec);
            continue;
        }
        if (body.empty() && !fs::exists(path.parent_path(), ec)) continue;  // no folder, nothing to keep
        fs::create_directories(path.parent_path(), ec);
        std::string error;
        if (MiscFuncs::WriteFileAtomic(path, body, MiscFuncs::Replace::Allow, nullptr, &error)) continue;
        MiscFuncs::WriteLog(0, "#", "Error on CMessages::SaveMessage " + error);
        ok = false;
    }
    return ok;
}
