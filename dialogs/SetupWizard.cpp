#include "dialogs/SetupWizard.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/Address.h"
#include "core/Aliases.h"
#include "core/CIniFile.h"
#include "core/MailClients.h"
#include "core/MiscUtils.h"
#include "core/Prompt.h"
#include "core/SetupSave.h"
#include "dialogs/AccountTest.h"
#include "dialogs/SetupWizardText.h"
#include "dialogs/WizardPages.h"
#include "platform/AliveGuard.h"
#include "platform/Text8.h"

namespace dialogs {

using namespace wizard_detail;

namespace {

constexpr int kPages = 5;
constexpr int kBlinkMs = 400;

}  // namespace

SetupWizard::SetupWizard(SetupWizardServices services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)) {
    setWindowTitle(QString::fromLatin1(kCaption));
    setModal(true);
    auto* v = new QVBoxLayout(this);
    pages_ = new QStackedWidget(this);
    pages_->addWidget(new WizardWelcomePage(pages_));
    pages_->addWidget(clientPage_ = new WizardClientPage(pages_));
    pages_->addWidget(accountsPage_ = new WizardAccountsPage(pages_));
    pages_->addWidget(aliasesPage_ = new WizardAliasesPage(pages_));
    pages_->addWidget(donePage_ = new WizardDonePage(pages_));
    donePage_->SetLocalPorts(services_.localPOP3Port, services_.localSMTPPort);
    v->addWidget(pages_, 1);

    testingFrame_ = new QLabel(QStringLiteral("Account testing in progress! Please wait..."), this);
    testingFrame_->setObjectName(QStringLiteral("AccountTestingFrame"));
    testingFrame_->setTextFormat(Qt::PlainText);
    testingFrame_->setAlignment(Qt::AlignCenter);
    testingFrame_->setFrameShape(QFrame::Box);
    testingFrame_->hide();
    v->addWidget(testingFrame_);

    auto* buttons = new QHBoxLayout;
    bBack_ = new QPushButton(QStringLiteral("< Back"), this);
    bCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    bNext_ = new QPushButton(QStringLiteral("Next >"), this);
    bBack_->setObjectName(QStringLiteral("bBack"));
    bCancel_->setObjectName(QStringLiteral("bCancel"));
    bNext_->setObjectName(QStringLiteral("bNext"));
    for (QPushButton* b : {bBack_, bCancel_, bNext_}) b->setAutoDefault(false);
    buttons->addStretch();
    buttons->addWidget(bBack_);
    buttons->addWidget(bNext_);
    buttons->addWidget(bCancel_);
    v->addLayout(buttons);
    connect(bNext_, &QPushButton::clicked, this, &SetupWizard::NextClicked);
    connect(bBack_, &QPushButton::clicked, this, &SetupWizard::BackClicked);
    connect(bCancel_, &QPushButton::clicked, this, &SetupWizard::CancelClicked);

    WizardAccountsPage* p = accountsPage_;
    connect(p->cbAccounts, qOverload<int>(&QComboBox::activated), this, &SetupWizard::selectAccount);
    connect(p->bAddAccount, &QPushButton::clicked, this, &SetupWizard::addAccount);
    connect(p->bDeleteAcount, &QPushButton::clicked, this, &SetupWizard::removeAccount);
    connect(p->bSMTPAuthConfig, &QToolButton::clicked, this, &SetupWizard::editAuth);
    connect(p->bTest, &QPushButton::clicked, this, &SetupWizard::runTest);
    connect(p->tEMailAddress, &QLineEdit::textEdited, this, &SetupWizard::markUntested);
    connect(p->tEMailAddress, &QLineEdit::editingFinished, this, &SetupWizard::emailEdited);
    const auto textField = [this](QLineEdit* edit, std::string MailAccount::*field) {
        connect(edit, &QLineEdit::textEdited, this, [this, field](const QString& text) {
            if (MailAccount* a = current()) a->*field = platform::ToText8(text, a->*field);
            markUntested();
        });
    };
    // The name goes into the mails' From line; it needs no new test.
    connect(p->tDisplayName, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (MailAccount* a = current()) a->DisplayName = MiscFuncs::TrimBlanks(text8(text));
    });
    textField(p->tPOP3UserName, &MailAccount::POP3UserName);
    textField(p->tPOP3Password, &MailAccount::POP3Password);
    textField(p->tPOP3Server, &MailAccount::POP3Server);
    textField(p->tSMTPServer, &MailAccount::SMTPServer);
    const auto portField = [this](QSpinBox* box, std::string MailAccount::*field) {
        connect(box, &QSpinBox::valueChanged, this, [this, field](int value) {
            if (loading_) return;
            if (MailAccount* a = current()) a->*field = std::to_string(value);
            markUntested();
        });
    };
    portField(p->tPOP3ServerPort, &MailAccount::POP3ServerPort);
    portField(p->tSMTPServerPort, &MailAccount::SMTPServerPort);
    // Choosing SSL/TLS proposes the TLS port in place of the plain default, and back.
    const auto securityField = [this](QComboBox* box, QSpinBox* port, std::int16_t MailAccount::*field, int plain,
                                      int tls) {
        connect(box, qOverload<int>(&QComboBox::currentIndexChanged), this, [this, port, field, plain, tls](int index) {
            if (loading_ || index < 0) return;
            MailAccount* a = current();
            if (!a) return;
            a->*field = static_cast<std::int16_t>(index);
            const std::string proposed =
                Accounts::PortForSecurity(std::to_string(port->value()), a->*field, plain, tls);
            port->setValue(portOf(proposed, plain));
            markUntested();
        });
    };
    securityField(p->cbPOP3Security, p->tPOP3ServerPort, &MailAccount::POP3Security, Accounts::kPop3Port,
                  Accounts::kPop3TlsPort);
    securityField(p->cbSMTPSecurity, p->tSMTPServerPort, &MailAccount::SMTPSecurity, Accounts::kSmtpPort,
                  Accounts::kSmtpTlsPort);
    connect(p->cbPOP3UseSPA, &QCheckBox::toggled, this, [this](bool on) {
        if (loading_) return;
        if (MailAccount* a = current()) a->POP3UseSPA = on ? 1 : 0;
        markUntested();
    });
    connect(p->cbSMTPServerRequiresAuthentication, &QCheckBox::toggled, this, [this](bool on) {
        accountsPage_->bSMTPAuthConfig->setEnabled(on);
        if (loading_) return;
        if (MailAccount* a = current()) a->SMTPRequiresAuth = on ? 1 : 0;
        markUntested();
    });

    connect(aliasesPage_->AddButton, &QPushButton::clicked, this, &SetupWizard::addAlias);
    connect(aliasesPage_->DeleteButton, &QPushButton::clicked, this, &SetupWizard::deleteAlias);
    // The aliases already kept stay, also when the wizard runs again.
    if (services_.aliasesIni)
        for (const std::string& alias : Aliases::ReadAliases(*services_.aliasesIni))
            aliasesPage_->lbAliases->addItem(q(alias));

    blinkTimer_ = new QTimer(this);
    blinkTimer_->setInterval(kBlinkMs);
    connect(blinkTimer_, &QTimer::timeout, this, &SetupWizard::blink);
    blinkTimer_->start();

    resetAccounts();
    showPage(1);
    resize(620, 480);
}

