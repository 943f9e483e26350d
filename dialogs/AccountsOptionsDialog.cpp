#include "dialogs/AccountsOptionsDialog.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <exception>

#include "core/AccountCheck.h"
#include "core/Aliases.h"
#include "core/CIniFile.h"
#include "core/CMessages.h"
#include "core/Log.h"
#include "core/MailAccount.h"
#include "core/OptionsSave.h"
#include "core/Prompt.h"
#include "dialogs/MessagePreviewFile.h"
#include "dialogs/OptionsAccountsTab.h"
#include "dialogs/OptionsAliasesTab.h"
#include "dialogs/OptionsGeneralTab.h"
#include "dialogs/OptionsMessagesTab.h"
#include "mainwindow/EngineSet.h"
#include "mainwindow/ProgramStartup.h"
#include "platform/AliveGuard.h"
#include "platform/EventWait.h"
#include "platform/FormResourcesApply.h"

namespace dialogs {

int AccountsOptionsDialog::OptionsStartTab = 1;

namespace {
std::function<void(QWidget*)>& setupWizard() {
    static std::function<void(QWidget*)> wizard;
    return wizard;
}
}  // namespace

void SetOptionsSetupWizard(std::function<void(QWidget* owner)> wizard) { setupWizard() = std::move(wizard); }
std::function<void(QWidget* owner)> OptionsSetupWizard() { return setupWizard(); }

namespace {

constexpr const char* kCaption = "E-mail accounts options";

void addTab(QTabWidget* tabs, QWidget* page, const char* caption, const char* tip) {
    const int index = tabs->addTab(page, QString::fromUtf8(caption));
    tabs->setTabToolTip(index, QString::fromUtf8(tip));
}

}  // namespace

AccountsOptionsDialog::AccountsOptionsDialog(mainwindow::GlimmerpostProgram& program, OptionsDialogServices services,
                                             QWidget* owner)
    : QDialog(owner), program_(program), services_(std::move(services)) {
    setObjectName("AccountsOptionsDialog");
    setWindowTitle(kCaption);
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("AccountsOptionsTabStrip");
    general_ = new OptionsGeneralTab(tabs_);
    accounts_ = new OptionsAccountsTab(program.AccountsIni(), tabs_);
    aliases_ = new OptionsAliasesTab(tabs_);
    messages_ = new OptionsMessagesTab(tabs_);
    addTab(tabs_, general_, "General", "General options");
    addTab(tabs_, accounts_, "E-mail accounts", "List of e-mail accounts and options");
    addTab(tabs_, aliases_, "Aliases", "list of email addresses used (your email addresses)");
    addTab(tabs_, messages_, "Messages",
           "Confirmation messages.  These tell valid senders instructions on how to email you.");
    ok_ = new QPushButton("OK", this);
    ok_->setObjectName("OkButton");
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setObjectName("CancelButton");
    status_ = new QStatusBar(this);
    status_->setObjectName("sbTips");
    status_->setSizeGripEnabled(false);
    tip_ = new QLabel(this);
    tip_->setTextFormat(Qt::PlainText);
    // However long a tip is, it never widens the dialog (nor moves OK and Cancel).
    tip_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    tip_->setMinimumWidth(0);
    modifiedPanel_ = new QLabel(this);
    modifiedPanel_->setMinimumWidth(70);
    status_->addWidget(tip_, 1);
    status_->addPermanentWidget(modifiedPanel_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_, 1);
    layout->addLayout(buttons);
    layout->addWidget(status_);
    resize(720, 600);

    const auto edited = [this] {
        if (!loading_) SetModified(true);
    };
    connect(general_, &OptionsGeneralTab::edited, this, edited);
    connect(accounts_, &OptionsAccountsTab::edited, this, edited);
    connect(aliases_, &OptionsAliasesTab::edited, this, edited);
    connect(messages_, &OptionsMessagesTab::edited, this, edited);
    connect(general_, &OptionsGeneralTab::daysChanged, messages_, &OptionsMessagesTab::ShowDeletionNotice);
    connect(messages_, &OptionsMessagesTab::previewClicked, this, &AccountsOptionsDialog::previewMessage);
    connect(accounts_, &OptionsAccountsTab::testingChanged, this, &AccountsOptionsDialog::testingChanged);
    connect(accounts_, &OptionsAccountsTab::setupWizardClicked, this, &AccountsOptionsDialog::runSetupWizard);
    connect(ok_, &QPushButton::clicked, this, [this] { Save(); });
    connect(cancel_, &QPushButton::clicked, this, &AccountsOptionsDialog::reject);
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
    accounts_->SetSetupWizardAvailable(static_cast<bool>(services_.runSetupWizard));
    load();
}

AccountsOptionsDialog::~AccountsOptionsDialog() = default;

void AccountsOptionsDialog::load() {
    loading_ = true;
    const DialogOptions o = LoadDialogOptions(program_.Settings());
    general_->Fill(o);
    std::array<std::string, 5> texts;
    for (int i = 0; i < 5; ++i) texts[i] = o.messageTexts[i];
    messages_->Fill(texts, o.sendAutoDelNote);
    messages_->ShowDeletionNotice(general_->tDays->text());
    aliases_->Fill(Aliases::ReadAliases(program_.AliasesIni()));
    MiscFuncs::ApplyFormResources(this, program_.ResourcesIni());
    accounts_->Fill(Accounts::LoadAccounts(program_.AccountsIni()));
    const int tab = OptionsStartTab >= 1 && OptionsStartTab <= 4 ? OptionsStartTab : 1;
    tabs_->setCurrentIndex(tab - 1);
    loading_ = false;
    SetModified(false);
}

void AccountsOptionsDialog::SetModified(bool modified) {
    if (modified_ == modified && !(modified && modifiedPanel_->text().isEmpty())) return;
    modified_ = modified;
    modifiedPanel_->setText(modified ? "Modified" : "");
}

void AccountsOptionsDialog::SetTip(const QString& tip) {
    if (tip_->text() != tip) tip_->setText(tip);
}

bool AccountsOptionsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter)
        if (auto* w = qobject_cast<QWidget*>(watched)) SetTip(w->statusTip());
    return QDialog::eventFilter(watched, event);
}

