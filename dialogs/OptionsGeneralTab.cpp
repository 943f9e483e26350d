#include "dialogs/OptionsGeneralTab.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QVBoxLayout>

#include "platform/Text8.h"
#include "platform/UpDown.h"

namespace dialogs {
namespace {

QCheckBox* checkBox(QWidget* parent, const char* name, const char* caption, const char* tip = nullptr) {
    auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
    box->setObjectName(name);
    if (tip) box->setStatusTip(QString::fromUtf8(tip));
    return box;
}

QLineEdit* digitsField(QWidget* parent, const char* name, int width) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,5}"), edit));
    edit->setFixedWidth(width);
    return edit;
}

QHBoxLayout* row(std::initializer_list<QWidget*> widgets) {
    auto* layout = new QHBoxLayout;
    for (QWidget* w : widgets) layout->addWidget(w);
    layout->addStretch();
    return layout;
}

platform::UpDown* upDown(QLineEdit* buddy, const char* name, int minimum, int maximum) {
    auto* ud = new platform::UpDown(buddy, minimum, maximum, buddy->parentWidget());
    ud->setObjectName(name);
    return ud;
}

// A field and its up-down control side by side, as one cell.
QWidget* withUpDown(QLineEdit* field, platform::UpDown* ud) {
    auto* box = new QWidget(field->parentWidget());
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(field);
    layout->addWidget(ud);
    box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return box;
}

std::string text8(const QLineEdit* edit) { return edit->text().toStdString(); }

}  // namespace

