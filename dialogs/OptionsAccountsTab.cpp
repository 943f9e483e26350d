#include "dialogs/OptionsAccountsTab.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "core/Confirmations.h"
#include "core/Address.h"
#include "core/CIniFile.h"
#include "core/Environment.h"
#include "core/MiscUtils.h"
#include "core/Prompt.h"
#include "dialogs/AccountTest.h"
#include "dialogs/AuthSettingsDialog.h"
#include "dialogs/WizardPages.h"
#include "platform/Text8.h"

namespace dialogs {
namespace {

QLineEdit* lineEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    return edit;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, const char* tip) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(name);
    b->setStatusTip(QString::fromUtf8(tip));
    b->setToolTip(QString::fromUtf8(tip));
    return b;
}

}  // namespace

OptionsAccountsTab::OptionsAccountsTab(CIniFile& accounts, QWidget* parent) : QWidget(parent), accounts_(accounts) {
    setObjectName("OptionsFrame2");
    lbPOP3Accounts = new QListWidget(this);
    lbPOP3Accounts->setObjectName("lbPOP3Accounts");
    lbPOP3Accounts->setStatusTip("List of e-mail account that are currently protected from spam by Glimmerpost");
    lbPOP3Accounts->setMaximumWidth(220);
    bAddAccount = button(this, "bAddAccount", "Add", "Press this button to add another account");
    bDeleteAccount = button(this, "bDeleteAccount", "Delete", "Press this button to delete account");
    bTestAccount = button(this, "bTestAccount", "Test",
                          "Press this button to test account.  Each account must be tested in order for Glimmerpost "
                          "to function properly");
    bRunSetupWizard = button(this, "bRunSetupWizard", "Run setup wizard", "Run setup wizard");
    lTested = new QLabel("TESTED! OK!", this);
    lTested->setObjectName("lTested");
    lTested->setStyleSheet("color: #1a7f1a; font-weight: bold;");
    lNotTested = new QLabel("NOT TESTED!", this);
    lNotTested->setObjectName("lNotTested");
    lNotTested->setStyleSheet("color: #c01010; font-weight: bold;");
    lNotTested->setMinimumWidth(lNotTested->sizeHint().width());

    TestingFrame = new QLabel("Account testing in progress! Please wait...", this);
    TestingFrame->setObjectName("TestingFrame");
    static_cast<QLabel*>(TestingFrame)->setAlignment(Qt::AlignCenter);
    stack_ = new QStackedWidget(this);
    stack_->addWidget(buildPage());
    stack_->addWidget(TestingFrame);

    auto* left = new QVBoxLayout;
    left->addWidget(lbPOP3Accounts, 1);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(bAddAccount);
    listButtons->addWidget(bDeleteAccount);
    left->addLayout(listButtons);
    left->addWidget(bRunSetupWizard);
    auto* state = new QHBoxLayout;
    state->addWidget(lTested);
    state->addWidget(lNotTested);
    state->addStretch();
    state->addWidget(bTestAccount);
    auto* right = new QVBoxLayout;
    right->addWidget(stack_, 1);
    right->addLayout(state);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(right, 1);

    BlinkTimer = new QTimer(this);
    BlinkTimer->setInterval(400);
    connect(BlinkTimer, &QTimer::timeout, this, &OptionsAccountsTab::blink);
    BlinkTimer->start();

    connect(lbPOP3Accounts, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!filling_ && row >= 0 && row != current_) Select(row);
    });
    connect(bAddAccount, &QPushButton::clicked, this, &OptionsAccountsTab::addAccount);
    connect(bDeleteAccount, &QPushButton::clicked, this, &OptionsAccountsTab::deleteAccount);
    connect(bTestAccount, &QPushButton::clicked, this, &OptionsAccountsTab::testAccount);
    connect(bRunSetupWizard, &QPushButton::clicked, this, &OptionsAccountsTab::setupWizardClicked);
    connectFields();
}

OptionsAccountsTab::~OptionsAccountsTab() = default;

