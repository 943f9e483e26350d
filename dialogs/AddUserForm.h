#pragma once
// AddUserForm: the modal "New sender" editor, with the display name (tDisplayName)
// and the address (tEmail). It lives for the whole run and is hidden, not destroyed,
// when it closes.
//
// Edit fills the fields, shows the editor over its owner and returns 1 after OK or 2
// after Cancel, Escape, the close box or the program closing it (a closing program
// gets 2 at once). OK takes an address that passes MiscFuncs::IsValidEmail once
// trimmed, and keeps the trimmed name and address; any other address gets the box
// "Entered email address is invalid!" and the editor stays open with the address
// field focused.

#include <QDialog>

#include <string>

class QLineEdit;
class QPushButton;

namespace dialogs {

class AddUserForm : public QDialog {
    Q_OBJECT

public:
    static constexpr int kOk = 1;
    static constexpr int kCancel = 2;

    explicit AddUserForm(QWidget* parent = nullptr);
    ~AddUserForm() override;

    int Edit(const std::string& name, const std::string& address, QWidget* owner);

    // After OK: the trimmed name and address, as 8-bit text.
    const std::string& DisplayName() const { return name_; }
    const std::string& Email() const { return address_; }

    void OkButton_Click();
    void CancelButton_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLineEdit* tDisplayName = nullptr;
    QLineEdit* tEmail = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;
    int result_ = kCancel;
    std::string name_, address_;
};

}  // namespace dialogs
