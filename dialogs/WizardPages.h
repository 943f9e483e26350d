#pragma once
// The setup wizard's pages. Each is a plain frame of controls named as the wizard
// refers to them; SetupWizard (SetupWizard.h) holds the logic. Every text that may
// come from outside (addresses, server names) is shown as plain text.

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;

namespace dialogs {

// Page 1.
class WizardWelcomePage : public QWidget {
    Q_OBJECT
public:
    explicit WizardWelcomePage(QWidget* parent = nullptr);
};

// Page 2: the mail program.
class WizardClientPage : public QWidget {
    Q_OBJECT
public:
    explicit WizardClientPage(QWidget* parent = nullptr);
    QRadioButton* oOutlookExpress;
    QRadioButton* oOutlook;
    QRadioButton* oManual;
};

// The "Security" choice beside a server's port: None, STARTTLS, SSL/TLS, whose index
// is the account's POP3Security or SMTPSecurity.
QComboBox* SecurityBox(const char* name, QWidget* parent);

// Page 3: the accounts.
class WizardAccountsPage : public QWidget {
    Q_OBJECT
public:
    explicit WizardAccountsPage(QWidget* parent = nullptr);
    QComboBox* cbAccounts;
    QPushButton* bAddAccount;
    QPushButton* bDeleteAcount;
    QLineEdit* tDisplayName;  // the account's DisplayName, which the program's mails show
    QLineEdit* tEMailAddress;
    QLineEdit* tPOP3UserName;
    QLineEdit* tPOP3Password;
    QLineEdit* tPOP3Server;
    QSpinBox* tPOP3ServerPort;
    QComboBox* cbPOP3Security;  // None, STARTTLS, SSL/TLS (Accounts::Security)
    QCheckBox* cbPOP3UseSPA;
    QLineEdit* tSMTPServer;
    QSpinBox* tSMTPServerPort;
    QComboBox* cbSMTPSecurity;
    QCheckBox* cbSMTPServerRequiresAuthentication;
    QToolButton* bSMTPAuthConfig;
    QPushButton* bTest;
    QLabel* lTested;
    QLabel* lNotTested;
};

// Page 4: the user's other addresses.
class WizardAliasesPage : public QWidget {
    Q_OBJECT
public:
    explicit WizardAliasesPage(QWidget* parent = nullptr);
    QLineEdit* tAliasEmailAddress;
    QListWidget* lbAliases;
    QPushButton* AddButton;
    QPushButton* DeleteButton;
};

// Page 5.
class WizardDonePage : public QWidget {
    Q_OBJECT
public:
    explicit WizardDonePage(QWidget* parent = nullptr);
    // The local ports, for the note on how the mail program connects.
    void SetLocalPorts(int pop3Port, int smtpPort);
    QCheckBox* cbOpenAddressBookImportDialog;

private:
    QLabel* connectNote_;
};

}  // namespace dialogs
