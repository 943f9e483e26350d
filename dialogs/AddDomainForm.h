#pragma once
// AddDomainForm, "Domain properties": the modal editor of one domain and its
// description. Edit fills the fields, shows the dialog over its owner and returns 1
// when closed with OK (the trimmed domain and description are then in Domain() and
// Description()) or 2 when cancelled (Cancel, Escape, the close box, or the program
// closing it). OK refuses a domain that "something@" followed by it would not make a
// valid address, with "Entered domain is invalid!", and keeps the dialog open.
//
// The dialog lives for the whole run: closing hides it.

#include <QDialog>

#include <string>
#include <string_view>

class QLineEdit;
class QPushButton;

namespace dialogs {

class AddDomainForm : public QDialog {
    Q_OBJECT

public:
    static constexpr int kOk = 1;
    static constexpr int kCancel = 2;

    explicit AddDomainForm(QWidget* parent = nullptr);

    int Edit(std::string_view domain, std::string_view description, QWidget* owner);
    // The fields as Edit fills them, without showing the dialog.
    void Fill(std::string_view domain, std::string_view description);

    void OkButton_Click();
    void CancelButton_Click();

    int Result() const { return result_; }
    const std::string& Domain() const { return domain_; }
    const std::string& Description() const { return description_; }

    // Whether the trimmed domain is one the filter can match.
    static bool DomainAccepted(std::string_view domain);

    QLineEdit* tDomainName() const { return domainField_; }
    QLineEdit* tDescription() const { return descriptionField_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

protected:
    // Escape and the close box come here.
    void reject() override;

private:
    QLineEdit* domainField_;
    QLineEdit* descriptionField_;
    QPushButton* ok_;
    QPushButton* cancel_;
    int result_ = kCancel;
    std::string domain_, description_;
};

}  // namespace dialogs