QWidget* OptionsAccountsTab::buildPage() {
    auto* page = new QWidget(this);
    cbAccountEnabled = new QCheckBox("Automaticaly check for new messages", page);
    cbAccountEnabled->setObjectName("cbAccountEnabled");
    lCheckInterval = new QLabel("every", page);
    lCheckInterval->setObjectName("lCheckInterval");
    tPOP3CheckInterval = new QSpinBox(page);
    tPOP3CheckInterval->setObjectName("tPOP3CheckInterval");
    tPOP3CheckInterval->setRange(1, 300);
    lMinutes = new QLabel("minutes", page);
    lMinutes->setObjectName("lMinutes");
    tEMailAddress = lineEdit(page, "tEMailAddress");
    tDisplayName = lineEdit(page, "tDisplayName");
    tPOP3Server = lineEdit(page, "tPOP3Server");
    tPOP3ServerPort = lineEdit(page, "tPOP3ServerPort");
    tPOP3UserName = lineEdit(page, "tPOP3UserName");
    tPOP3Password = lineEdit(page, "tPOP3Password");
    tPOP3Password->setEchoMode(QLineEdit::Password);
    cbPOP3UseSPA = new QCheckBox("Use Secure Password Authentication", page);
    cbPOP3UseSPA->setObjectName("cbPOP3UseSPA");
    tSMTPServer = lineEdit(page, "tSMTPServer");
    tSMTPServerPort = lineEdit(page, "tSMTPServerPort");
    for (QLineEdit* port : {tPOP3ServerPort, tSMTPServerPort}) port->setMaximumWidth(70);
    cbPOP3Security = SecurityBox("cbPOP3Security", page);
    cbSMTPSecurity = SecurityBox("cbSMTPSecurity", page);
    // The server names stay readable beside the port and the security choice.
    for (QLineEdit* server : {tPOP3Server, tSMTPServer}) server->setMinimumWidth(130);
    for (QLineEdit* port : {tPOP3ServerPort, tSMTPServerPort}) port->setFixedWidth(56);
    cbSMTPServerRequiresAuthentication = new QCheckBox("SMTP Server requires authentication", page);
    cbSMTPServerRequiresAuthentication->setObjectName("cbSMTPServerRequiresAuthentication");
    bSMTPAuthConfig = button(page, "bSMTPAuthConfig", "Settings...", "Configure SMTP server authentication");
    cbLeaveMessageOnServer = new QCheckBox("Leave messages on server for", page);
    cbLeaveMessageOnServer->setObjectName("cbLeaveMessageOnServer");
    tLeaveForDays = new QSpinBox(page);
    tLeaveForDays->setObjectName("tLeaveForDays");
    tLeaveForDays->setRange(0, 30);

    auto* account = new QGroupBox("Account", page);
    auto* a = new QFormLayout(account);
    a->addRow("E-mail address", tEMailAddress);
    a->addRow("Your name", tDisplayName);
    auto* check = new QHBoxLayout;
    check->addWidget(cbAccountEnabled);
    check->addWidget(lCheckInterval);
    check->addWidget(tPOP3CheckInterval);
    check->addWidget(lMinutes);
    check->addStretch();
    a->addRow(check);
    auto* pop3 = new QGroupBox("Incoming mail (POP3)", page);
    auto* p = new QFormLayout(pop3);
    auto* server = new QHBoxLayout;
    server->addWidget(tPOP3Server, 1);
    server->addWidget(new QLabel("Port", page));
    server->addWidget(tPOP3ServerPort);
    server->addWidget(new QLabel("Security", page));
    server->addWidget(cbPOP3Security);
    p->addRow("POP3 server", server);
    p->addRow("User name", tPOP3UserName);
    p->addRow("Password", tPOP3Password);
    p->addRow(cbPOP3UseSPA);
    auto* leave = new QHBoxLayout;
    leave->addWidget(cbLeaveMessageOnServer);
    leave->addWidget(tLeaveForDays);
    leave->addWidget(new QLabel("days", page));
    leave->addStretch();
    p->addRow(leave);
    auto* smtp = new QGroupBox("Outgoing mail (SMTP)", page);
    auto* s = new QFormLayout(smtp);
    auto* smtpServer = new QHBoxLayout;
    smtpServer->addWidget(tSMTPServer, 1);
    smtpServer->addWidget(new QLabel("Port", page));
    smtpServer->addWidget(tSMTPServerPort);
    smtpServer->addWidget(new QLabel("Security", page));
    smtpServer->addWidget(cbSMTPSecurity);
    s->addRow("SMTP server", smtpServer);
    auto* auth = new QHBoxLayout;
    auth->addWidget(cbSMTPServerRequiresAuthentication);
    auth->addWidget(bSMTPAuthConfig);
    auth->addStretch();
    s->addRow(auth);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(account);
    layout->addWidget(pop3);
    layout->addWidget(smtp);
    layout->addStretch();
    return page;
}

