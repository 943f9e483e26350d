#pragma once
// The domains and rules pages joined to the program: the domain list's refill
// (Views().fillDomains) and the rule list's (Views().fillRules), with the objects that
// answer the pages' commands. What Attach returns must outlive the program.

#include <memory>

namespace mainwindow {

class GlimmerpostProgram;
class DomainActions;

struct DomainsAndRulesPages;

// Fills the program's two hooks; the result holds the pages' actions.
std::shared_ptr<DomainsAndRulesPages> AttachDomainsAndRulesPages(GlimmerpostProgram& program);
// The domain actions of an attached pair (for the senders page's domain commands).
DomainActions& DomainActionsOf(DomainsAndRulesPages& pages);

}  // namespace mainwindow
