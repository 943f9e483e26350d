#include "dialogs/AddUserForm.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Address.h"
#include "core/MiscUtils.h"
#include "core/Prompt.h"
#include "platform/AliveGuard.h"
#include "platform/Text8.h"

namespace dialogs {
namespace {

// Longer than any address or display name a settings line takes.
constexpr int kFieldCap = 1024;

QLineEdit* field(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaxLength(kFieldCap);
    edit->setMinimumWidth(280);
    return edit;
}

std::string text8(const QLineEdit* edit) { return edit->text().toUtf8().toStdString(); }

}  // namespace

AddUserForm::AddUserForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AddUserForm"));
    setWindowTitle(QStringLiteral("New sender"));
    setModal(true);
    tDisplayName = field(this, "tDisplayName");
    tEmail = field(this, "tEmail");
    auto* box = new QDialogButtonBox(this);
    OkButton = box->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    CancelButton = box->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    connect(OkButton, &QPushButton::clicked, this, &AddUserForm::OkButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &AddUserForm::CancelButton_Click);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Name:"), tDisplayName);
    form->addRow(QStringLiteral("E-mail:"), tEmail);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(box);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

AddUserForm::~AddUserForm() = default;

int AddUserForm::Edit(const std::string& name, const std::string& address, QWidget* owner) {
    result_ = kCancel;
    if (Prompt::Closing()) return result_;
    if (owner && parentWidget() != owner) setParent(owner, windowFlags());
    tDisplayName->setText(platform::FromText8(name));
    tEmail->setText(platform::FromText8(address));
    tDisplayName->setFocus();
    exec();
    return result_;
}

void AddUserForm::OkButton_Click() {
    const std::string address(MiscFuncs::TrimBlanks(text8(tEmail)));
    if (!MiscFuncs::IsValidEmail(address)) {
        const platform::AliveGuard alive(this);
        Prompt::Ask("Entered email address is invalid!", {}, Prompt::Buttons::OK, Prompt::Kind::Exclamation);
        if (!alive) return;
        tEmail->setFocus();
        tEmail->selectAll();
        return;
    }
    name_ = std::string(MiscFuncs::TrimBlanks(text8(tDisplayName)));
    address_ = address;
    result_ = kOk;
    accept();
}

void AddUserForm::CancelButton_Click() {
    result_ = kCancel;
    reject();
}

void AddUserForm::closeEvent(QCloseEvent* event) {
    // The close box, Escape's close, and the program closing its modal windows.
    result_ = kCancel;
    QDialog::closeEvent(event);
}

}  // namespace dialogs