void OptionsAccountsTab::connectFields() {
    // Fields whose change makes the account untested, and where each goes.
    const std::pair<QLineEdit*, std::string MailAccount::*> tested[] = {
        {tPOP3Server, &MailAccount::POP3Server},       {tPOP3ServerPort, &MailAccount::POP3ServerPort},
        {tPOP3UserName, &MailAccount::POP3UserName},   {tPOP3Password, &MailAccount::POP3Password},
        {tSMTPServer, &MailAccount::SMTPServer},       {tSMTPServerPort, &MailAccount::SMTPServerPort}};
    for (const auto& [edit, field] : tested) {
        connect(edit, &QLineEdit::textEdited, this, [this, edit = edit, field = field](const QString& text) {
            if (MailAccount* r = record()) r->*field = platform::ToText8(text, r->*field);
            MarkNotTested();
            emit edited();
        });
    }
    const auto security = [this](QComboBox* box, QLineEdit* port, std::string MailAccount::*portField,
                                 std::int16_t MailAccount::*field, int plain, int tls) {
        connect(box, qOverload<int>(&QComboBox::currentIndexChanged), this,
                [this, port, portField, field, plain, tls](int index) {
                    MailAccount* r = record();
                    if (filling_ || index < 0 || !r) return;
                    r->*field = static_cast<std::int16_t>(index);
                    const std::string proposed = Accounts::PortForSecurity(r->*portField, r->*field, plain, tls);
                    if (proposed != r->*portField) {
                        r->*portField = proposed;
                        port->setText(platform::FromText8(proposed));
                    }
                    MarkNotTested();
                    emit edited();
                });
    };
    security(cbPOP3Security, tPOP3ServerPort, &MailAccount::POP3ServerPort, &MailAccount::POP3Security,
             Accounts::kPop3Port, Accounts::kPop3TlsPort);
    security(cbSMTPSecurity, tSMTPServerPort, &MailAccount::SMTPServerPort, &MailAccount::SMTPSecurity,
             Accounts::kSmtpPort, Accounts::kSmtpTlsPort);
    connect(tDisplayName, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (MailAccount* r = record()) r->DisplayName = platform::ToText8(text, r->DisplayName);
        emit edited();
    });
    connect(tEMailAddress, &QLineEdit::textEdited, this, &OptionsAccountsTab::edited);
    connect(tEMailAddress, &QLineEdit::editingFinished, this, [this] { CommitAddress(); });
    connect(tPOP3CheckInterval, &QSpinBox::valueChanged, this, [this](int minutes) {
        if (filling_) return;
        if (MailAccount* r = record()) r->POP3CollectorInterval = static_cast<std::int16_t>(minutes);
        emit edited();
    });
    connect(tLeaveForDays, &QSpinBox::valueChanged, this, [this](int days) {
        if (filling_ || !cbLeaveMessageOnServer->isChecked()) return;
        if (MailAccount* r = record()) r->LeaveMessagesOnServer = static_cast<std::int16_t>(days);
        emit edited();
    });
    connect(cbAccountEnabled, &QCheckBox::clicked, this, [this](bool on) {
        if (MailAccount* r = record()) r->AccountEnabled = on ? 1 : 0;
        enableDependents();
        emit edited();
    });
    connect(cbPOP3UseSPA, &QCheckBox::clicked, this, [this](bool on) {
        if (MailAccount* r = record()) r->POP3UseSPA = on ? 1 : 0;
        emit edited();
    });
    connect(cbSMTPServerRequiresAuthentication, &QCheckBox::clicked, this, [this](bool on) {
        if (MailAccount* r = record()) r->SMTPRequiresAuth = on ? 1 : 0;
        enableDependents();
        MarkNotTested();
        emit edited();
    });
    connect(cbLeaveMessageOnServer, &QCheckBox::clicked, this, [this] {
        leaveOnServerClicked();
        emit edited();
    });
    connect(bSMTPAuthConfig, &QPushButton::clicked, this, &OptionsAccountsTab::editAuthentication);
}