OptionsGeneralTab::OptionsGeneralTab(QWidget* parent) : QWidget(parent) {
    setObjectName("OptionsFrame1");
    cbAutomaticalyAprove = checkBox(this, "cbAutomaticalyAprove", "Automatically aprove recepients of outgoing e-mails");
    cbDeleteBounced = checkBox(this, "cbDeleteBounced", "Automatically delete bounced registration requests");
    cbAutoDeleteUnregistered = checkBox(this, "cbAutoDeleteUnregistered",
                                        "Automatically delete messages from unknown senders after ");
    tDays = digitsField(this, "tDays", 50);
    cbLimitNumberOfMessages = checkBox(this, "cbLimitNumberOfMessages", "Limit number of messages from unknown senders to ");
    tNMessages = digitsField(this, "tNMessages", 50);
    cbAutoRejectSendersExceedingLimit = checkBox(this, "cbAutoRejectSendersExceedingLimit", "Auto reject senders exceeding limit");
    cbAutoSendRegRequests = checkBox(this, "cbAutoSendRegRequests", "Automaticaly send registration requests",
                                     "If this option is NOT set you will have to manualy check the list of unknown senders");
    cbShowRegDialogs = checkBox(this, "cbShowRegDialogs", "Show registration dialogs when sender registration arrives, for ");
    tRegDialogShowInterval = digitsField(this, "tRegDialogShowInterval", 50);
    cbAutoStart = checkBox(this, "cbAutoStart", "Automaticaly start Glimmerpost when Windows starts");
    cbUseConfirmations = checkBox(this, "cbUseConfirmations", "Always use confirmation dialogs");
    tLocalSMTPServerPort = digitsField(this, "tLocalSMTPServerPort", 70);
    tLocalPOP3ServerPort = digitsField(this, "tLocalPOP3ServerPort", 70);
    udDays = upDown(tDays, "udDays", 1, 99);
    udNMessages = upDown(tNMessages, "udNMessages", 1, 99);
    udRegDialogShowInterval = upDown(tRegDialogShowInterval, "udRegDialogShowInterval", 0, 60);
    udLocalSMTPServerPort = upDown(tLocalSMTPServerPort, "udLocalSMTPServerPort", 1, 65535);
    udLocalPOP3ServerPort = upDown(tLocalPOP3ServerPort, "udLocalPOP3ServerPort", 1, 65535);
    bUseDefaultPorts = new QPushButton("Use default values", this);
    bUseDefaultPorts->setObjectName("bUseDefaultPorts");
    TimeOutSlider = new QSlider(Qt::Horizontal, this);
    TimeOutSlider->setObjectName("TimeOutSlider");
    TimeOutSlider->setRange(1, 15);
    TimeOutSlider->setValue(15);
    TimeOutSlider->setTickPosition(QSlider::TicksBelow);
    lServerTimeout = new QLabel("15 minutes", this);
    lServerTimeout->setObjectName("lServerTimeout");

    auto* senders = new QGroupBox("Unknown senders", this);
    auto* s = new QVBoxLayout(senders);
    s->addWidget(cbAutomaticalyAprove);
    s->addWidget(cbDeleteBounced);
    s->addLayout(row({cbAutoDeleteUnregistered, withUpDown(tDays, udDays), new QLabel("day(s)", this)}));
    s->addLayout(row({cbLimitNumberOfMessages, withUpDown(tNMessages, udNMessages)}));
    auto* indented = row({cbAutoRejectSendersExceedingLimit});
    indented->setContentsMargins(24, 0, 0, 0);
    s->addLayout(indented);
    s->addWidget(cbAutoSendRegRequests);
    s->addLayout(row({cbShowRegDialogs, withUpDown(tRegDialogShowInterval, udRegDialogShowInterval),
                      new QLabel("minutes", this)}));

    auto* program = new QGroupBox("Program", this);
    auto* p = new QVBoxLayout(program);
    p->addWidget(cbAutoStart);
    p->addWidget(cbUseConfirmations);

    auto* servers = new QGroupBox("Local servers", this);
    auto* g = new QGridLayout(servers);
    g->addWidget(new QLabel("Local SMTP server port", this), 0, 0);
    g->addWidget(withUpDown(tLocalSMTPServerPort, udLocalSMTPServerPort), 0, 1);
    g->addWidget(new QLabel("Local POP3 server port", this), 1, 0);
    g->addWidget(withUpDown(tLocalPOP3ServerPort, udLocalPOP3ServerPort), 1, 1);
    g->addWidget(bUseDefaultPorts, 0, 2, 2, 1);
    g->addWidget(new QLabel("Server timeouts", this), 2, 0);
    g->addLayout(row({new QLabel("Short", this), TimeOutSlider, new QLabel("Long", this)}), 2, 1, 1, 2);
    g->addWidget(lServerTimeout, 3, 1, 1, 2);
    g->setColumnStretch(3, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(senders);
    layout->addWidget(program);
    layout->addWidget(servers);
    layout->addStretch();

    for (QCheckBox* box : findChildren<QCheckBox*>()) {
        connect(box, &QCheckBox::clicked, this, [this] {
            enableDependents();
            emit edited();
        });
    }
    for (QLineEdit* edit : findChildren<QLineEdit*>()) connect(edit, &QLineEdit::textEdited, this, &OptionsGeneralTab::edited);
    for (platform::UpDown* ud : findChildren<platform::UpDown*>())
        connect(ud, &platform::UpDown::Stepped, this, &OptionsGeneralTab::edited);
    connect(tDays, &QLineEdit::textChanged, this, &OptionsGeneralTab::daysChanged);
    connect(bUseDefaultPorts, &QPushButton::clicked, this, [this] {
        tLocalPOP3ServerPort->setText(QString::number(SettingDefaults::kLocalPOP3Port));
        tLocalSMTPServerPort->setText(QString::number(SettingDefaults::kLocalSMTPPort));
        emit edited();
    });
    connect(TimeOutSlider, &QSlider::valueChanged, this, [this](int minutes) { showTimeout(minutes); });
    connect(TimeOutSlider, &QSlider::actionTriggered, this, &OptionsGeneralTab::edited);
    connect(TimeOutSlider, &QSlider::sliderMoved, this, &OptionsGeneralTab::edited);
    enableDependents();
}

void OptionsGeneralTab::showTimeout(int minutes) {
    lServerTimeout->setText(QString::number(minutes) + " minute" + (minutes > 1 ? "s" : ""));
}

void OptionsGeneralTab::enableDependents() {
    tDays->setEnabled(cbAutoDeleteUnregistered->isChecked());
    const bool limit = cbLimitNumberOfMessages->isChecked();
    tNMessages->setEnabled(limit);
    cbAutoRejectSendersExceedingLimit->setEnabled(limit);
}

void OptionsGeneralTab::Fill(const DialogOptions& o) {
    cbAutomaticalyAprove->setChecked(o.autoApproveRecepients);
    cbDeleteBounced->setChecked(o.autoDeleteBounced);
    cbAutoDeleteUnregistered->setChecked(o.autoDeleteUnregistered);
    tDays->setText(platform::FromText8(o.autoDeleteUnregisteredInterval));
    cbLimitNumberOfMessages->setChecked(o.limitMessagesFromUnknown);
    tNMessages->setText(platform::FromText8(o.maxMessagesCountFromUnknown));
    cbAutoSendRegRequests->setChecked(o.autoSendRegRequests);
    cbAutoRejectSendersExceedingLimit->setChecked(o.autoRejectSendersExceedingLimit);
    tRegDialogShowInterval->setText(platform::FromText8(o.regDialogShowInterval));
    cbAutoStart->setChecked(o.startWithWindows);
    cbUseConfirmations->setChecked(o.useConfirmations);
    cbShowRegDialogs->setChecked(o.showRegDialogs);
    tLocalSMTPServerPort->setText(platform::FromText8(o.smtpServerPort));
    tLocalPOP3ServerPort->setText(platform::FromText8(o.pop3ServerPort));
    TimeOutSlider->setValue(o.serverTimeouts);
    showTimeout(TimeOutSlider->value());
    enableDependents();
}

void OptionsGeneralTab::Collect(DialogOptions& o) const {
    o.autoApproveRecepients = cbAutomaticalyAprove->isChecked();
    o.autoDeleteBounced = cbDeleteBounced->isChecked();
    o.autoDeleteUnregistered = cbAutoDeleteUnregistered->isChecked();
    o.autoDeleteUnregisteredInterval = text8(tDays);
    o.limitMessagesFromUnknown = cbLimitNumberOfMessages->isChecked();
    o.maxMessagesCountFromUnknown = text8(tNMessages);
    o.autoSendRegRequests = cbAutoSendRegRequests->isChecked();
    o.autoRejectSendersExceedingLimit = cbAutoRejectSendersExceedingLimit->isChecked();
    o.regDialogShowInterval = text8(tRegDialogShowInterval);
    o.startWithWindows = cbAutoStart->isChecked();
    o.useConfirmations = cbUseConfirmations->isChecked();
    o.showRegDialogs = cbShowRegDialogs->isChecked();
    o.smtpServerPort = text8(tLocalSMTPServerPort);
    o.pop3ServerPort = text8(tLocalPOP3ServerPort);
    o.serverTimeouts = TimeOutSlider->value();
}

QLineEdit* OptionsGeneralTab::FieldOf(DialogOptionField field) const {
    switch (field) {
    case DialogOptionField::AutoDeleteInterval: return tDays;
    case DialogOptionField::MaxMessages: return tNMessages;
    case DialogOptionField::RegDialogInterval: return tRegDialogShowInterval;
    case DialogOptionField::LocalSMTPPort: return tLocalSMTPServerPort;
    case DialogOptionField::LocalPOP3Port: return tLocalPOP3ServerPort;
    }
    return nullptr;
}

}  // namespace dialogs
