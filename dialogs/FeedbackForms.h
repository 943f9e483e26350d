#pragma once
// The two forms that reach the makers' pages through the browser: frmFeedback (a
// comment, sent with the version and the browser) and frmTellAFriend (a
// recommendation to up to three friends). Neither sends mail: each builds the page's
// address with its fields percent-encoded (core/FormAddresses.h) and opens it in the
// default browser (platform/BrowserHelpers.h). Without a default browser the send
// button is off, and the form says why when it loads.
//
// Both are windows of their own, not modal. frmTellAFriend lives in the program's
// EngineSet slot "frmTellAFriend": ShowTellAFriend loads it there when needed, and the
// program's end unloads it.

#include <QWidget>

#include <string>
#include <string_view>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace mainwindow {
class GlimmerpostProgram;
}

namespace dialogs {

class frmFeedback : public QWidget {
    Q_OBJECT

public:
    explicit frmFeedback(QWidget* parent = nullptr);

    std::string productName;  // set by the opener

    void Form_Load();
    void cmdSend_Click();

    QPlainTextEdit* txtBody() const { return body_; }
    QLineEdit* txtEmail() const { return email_; }
    QPushButton* cmdSend() const { return send_; }
    QPushButton* cmdCancel() const { return cancel_; }

private:
    QPlainTextEdit* body_ = nullptr;
    QLineEdit* email_ = nullptr;
    QPushButton* send_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

class frmTellAFriend : public QWidget {
    Q_OBJECT

public:
    explicit frmTellAFriend(QWidget* parent = nullptr);

    std::string productName;   // set by ShowTellAFriend
    std::string preparedText;  // set by ShowTellAFriend

    void Form_Load();
    void cmdSend_Click();

    QPlainTextEdit* txtBody() const { return body_; }
    QLineEdit* txtFromName() const { return fromName_; }
    QLineEdit* txtFromEmail() const { return fromEmail_; }
    QLineEdit* txtEmail(int n) const { return friends_[n - 1]; }  // 1 to 3
    QPushButton* cmdSend() const { return send_; }
    QPushButton* cmdCancel() const { return cancel_; }

private:
    QPlainTextEdit* body_ = nullptr;
    QLineEdit* fromName_ = nullptr;
    QLineEdit* fromEmail_ = nullptr;
    QLineEdit* friends_[3] = {};
    QPushButton* send_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

// Shows the feedback form for the product (one form; shown again when open).
void ShowFeedback(std::string_view productName);
frmFeedback* FeedbackForm();

// Registers frmTellAFriend in the program's EngineSet slot.
void RegisterTellAFriend(mainwindow::GlimmerpostProgram& program);
// Loads the form in its slot when needed, hands it the product name and the prepared
// recommendation text, and shows it.
void ShowTellAFriend(mainwindow::GlimmerpostProgram& program, std::string_view productName);
frmTellAFriend* TellAFriendForm();

// Closes and destroys the feedback form (the program's end).
void CloseFeedback();

}  // namespace dialogs