SetupWizard::~SetupWizard() = default;

// ---- pages and buttons --------------------------------------------------------------

void SetupWizard::showPage(int page) {
    page_ = page;
    pages_->setCurrentIndex(page - 1);
    bBack_->setEnabled(page > 1 && page < kPages);
    bCancel_->setEnabled(page < kPages);
    bNext_->setEnabled(true);
    bNext_->setText(page == kPages ? QStringLiteral("Finish") : QStringLiteral("Next >"));
}

void SetupWizard::NextClicked() {
    if (testing_ || finishing_) return;
    const platform::AliveGuard alive(this);
    const int leaving = page_;
    const bool go = leavePage(leaving);
    if (!alive || finishing_ || !go || page_ != leaving) return;
    showPage(leaving + 1);
}

void SetupWizard::BackClicked() {
    if (testing_ || finishing_ || page_ <= 1 || page_ >= kPages) return;
    showPage(page_ - 1);
    // Page 2 builds the list again.
    if (page_ == 2) resetAccounts();
}

void SetupWizard::CancelClicked() {
    if (testing_ || finishing_ || page_ >= kPages) return;
    const platform::AliveGuard alive(this);
    const bool noAccount = !services_.accountsIni || MiscFuncs::IsBlank(services_.accountsIni->AllSectionsString());
    const Prompt::Answer answer =
        noAccount ? ask("Are you sure you want to close setup wizard?\r\nApplication will not be able to function!",
                        Prompt::Buttons::YesNo, Prompt::Kind::Critical, 2)
                  : ask("Are you sure you want to close setup wizard?", Prompt::Buttons::YesNo,
                        Prompt::Kind::Exclamation, 2);
    if (!alive || answer != Prompt::Answer::Yes) return;
    finishing_ = true;
    QDialog::reject();
}

// While the program closes, a running test is abandoned so that nothing waits on it.
void SetupWizard::reject() {
    if (Prompt::Closing()) {
        finishing_ = true;
        if (testing_) tester_.reset();
        QDialog::reject();
        return;
    }
    CancelClicked();
}