MailAccount* OptionsAccountsTab::record() {
    if (current_ < 0 || current_ >= static_cast<int>(records_.size())) return nullptr;
    return &records_[current_];
}

std::string OptionsAccountsTab::caption() const { return window()->windowTitle().toStdString(); }

void OptionsAccountsTab::Fill(std::vector<MailAccount> records) {
    records_ = std::move(records);
    filling_ = true;
    lbPOP3Accounts->clear();
    for (const MailAccount& a : records_) lbPOP3Accounts->addItem(platform::FromText8(a.EMailAddress));
    filling_ = false;
    current_ = -1;
    bDeleteAccount->setEnabled(records_.size() > 1);
    if (!records_.empty()) Select(0);
}

void OptionsAccountsTab::Select(int index) {
    if (index < 0 || index >= static_cast<int>(records_.size())) return;
    if (index != current_) {
        const QPointer<OptionsAccountsTab> alive(this);
        CommitAddress();  // a refused address is told in a message box
        if (!alive) return;
    }
    current_ = index;
    filling_ = true;
    lbPOP3Accounts->setCurrentRow(index);
    filling_ = false;
    fillPage();
}

void OptionsAccountsTab::fillPage() {
    const MailAccount* r = record();
    if (!r) return;
    filling_ = true;
    cbAccountEnabled->setChecked(r->AccountEnabled != 0);
    tEMailAddress->setText(platform::FromText8(r->EMailAddress));
    tPOP3CheckInterval->setValue(r->POP3CollectorInterval);
    tPOP3Server->setText(platform::FromText8(r->POP3Server));
    tDisplayName->setText(platform::FromText8(r->DisplayName));
    tPOP3UserName->setText(platform::FromText8(r->POP3UserName));
    tPOP3Password->setText(platform::FromText8(r->POP3Password));
    tPOP3ServerPort->setText(platform::FromText8(r->POP3ServerPort));
    cbPOP3Security->setCurrentIndex(r->POP3Security);
    cbSMTPSecurity->setCurrentIndex(r->SMTPSecurity);
    cbPOP3UseSPA->setChecked(r->POP3UseSPA != 0);
    tSMTPServer->setText(platform::FromText8(r->SMTPServer));
    tSMTPServerPort->setText(platform::FromText8(r->SMTPServerPort));
    cbSMTPServerRequiresAuthentication->setChecked(r->SMTPRequiresAuth != 0);
    cbLeaveMessageOnServer->setChecked(r->LeaveMessagesOnServer >= 1);
    tLeaveForDays->setValue(r->LeaveMessagesOnServer);
    filling_ = false;
    enableDependents();
    showTested(r->AccountTested == 1);
}

void OptionsAccountsTab::enableDependents() {
    const bool enabled = cbAccountEnabled->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(tPOP3CheckInterval), static_cast<QWidget*>(lMinutes),
                       static_cast<QWidget*>(lCheckInterval)})
        w->setEnabled(enabled);
    bSMTPAuthConfig->setEnabled(cbSMTPServerRequiresAuthentication->isChecked());
    tLeaveForDays->setEnabled(cbLeaveMessageOnServer->isChecked());
}

