#include "dialogs/AddDomainForm.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Address.h"
#include "core/MiscUtils.h"
#include "core/Prompt.h"
#include "dialogs/EditorPlacement.h"
#include "platform/Text8.h"

namespace dialogs {

namespace {
// Longer than any domain the address rules accept, so nothing valid is cut.
constexpr int kDomainMaxLength = 255;
constexpr int kDescriptionMaxLength = 1000;
}  // namespace

AddDomainForm::AddDomainForm(QWidget* parent)
    : QDialog(parent),
      domainField_(new QLineEdit(this)),
      descriptionField_(new QLineEdit(this)),
      ok_(new QPushButton("OK", this)),
      cancel_(new QPushButton("Cancel", this)) {
    setObjectName("AddDomainForm");
    setWindowTitle("Domain properties");
    setModal(true);
    domainField_->setObjectName("tDomainName");
    domainField_->setMaxLength(kDomainMaxLength);
    descriptionField_->setObjectName("tDescription");
    descriptionField_->setMaxLength(kDescriptionMaxLength);
    ok_->setObjectName("OkButton");
    ok_->setDefault(true);
    cancel_->setObjectName("CancelButton");

    auto* fields = new QFormLayout;
    fields->addRow("Domain:", domainField_);
    fields->addRow("Description:", descriptionField_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(ok_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancel_, QDialogButtonBox::RejectRole);
    auto* column = new QVBoxLayout(this);
    column->addLayout(fields);
    column->addWidget(buttons);
    domainField_->setMinimumWidth(320);

    connect(ok_, &QPushButton::clicked, this, &AddDomainForm::OkButton_Click);
    connect(cancel_, &QPushButton::clicked, this, &AddDomainForm::CancelButton_Click);
}

void AddDomainForm::Fill(std::string_view domain, std::string_view description) {
    result_ = kCancel;
    domain_.clear();
    description_.clear();
    domainField_->setText(platform::FromText8(domain));
    descriptionField_->setText(platform::FromText8(description));
    domainField_->setFocus();
    domainField_->selectAll();
}

int AddDomainForm::Edit(std::string_view domain, std::string_view description, QWidget* owner) {
    Fill(domain, description);
    CentreOver(this, owner);
    exec();
    return result_;
}

bool AddDomainForm::DomainAccepted(std::string_view domain) {
    return MiscFuncs::IsValidEmail("something@" + std::string(MiscFuncs::TrimBlanks(domain)));
}

void AddDomainForm::OkButton_Click() {
    const std::string domain = domainField_->text().toStdString();
    if (!DomainAccepted(domain)) {
        Prompt::Ask("Entered domain is invalid!", windowTitle().toStdString(), Prompt::Buttons::OK,
                    Prompt::Kind::Exclamation);
        domainField_->setFocus();
        domainField_->selectAll();
        return;
    }
    domain_ = std::string(MiscFuncs::TrimBlanks(domain));
    description_ = std::string(MiscFuncs::TrimBlanks(descriptionField_->text().toStdString()));
    result_ = kOk;
    done(QDialog::Accepted);
}

void AddDomainForm::CancelButton_Click() {
    result_ = kCancel;
    done(QDialog::Rejected);
}

void AddDomainForm::reject() { CancelButton_Click(); }

}  // namespace dialogs
