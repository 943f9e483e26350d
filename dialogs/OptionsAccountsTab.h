#pragma once
// The "E-mail accounts" tab of the options dialog: the account list, the page of the
// selected account, and the Add, Delete, Test, SMTP authentication and setup-wizard
// buttons.
//
// The page edits the dialog's records (MailAccount) as the user types, so an edit is
// never lost by selecting another account; the address is taken when its field is
// left (or before any other action) and only when it is valid. A change of a server,
// port, user name, password, security or of the authentication marks the account
// untested. Choosing SSL/TLS proposes the TLS port (995, 465) where the port was the
// plain default (110, 25), and back.
// Deleting an account gives the mail program back its settings and removes the
// account's section at once (core/MailAccount.h DeleteAccount).
//
// While a test runs the page is replaced by "Account testing in progress! Please
// wait..." and testingChanged(true) tells the dialog to close every way out; the
// tester lends its own socket to the SMTP client. AbandonTest (the program closing)
// releases the tester so the test returns at once.

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "core/MailAccount.h"

class CIniFile;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTimer;

namespace dialogs {

class AccountTest;
enum class AccountField;

class OptionsAccountsTab : public QWidget {
    Q_OBJECT

public:
    OptionsAccountsTab(CIniFile& accounts, QWidget* parent = nullptr);
    ~OptionsAccountsTab() override;

    // The records as loaded; the first is selected.
    void Fill(std::vector<MailAccount> records);
    // Takes the address field into the record; false (after telling the user and
    // putting the record's address back) when it is not valid.
    bool CommitAddress();
    const std::vector<MailAccount>& Records() const { return records_; }
    // After a save: each record now lives in the section of its address.
    void MarkSaved();
    void Select(int index);
    int Current() const { return current_; }
    bool Testing() const { return testing_; }
    void AbandonTest();
    void SetSetupWizardAvailable(bool available);

    QListWidget* lbPOP3Accounts = nullptr;
    QPushButton* bAddAccount = nullptr;
    QPushButton* bDeleteAccount = nullptr;
    QPushButton* bTestAccount = nullptr;
    QPushButton* bRunSetupWizard = nullptr;
    QPushButton* bSMTPAuthConfig = nullptr;
    QLabel* lTested = nullptr;
    QLabel* lNotTested = nullptr;
    QWidget* TestingFrame = nullptr;
    QCheckBox* cbAccountEnabled = nullptr;
    QSpinBox* tPOP3CheckInterval = nullptr;
    QLabel* lCheckInterval = nullptr;
    QLabel* lMinutes = nullptr;
    QLineEdit* tEMailAddress = nullptr;
    QLineEdit* tDisplayName = nullptr;
    QLineEdit* tPOP3Server = nullptr;
    QLineEdit* tPOP3ServerPort = nullptr;
    QComboBox* cbPOP3Security = nullptr;  // None, STARTTLS, SSL/TLS (Accounts::Security)
    QLineEdit* tPOP3UserName = nullptr;
    QLineEdit* tPOP3Password = nullptr;
    QCheckBox* cbPOP3UseSPA = nullptr;
    QLineEdit* tSMTPServer = nullptr;
    QLineEdit* tSMTPServerPort = nullptr;
    QComboBox* cbSMTPSecurity = nullptr;
    QCheckBox* cbSMTPServerRequiresAuthentication = nullptr;
    QCheckBox* cbLeaveMessageOnServer = nullptr;
    QSpinBox* tLeaveForDays = nullptr;
    QTimer* BlinkTimer = nullptr;

signals:
    void edited();
    void testingChanged(bool testing);
    void setupWizardClicked();

private:
    QWidget* buildPage();
    void connectFields();
    void fillPage();
    void showTested(bool tested);
    void MarkNotTested();
    void addAccount();
    void deleteAccount();
    void testAccount();
    void editAuthentication();
    void leaveOnServerClicked();
    void enableDependents();
    void blink();
    void setBusy(bool busy);
    QWidget* fieldOf(AccountField field) const;
    MailAccount* record();
    std::string caption() const;

    CIniFile& accounts_;
    std::vector<MailAccount> records_;
    int current_ = -1;
    bool filling_ = false;
    bool testing_ = false;
    bool setupWizardAvailable_ = true;
    std::unique_ptr<AccountTest> test_;
    QStackedWidget* stack_ = nullptr;
};

}  // namespace dialogs
