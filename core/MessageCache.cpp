// The header cache of CMessages: loading the index from each account's msgcache.txt
// (or rebuilding it from the folders) at start-up and writing the caches back.
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>

#include "core/AtomicFile.h"
#include "core/CIniFile.h"
#include "core/CMessages.h"
#include "core/Dates.h"
#include "core/Log.h"
#include "core/MailAccount.h"
#include "core/MessageKey.h"
#include "core/MiscUtils.h"
#include "core/Numbers.h"
#include "core/ProgramFiles.h"

namespace fs = std::filesystem;

namespace {

// Our own lines stay far below this: the display fields are cut when entries are made.
constexpr std::size_t kMaxCacheLine = 16 * 1024;
constexpr std::size_t kMaxCacheBytes = std::size_t{512} << 20;
constexpr int kDefaultRetentionDays = 100;
constexpr int kMaxRetentionDays = 1'000'000;
// Lines parsed ahead of indexing, so that the table's memory is fetched meanwhile.
constexpr std::size_t kPrefetchDepth = 16;

// The steps of the load that its error line reports.
enum Step : int {
    kReadAccounts = 1, kReadRetention = 3, kCheckAccount = 4, kOpenCache = 7,
    kReadLine = 9, kFindKey = 11, kReadDate = 12, kIndexLine = 17,
};

fs::path cachePath(std::string_view account) {
    return MessageKeys::MailDirPath(account) / std::string(ProgramFiles::kMessageCache);
}

bool wholeNumber(std::string_view text, int& value) {
    text = MiscFuncs::TrimBlanks(text);
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    const auto v = MiscFuncs::DigitsNumber(text, 9);
    if (!v) return false;
    value = static_cast<int>(negative ? -*v : *v);
    return true;
}

// One line of a cache as a single pass over its bytes finds it: where it ends (at
// CR LF), where its four TABs are, and whether it holds anything it may not (any
// other control character, a fifth TAB, a lone CR). Sixteen bytes at a time where
// the processor allows.
struct LineScan {
    std::size_t length = 0;  // without the CR LF
    std::size_t tabs[4] = {};
    int tabCount = 0;
    bool ended = false;  // a CR LF was found within the length allowed
    bool clean = true;
    bool sound() const { return ended && clean && tabCount == 4; }
    std::string_view field(std::string_view line, int n) const {
        const std::size_t from = n == 0 ? 0 : tabs[n - 1] + 1;
        const std::size_t to = n == 4 ? line.size() : tabs[n];
        return line.substr(from, to - from);
    }
};

bool special(unsigned char c) { return c < 0x20 || c == 0x7F; }

// Takes in the special byte at pos; true when the scan is over.
bool takeSpecial(std::string_view text, std::size_t pos, LineScan& scan) {
    const char c = text[pos];
    if (c == '\t' && scan.tabCount < 4) {
        scan.tabs[scan.tabCount++] = pos;
        return false;
    }
    scan.length = pos;
    scan.ended = c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n';
    scan.clean = scan.ended;
    return true;
}

LineScan scanLine(std::string_view text) {
    LineScan scan;
    const std::size_t limit = std::min(text.size(), kMaxCacheLine + 2);
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i below = _mm_set1_epi8(static_cast<char>(0x20 ^ 0x80));
    const __m128i del = _mm_set1_epi8(0x7F);
    for (; i + 16 <= limit; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
        const __m128i hit = _mm_or_si128(_mm_cmplt_epi8(_mm_xor_si128(v, flip), below), _mm_cmpeq_epi8(v, del));
        for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit)); mask; mask &= mask - 1)
            if (takeSpecial(text, i + static_cast<std::size_t>(__builtin_ctz(mask)), scan)) return scan;
    }
#endif
    for (; i < limit; ++i)
        if (special(static_cast<unsigned char>(text[i])) && takeSpecial(text, i, scan)) return scan;
    scan.length = limit;  // cut short, or longer than any line may be
    scan.clean = false;
    return scan;
}

std::string lineNo(std::size_t n) { return "line " + std::to_string(n) + " "; }

}  // namespace

// Which Recycled messages the load deletes: those dated after 2000-01-01 00:00 and
// before now less the retention. Without a usable retention nothing is purged.
struct CMessages::Purge {
    bool usable = true;
    MiscFuncs::DateValue before = 0;
    bool due(std::string_view canonicalFolder, std::int32_t minutes) const {
        return usable && minutes > 0 && canonicalFolder == MessageKeys::kRecycled &&
               MiscFuncs::MinutesToDate(minutes) < before;
    }
};

CMessages::CMessages(Start start) : saveOnClose_(start == Start::LoadCaches) {
    if (saveOnClose_) loadCached();
}

CMessages::~CMessages() {
    if (saveOnClose_) saveCached("");
}

std::vector<std::string> CMessages::accountList() const {
    return Accounts::AccountNames(Accounts::ProgramAccounts());
}

