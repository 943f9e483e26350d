#include "dialogs/ImportDialogBase.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Prompt.h"
#include "platform/WindowHelpers.h"

namespace dialogs {

ImportDialogBase::ImportDialogBase(QWidget* parent) : QDialog(parent) {}

QPushButton* ImportDialogBase::addImportRows(QVBoxLayout& column, const QString& action, const char* actionName,
                                             const QString& close) {
    description_ = new QLabel(this);
    description_->setObjectName("lDescription");
    description_->hide();
    progress_ = new QProgressBar(this);
    progress_->setObjectName("pbProgress");
    progress_->setValue(0);
    column.addWidget(description_);
    column.addWidget(progress_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    auto* act = new QPushButton(action, this);
    act->setObjectName(actionName);
    act->setDefault(true);
    cancel_ = new QPushButton(close, this);
    cancel_->setObjectName("CancelButton");
    buttons->addWidget(act);
    buttons->addWidget(cancel_);
    column.addLayout(buttons);
    connect(cancel_, &QPushButton::clicked, this, &ImportDialogBase::reject);
    return act;
}

void ImportDialogBase::reject() {
    if (!importing_ || Prompt::Closing()) QDialog::reject();
}

void ImportDialogBase::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) MiscFuncs::SetBusyCursorForm(this);
    QDialog::changeEvent(e);
}

}  // namespace dialogs