void SetupWizard::closeEvent(QCloseEvent* event) {
    if (finishing_ || Prompt::Closing()) {
        finishing_ = true;
        if (testing_) tester_.reset();
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    if (testing_) return;
    if (page_ < kPages) {
        CancelClicked();
        return;
    }
    // The accounts are saved by now: closing the last page finishes without the import.
    finishing_ = true;
    accept();
}

bool SetupWizard::leavePage(int page) {
    switch (page) {
    case 1: return true;  // other programs' windows cannot be looked up here: none is running
    case 2: return leaveClientPage();
    case 3: return leaveAccountsPage();
    case 4: return leaveAliasesPage();
    case 5:
        openImport_ = donePage_->cbOpenAddressBookImportDialog->isChecked();
        finishing_ = true;
        accept();
        return true;
    default: return true;
    }
}

bool SetupWizard::leaveClientPage() {
    resetAccounts();
    if (clientPage_->oManual->isChecked()) {
        accounts_.push_back(newRecord(kManualAddress));
    } else {
        static const CIniFile none;
        const MailClients::ClientKind kind =
            clientPage_->oOutlook->isChecked() ? MailClients::kOutlook : MailClients::kOutlookExpress;
        const platform::AliveGuard alive(this);
        MailClients::Detection found = MailClients::Detect(kind, services_.accountsIni ? *services_.accountsIni : none);
        if (!alive || !found.found) return false;
        accounts_ = std::move(found.accounts);
    }
    fillAccountList();
    return true;
}

bool SetupWizard::leaveAccountsPage() {
    bool anyTested = false;
    std::string untested;
    for (const MailAccount& a : accounts_) {
        if (a.AccountTested == 1) anyTested = true;
        else untested += a.EMailAddress + "\r\n";
    }
    if (!anyTested) {
        ask("You have to configure atleast one POP3 account in order for Glimmerpost to operate correctly!",
            Prompt::Buttons::OK, Prompt::Kind::Exclamation, 1, "");
        return false;
    }
    if (untested.empty()) return true;
    const Prompt::Answer answer = ask("The following account(s) have not been configured!\r\n" + untested +
                                          "Do you wish to continue configuring listed above account(s)?",
                                      Prompt::Buttons::YesNo, Prompt::Kind::Exclamation);
    return answer == Prompt::Answer::No;
}

bool SetupWizard::leaveAliasesPage() {
    if (!services_.accountsIni || !services_.aliasesIni) return false;
    std::vector<std::string> aliases;
    for (int i = 0; i < aliasesPage_->lbAliases->count(); ++i)
        aliases.push_back(text8(aliasesPage_->lbAliases->item(i)->text()));
    const SetupSave::Outcome out =
        SetupSave::SaveWizardAccounts(accounts_, aliases, *services_.accountsIni, *services_.aliasesIni,
                                      services_.localPOP3Port, services_.localSMTPPort);
    const platform::AliveGuard alive(this);
    if (!out.accountsSaved) {
        ask("Glimmerpost could not save the accounts to accounts.ini. Nothing has been changed.\r\nPlease make sure "
            "the data folder can be written to and press \"Next >\" again.",
            Prompt::Buttons::OK, Prompt::Kind::Critical);
        return false;
    }
    saved_ = true;
    if (!out.notRewritten.empty())
        ask(SetupSave::NotRewrittenText(out.notRewritten, services_.localPOP3Port, services_.localSMTPPort),
            Prompt::Buttons::OK, Prompt::Kind::Exclamation);
    if (alive && !out.aliasesSaved)
        ask("Glimmerpost could not save your other e-mail addresses to aliases.ini.", Prompt::Buttons::OK,
            Prompt::Kind::Exclamation);
    return alive.alive();
}

// ---- aliases ------------------------------------------------------------------------

void SetupWizard::addAlias() {
    const std::string text = text8(aliasesPage_->tAliasEmailAddress->text());
    const std::string checked = !text.empty() && text[0] == '*' ? "mailbox" + text.substr(1) : text;
    if (!MiscFuncs::IsValidEmail(checked)) {
        ask("Entered e-mail address is invalid", Prompt::Buttons::OK, Prompt::Kind::Exclamation);
        return;
    }
    aliasesPage_->lbAliases->addItem(q(text));
}

void SetupWizard::deleteAlias() {
    if (!aliasesPage_->lbAliases->currentItem()) return;
    const platform::AliveGuard alive(this);
    const Prompt::Answer answer =
        ask("Are you sure you want to delete alias?", Prompt::Buttons::YesNo, Prompt::Kind::None, 2, "Alias deletion");
    if (!alive || answer != Prompt::Answer::Yes) return;
    delete aliasesPage_->lbAliases->currentItem();
}

}  // namespace dialogs
