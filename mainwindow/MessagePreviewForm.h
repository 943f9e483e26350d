#pragma once
// MessagePreviewForm: "Message preview", a window that is not modal, owned by the main
// window, that shows stored messages one at a time: all stored messages of one sender
// (with Approve, Block, Previous and Next), or one message from the Messages tab. It
// keeps message keys, not paths, and resolves them through the message store at each
// display. Closing it hides it; it lives until the program unloads it.
//
// Each Show builds its list first: when there is nothing to show, the window keeps
// what it showed. The list is built again after Approve, Block and every change of
// the message store (coalesced, and only while the window is shown): the message on
// show is followed to the folder it moved to and stays on show, also when that folder
// is not one of the sender's list (Recycled, after Block); when no message of the list is
// left the window hides, so it never shows a moved message as an empty page nor acts
// on a sender other than the one whose message it shows. A status change that did not
// take, or could not be saved, is reported in a box. Every text of the message is
// shown as plain text; a body is shown up to kShownBodyBytes, with a note when cut.

#include <QTimer>
#include <QWidget>

#include <cstddef>
#include <string>
#include <vector>

#include "core/ChangeEvent.h"

class CMessages;
class QCloseEvent;
class QLabel;
class QPlainTextEdit;
class QPushButton;
enum class SenderStatus : int;

namespace mainwindow {

class GlimmerpostProgram;

class MessagePreviewForm : public QWidget {
    Q_OBJECT

public:
    static constexpr std::size_t kShownBodyBytes = 256 * 1024;
    // How long store changes are gathered before the list is built again.
    static constexpr int kReloadDelayMs = 50;

    MessagePreviewForm(GlimmerpostProgram& program, QWidget* owner);
    ~MessagePreviewForm() override;

    // All stored messages of a sender (a bare address); nothing for a blank one, and
    // the box "There are no messages from <sender>" when he has none.
    void ShowMessagesFrom(const std::string& sender);
    // The one stored message of that message key.
    void ShowMessage(const std::string& key);

    void bApprove_Click();
    void bBlock_Click();
    void bNext_Click();
    void bPrev_Click();
    void bOpenInEmailClient_Click();
    void CloseButton_Click() { hide(); }

    // What the window shows: the keys of its list, the position shown (from 0) and
    // the sender whose status its buttons set ("" for a single message).
    const std::vector<std::string>& previewKeys() const { return keys_; }
    int previewIndex() const { return index_; }
    const std::string& previewSender() const { return sender_; }
    // Builds the list again now (what a change of the message store does).
    void Reload();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Activated: the window becomes the program's BusyCursorForm.
    bool event(QEvent* event) override;

private:
    void buildWindow();
    void DisplayCurrentMessage();
    void updateButtons();
    void showWindow();
    void watchStore();
    void storeChanged();
    void setStatus(SenderStatus status, const char* reason);
    std::string resolve(const std::string& key) const;
    void report(const std::string& text);

    GlimmerpostProgram& program_;
    bool senderMode_ = false;
    std::vector<std::string> keys_;
    int index_ = 0;
    std::string sender_;
    CMessages* watched_ = nullptr;
    MiscFuncs::ChangeEvent::Token token_ = 0;
    QTimer reload_;

    QLabel* lDateTime = nullptr;
    QLabel* lFromLabel = nullptr;
    QLabel* lSubjectLabel = nullptr;
    QLabel* lDateTimeValue = nullptr;
    QLabel* lFrom = nullptr;
    QLabel* lSubject = nullptr;
    QPlainTextEdit* tMessageText = nullptr;
    QLabel* lCutNote = nullptr;
    QPushButton* bApprove = nullptr;
    QPushButton* bBlock = nullptr;
    QPushButton* bPrev = nullptr;
    QPushButton* bNext = nullptr;
    QPushButton* bOpenInEmailClient = nullptr;
    QPushButton* CloseButton = nullptr;
};

}  // namespace mainwindow