void AccountsOptionsDialog::testingChanged(bool testing) {
    ok_->setEnabled(!testing);
    cancel_->setEnabled(!testing);
    tabs_->tabBar()->setEnabled(!testing);
}

bool AccountsOptionsDialog::askToDrop() {
    const QPointer<AccountsOptionsDialog> alive(this);
    const Prompt::Answer answer = Prompt::Ask("You have made changes to options! Do you want to save changes?",
                                              kCaption, Prompt::Buttons::YesNo, Prompt::Kind::Question, 1);
    return alive && answer == Prompt::Answer::No;
}

void AccountsOptionsDialog::reject() {
    if (accounts_->Testing()) {
        // The socket of the test is in use: only the program's end closes the dialog now.
        if (!Prompt::Closing()) return;
        accounts_->AbandonTest();
        QDialog::reject();
        return;
    }
    if (!modified_ || askToDrop()) QDialog::reject();
}

bool AccountsOptionsDialog::refuse(const std::string& message, int tab, QWidget* focus) {
    tabs_->setCurrentIndex(tab - 1);
    const QPointer<QWidget> target(focus);  // the dialog may be gone after the box
    Prompt::Ask(message, kCaption, Prompt::Buttons::OK, Prompt::Kind::Exclamation);
    if (target) target->setFocus();
    return false;
}

bool AccountsOptionsDialog::Save() {
    if (accounts_->Testing() || !accounts_->CommitAddress()) return false;
    DialogOptions o;
    general_->Collect(o);
    const std::array<std::string, 5> texts = messages_->Texts();
    for (int i = 0; i < 5; ++i) o.messageTexts[i] = texts[i];
    o.sendAutoDelNote = messages_->cbAutoRejectNotification->isChecked();
    if (const auto fault = CheckDialogOptions(o)) return refuse(fault->message, 1, general_->FieldOf(fault->field));
    if (const auto fault = Accounts::CheckAccountList(program_.AccountsIni(), accounts_->Records())) {
        accounts_->Select(fault->index);
        return refuse(fault->message, 2, accounts_->tEMailAddress);
    }
    if (!checkEnabledAccounts()) return false;
    // Everything the save needs is taken now, as it was checked: once events ran, the
    // dialog or the program may be gone.
    OptionsSave::Request request;
    request.options = std::move(o);
    request.aliases = aliases_->Aliases();
    request.accounts = accounts_->Records();
    request.setAutoStart = services_.setAutoStart;
    request.autoStartBefore = program_.Settings().StartWithWindows();
    const OptionsSave::Files files{program_.Settings().Ini().IniFile(), program_.AliasesIni().IniFile(),
                                   program_.AccountsIni().IniFile()};
    const QPointer<AccountsOptionsDialog> alive(this);
    const OptionsSave::Result result = saveStopped(program_, files, request);
    if (!alive) return result.saved;
    if (!result.saved) {
        switch (result.failed) {
        case OptionsSave::Step::AutoStart: return refuse(result.message, 1, general_->cbAutoStart);
        case OptionsSave::Step::Aliases: return refuse(result.message, 3, nullptr);
        case OptionsSave::Step::Accounts: return refuse(result.message, 2, accounts_->tEMailAddress);
        default: return refuse(result.message, 1, nullptr);
        }
    }
    accounts_->MarkSaved();
    SetModified(false);
    accept();
    return true;
}

