#include "mainwindow/RulesActions.h"

#include <QListWidget>
#include <QPushButton>

#include <memory>

#include "core/Confirmations.h"
#include "core/CMailRules.h"
#include "core/CRule.h"
#include "core/Log.h"
#include "core/ProductInfo.h"
#include "core/Prompt.h"
#include "mainwindow/ProgramStartup.h"
#include "mainwindow/RulesPage.h"
#include "platform/Text8.h"

namespace mainwindow {

namespace {

std::string caption() { return ProductInfo::MainWindowCaption(); }

// Items carry the rule's 8-bit name beside the text shown, so a name in any code page
// finds its rule again.
std::string textOf(const QListWidgetItem* item) { return item->data(Qt::UserRole).toByteArray().toStdString(); }

void setName(QListWidgetItem& item, const std::string& name) {
    item.setText(platform::FromText8(name));
    item.setData(Qt::UserRole, QByteArray::fromStdString(name));
}

void addName(QListWidget& list, const std::string& name) {
    auto* item = new QListWidgetItem;
    setName(*item, name);
    list.addItem(item);
}

}  // namespace

RulesActions::RulesActions(GlimmerpostProgram& program) : program_(program) {}

RulesPage* RulesActions::page() const {
    GlimmerpostMainForm* form = program_.MainForm();
    return form ? form->rulesPage() : nullptr;
}

void RulesActions::join(RulesPage& page) {
    if (joined_ == &page) return;
    joined_ = &page;
    QObject::connect(page.bCreate(), &QPushButton::clicked, &page, [this] { bCreate_Click(); });
    QObject::connect(page.bModify(), &QPushButton::clicked, &page, [this] { bModify_Click(); });
    QObject::connect(page.bDelete(), &QPushButton::clicked, &page, [this] { bDelete_Click(); });
}

void RulesActions::FillRulesListBox() {
    RulesPage* p = page();
    const CMailRules* rules = program_.Rules();
    if (!p || !rules) return;
    join(*p);
    p->lbRules()->clear();
    for (const std::string& name : rules->RuleNames()) addName(*p->lbRules(), name);
}

QListWidgetItem* RulesActions::selectedItem() const {
    RulesPage* p = page();
    if (!p) return nullptr;
    const QList<QListWidgetItem*> selected = p->lbRules()->selectedItems();
    return selected.isEmpty() ? nullptr : selected.front();
}

void RulesActions::reportNotSaved(const std::string& what) {
    Prompt::Ask(what + "\r\nRules.ini could not be written; the rules are as they were.", caption(),
                Prompt::Buttons::OK, Prompt::Kind::Exclamation);
}

void RulesActions::bCreate_Click() {
    const auto& edit = program_.Editors().editRule;
    if (!edit) {
        MiscFuncs::WriteLog(0, "i", "MailRuleForm is not available");
        return;
    }
    auto rule = std::make_shared<CRule>();
    rule->Action(RuleAction::Accept);
    if (edit(*rule, program_.MainForm()) != 1) return;
    CMailRules* rules = program_.Rules();
    RulesPage* p = page();
    if (!rules || !p) return;
    const std::string name = rule->Name();
    if (!rules->Add(rule)) {
        Prompt::Ask("A rule named " + name + " already exists. The new rule has not been added.", caption(),
                    Prompt::Buttons::OK, Prompt::Kind::Exclamation);
        return;
    }
    if (!rules->SaveRules()) {
        // Not in the file, so not in the set either.
        rules->Forget(name);
        reportNotSaved("The rule " + name + " could not be saved.");
        FillRulesListBox();
        return;
    }
    addName(*p->lbRules(), name);
    p->lbRules()->setCurrentRow(p->lbRules()->count() - 1);
}

void RulesActions::bModify_Click() {
    QListWidgetItem* item = selectedItem();
    CMailRules* rules = program_.Rules();
    if (!item || !rules) return;
    const auto& edit = program_.Editors().editRule;
    if (!edit) {
        MiscFuncs::WriteLog(0, "i", "MailRuleForm is not available");
        return;
    }
    const std::string name = textOf(item);
    const std::shared_ptr<CRule> original = rules->RuleByName(name);
    if (!original) {
        FillRulesListBox();
        return;
    }
    CRule copy = *original;
    if (edit(copy, program_.MainForm()) != 1) return;
    // The editor let events run: the set may be gone, or no longer hold the rule.
    rules = program_.Rules();
    const std::shared_ptr<CRule> target = rules ? rules->RuleByName(name) : nullptr;
    if (!target) return;
    // A name that another rule has is refused before anything is written.
    if (const auto holder = rules->RuleByName(copy.Name()); holder && holder != target) {
        Prompt::Ask("A rule named " + copy.Name() + " already exists. The rule " + name + " has not been changed.",
                    caption(), Prompt::Buttons::OK, Prompt::Kind::Exclamation);
        return;
    }
    const CRule before = *target;
    *target = copy;
    if (!rules->SaveRules()) {
        // The old values go back, and back into the file for a save that wrote and
        // then refused the name.
        if (rules->RuleByName(target->Name()) == target) {
            *target = before;
            rules->SaveRules();
        }
        reportNotSaved("The rule " + name + " could not be saved.");
        FillRulesListBox();
        return;
    }
    const auto saved = rules->RuleByName(copy.Name());
    if (QListWidgetItem* shown = selectedItem(); shown && saved) setName(*shown, saved->Name());
}

void RulesActions::bDelete_Click() {
    QListWidgetItem* item = selectedItem();
    if (!item || !program_.Rules()) return;
    const std::string name = textOf(item);
    if (Confirmations::AskToConfirm("Are you sure You want to delete rule\r\n" + name, caption(),
                                    Prompt::Kind::Question, 2) != Prompt::Answer::Yes)
        return;
    CMailRules* rules = program_.Rules();
    RulesPage* p = page();
    if (!rules || !p) return;
    if (!rules->Delete(name)) {
        reportNotSaved("The rule " + name + " could not be deleted.");
        return;
    }
    for (int row = 0; row < p->lbRules()->count(); ++row) {
        if (textOf(p->lbRules()->item(row)) != name) continue;
        delete p->lbRules()->takeItem(row);
        break;
    }
}

}  // namespace mainwindow