void OptionsAccountsTab::leaveOnServerClicked() {
    MailAccount* r = record();
    if (!r) return;
    if (cbLeaveMessageOnServer->isChecked()) {
        if (r->LeaveMessagesOnServer == 0) r->LeaveMessagesOnServer = 2;
    } else {
        r->LeaveMessagesOnServer = 0;
    }
    filling_ = true;
    tLeaveForDays->setValue(r->LeaveMessagesOnServer);
    filling_ = false;
    enableDependents();
}

void OptionsAccountsTab::showTested(bool tested) {
    lTested->setVisible(tested);
    lNotTested->setVisible(!tested);
    lNotTested->setText("NOT TESTED!");
}

void OptionsAccountsTab::MarkNotTested() {
    if (MailAccount* r = record()) r->AccountTested = 0;
    showTested(false);
}

void OptionsAccountsTab::blink() {
    const MailAccount* r = record();
    if (!r || r->AccountTested == 1) return;
    lNotTested->setText(lNotTested->text().isEmpty() ? "NOT TESTED!" : "");
}

bool OptionsAccountsTab::CommitAddress() {
    MailAccount* r = record();
    if (!r) return true;
    const std::string typed(MiscFuncs::TrimBlanks(platform::ToText8(tEMailAddress->text(), r->EMailAddress)));
    if (typed == r->EMailAddress) return true;
    if (MiscFuncs::IsValidEmail(typed)) {
        r->EMailAddress = typed;
        if (QListWidgetItem* item = lbPOP3Accounts->item(current_)) item->setText(platform::FromText8(typed));
        return true;
    }
    tEMailAddress->setText(platform::FromText8(r->EMailAddress));
    Prompt::Ask("Entered e-mail address is not valid", caption(), Prompt::Buttons::OK, Prompt::Kind::Exclamation);
    return false;
}

void OptionsAccountsTab::MarkSaved() {
    for (MailAccount& a : records_) a.LoadedSection = a.EMailAddress;
}

void OptionsAccountsTab::addAccount() {
    const QPointer<OptionsAccountsTab> alive(this);
    CommitAddress();  // a refused address is told in a message box
    if (!alive) return;
    records_.push_back(Accounts::NewAccount(static_cast<int>(records_.size())));
    filling_ = true;
    lbPOP3Accounts->addItem(platform::FromText8(records_.back().EMailAddress));
    filling_ = false;
    bDeleteAccount->setEnabled(records_.size() > 1);
    Select(static_cast<int>(records_.size()) - 1);
    emit edited();
}

void OptionsAccountsTab::deleteAccount() {
    if (records_.size() <= 1) {
        Prompt::Ask("You can not delete the only account configured in Glimmerpost!", caption(), Prompt::Buttons::OK,
                    Prompt::Kind::Exclamation);
        return;
    }
    if (!record()) return;
    const std::string section = record()->LoadedSection;
    const QPointer<OptionsAccountsTab> alive(this);
    const Prompt::Answer answer = Confirmations::AskToConfirm("Are you sure you want to delete account?",
                                                              "Account deletion", Prompt::Kind::Critical, 2);
    if (!alive || answer != Prompt::Answer::Yes || !record() || record()->LoadedSection != section) return;
    Accounts::MailClientRestore restored = Accounts::MailClientRestore::NothingToRestore;
    std::string why;
    if (!Accounts::DeleteAccount(accounts_, section, &restored, &why)) {
        Prompt::Ask("The account could not be deleted: its settings could not be written.", caption(),
                    Prompt::Buttons::OK, Prompt::Kind::Critical);
        return;
    }
    if (restored == Accounts::MailClientRestore::ImportFailed) {
        // The account is gone; the mail program's saved settings were there but were
        // not put back (refused or failed), and stay for a later try.
        Prompt::Ask("The settings of your e-mail application could not be given back for this account:\r\n" + why +
                        "\r\nThe saved settings files have been kept in " + MiscFuncs::ProgramFolder().string() + ".",
                    caption(), Prompt::Buttons::OK, Prompt::Kind::Exclamation);
        if (!alive || !record() || record()->LoadedSection != section) return;
    }
    const int index = current_;
    records_.erase(records_.begin() + index);
    current_ = -1;
    filling_ = true;
    delete lbPOP3Accounts->takeItem(index);
    filling_ = false;
    Select(static_cast<int>(records_.size()) - 1);
    bDeleteAccount->setEnabled(records_.size() > 1);
    emit edited();
}

