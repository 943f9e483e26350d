#include "core/MessageKey.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "core/KeyedList.h"
#include "core/MiscUtils.h"
#include "core/ProgramFiles.h"

namespace fs = std::filesystem;

namespace MessageKeys {
namespace {

constexpr std::array<std::string_view, 3> kIndexedFolders = {kInBox, kWaitingAuth, kRecycled};

// Byte tests on eight bytes at a time: each sets the high bit of every byte of the
// word that passes, exactly (no carries between bytes).
constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;

std::uint64_t zeroBytes(std::uint64_t w) { return ~(((w & ~kHighs) + ~kHighs) | w | ~kHighs); }
std::uint64_t bytesEqual(std::uint64_t w, unsigned char c) { return zeroBytes(w ^ (c * kOnes)); }
std::uint64_t bytesBelow(std::uint64_t w, unsigned char n) {
    return ~(((w & ~kHighs) + (0x80 - n) * kOnes) | w) & kHighs;
}

// The control characters and path separators a name may not hold.
std::uint64_t unsafeForName(std::uint64_t w) {
    return bytesBelow(w, 0x20) | bytesEqual(w, 0x7F) | bytesEqual(w, '/') | bytesEqual(w, '\\');
}

template <typename Test>
bool anyByte(std::string_view text, Test test) {
    const char* p = text.data();
    std::size_t n = text.size();
    if (n < 8) {
        std::uint64_t w = 0x6161616161616161ull;  // harmless bytes fill the rest of the word
        std::memcpy(&w, p, n);
        return n > 0 && test(w);
    }
    for (; n >= 8; p += 8, n -= 8)
        if (test(MiscFuncs::caseless::load8(p))) return true;
    return n > 0 && test(MiscFuncs::caseless::load8(text.data() + text.size() - 8));  // the tail, overlapping
}

bool sameText(std::string_view a, std::string_view b) { return MiscFuncs::CaseInsensitiveEqual{}(a, b); }

// The folder's name below MailDir ("InBox" for "MailDir\InBox").
std::string_view leafOf(std::string_view canonical) { return canonical.substr(kMailDir.size() + 1); }

std::string_view canonicalAnyFolder(std::string_view folder) {
    const std::string_view indexed = CanonicalFolder(folder);
    if (!indexed.empty()) return indexed;
    return sameText(folder, kOutBox) ? kOutBox : std::string_view();
}

}  // namespace

std::string_view CanonicalFolder(std::string_view folder) {
    for (std::string_view known : kIndexedFolders)
        if (sameText(folder, known)) return known;
    return {};
}

bool IsSafeName(std::string_view name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
    return !anyByte(name, unsafeForName);
}


bool IsMessageFileName(std::string_view name) {
    return IsSafeName(name) && name.size() > 4 && sameText(name.substr(name.size() - 4), ".eml");
}

std::string MakeKey(std::string_view account, std::string_view folder, std::string_view file) {
    std::string key;
    key.reserve(account.size() + folder.size() + file.size() + 2);
    key.append(account).append(1, '\\').append(folder).append(1, '\\').append(file);
    return key;
}

namespace {

// The folder ("MailDir\<leaf>") and file of what follows the account and its "\".
bool splitRest(std::string_view key, std::size_t restAt, KeyParts& p) {
    const std::size_t folderEnd = key.find('\\', key.find('\\', restAt) + 1);
    if (folderEnd == std::string_view::npos) return false;
    p.folder = key.substr(restAt, folderEnd - restAt);
    p.file = key.substr(folderEnd + 1);
    p.canonical = CanonicalFolder(p.folder);
    return !p.canonical.empty() && IsMessageFileName(p.file);
}

}  // namespace

bool SplitKey(std::string_view key, KeyParts& parts) {
    const std::size_t first = key.find('\\');
    KeyParts p;
    if (first == std::string_view::npos || !splitRest(key, first + 1, p)) return false;
    p.account = key.substr(0, first);
    if (!IsSafeName(p.account)) return false;
    parts = p;
    return true;
}

bool SplitKeyOfAccount(std::string_view key, std::string_view account, KeyParts& parts) {
    const std::size_t n = account.size();
    if (key.size() <= n || key[n] != '\\' || !sameText(key.substr(0, n), account)) return false;
    KeyParts p;
    if (!splitRest(key, account.size() + 1, p)) return false;
    p.account = key.substr(0, account.size());
    parts = p;
    return true;
}

std::string KeyInFolder(std::string_view key, std::string_view folder) {
    KeyParts parts;
    const std::string_view canonical = CanonicalFolder(folder);
    if (canonical.empty() || !SplitKey(key, parts)) return {};
    return MakeKey(parts.account, canonical, parts.file);
}

fs::path PathOfKey(std::string_view key) {
    KeyParts parts;
    if (!SplitKey(key, parts)) return {};
    const fs::path folder = FolderPath(parts.account, parts.canonical);
    // Never a bare file name, which would be taken from the working folder.
    if (folder.empty()) return {};
    return folder / fs::path(std::string(parts.file));
}

fs::path MailDirPath(std::string_view account) {
    if (!IsSafeName(account)) return {};
    return ProgramFiles::AccountsFolder() / fs::path(std::string(account)) / fs::path(std::string(kMailDir));
}

fs::path FolderPath(std::string_view account, std::string_view folder) {
    const std::string_view canonical = canonicalAnyFolder(folder);
    if (!IsSafeName(account) || canonical.empty()) return {};
    return MailDirPath(account) / fs::path(std::string(leafOf(canonical)));
}

}  // namespace MessageKeys
