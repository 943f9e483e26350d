#pragma once
// The "General" tab of the options dialog: the program's switches, the number fields
// of the unknown senders and of the registration dialogs, the start with the desktop
// session, the local server ports and the servers' time-out slider.
//
// The number fields are digit fields, each with its up-down control (udDays and the
// others, platform/UpDown.h) that steps it within the field's limits: days and
// messages 1 to 99, the pop-up minutes 0 to 60, the local ports 1 to 65535. The
// fields keep what is stored or typed; OK checks them (CheckDialogOptions).
//
// Fill puts DialogOptions into the controls; Collect reads them back (the message
// texts are the messages tab's). Every change the user makes emits edited().

#include <QWidget>

#include "core/ProgramSettings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace platform {
class UpDown;
}

namespace dialogs {

class OptionsGeneralTab : public QWidget {
    Q_OBJECT

public:
    explicit OptionsGeneralTab(QWidget* parent = nullptr);

    void Fill(const DialogOptions& options);
    // The general fields of `options` from the controls.
    void Collect(DialogOptions& options) const;
    // The control of a number field, to put the focus on after a refusal.
    QLineEdit* FieldOf(DialogOptionField field) const;

    QCheckBox* cbAutomaticalyAprove = nullptr;
    QCheckBox* cbDeleteBounced = nullptr;
    QCheckBox* cbAutoDeleteUnregistered = nullptr;
    QLineEdit* tDays = nullptr;
    platform::UpDown* udDays = nullptr;
    QCheckBox* cbLimitNumberOfMessages = nullptr;
    QLineEdit* tNMessages = nullptr;
    platform::UpDown* udNMessages = nullptr;
    QCheckBox* cbAutoSendRegRequests = nullptr;
    QCheckBox* cbAutoRejectSendersExceedingLimit = nullptr;
    QCheckBox* cbShowRegDialogs = nullptr;
    QLineEdit* tRegDialogShowInterval = nullptr;
    platform::UpDown* udRegDialogShowInterval = nullptr;
    QCheckBox* cbAutoStart = nullptr;
    QCheckBox* cbUseConfirmations = nullptr;
    QLineEdit* tLocalSMTPServerPort = nullptr;
    platform::UpDown* udLocalSMTPServerPort = nullptr;
    QLineEdit* tLocalPOP3ServerPort = nullptr;
    platform::UpDown* udLocalPOP3ServerPort = nullptr;
    QPushButton* bUseDefaultPorts = nullptr;
    QSlider* TimeOutSlider = nullptr;
    QLabel* lServerTimeout = nullptr;

signals:
    void edited();
    // The days field changed: the deletion notice of the messages tab follows it.
    void daysChanged(const QString& days);

private:
    void enableDependents();
    void showTimeout(int minutes);
};

}  // namespace dialogs
