#include "dialogs/MailRuleForm.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

#include "core/CRule.h"
#include "core/MiscUtils.h"
#include "core/Prompt.h"
#include "dialogs/EditorPlacement.h"
#include "platform/Text8.h"

namespace dialogs {

namespace {

constexpr int kFieldMaxLength = 255;

QLineEdit* field(const char* name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setMaxLength(kFieldMaxLength);
    return edit;
}

std::string trimmed(const QLineEdit* edit) {
    return std::string(MiscFuncs::TrimBlanks(edit->text().toStdString()));
}

}  // namespace

MailRuleForm::MailRuleForm(QWidget* parent)
    : QDialog(parent),
      name_(field("tRuleName", this)),
      from_(field("tFrom", this)),
      to_(field("tTo", this)),
      subject_(field("tSubject", this)),
      accept_(new QRadioButton("Accept message", this)),
      deleteFromServer_(new QRadioButton("Delete message from server", this)),
      leaveOnServer_(new QRadioButton("Leave message on server", this)),
      ok_(new QPushButton("OK", this)),
      cancel_(new QPushButton("Cancel", this)) {
    setObjectName("MailRuleForm");
    setModal(true);
    accept_->setObjectName("oAccept");
    deleteFromServer_->setObjectName("oDeleteFromServer");
    leaveOnServer_->setObjectName("oLeaveOnServer");
    ok_->setObjectName("OkButton");
    ok_->setDefault(true);
    cancel_->setObjectName("CancelButton");

    auto* frame = new QGroupBox("Rule", this);
    auto* inFrame = new QVBoxLayout(frame);
    inFrame->addWidget(new QLabel("Email rule name:", frame));
    inFrame->addWidget(name_);
    inFrame->addWidget(new QLabel("FROM field of message contains:", frame));
    inFrame->addWidget(from_);
    inFrame->addWidget(new QLabel("and TO: field of message contains", frame));
    inFrame->addWidget(to_);
    inFrame->addWidget(new QLabel("and SUBJECT field of message contains:", frame));
    inFrame->addWidget(subject_);
    auto* then = new QLabel("THEN", frame);
    QFont bold = then->font();
    bold.setBold(true);
    then->setFont(bold);
    inFrame->addWidget(then);
    inFrame->addWidget(accept_);
    inFrame->addWidget(deleteFromServer_);
    inFrame->addWidget(leaveOnServer_);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(ok_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancel_, QDialogButtonBox::RejectRole);
    auto* column = new QVBoxLayout(this);
    column->addWidget(frame);
    column->addWidget(buttons);
    name_->setMinimumWidth(360);

    connect(name_, &QLineEdit::textChanged, this, &MailRuleForm::tRuleName_Change);
    connect(ok_, &QPushButton::clicked, this, &MailRuleForm::OkButton_Click);
    connect(cancel_, &QPushButton::clicked, this, &MailRuleForm::CancelButton_Click);
    tRuleName_Change();
}

void MailRuleForm::Edit(CRule& rule) {
    rule_ = &rule;
    result_ = kCancel;
    name_->setText(platform::FromText8(rule.Name()));
    tRuleName_Change();
    from_->setText(platform::FromText8(rule.FromPattern()));
    to_->setText(platform::FromText8(rule.ToPattern()));
    subject_->setText(platform::FromText8(rule.SubjectPattern()));
    // None of the three stays selected for an action the editor does not offer.
    for (QRadioButton* option : {accept_, deleteFromServer_, leaveOnServer_}) option->setAutoExclusive(false);
    accept_->setChecked(rule.Action() == RuleAction::Accept);
    deleteFromServer_->setChecked(rule.Action() == RuleAction::DeleteFromServer);
    leaveOnServer_->setChecked(rule.Action() == RuleAction::LeaveOnServer);
    for (QRadioButton* option : {accept_, deleteFromServer_, leaveOnServer_}) option->setAutoExclusive(true);
    name_->setFocus();
}

int MailRuleForm::ShowModal(QWidget* owner) {
    if (!rule_) return kCancel;
    CentreOver(this, owner);
    exec();
    return result_;
}

void MailRuleForm::tRuleName_Change() { setWindowTitle("Email rule - " + name_->text()); }

bool MailRuleForm::HasEdgeWildcard(std::string_view pattern) {
    return !pattern.empty() && (pattern.front() == '*' || pattern.back() == '*');
}

bool MailRuleForm::MatchesAnything(std::string_view pattern) {
    return std::all_of(pattern.begin(), pattern.end(), [](char c) { return c == '*' || c == ' '; });
}

void MailRuleForm::refuse(std::string_view text, bool information, QLineEdit* focus) {
    Prompt::Ask(text, windowTitle().toStdString(), Prompt::Buttons::OK,
                information ? Prompt::Kind::Information : Prompt::Kind::Exclamation);
    if (focus) {
        focus->setFocus();
        focus->selectAll();
    }
}

bool MailRuleForm::confirmDeletingEverything(const std::string& from, const std::string& to,
                                             const std::string& subject) {
    if (!deleteFromServer_->isChecked()) return true;
    if (!MatchesAnything(from) || !MatchesAnything(to) || !MatchesAnything(subject)) return true;
    return Prompt::Ask("This rule matches every message, so all your mail would be deleted from the server "
                       "unread.\r\nDo you want to save it all the same?",
                       windowTitle().toStdString(), Prompt::Buttons::YesNo, Prompt::Kind::Exclamation,
                       2) == Prompt::Answer::Yes;
}

void MailRuleForm::OkButton_Click() {
    if (!rule_) return;
    const std::string name = trimmed(name_);
    if (name.find_first_of("[]") != std::string::npos) {
        refuse("Rule name can not contain characters \"[\" and \"]\"", false, name_);
        return;
    }
    if (MiscFuncs::IsBlank(name)) {
        refuse("Rule name can not be an empty string", false, name_);
        return;
    }
    if (nameTaken_ && nameTaken_(name)) {
        refuse("A rule named " + name + " already exists. Please choose another name.", false, name_);
        return;
    }
    const std::string from = trimmed(from_), to = trimmed(to_), subject = trimmed(subject_);
    if (HasEdgeWildcard(from) || HasEdgeWildcard(to) || HasEdgeWildcard(subject))
        Prompt::Ask("It is not necessary to put wildcards in the beginning and in the end of the search string, "
                    "they will be added automaticaly.",
                    windowTitle().toStdString(), Prompt::Buttons::OK, Prompt::Kind::Information);
    if (MiscFuncs::IsBlank(from) && MiscFuncs::IsBlank(to) && MiscFuncs::IsBlank(subject)) {
        refuse("Rule can not be empty, please fill atleast one of the fields", true, from_);
        return;
    }
    // A closing program answers the question No.
    if (!confirmDeletingEverything(from, to, subject)) return;
    rule_->Name(name);
    rule_->FromPattern(from);
    rule_->ToPattern(to);
    rule_->SubjectPattern(subject);
    rule_->Action(accept_->isChecked()             ? RuleAction::Accept
                  : deleteFromServer_->isChecked() ? RuleAction::DeleteFromServer
                                                   : RuleAction::LeaveOnServer);
    result_ = kOk;
    done(QDialog::Accepted);
}

void MailRuleForm::CancelButton_Click() {
    result_ = kCancel;
    done(QDialog::Rejected);
}

void MailRuleForm::reject() { CancelButton_Click(); }

}  // namespace dialogs
