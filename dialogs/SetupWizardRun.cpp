#include "dialogs/SetupWizardRun.h"

#include <QPointer>

#include "core/Log.h"
#include "dialogs/AuthSettingsDialog.h"
#include "mainwindow/ProgramStartup.h"

namespace dialogs {

SetupWizardOutcome RunSetupWizard(mainwindow::GlimmerpostProgram& program, QWidget* owner) {
    SetupWizardServices services;
    services.accountsIni = &program.AccountsIni();
    services.aliasesIni = &program.AliasesIni();
    services.localPOP3Port = program.LocalPOP3Port();
    services.localSMTPPort = program.LocalSMTPPort();
    services.editAuth = [](std::int16_t& type, std::string& user, std::string& password, QWidget* owner) {
        MailAccount values;
        values.SMTPAuthType = type;
        values.SMTPAuthUserName = user;
        values.SMTPAuthPassword = password;
        const std::optional<SmtpAuthChoice> choice = EditSmtpAuthentication(values, owner);
        if (!choice) return 2;
        type = choice->type;
        user = choice->userName;
        password = choice->password;
        return 1;
    };
    QPointer<SetupWizard> wizard = new SetupWizard(std::move(services), owner);
    wizard->exec();
    SetupWizardOutcome outcome;
    if (!wizard) return outcome;
    outcome.saved = wizard->Saved();
    outcome.openImport = wizard->result() == QDialog::Accepted && wizard->OpenImportAfterSetup();
    delete wizard.data();
    return outcome;
}

SetupWizardOutcome RunSetupWizardFromOptions(mainwindow::GlimmerpostProgram& program, QWidget* owner) {
    const SetupWizardOutcome outcome = RunSetupWizard(program, owner);
    // The program may have been shut down while the wizard was open.
    if (program.shutDownDone() || !program.Senders()) return outcome;
    if (outcome.saved) program.Engines().ReloadEngines(program);
    if (outcome.openImport) {
        if (program.FormHooks().importAddressBook) program.FormHooks().importAddressBook();
        else MiscFuncs::WriteLog(0, "i", "AddressBookImportDialog is not available");
    }
    return outcome;
}

}  // namespace dialogs
