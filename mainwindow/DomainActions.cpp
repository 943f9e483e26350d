#include "mainwindow/DomainActions.h"

#include <algorithm>

#include "core/Confirmations.h"
#include "core/Address.h"
#include "core/CSenders.h"
#include "core/Log.h"
#include "core/MiscUtils.h"
#include "core/ProductInfo.h"
#include "core/Prompt.h"
#include "mainwindow/ProgramStartup.h"

namespace mainwindow {

namespace {

std::string caption() { return ProductInfo::MainWindowCaption(); }

std::string searchThisDomain(DomainStatus status) {
    return std::string("Would you like Glimmerpost to search for senders from this domain and") +
           (status == DomainStatus::Approved ? " approve " : " block ") + "them?";
}

std::string lowered(std::string_view text) { return MiscFuncs::LowerCase(text); }

}  // namespace

std::vector<DomainRow> SortedDomainRows(const std::vector<std::string>& entries) {
    std::vector<std::pair<std::string, DomainRow>> keyed;
    keyed.reserve(entries.size());
    for (const std::string& entry : entries) {
        const std::size_t tab = entry.find('\t');
        DomainRow row{entry.substr(0, tab), tab == std::string::npos ? std::string() : entry.substr(tab + 1)};
        keyed.emplace_back(lowered(row.domain), std::move(row));
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<DomainRow> rows;
    rows.reserve(keyed.size());
    for (auto& k : keyed) rows.push_back(std::move(k.second));
    return rows;
}

DomainActions::DomainActions(GlimmerpostProgram& program) : program_(program) {}

const std::vector<std::string>& DomainActions::ListOf(DomainStatus status) const {
    return lists_[status == DomainStatus::Blocked ? 0 : 1];
}

bool DomainActions::listsAlive() { return program_.Domains() && program_.Senders(); }

void DomainActions::ReloadDomainLists() {
    if (const CDomains* domains = program_.Domains()) domains->LoadAllDomains(lists_);
    else lists_ = {};
}

void DomainActions::DomainsChanged() {
    if (held_ > 0) stale_ = true;
    else refillNow();
}

void DomainActions::refillNow() {
    stale_ = false;
    ReloadDomainLists();
    if (refill_) refill_();
}

DomainActions::Hold::Hold(DomainActions& actions) : actions_(actions) { ++actions_.held_; }

DomainActions::Hold::~Hold() {
    if (--actions_.held_ == 0 && actions_.stale_) actions_.refillNow();
}

std::size_t DomainActions::ApplyDomainStatusToSenders(std::string_view domain) {
    CDomains* domains = program_.Domains();
    CSenders* senders = program_.Senders();
    if (!domains || !senders) return 0;
    const DomainStatus status = domains->StatusOf(domain);
    if (status == DomainStatus::NotListed) return 0;
    const bool approve = status == DomainStatus::Approved;
    const SenderStatus target = approve ? SenderStatus::Approved : SenderStatus::Blocked;

    // Taken before any change: a change moves the sender from one list to another.
    std::vector<std::string> matching;
    for (SenderStatus from : {SenderStatus::Blocked, SenderStatus::Unknown, SenderStatus::WaitingAuth,
                              SenderStatus::Approved}) {
        if (from == target) continue;
        for (std::string& address : senders->AddressesOf(from))
            if (MiscFuncs::EqualsIgnoreCase(MiscFuncs::DomainOf(address), domain)) matching.push_back(std::move(address));
    }
    std::size_t count = 0;
    bool saved = true;
    {
        CSenders::BulkUpdate bulk(*senders);
        for (const std::string& address : matching) {
            const std::string reason = approve ? "approved " + address + " because of allowed domain " + std::string(domain)
                                               : "Blocked " + address + " because of blocked domain " + std::string(domain);
            if (!senders->SetStatus("", address, target, reason)) continue;
            MiscFuncs::WriteLog(3, "i", reason);
            ++count;
        }
        saved = bulk.Commit();
    }
    if (!saved)
        Prompt::Ask("The sender list could not be saved to " + senders->IniFile() +
                        ".\r\nThe senders' new status holds only until Glimmerpost closes.",
                    caption(), Prompt::Buttons::OK, Prompt::Kind::Exclamation);
    if (count > 0)
        Prompt::Ask(std::to_string(count) + " sender(s) have been " + (approve ? "approved" : " blocked "),
                    "Domain operation", Prompt::Buttons::OK, Prompt::Kind::Information);
    return count;
}

void DomainActions::BlockSendersDomain(const std::vector<std::string>& addresses) {
    sendersDomain(addresses, DomainStatus::Blocked);
}

void DomainActions::ApproveSendersDomain(const std::vector<std::string>& addresses) {
    sendersDomain(addresses, DomainStatus::Approved);
}

void DomainActions::sendersDomain(const std::vector<std::string>& addresses, DomainStatus status) {
    std::vector<std::string> domainsOf;
    for (const std::string& address : addresses) {
        if (MiscFuncs::IsBlank(address)) continue;
        const std::string domain = MiscFuncs::DomainOf(MiscFuncs::TrimBlanks(address));
        if (MiscFuncs::IsBlank(domain)) continue;
        const bool seen = std::any_of(domainsOf.begin(), domainsOf.end(),
                                      [&](const std::string& d) { return MiscFuncs::EqualsIgnoreCase(d, domain); });
        if (!seen) domainsOf.push_back(domain);
    }
    const bool block = status == DomainStatus::Blocked;
    for (const std::string& domain : domainsOf) {
        if (!listsAlive()) return;
        if (!setStatus(domain, status, block ? "Blocked by user" : "Approved by user")) return;
        // With one domain the question is the one the menu always asked; with more
        // it names the domain it is about.
        const std::string question =
            domainsOf.size() == 1
                ? std::string("Would you like Glimmerpost to search for senders from this domain and ") +
                      (block ? "move them to black list?" : "approve them?")
                : "Would you like Glimmerpost to search for senders from " + domain + " domain and " +
                      (block ? "move them to black list?" : "approve them?");
        if (askSearch(question, status)) ApplyDomainStatusToSenders(domain);
    }
}

void DomainActions::AddDomain(DomainStatus tab) {
    const auto& edit = program_.Editors().editDomain;
    if (!edit) {
        MiscFuncs::WriteLog(0, "i", "AddDomainForm is not available");
        return;
    }
    std::string domain, description;
    if (edit(domain, description, program_.MainForm()) != 1 || !listsAlive()) return;
    if (!setStatus(domain, tab, description)) return;
    if (askSearch(searchThisDomain(tab), tab)) ApplyDomainStatusToSenders(domain);
}

void DomainActions::EditDomain(DomainStatus tab, const std::string& old, const std::string& oldDescription) {
    const auto& edit = program_.Editors().editDomain;
    if (!edit) {
        MiscFuncs::WriteLog(0, "i", "AddDomainForm is not available");
        return;
    }
    std::string domain = old, description = oldDescription;
    if (edit(domain, description, program_.MainForm()) != 1 || !listsAlive()) return;
    CDomains& domains = *program_.Domains();
    const bool renamed = domain != old;
    const bool sameEntry = MiscFuncs::EqualsIgnoreCase(domain, old);
    if (renamed && !sameEntry && domains.StatusOf(domain) != DomainStatus::NotListed) {
        Prompt::Ask("The domain " + domain + " is already listed.\r\nThe domain " + old + " has not been renamed.",
                    caption(), Prompt::Buttons::OK, Prompt::Kind::Exclamation);
        return;
    }
    {
        Hold hold(*this);
        if (renamed && sameEntry) {
            // Only the letter case changes: the entry is written again under the new spelling.
            if (!domains.DeleteDomain(old)) return reportDomainsNotSaved();
            if (!domains.SetStatus(domain, tab, description)) {
                domains.SetStatus(old, tab, oldDescription);
                return reportDomainsNotSaved();
            }
        } else {
            // The new entry first: a failed write leaves the old one listed.
            if (!setStatus(domain, tab, description)) return;
            if (renamed && !domains.DeleteDomain(old)) return reportDomainsNotSaved();
        }
    }
    if (askSearch(searchThisDomain(tab), tab)) ApplyDomainStatusToSenders(domain);
}

void DomainActions::SetStatusOf(const std::vector<std::string>& selected, DomainStatus status) {
    const bool approve = status == DomainStatus::Approved;
    Hold hold(*this);
    for (const std::string& domain : selected) {
        if (MiscFuncs::IsBlank(domain)) continue;
        if (!listsAlive()) return;
        if (!setStatus(domain, status, approve ? "Manualy registered by user" : "Manualy blocked by user")) return;
        const std::string question = "Would you like Glimmerpost to search for senders from " + domain +
                                     (approve ? " domain and approve them?" : " domain and put them to black list?");
        if (askSearch(question, status)) ApplyDomainStatusToSenders(domain);
    }
}

void DomainActions::DeleteDomains(const std::vector<std::string>& selected) {
    std::vector<std::string> domainsOf;
    for (const std::string& domain : selected)
        if (!MiscFuncs::IsBlank(domain)) domainsOf.push_back(domain);
    if (domainsOf.empty()) return;
    const std::string question = domainsOf.size() == 1
                                     ? "Are you sure you want to delete " + domainsOf.front() + "?"
                                     : "Are you sure you want to delete " + std::to_string(domainsOf.size()) +
                                           " Domains?";
    if (Confirmations::AskToConfirm(question, "Domains", Prompt::Kind::Question, 2) != Prompt::Answer::Yes)
        return;
    if (!listsAlive()) return;
    Hold hold(*this);
    for (const std::string& domain : domainsOf)
        if (!program_.Domains()->DeleteDomain(domain)) return reportDomainsNotSaved();
}

bool DomainActions::setStatus(std::string_view domain, DomainStatus status, std::string_view description) {
    CDomains* domains = program_.Domains();
    if (!domains) return false;
    if (domains->SetStatus(domain, status, description)) return true;
    reportDomainsNotSaved();
    return false;
}

bool DomainActions::askSearch(const std::string& question, DomainStatus status) {
    // Blocking moves the senders' held mail to Recycled: that question defaults to No.
    const int defaultButton = status == DomainStatus::Blocked ? 2 : 1;
    const bool yes = Prompt::Ask(question, caption(), Prompt::Buttons::YesNo, Prompt::Kind::Question,
                                 defaultButton) == Prompt::Answer::Yes;
    return yes && listsAlive();
}

void DomainActions::reportDomainsNotSaved() {
    const CDomains* domains = program_.Domains();
    Prompt::Ask("The domain list could not be saved" + (domains ? " to " + domains->IniFile() : std::string()) +
                    ".\r\nThe change has not been made.",
                caption(), Prompt::Buttons::OK, Prompt::Kind::Exclamation);
}

}  // namespace mainwindow
