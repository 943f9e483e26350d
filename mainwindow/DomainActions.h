#pragma once
// DomainActions: the work behind the domains page and the senders page's two domain
// commands, on the program's own lists. It owns the in-memory DomainLists (the one
// copy the program keeps: index 0 blocked, 1 permitted) and reloads them from the
// domain list on its Change event, then asks the page to refill, once.
//
// Every command acts on the domains it was given (keys, not grid rows), asks its
// questions one domain at a time, and after every question or editor checks that the
// program still has its lists: a shut-down during a question ends the command, and a
// closing program answers every question No. A failed write of Domains.ini or
// senders.ini is told to the user; the file then holds what it held before.
//
// ApplyDomainStatusToSenders gives every listed sender of a listed domain the
// domain's status, in one write of senders.ini, and does nothing for a domain that is
// not listed.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/CDomains.h"

namespace mainwindow {

class GlimmerpostProgram;

// One row of the domains grid: a DomainEntry split at its first TAB.
struct DomainRow {
    std::string domain, description;
};
// The rows of a list in the grid's order: by domain, ascending, ignoring case.
std::vector<DomainRow> SortedDomainRows(const std::vector<std::string>& entries);

class DomainActions {
public:
    explicit DomainActions(GlimmerpostProgram& program);

    const DomainLists& Lists() const { return lists_; }
    // The list a tab shows: DomainStatus::Approved is list 1, Blocked list 0.
    const std::vector<std::string>& ListOf(DomainStatus status) const;

    // Told to refill the page after the lists were reloaded.
    void SetRefill(std::function<void()> refill) { refill_ = std::move(refill); }

    // CDomains::LoadAllDomains into the lists (emptied once the program released it).
    void ReloadDomainLists();
    // The domain list changed: reload and refill, or only remember it while held.
    void DomainsChanged();

    // The number of senders changed; 0 for a domain that is not listed.
    std::size_t ApplyDomainStatusToSenders(std::string_view domain);

    // The senders page's menu: each distinct domain of the addresses (blank ones
    // skipped, case ignored) is set, asked about and handled once.
    void BlockSendersDomain(const std::vector<std::string>& addresses);
    void ApproveSendersDomain(const std::vector<std::string>& addresses);

    // The domains page. `tab` is the status of the list shown.
    void AddDomain(DomainStatus tab);
    // Renames or describes the listed domain through the domain editor.
    void EditDomain(DomainStatus tab, const std::string& domain, const std::string& description);
    // The Ok and Block buttons on the selected domains.
    void SetStatusOf(const std::vector<std::string>& domains, DomainStatus status);
    // The Delete button, after one question.
    void DeleteDomains(const std::vector<std::string>& domains);

    // While a Hold lives, changes are only remembered; its end reloads and refills once.
    class Hold {
    public:
        explicit Hold(DomainActions& actions);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        DomainActions& actions_;
    };

private:
    bool listsAlive();
    void sendersDomain(const std::vector<std::string>& addresses, DomainStatus status);
    bool setStatus(std::string_view domain, DomainStatus status, std::string_view description);
    bool askSearch(const std::string& question, DomainStatus status);
    void reportDomainsNotSaved();
    void refillNow();

    GlimmerpostProgram& program_;
    DomainLists lists_;
    std::function<void()> refill_;
    int held_ = 0;
    bool stale_ = false;
};

}  // namespace mainwindow