QWidget* OptionsAccountsTab::fieldOf(AccountField field) const {
    switch (field) {
    case AccountField::Address: return tEMailAddress;
    case AccountField::POP3UserName: return tPOP3UserName;
    case AccountField::POP3Password: return tPOP3Password;
    case AccountField::POP3Server: return tPOP3Server;
    case AccountField::POP3ServerPort: return tPOP3ServerPort;
    case AccountField::SMTPServer: return tSMTPServer;
    case AccountField::SMTPServerPort: return tSMTPServerPort;
    }
    return nullptr;
}

void OptionsAccountsTab::testAccount() {
    if (testing_ || !CommitAddress() || !record()) return;
    if (const auto missing = FirstMissingField(*record())) {
        const QPointer<QWidget> field = fieldOf(missing->field);
        Prompt::Ask(missing->message, caption(), Prompt::Buttons::OK, Prompt::Kind::Critical);
        if (field) field->setFocus();
        return;
    }
    const int index = current_;
    const MailAccount tested = *record();
    testing_ = true;
    setBusy(true);  // tells the dialog through testingChanged
    QApplication::setOverrideCursor(Qt::BusyCursor);
    test_ = std::make_unique<AccountTest>();
    const QPointer<OptionsAccountsTab> alive(this);
    const AccountTestOutcome outcome = test_->Run(tested);
    QApplication::restoreOverrideCursor();
    if (!alive) return;
    test_.reset();
    testing_ = false;
    setBusy(false);
    if (outcome.abandoned || index != current_) return;
    if (!outcome.passed()) {
        Prompt::Ask(outcome.FailureText(), caption(), Prompt::Buttons::OK, Prompt::Kind::Critical);
        return;
    }
    records_[index].AccountTested = 1;
    showTested(true);
    if (index + 1 < static_cast<int>(records_.size())) Select(index + 1);
}

void OptionsAccountsTab::AbandonTest() { test_.reset(); }

void OptionsAccountsTab::SetSetupWizardAvailable(bool available) {
    setupWizardAvailable_ = available;
    bRunSetupWizard->setEnabled(available);
}

void OptionsAccountsTab::setBusy(bool busy) {
    stack_->setCurrentWidget(busy ? TestingFrame : stack_->widget(0));
    for (QWidget* w : std::initializer_list<QWidget*>{lbPOP3Accounts, bAddAccount, bTestAccount, bRunSetupWizard})
        w->setEnabled(!busy);
    if (busy) {
        bDeleteAccount->setEnabled(false);
    } else {
        bDeleteAccount->setEnabled(records_.size() > 1);
        bRunSetupWizard->setEnabled(setupWizardAvailable_);
    }
    emit testingChanged(busy);
}

void OptionsAccountsTab::editAuthentication() {
    if (!record()) return;
    const int index = current_;
    const std::string section = record()->LoadedSection;
    const QPointer<OptionsAccountsTab> alive(this);
    const auto choice = EditSmtpAuthentication(*record(), window());
    if (!alive || !choice || index != current_ || !record() || record()->LoadedSection != section) return;
    MailAccount& r = *record();
    if (r.SMTPAuthType != choice->type || r.SMTPAuthUserName != choice->userName ||
        r.SMTPAuthPassword != choice->password)
        MarkNotTested();
    r.SMTPAuthType = choice->type;
    r.SMTPAuthUserName = choice->userName;
    r.SMTPAuthPassword = choice->password;
    emit edited();
}

}  // namespace dialogs
