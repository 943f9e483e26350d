#pragma once
// MailRuleForm: the modal editor of one mail rule. Edit binds a rule and fills the
// fields from it (name, the From, To and Subject patterns, the action); ShowModal
// shows the dialog over its owner and returns 1 when closed with OK, 2 when cancelled
// (Cancel, Escape, the close box, or the program closing it). Only OK writes into the
// bound rule, so the caller can bind a copy and put it in place once it is saved.
//
// OK checks, in this order, and keeps the dialog open on a refusal:
//   - a name with "[" or "]", a blank name, a name that another rule uses (the
//     nameTaken hook, when set);
//   - a pattern with "*" at either end only earns a hint (the stars are implied);
//   - three blank patterns;
//   - a rule that matches every message and deletes it from the server must be
//     confirmed (the question defaults to No).
// The caption follows the name: "Email rule - " and the name.
//
// The dialog lives for the whole run: closing hides it.

#include <QDialog>

#include <functional>
#include <string>
#include <string_view>

class CRule;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace dialogs {

class MailRuleForm : public QDialog {
    Q_OBJECT

public:
    static constexpr int kOk = 1;
    static constexpr int kCancel = 2;

    explicit MailRuleForm(QWidget* parent = nullptr);

    // Binds the rule (which must outlive the dialog's use of it) and fills the fields.
    void Edit(CRule& rule);
    int ShowModal(QWidget* owner);
    // Whether a name belongs to another rule than the bound one.
    void SetNameTaken(std::function<bool(std::string_view name)> nameTaken) { nameTaken_ = std::move(nameTaken); }

    void OkButton_Click();
    void CancelButton_Click();
    int Result() const { return result_; }

    static bool HasEdgeWildcard(std::string_view pattern);
    // Blank or nothing but stars: such a pattern lets every message through.
    static bool MatchesAnything(std::string_view pattern);

    QLineEdit* tRuleName() const { return name_; }
    QLineEdit* tFrom() const { return from_; }
    QLineEdit* tTo() const { return to_; }
    QLineEdit* tSubject() const { return subject_; }
    QRadioButton* oAccept() const { return accept_; }
    QRadioButton* oDeleteFromServer() const { return deleteFromServer_; }
    QRadioButton* oLeaveOnServer() const { return leaveOnServer_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

protected:
    void reject() override;

private:
    void tRuleName_Change();
    void refuse(std::string_view text, bool information, QLineEdit* focus);
    bool confirmDeletingEverything(const std::string& from, const std::string& to, const std::string& subject);

    QLineEdit* name_;
    QLineEdit* from_;
    QLineEdit* to_;
    QLineEdit* subject_;
    QRadioButton* accept_;
    QRadioButton* deleteFromServer_;
    QRadioButton* leaveOnServer_;
    QPushButton* ok_;
    QPushButton* cancel_;
    CRule* rule_ = nullptr;
    std::function<bool(std::string_view)> nameTaken_;
    int result_ = kCancel;
};

}  // namespace dialogs
