#include "core/CDomains.h"

#include "core/Log.h"
#include "core/ProgramFiles.h"

namespace {

constexpr std::string_view kAccessLevel = "AccessLevel";
constexpr std::string_view kDescription = "Description";
constexpr std::size_t kMaxLoggedDomain = 255;

}  // namespace

CDomains::CDomains() : CDomains(ProgramFiles::DomainsIniPath().string()) {}

CDomains::CDomains(std::string_view iniPath) : ini_(iniPath) {}

DomainStatus CDomains::StatusOf(std::string_view domain) const {
    // Most domains need no mapping: skip the copy on the filter's path.
    constexpr std::string_view kMapped("[]\r\n\0", 5);
    const std::string level = domain.find_first_of(kMapped) == std::string_view::npos
                                  ? ini_.Value(domain, kAccessLevel)
                                  : ini_.Value(CIniFile::StoredSectionName(domain), kAccessLevel);
    if (level == "0") return DomainStatus::Blocked;
    if (level == "1") return DomainStatus::Approved;
    return DomainStatus::NotListed;
}

bool CDomains::SetStatus(std::string_view domain, DomainStatus status, std::string_view description) {
    const std::string section = CIniFile::StoredSectionName(domain);
    MiscFuncs::WriteLog(2, "i", "Status changed for domain " + section.substr(0, kMaxLoggedDomain));
    bool ok = true;
    {
        CIniFile::Batch batch(ini_);
        if (status == DomainStatus::Blocked || status == DomainStatus::Approved)
            ok = ini_.Value(section, kAccessLevel, status == DomainStatus::Blocked ? "0" : "1");
        else
            ok = ini_.DeleteKey(section, kAccessLevel);
        ok = ini_.Value(section, kDescription, description) && ok;
        ok = batch.Commit() && ok;
    }
    if (!ok) MiscFuncs::WriteLog(0, "#", "Error in CDomains::SetStatus: " + ini_.IniFile() + " could not be written");
    Change.Raise();
    return ok;
}

bool CDomains::DeleteDomain(std::string_view domain) {
    const bool ok = ini_.ClearSection(CIniFile::StoredSectionName(domain));
    if (!ok) MiscFuncs::WriteLog(0, "#", "Error in CDomains::DeleteDomain: " + ini_.IniFile() + " could not be written");
    Change.Raise();
    return ok;
}

void CDomains::LoadAllDomains(DomainLists& lists) const {
    lists = DomainLists{};
    for (const std::string& domain : ini_.AllSectionsArray()) {
        const std::string level = ini_.Value(domain, kAccessLevel);
        if (level != "0" && level != "1") continue;
        lists[level == "0" ? 0 : 1].push_back(domain + '\t' + ini_.Value(domain, kDescription));
    }
}