// An enabled account without a POP3 server, user name or password would fail at every
// check: OK names it, shows it and puts the cursor in the empty field.
bool AccountsOptionsDialog::checkEnabledAccounts() {
    const auto fault = Accounts::CheckEnabledAccounts(accounts_->Records());
    if (!fault) return true;
    accounts_->Select(fault->index);
    QLineEdit* field = fault->field == Accounts::AccountField::POP3Server     ? accounts_->tPOP3Server
                       : fault->field == Accounts::AccountField::POP3UserName ? accounts_->tPOP3UserName
                                                                                : accounts_->tPOP3Password;
    return refuse(fault->message, 2, field);
}

OptionsSave::Result AccountsOptionsDialog::saveStopped(mainwindow::GlimmerpostProgram& program,
                                                       const OptionsSave::Files& files,
                                                       const OptionsSave::Request& request) {
    using mainwindow::EngineSet;
    // Nothing of the dialog is read after events ran, and the program only while its
    // watch says it is still running.
    const platform::AliveToken::Watch running = program.RunningWatch();
    EngineSet& engines = program.Engines();
    for (std::string_view name : EngineSet::kEngineUnloadOrder) engines.Unload(name);
    platform::PumpEvents();
    const OptionsSave::Result result = OptionsSave::Save(files, request);
    if (result.saved)
        for (const MailAccount& a : request.accounts) Accounts::EnsureAccountFolders(a.EMailAddress);
    if (!running) return result;
    program.ReadLocalPorts();
    for (std::string_view name : EngineSet::kEngineLoadOrder) {
        if (!running) return result;
        try {
            engines.Load(name, program);
        } catch (const std::exception& e) {
            MiscFuncs::WriteLog(0, "#", std::string("Error in AccountsOptionsDialog::OkButton_Click ") + e.what());
        }
        platform::PumpEvents();
    }
    if (running && result.renamed) reloadMessages(program);
    return result;
}

void AccountsOptionsDialog::reloadMessages(mainwindow::GlimmerpostProgram& program) {
    CMessages* messages = program.Messages();
    if (!messages) return;
    messages->ResetCollection();
    for (const MailAccount& a : Accounts::LoadAccounts(program.AccountsIni())) messages->LoadMessages(a.EMailAddress);
    if (program.Views().fillSenders) program.Views().fillSenders(program);
}

void AccountsOptionsDialog::previewMessage() {
    PreviewTexts t;
    const std::array<std::string, 5> texts = messages_->Texts();
    const bool request = messages_->SelectedMessage() != 1;
    t.kind = request ? MessageType::RegistrationRequest : MessageType::Confirmation;
    t.text1 = texts[request ? 0 : 3];
    t.text2 = texts[request ? 1 : 4];
    t.text3 = request ? texts[2] : std::string();
    if (!accounts_->Records().empty()) t.account = accounts_->Records().front().EMailAddress;
    if (request && messages_->cbAutoRejectNotification->isChecked()) t.noteDays = general_->tDays->text().toStdString();
    const auto path = WritePreviewFile(t);
    if (!path) {
        Prompt::Ask("The sample message could not be written.", kCaption, Prompt::Buttons::OK, Prompt::Kind::Exclamation);
        return;
    }
    const OpenFileResult opened = services_.openFile ? services_.openFile(*path) : OpenFileResult::NoHandler;
    if (opened == OpenFileResult::NoHandler)
        Prompt::Ask("Could not find e-mail client", kCaption, Prompt::Buttons::OK, Prompt::Kind::Exclamation);
    else if (opened == OpenFileResult::Failed)
        Prompt::Ask("Message could not be open by e-mail client", kCaption, Prompt::Buttons::OK,
                    Prompt::Kind::Exclamation);
}

void AccountsOptionsDialog::runSetupWizard() {
    if (!services_.runSetupWizard) return;
    const QPointer<AccountsOptionsDialog> alive(this);
    services_.runSetupWizard(this);
    if (alive) QDialog::reject();  // the wizard has saved what it set up; the dialog's edits go
}

}  // namespace dialogs
