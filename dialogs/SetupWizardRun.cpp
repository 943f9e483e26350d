#include "dialogs/SetupWizardRun.h"

#include <QPointer>

#include "core/Log.h"
#include "engines/CEsmtp.h"
#include "mainwindow/ProgramStartup.h"
#include "platform/SocketControl.h"

namespace dialogs {

SetupWizardHooks& WizardHooks() {
    static SetupWizardHooks hooks;
    return hooks;
}

bool TestWizardAccount(const MailAccount& a, std::string& error) {
    std::string user, password;
    if (a.SMTPRequiresAuth == 1) {
        const bool pop3Login = a.SMTPAuthType == 1 || a.SMTPAuthType == 2;
        user = pop3Login ? a.POP3UserName : a.SMTPAuthUserName;
        password = pop3Login ? a.POP3Password : a.SMTPAuthPassword;
    }
    platform::SocketControl socket;
    CEsmtp esmtp;
    const bool sent = esmtp.TestAccount(a.EMailAddress, a.SMTPServer, a.SMTPServerPort, a.SMTPRequiresAuth,
                                        a.SMTPAuthType, user, password, a.POP3Server, a.POP3ServerPort,
                                        a.POP3UserName, a.POP3Password, socket);
    error = esmtp.LastError;
    return sent && esmtp.Pop3Passed && esmtp.SmtpPassed;
}

SetupWizardOutcome RunSetupWizard(mainwindow::GlimmerpostProgram& program, QWidget* owner) {
    SetupWizardServices services;
    services.accountsIni = &program.AccountsIni();
    services.aliasesIni = &program.AliasesIni();
    services.localPOP3Port = program.LocalPOP3Port();
    services.localSMTPPort = program.LocalSMTPPort();
    services.editAuth = WizardHooks().editAuth;
    services.testAccount = WizardHooks().testAccount ? WizardHooks().testAccount : TestWizardAccount;
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
    QPointer<QWidget> guard = owner;
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
