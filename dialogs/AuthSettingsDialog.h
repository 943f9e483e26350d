#pragma once
// AuthSettingsDialog: "Authentication settings", how the program's own SMTP client
// logs in to an account's outgoing server when the account's SMTPRequiresAuth is 1:
// 0 "Specify username and password" (SMTPAuthUserName and SMTPAuthPassword),
// 1 "Authenticate POP3 before SMTP", 2 "Use POP3 username and password".
//
// The program loads one instance at start-up (its EngineSet slot "AuthSettingsDialog")
// and hides it after each use; the options dialog and the setup wizard open it with
// Edit. Every Edit starts from the values passed in and from Result 2, so closing it
// by the close box or Escape is Cancel and no earlier OK leaks into a later edit.

#include <QDialog>

#include <cstdint>
#include <optional>
#include <string>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
struct MailAccount;

namespace dialogs {

class AuthSettingsDialog : public QDialog {
    Q_OBJECT

public:
    explicit AuthSettingsDialog(QWidget* parent = nullptr);
    ~AuthSettingsDialog() override;

    // The fields the caller reads after Edit.
    int Type = 0;
    int Result = 2;  // 1 OK, 2 Cancel
    std::string UserName;
    std::string Password;

    // Shows the dialog modally over owner with these values; returns Result.
    int Edit(int type, const std::string& userName, const std::string& password, QWidget* owner);

    // The instance loaded in the program's slot; nullptr when none is loaded.
    static AuthSettingsDialog* Loaded();
    static void SetLoaded(AuthSettingsDialog* dialog);

    QRadioButton* oUseOtherAuthInfo() const { return other_; }
    QRadioButton* oAuthPOP3First() const { return popFirst_; }
    QRadioButton* oUsePOP3Setting() const { return popSetting_; }
    QLineEdit* tUserName() const { return user_; }
    QLineEdit* tPassword() const { return password_; }
    QPushButton* OKButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

private:
    void selectType(int type);
    void enableFields();

    QButtonGroup* group_ = nullptr;
    QRadioButton *other_ = nullptr, *popFirst_ = nullptr, *popSetting_ = nullptr;
    QLabel *userLabel_ = nullptr, *passwordLabel_ = nullptr;
    QLineEdit *user_ = nullptr, *password_ = nullptr;
    QPushButton *ok_ = nullptr, *cancel_ = nullptr;
};

// Edits an account's SMTP authentication (its SMTPAuthType, SMTPAuthUserName and
// SMTPAuthPassword) with the loaded dialog, or, when none is loaded, with one made
// for this call. The answer on OK; nothing on Cancel. Events run meanwhile: the
// caller checks that its window and record still exist before it takes the answer.
struct SmtpAuthChoice {
    std::int16_t type = 0;
    std::string userName, password;
};
std::optional<SmtpAuthChoice> EditSmtpAuthentication(const MailAccount& account, QWidget* owner);

}  // namespace dialogs
