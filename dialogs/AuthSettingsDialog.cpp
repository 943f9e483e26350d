#include "dialogs/AuthSettingsDialog.h"

#include <memory>

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/MailAccount.h"
#include "platform/Text8.h"

namespace dialogs {
namespace {

QPointer<AuthSettingsDialog>& loadedDialog() {
    static QPointer<AuthSettingsDialog> dialog;
    return dialog;
}

}  // namespace

AuthSettingsDialog::AuthSettingsDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("AuthSettingsDialog");
    setWindowTitle("Authentication settings");
    other_ = new QRadioButton("Specify username and password", this);
    popFirst_ = new QRadioButton("Authenticate POP3 before SMTP", this);
    popSetting_ = new QRadioButton("Use POP3 username and password", this);
    other_->setObjectName("oUseOtherAuthInfo");
    popFirst_->setObjectName("oAuthPOP3First");
    popSetting_->setObjectName("oUsePOP3Setting");
    group_ = new QButtonGroup(this);
    group_->addButton(other_, 0);
    group_->addButton(popFirst_, 1);
    group_->addButton(popSetting_, 2);
    userLabel_ = new QLabel("User name", this);
    passwordLabel_ = new QLabel("Password", this);
    user_ = new QLineEdit(this);
    password_ = new QLineEdit(this);
    user_->setObjectName("tUserName");
    password_->setObjectName("tPassword");
    password_->setEchoMode(QLineEdit::Password);
    userLabel_->setBuddy(user_);
    passwordLabel_->setBuddy(password_);
    ok_ = new QPushButton("OK", this);
    cancel_ = new QPushButton("Cancel", this);
    ok_->setObjectName("OKButton");
    cancel_->setObjectName("CancelButton");
    ok_->setDefault(true);

    auto* fields = new QGridLayout;
    fields->setContentsMargins(24, 0, 0, 0);
    fields->addWidget(userLabel_, 0, 0);
    fields->addWidget(user_, 0, 1);
    fields->addWidget(passwordLabel_, 1, 0);
    fields->addWidget(password_, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(other_);
    layout->addLayout(fields);
    layout->addWidget(popFirst_);
    layout->addWidget(popSetting_);
    layout->addStretch();
    layout->addLayout(buttons);
    setMinimumWidth(360);

    connect(group_, &QButtonGroup::idClicked, this, [this](int id) {
        enableFields();
        Type = id;
    });
    connect(ok_, &QPushButton::clicked, this, [this] {
        Result = 1;
        // What Edit was given comes back byte for byte unless it was edited.
        Password = platform::ToText8(password_->text(), Password);
        UserName = platform::ToText8(user_->text(), UserName);
        accept();
    });
    connect(cancel_, &QPushButton::clicked, this, [this] {
        Result = 2;
        reject();
    });
}

AuthSettingsDialog::~AuthSettingsDialog() = default;

AuthSettingsDialog* AuthSettingsDialog::Loaded() { return loadedDialog().data(); }
void AuthSettingsDialog::SetLoaded(AuthSettingsDialog* dialog) { loadedDialog() = dialog; }

void AuthSettingsDialog::selectType(int type) {
    group_->setExclusive(false);
    for (QAbstractButton* b : group_->buttons()) b->setChecked(group_->id(b) == type);
    group_->setExclusive(true);
}

void AuthSettingsDialog::enableFields() {
    const bool on = other_->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(userLabel_), static_cast<QWidget*>(passwordLabel_),
                       static_cast<QWidget*>(user_), static_cast<QWidget*>(password_)})
        w->setEnabled(on);
}

int AuthSettingsDialog::Edit(int type, const std::string& userName, const std::string& password, QWidget* owner) {
    Type = type;
    UserName = userName;
    Password = password;
    Result = 2;  // whatever ends the dialog but OK is Cancel
    selectType(type);
    user_->setText(platform::FromText8(userName));
    password_->setText(platform::FromText8(password));
    enableFields();
    setWindowModality(Qt::ApplicationModal);
    if (owner) move(owner->frameGeometry().center() - rect().center());
    const QPointer<AuthSettingsDialog> alive(this);
    exec();
    if (!alive) return 2;
    hide();
    return Result;
}

std::optional<SmtpAuthChoice> EditSmtpAuthentication(const MailAccount& account, QWidget* owner) {
    AuthSettingsDialog* dialog = AuthSettingsDialog::Loaded();
    std::unique_ptr<AuthSettingsDialog> own;
    if (!dialog) {
        own = std::make_unique<AuthSettingsDialog>();
        dialog = own.get();
    }
    const QPointer<AuthSettingsDialog> alive(dialog);
    const int result = dialog->Edit(account.SMTPAuthType, account.SMTPAuthUserName, account.SMTPAuthPassword, owner);
    if (!alive || result != 1) return std::nullopt;
    return SmtpAuthChoice{static_cast<std::int16_t>(dialog->Type), dialog->UserName, dialog->Password};
}

}  // namespace dialogs
