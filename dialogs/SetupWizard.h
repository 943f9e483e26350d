#pragma once
// SetupWizard: the modal five-page dialog that configures the program on first use
// and again from the options dialog. It finds the accounts of the user's mail program
// (core/MailClients.h) or takes them by hand, has each tested against its servers,
// then saves them (core/SetupSave.h: undo files, accounts.ini checked, the mail
// program rewritten, aliases.ini) and offers the address-book import.
//
// Rules it keeps:
// - Loading an account into the page never marks it untested; a change of any of its
//   settings (typed, ticked, or in the authentication dialog) always does.
// - Addresses are compared ignoring letter case (adding, editing, detecting).
// - While an account test runs, the page, Back, Next, Cancel and the close box do
//   nothing; the wizard checks it still exists when the test returns.
// - "Don't configure" goes on to the next page only after Yes.
// - The close box and Escape count as Cancel; while the program closes, the wizard
//   abandons a running account test and closes without a question, saving nothing.
// - Nothing is written before the aliases page is left; when accounts.ini cannot be
//   written the wizard says so and stays on that page.

#include <QDialog>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/MailAccount.h"

class CIniFile;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTimer;

namespace dialogs {

class AccountTest;
class WizardAccountsPage;
class WizardAliasesPage;
class WizardClientPage;
class WizardDonePage;

struct SetupWizardServices {
    CIniFile* accountsIni = nullptr;
    CIniFile* aliasesIni = nullptr;
    int localPOP3Port = 3110;
    int localSMTPPort = 3025;
    // The SMTP authentication dialog: edits the three values, returns 1 after OK.
    std::function<int(std::int16_t& authType, std::string& user, std::string& password, QWidget* owner)> editAuth;
    // Replaces the account test (dialogs/AccountTest.h) when set: true when both the
    // POP3 and the SMTP part passed, else false with the client's error lines.
    std::function<bool(const MailAccount& account, std::string& error)> testAccount;
};

class SetupWizard : public QDialog {
    Q_OBJECT

public:
    static constexpr const char* kCaption = "Glimmerpost setup wizard";
    static constexpr const char* kManualAddress = "your.name@example.com";
    static constexpr const char* kNewAccountAddress = "new.account@example.com";

    explicit SetupWizard(SetupWizardServices services, QWidget* parent = nullptr);
    ~SetupWizard() override;

    int Page() const { return page_; }
    // The accounts in the list, in order, and the current one.
    const std::vector<MailAccount>& Accounts() const { return accounts_; }
    int CurrentAccount() const { return current_; }
    bool Testing() const { return testing_; }

    // Filled when the wizard finished: the accounts were saved.
    bool Saved() const { return saved_; }
    bool OpenImportAfterSetup() const { return openImport_; }

    // The buttons' actions (also used by tests).
    void NextClicked();
    void BackClicked();
    void CancelClicked();

protected:
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool leavePage(int page);
    bool leaveClientPage();
    bool leaveAccountsPage();
    bool leaveAliasesPage();
    void showPage(int page);
    void resetAccounts();
    void fillAccountList();

    void selectAccount(int index);
    void loadAccountIntoPage();
    void markUntested();
    void showTested(bool tested);
    MailAccount* current();
    bool emailEdited();  // false when a typed address was refused
    void addAccount();
    void removeAccount();
    void editAuth();
    void runTest();
    bool checkFields();
    bool test(const MailAccount& account, std::string& error);
    void setTesting(bool on);
    void blink();

    void addAlias();
    void deleteAlias();

    bool isListed(const std::string& address, int except) const;

    SetupWizardServices services_;
    QStackedWidget* pages_;
    WizardClientPage* clientPage_;
    WizardAccountsPage* accountsPage_;
    WizardAliasesPage* aliasesPage_;
    WizardDonePage* donePage_;
    QPushButton* bBack_;
    QPushButton* bNext_;
    QPushButton* bCancel_;
    QLabel* testingFrame_;
    QTimer* blinkTimer_;
    std::unique_ptr<AccountTest> tester_;

    std::vector<MailAccount> accounts_;
    int current_ = -1;
    int page_ = 1;
    bool loading_ = false;
    bool testing_ = false;
    bool saved_ = false;
    bool openImport_ = false;
    bool finishing_ = false;
};

}  // namespace dialogs
