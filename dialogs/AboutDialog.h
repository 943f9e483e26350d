#pragma once
// AboutDialog: the program's title, version ("Version " and major.minor.revision) and
// about line. There is no system-information program on this platform: its button
// says so.

#include <QDialog>

class QLabel;
class QPushButton;

namespace dialogs {

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);

    void cmdSysInfo_Click();
    void StartSysInfo();

    QLabel* lblTitle() const { return title_; }
    QLabel* lblVersion() const { return version_; }
    QLabel* lblDescription() const { return description_; }
    QPushButton* cmdOK() const { return ok_; }
    QPushButton* cmdSysInfo() const { return sysInfo_; }

private:
    QLabel* title_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* description_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* sysInfo_ = nullptr;
};

}  // namespace dialogs
