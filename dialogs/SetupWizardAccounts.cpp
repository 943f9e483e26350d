// The setup wizard's accounts page: the account list, editing a record, the account
// test (see SetupWizard.h for the rules kept).
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QToolButton>

#include "core/Address.h"
#include "core/Log.h"
#include "dialogs/AccountTest.h"
#include "dialogs/SetupWizard.h"
#include "dialogs/SetupWizardText.h"
#include "dialogs/WizardPages.h"
#include "platform/AliveGuard.h"
#include "platform/InputBox.h"

namespace dialogs {

using namespace wizard_detail;

// ---- the account list ---------------------------------------------------------------

void SetupWizard::resetAccounts() {
    accounts_.clear();
    current_ = -1;
    fillAccountList();
}

void SetupWizard::fillAccountList() {
    QComboBox* list = accountsPage_->cbAccounts;
    list->clear();
    for (const MailAccount& a : accounts_) list->addItem(q(a.EMailAddress));
    accountsPage_->bDeleteAcount->setEnabled(accounts_.size() > 1);
    selectAccount(accounts_.empty() ? -1 : 0);
}

MailAccount* SetupWizard::current() {
    return current_ >= 0 && current_ < static_cast<int>(accounts_.size()) ? &accounts_[current_] : nullptr;
}

void SetupWizard::selectAccount(int index) {
    current_ = index;
    accountsPage_->cbAccounts->setCurrentIndex(index);
    loadAccountIntoPage();
}

void SetupWizard::loadAccountIntoPage() {
    WizardAccountsPage* p = accountsPage_;
    const MailAccount empty = newRecord("");
    const MailAccount& a = current() ? *current() : empty;
    loading_ = true;
    p->tDisplayName->setText(q(a.DisplayName));
    p->tEMailAddress->setText(q(a.EMailAddress));
    p->tPOP3UserName->setText(q(a.POP3UserName));
    p->tPOP3Password->setText(q(a.POP3Password));
    p->tPOP3Server->setText(q(a.POP3Server));
    p->tPOP3ServerPort->setValue(portOf(a.POP3ServerPort, 110));
    p->tSMTPServer->setText(q(a.SMTPServer));
    p->tSMTPServerPort->setValue(portOf(a.SMTPServerPort, 25));
    p->cbPOP3Security->setCurrentIndex(a.POP3Security);
    p->cbSMTPSecurity->setCurrentIndex(a.SMTPSecurity);
    p->cbPOP3UseSPA->setChecked(a.POP3UseSPA == 1);
    p->cbSMTPServerRequiresAuthentication->setChecked(a.SMTPRequiresAuth == 1);
    p->bSMTPAuthConfig->setEnabled(a.SMTPRequiresAuth == 1);
    loading_ = false;
    if (MailAccount* cur = current()) {
        // The boxes show what will be tested and saved.
        cur->POP3ServerPort = std::to_string(p->tPOP3ServerPort->value());
        cur->SMTPServerPort = std::to_string(p->tSMTPServerPort->value());
    }
    showTested(a.AccountTested == 1);
}

void SetupWizard::showTested(bool tested) {
    accountsPage_->lTested->setVisible(tested);
    accountsPage_->lNotTested->setText(QStringLiteral("NOT TESTED!"));
    accountsPage_->lNotTested->setVisible(!tested);
}

void SetupWizard::markUntested() {
    if (loading_) return;
    if (MailAccount* a = current()) a->AccountTested = 0;
    showTested(false);
}

bool SetupWizard::isListed(const std::string& address, int except) const {
    for (int i = 0; i < static_cast<int>(accounts_.size()); ++i)
        if (i != except && MiscFuncs::EqualsIgnoreCase(MiscFuncs::TrimBlanks(accounts_[i].EMailAddress),
                                                       MiscFuncs::TrimBlanks(address)))
            return true;
    return false;
}

bool SetupWizard::emailEdited() {
    MailAccount* a = current();
    if (!a || loading_) return true;
    const std::string typed(MiscFuncs::TrimBlanks(platform::ToText8(accountsPage_->tEMailAddress->text(), a->EMailAddress)));
    if (typed == a->EMailAddress) return true;
    const int index = current_;
    std::string refusal;
    if (!MiscFuncs::IsValidEmail(typed)) refusal = "Entered e-mail address is not valid";
    else if (isListed(typed, index))
        refusal = "Found duplicate e-mail address " + typed + "\r\nIt will not be added due to ambiguity";
    if (refusal.empty()) {
        a->EMailAddress = typed;
        accountsPage_->cbAccounts->setItemText(index, q(typed));
        return true;
    }
    // Put the stored address back first: the box lets the edit lose focus again.
    accountsPage_->tEMailAddress->setText(q(a->EMailAddress));
    ask(refusal, Prompt::Buttons::OK, Prompt::Kind::Exclamation);
    return false;
}

void SetupWizard::addAccount() {
    const platform::AliveGuard alive(this);
    const std::optional<QString> answer = platform::InputBox(
        {QStringLiteral("Enter new account e-mail address"), QStringLiteral("Glimmerpost Setup Wizard"),
         QString::fromLatin1(kNewAccountAddress)},
        this);
    if (!alive || !answer || testing_) return;
    const std::string address(MiscFuncs::TrimBlanks(text8(*answer)));
    if (isListed(address, -1)) {
        ask("Found duplicate e-mail address " + address + "\r\nIt will not be added due to ambiguity",
            Prompt::Buttons::OK, Prompt::Kind::Information);
        return;
    }
    if (!MiscFuncs::IsValidEmail(address)) {
        ask("Entered e-mail address is not valid", Prompt::Buttons::OK, Prompt::Kind::Exclamation);
        return;
    }
    accounts_.push_back(newRecord(address));
    accountsPage_->cbAccounts->addItem(q(address));
    accountsPage_->bDeleteAcount->setEnabled(true);
    selectAccount(static_cast<int>(accounts_.size()) - 1);
}

void SetupWizard::removeAccount() {
    if (accounts_.size() <= 1 || !current()) return;
    const int index = current_;
    const platform::AliveGuard alive(this);
    const Prompt::Answer answer = ask("Are you sure that you DO NOT want to protect " + accounts_[index].EMailAddress +
                                          " by Glimmerpost?",
                                      Prompt::Buttons::YesNo, Prompt::Kind::Exclamation, 2);
    if (!alive || answer != Prompt::Answer::Yes || testing_ || index >= static_cast<int>(accounts_.size())) return;
    accounts_.erase(accounts_.begin() + index);
    accountsPage_->cbAccounts->removeItem(index);
    selectAccount(static_cast<int>(accounts_.size()) - 1);
    accountsPage_->bDeleteAcount->setEnabled(accounts_.size() > 1);
    if (accounts_.back().AccountTested == 1) NextClicked();
}

void SetupWizard::editAuth() {
    MailAccount* a = current();
    if (!a || testing_) return;
    if (!services_.editAuth) {
        MiscFuncs::WriteLog(0, "i", "AuthSettingsDialog is not available");
        return;
    }
    const int index = current_;
    std::int16_t type = a->SMTPAuthType;
    std::string user = a->SMTPAuthUserName, password = a->SMTPAuthPassword;
    const platform::AliveGuard alive(this);
    const int result = services_.editAuth(type, user, password, this);
    if (!alive || result != 1 || index >= static_cast<int>(accounts_.size())) return;
    MailAccount& r = accounts_[index];
    if (type == r.SMTPAuthType && user == r.SMTPAuthUserName && password == r.SMTPAuthPassword) return;
    r.SMTPAuthType = type;
    r.SMTPAuthUserName = user;
    r.SMTPAuthPassword = password;
    if (index == current_) markUntested();
    else r.AccountTested = 0;
}

// ---- the account test ---------------------------------------------------------------

bool SetupWizard::checkFields() {
    const std::optional<MissingField> missing = FirstMissingField(*current());
    if (!missing) return true;
    WizardAccountsPage* p = accountsPage_;
    QWidget* box = p->tEMailAddress;
    switch (missing->field) {
    case AccountField::Address: box = p->tEMailAddress; break;
    case AccountField::POP3UserName: box = p->tPOP3UserName; break;
    case AccountField::POP3Password: box = p->tPOP3Password; break;
    case AccountField::POP3Server: box = p->tPOP3Server; break;
    case AccountField::POP3ServerPort: box = p->tPOP3ServerPort; break;
    case AccountField::SMTPServer: box = p->tSMTPServer; break;
    case AccountField::SMTPServerPort: box = p->tSMTPServerPort; break;
    }
    const platform::AliveGuard alive(this);
    ask(missing->message, Prompt::Buttons::OK, Prompt::Kind::Critical);
    if (alive) box->setFocus();
    return false;
}

// Runs the test; the wizard may be destroyed meanwhile (its tester then abandons it).
bool SetupWizard::test(const MailAccount& account, std::string& error) {
    if (services_.testAccount) {
        const auto replaced = services_.testAccount;  // outlives a wizard destroyed meanwhile
        return replaced(account, error);
    }
    if (!tester_) tester_ = std::make_unique<AccountTest>();
    const AccountTestOutcome outcome = tester_->Run(account);
    error = outcome.lastError;
    return outcome.passed();
}

void SetupWizard::setTesting(bool on) {
    testing_ = on;
    pages_->setEnabled(!on);
    for (QPushButton* b : {bBack_, bNext_, bCancel_}) b->setEnabled(!on);
    if (!on) showPage(page_);
    testingFrame_->setVisible(on);
}

void SetupWizard::runTest() {
    if (testing_ || !current()) return;
    // A changed address is taken before the test; a refused one stops it.
    const platform::AliveGuard before(this);
    if (!emailEdited() || !before || !current() || !checkFields()) return;
    const int index = current_;
    const MailAccount account = accounts_[index];
    const platform::AliveGuard alive(this);
    setTesting(true);
    std::string error;
    const bool passed = test(account, error);
    if (!alive) return;
    setTesting(false);
    if (finishing_ || index >= static_cast<int>(accounts_.size())) return;
    if (passed) {
        accounts_[index].AccountTested = 1;
        if (index == current_) showTested(true);
        MiscFuncs::WriteLog(1, "i", "Account " + account.EMailAddress + "has been successfuly tested");
        return;
    }
    MiscFuncs::WriteLog(1, "i", "Account test failed" + account.EMailAddress + error);
    ask("Account test failed!!\r\n" + error, Prompt::Buttons::OK, Prompt::Kind::Critical);
}

void SetupWizard::blink() {
    const MailAccount* a = current();
    if (accountsPage_->cbAccounts->count() == 0 || !a || a->AccountTested == 1) return;
    QLabel* label = accountsPage_->lNotTested;
    label->setText(label->text().isEmpty() ? QStringLiteral("NOT TESTED!") : QString());
}

}  // namespace dialogs
