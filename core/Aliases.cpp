#include "core/Aliases.h"

#include "core/Address.h"
#include "core/MiscUtils.h"

namespace {

std::string lowerTrimmed(std::string_view s) { return MiscFuncs::LowerCase(MiscFuncs::TrimBlanks(s)); }

// Splits a raw NUL-separated list; empty names are skipped.
template <typename Fn> void forEachName(const std::string& list, Fn&& fn) {
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find('\0', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) fn(std::string_view(list).substr(start, end - start));
        start = end + 1;
    }
}

}  // namespace

namespace Aliases {

std::vector<std::string> ReadAliases(const CIniFile& aliases) { return aliases.AllSectionKeysArray(kSection); }

bool WriteAliases(CIniFile& aliases, const std::vector<std::string>& keys) {
    CIniFile::Batch batch(aliases);
    aliases.ClearSection(kSection);
    for (const std::string& key : keys)
        if (!MiscFuncs::IsBlank(key)) aliases.Value(kSection, key, "1");
    return batch.Commit();
}

}  // namespace Aliases

OwnAddresses::OwnAddresses(const CIniFile& accounts, const CIniFile& aliases)
    : accounts_(accounts), aliases_(aliases) {}

void OwnAddresses::Refresh() {
    std::string accounts = accounts_.AllSectionsString();
    std::string aliases = aliases_.AllSectionKeysString(Aliases::kSection);
    if (built_ && accounts == accountsList_ && aliases == aliasesList_) return;
    accounts_set_.clear();
    aliases_set_.clear();
    domains_.clear();
    const auto add = [](std::unordered_set<std::string>& set, std::string_view name) {
        std::string n = lowerTrimmed(name);
        if (!n.empty()) set.insert(std::move(n));
    };
    forEachName(accounts, [&](std::string_view name) { add(accounts_set_, name); });
    forEachName(aliases, [&](std::string_view key) {
        if (key[0] == '*')
            add(domains_, key.size() > 2 ? key.substr(2) : std::string_view{});
        else
            add(aliases_set_, key);
    });
    accountsList_ = std::move(accounts);
    aliasesList_ = std::move(aliases);
    built_ = true;
}

OwnAddressKind OwnAddresses::Classify(std::string_view sender) {
    Refresh();
    const std::string who = lowerTrimmed(sender);
    if (who.empty()) return OwnAddressKind::None;
    if (accounts_set_.count(who)) return OwnAddressKind::Account;
    if (aliases_set_.count(who)) return OwnAddressKind::Alias;
    if (!domains_.empty() && domains_.count(lowerTrimmed(MiscFuncs::DomainOf(who)))) return OwnAddressKind::Alias;
    return OwnAddressKind::None;
}
