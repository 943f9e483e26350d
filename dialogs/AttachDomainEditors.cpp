// The domain and rule editors live for the whole run; the hooks fill them, show them
// and hand back what was confirmed.
#include "dialogs/AttachDomainEditors.h"

#include "core/CMailRules.h"
#include "core/CRule.h"
#include "core/MiscUtils.h"
#include "dialogs/AddDomainForm.h"
#include "dialogs/MailRuleForm.h"
#include "mainwindow/ProgramStartup.h"

namespace dialogs {

namespace {

struct DomainAndRuleEditors : ProgramDialogs::Part {
    AddDomainForm domain;
    MailRuleForm rule;
};

}  // namespace

void AttachDomainAndRuleEditors(ProgramDialogs& dialogs, mainwindow::GlimmerpostProgram& program) {
    auto& editors = dialogs.Keep<DomainAndRuleEditors>();
    program.Editors().editDomain = [&editors](std::string& domain, std::string& description, QWidget* owner) {
        const int result = editors.domain.Edit(domain, description, owner);
        if (result == AddDomainForm::kOk) {
            domain = editors.domain.Domain();
            description = editors.domain.Description();
        }
        return result;
    };
    program.Editors().editRule = [&editors, &program](CRule& rule, QWidget* owner) {
        // Taken: the name of any rule of the set but the one being edited.
        editors.rule.SetNameTaken([&program, own = rule.Name()](std::string_view name) {
            const CMailRules* rules = program.Rules();
            const auto other = rules ? rules->RuleByName(name) : nullptr;
            return other && (own.empty() || !MiscFuncs::EqualsIgnoreCase(other->Name(), own));
        });
        editors.rule.Edit(rule);
        return editors.rule.ShowModal(owner);
    };
}

}  // namespace dialogs
