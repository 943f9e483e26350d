#pragma once
// aliases.ini and the question the message filter asks of every message: is the
// sender one of the user's own addresses?
//
// aliases.ini holds one section [Aliases] with one key per further address of the
// user, value "1". A key beginning with "*" stands for every mailbox of a domain and
// has the form "*@domain": the domain is the key from its third character on.
//
// OwnAddresses answers from the section names of accounts.ini (the accounts) and the
// keys of [Aliases], compared lower-cased and trimmed of blanks. It keeps them in hash
// sets and rebuilds them only when either list has changed, so a lookup costs two
// list reads of the shared settings copies and a hash lookup or two, and an edit of
// either file is seen at the next message.

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/CIniFile.h"

namespace Aliases {

inline constexpr std::string_view kSection = "Aliases";

// The keys of [Aliases] in file order.
std::vector<std::string> ReadAliases(const CIniFile& aliases);
// Replaces the whole section with these keys (value "1"), in order, as one change of
// the file; an empty list leaves no key. Blank entries are skipped.
bool WriteAliases(CIniFile& aliases, const std::vector<std::string>& keys);

}  // namespace Aliases

// Which of the user's addresses a sender is.
enum class OwnAddressKind { None, Account, Alias };

class OwnAddresses {
public:
    // Both objects must outlive this one.
    OwnAddresses(const CIniFile& accounts, const CIniFile& aliases);

    // The sender as the filter has it (a bare address). An account wins over an alias;
    // an alias is a listed address or a listed "*@domain" of the sender's domain.
    OwnAddressKind Classify(std::string_view sender);
    bool Contains(std::string_view sender) { return Classify(sender) != OwnAddressKind::None; }

private:
    void Refresh();

    const CIniFile& accounts_;
    const CIniFile& aliases_;
    std::string accountsList_, aliasesList_;  // the raw lists the sets were built from
    bool built_ = false;
    std::unordered_set<std::string> accounts_set_, aliases_set_, domains_;
};
