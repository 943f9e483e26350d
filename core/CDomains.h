#pragma once
// CDomains: the user's approved and blocked mail domains, one section of Domains.ini
// (in the accounts folder) per domain, named by the domain as given:
//   AccessLevel   "0" blocked, "1" approved; absent for any other status
//   Description   the user's text
// The filter asks StatusOf for every fetched message; the Domains page shows the two
// DomainLists and edits them through SetStatus and DeleteDomain.
//
// Domain names reach the file as section names, so they go through the settings
// file's rules (brackets become braces, CR, LF and NUL blanks, ends trimmed); every
// member maps a domain the same way before it looks, so what SetStatus wrote is what
// StatusOf, DeleteDomain and a later SetStatus find. Names match ignoring case.
//
// Change is raised after every SetStatus and DeleteDomain, also one that changed
// nothing or could not be written (the listeners reload from the file either way).

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "core/CIniFile.h"
#include "core/ChangeEvent.h"

enum class DomainStatus : long { NotListed = -1, Blocked = 0, Approved = 3 };

// Index 0 blocked, 1 approved (the stored AccessLevel); each entry is a DomainEntry:
// the domain, TAB, the description.
using DomainLists = std::array<std::vector<std::string>, 2>;

class CDomains {
public:
    // Opens Domains.ini in the accounts folder of the program folder.
    CDomains();
    // Opens the given file instead.
    explicit CDomains(std::string_view iniPath);

    // Approved, Blocked, or NotListed when the section or its AccessLevel is missing
    // or holds anything but "0" or "1". One hash lookup.
    DomainStatus StatusOf(std::string_view domain) const;

    // Writes AccessLevel (removed for a status other than Blocked and Approved) and
    // Description in one write, logs "Status changed for domain <domain>" (level 2)
    // and raises Change. False when the file could not be written.
    bool SetStatus(std::string_view domain, DomainStatus status, std::string_view description);

    // Removes the domain's section and raises Change. False when the file could not
    // be written; a domain that is not listed is no failure.
    bool DeleteDomain(std::string_view domain);

    // Refills both lists from the file in file order; sections whose AccessLevel is
    // neither "0" nor "1" are left out.
    void LoadAllDomains(DomainLists& lists) const;

    const std::string& IniFile() const { return ini_.IniFile(); }

    MiscFuncs::ChangeEvent Change;

private:
    CIniFile ini_;
};