void CMessages::loadCached() {
    const std::vector<std::string> accounts = accountList();
    const CIniFile options(ProgramFiles::OptionsIniPath().string());
    const std::string ttl = options.Value("options", "TTLForDeletedMessages");
    int days = kDefaultRetentionDays;
    Purge purge;
    if (!MiscFuncs::IsBlank(ttl) && !wholeNumber(ttl, days)) {
        // Without a retention nothing may be purged: every account is scanned instead.
        MiscFuncs::WriteLog(0, "#", "Error in CMessages::LoadCached Type mismatch: TTLForDeletedMessages=" +
                                        std::string(ttl) +
                                        ";Debug line #" + std::to_string(kReadRetention));
        purge.usable = false;
    }
    purge.before = MiscFuncs::NowDate() - MiscFuncs::MaxOf(0, MiscFuncs::MinOf(days, kMaxRetentionDays));
    std::error_code ec;
    const bool crashed = fs::exists(ProgramFiles::RunningMarkerPath(), ec);
    for (const std::string& account : accounts) {
        if (!MessageKeys::IsSafeName(account)) {
            MiscFuncs::WriteLog(0, "#", "Error in CMessages::LoadCached Bad file name or number: " +
                                            std::string(account) +
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
    MiscFuncs::WriteLog(3, "i",
                        "Glimmerpost is creating cache for message headers for account " + std::string(account));
    LoadMessages(account);
    saveCached(account);
}

// Takes the account's entries from its cache only when every line is sound; on the
// first fault the entries already taken are dropped again and false is returned.
bool CMessages::loadCacheFile(std::string_view account, const Purge& purge, int& step, std::string& why) {
    const fs::path path = cachePath(account);
    auto text = std::make_unique<std::string>();  // kept while its entries live
    if (!MiscFuncs::ReadWholeFile(path, *text, kMaxCacheBytes + 1) || text->size() > kMaxCacheBytes) {
        why = "cannot read " + path.string();
        return false;
    }
    index_.Reserve(index_.Count() + text->size() / 128);  // entries run well above 128 bytes
    std::vector<const MessageIndexEntry*> taken;
    std::vector<MessageIndexEntry> purged;
    std::vector<Pending> pending;
    pending.reserve(kPrefetchDepth);
    std::string_view rest(*text);
    for (std::size_t n = 1; !rest.empty() && why.empty(); ++n) {
        step = kReadLine;
        const LineScan scan = scanLine(rest);
        const std::string_view line = rest.substr(0, scan.length);
        rest.remove_prefix(std::min(rest.size(), scan.length + 2));
        if (!scan.ended || !scan.clean || line.size() > kMaxCacheLine) {
            why = lineNo(n) + "is cut short, too long or holds control characters";
            break;
        }
        step = kFindKey;
        MessageKeys::KeyParts parts;
        const std::string_view key = scan.sound() ? scan.field(line, 3) : std::string_view();
        if (key.empty() || !MessageKeys::SplitKeyOfAccount(key, account, parts)) {
            why = lineNo(n) + "holds no message key of the account";
            break;
        }
        step = kReadDate;
        std::int32_t minutes = 0;
        if (!MiscFuncs::MinutesFromText(scan.field(line, 4), minutes)) {
            why = lineNo(n) + "holds no time";
            break;
        }
        MessageIndexEntry entry =
            MessageIndexEntry::Viewing(line, static_cast<std::size_t>(key.data() - line.data()), key.size(), minutes);
        if (purge.due(parts.canonical, minutes)) {
            purged.push_back(std::move(entry));
            continue;
        }
        step = kIndexLine;
        const std::size_t hash = Index::HashOf(key);
        index_.Prefetch(hash);
        pending.push_back({std::move(entry), hash, n});
        if (pending.size() == kPrefetchDepth) addPending(pending, taken, why);
    }
    step = kIndexLine;
    if (why.empty()) addPending(pending, taken, why);
    // A line to purge must not share its file with a line kept (or purged twice).
    MiscFuncs::KeyedList<bool> purging;
    for (const MessageIndexEntry& line : purged)
        if (why.empty() && (index_.Contains(line.Key()) || !purging.Add(std::string(line.Key()), true)))
            why = "the cache repeats the key " + std::string(line.Key());
    if (!why.empty()) {
        for (const MessageIndexEntry* e : taken) dropEntry(std::string(e->Key()));
        return false;
    }
    cacheTexts_.push_back(std::move(text));
    for (const MessageIndexEntry& line : purged) purgeLine(line);
    step = kOpenCache;
    return true;
}

// Indexes the lines read ahead, whose table places were asked for meanwhile.
void CMessages::addPending(std::vector<Pending>& pending, std::vector<const MessageIndexEntry*>& taken,
                           std::string& why) {
    for (Pending& p : pending) {
        if (!why.empty()) break;
        const std::string_view key = p.entry.Key();  // in the cache's text, which stays
        const MessageIndexEntry* added = addEntry(std::move(p.entry), p.hash);
        if (added) taken.push_back(added);
        else why = lineNo(p.line) + "repeats the key " + std::string(key);
    }
    pending.clear();
}

// Deletes an expired Recycled message; one that cannot be deleted keeps its entry.
void CMessages::purgeLine(const MessageIndexEntry& line) {
    const fs::path path = MessageKeys::PathOfKey(line.Key());
    if (::unlink(path.c_str()) == 0) return;
    const bool gone = errno == ENOENT;
    MiscFuncs::WriteLog(1, "#", "Failed to delete file " + MiscFuncs::GetShortPath(path.string()));
    if (!gone) addEntry(MessageIndexEntry(line));
}

// Rewrites the cache of one account (all accounts of accounts.ini when blank) from
// scratch, also when the account has no entries left. An account whose folders
// could not all be read loses its cache instead, so the next start rescans it.
bool CMessages::saveCached(std::string_view account) {
    const std::vector<std::string> accounts =
        MiscFuncs::IsBlank(account) ? accountList() : std::vector<std::string>{std::string(account)};
    MiscFuncs::WriteLog(3, "i", "Glimmerpost is saving cached message headers");
    std::unordered_map<std::string, std::string, MiscFuncs::CaseInsensitiveHash, MiscFuncs::CaseInsensitiveEqual>
        bodies;
    for (const std::string& name : accounts) bodies.emplace(name, std::string());
    for (const auto& item : index_) {
        const std::string_view key = item.Key();
        const std::string_view owner = key.substr(0, key.find('\\'));
        const auto body = bodies.find(owner);
        if (body == bodies.end()) continue;
        body->second.append(item.value.Text()).append("\r\n");
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
