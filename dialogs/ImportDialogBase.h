#pragma once
// ImportDialogBase: what the two import dialogs (AddressBookImportDialog,
// CSVImportDialog) share: below their choices the status label (hidden until an
// import runs) and the progress bar, then a row with the action button (the default)
// and the closing button; and the rule that a running import cannot be closed by the
// closing button, Escape or the close box, except by the program's shut-down.

#include <QDialog>
#include <QString>

class QEvent;
class QLabel;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace dialogs {

class ImportDialogBase : public QDialog {
    Q_OBJECT

public:
    QPushButton* CancelButton() const { return cancel_; }
    QProgressBar* pbProgress() const { return progress_; }
    QLabel* lDescription() const { return description_; }
    bool importing() const { return importing_; }

public slots:
    void reject() override;

protected:
    explicit ImportDialogBase(QWidget* parent = nullptr);

    // Adds the label, the bar and the button row at the end of column; returns the
    // action button (named actionName). The closing button rejects the dialog.
    QPushButton* addImportRows(QVBoxLayout& column, const QString& action, const char* actionName,
                               const QString& close);
    void changeEvent(QEvent* e) override;

    bool importing_ = false;
    QPushButton* cancel_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* description_ = nullptr;
};

}  // namespace dialogs
