#include "core/MessageKey.h"

#include <array>

#include "core/MiscUtils.h"
#include "core/ProgramFiles.h"

namespace fs = std::filesystem;

namespace MessageKeys {
namespace {

constexpr std::array<std::string_view, 3> kIndexedFolders = {kInBox, kWaitingAuth, kRecycled};

// The folder's name below MailDir ("InBox" for "MailDir\InBox").
std::string_view leafOf(std::string_view canonical) { return canonical.substr(kMailDir.size() + 1); }

std::string_view canonicalAnyFolder(std::string_view folder) {
    const std::string_view indexed = CanonicalFolder(folder);
    if (!indexed.empty()) return indexed;
    return MiscFuncs::EqualsIgnoreCase(folder, kOutBox) ? kOutBox : std::string_view();
}

}  // namespace

std::string_view CanonicalFolder(std::string_view folder) {
    for (std::string_view known : kIndexedFolders)
        if (MiscFuncs::EqualsIgnoreCase(folder, known)) return known;
    return {};
}

bool IsSafeName(std::string_view name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
    return true;
}

bool IsMessageFileName(std::string_view name) {
    return IsSafeName(name) && name.size() > 4 && MiscFuncs::EqualsIgnoreCase(name.substr(name.size() - 4), ".eml");
}

std::string MakeKey(std::string_view account, std::string_view folder, std::string_view file) {
    std::string key;
    key.reserve(account.size() + folder.size() + file.size() + 2);
    key.append(account).append(1, '\\').append(folder).append(1, '\\').append(file);
    return key;
}

bool SplitKey(std::string_view key, KeyParts& parts) {
    const std::size_t first = key.find('\\');
    const std::size_t last = key.rfind('\\');
    if (first == std::string_view::npos || first == last) return false;
    const KeyParts p{key.substr(0, first), key.substr(first + 1, last - first - 1), key.substr(last + 1)};
    if (!IsSafeName(p.account) || CanonicalFolder(p.folder).empty() || !IsMessageFileName(p.file)) return false;
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
    return FolderPath(parts.account, parts.folder) / fs::path(std::string(parts.file));
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
