#include "mainwindow/DomainsAndRulesPages.h"

#include "mainwindow/DomainActions.h"
#include "mainwindow/DomainsView.h"
#include "mainwindow/ProgramStartup.h"
#include "mainwindow/RulesActions.h"

namespace mainwindow {

struct DomainsAndRulesPages {
    explicit DomainsAndRulesPages(GlimmerpostProgram& program)
        : domains(program), domainsView(program, domains), rules(program) {}
    DomainActions domains;
    DomainsView domainsView;
    RulesActions rules;
};

std::shared_ptr<DomainsAndRulesPages> AttachDomainsAndRulesPages(GlimmerpostProgram& program) {
    auto pages = std::make_shared<DomainsAndRulesPages>(program);
    DomainsAndRulesPages* p = pages.get();
    p->domains.SetRefill([p] { p->domainsView.FillDomainsGrid(); });
    program.Views().fillDomains = [p](GlimmerpostProgram&) { p->domains.DomainsChanged(); };
    program.Views().fillRules = [p](GlimmerpostProgram&) { p->rules.FillRulesListBox(); };
    return pages;
}

DomainActions& DomainActionsOf(DomainsAndRulesPages& pages) { return pages.domains; }

}  // namespace mainwindow
