#pragma once
// MessagePreviewForm: "Message preview", a window that is not modal, owned by the main
// window, that shows stored messages one at a time: all stored messages of one sender
// (with Approve, Block, Previous and Next), or one message from the Messages tab. It
// keeps message keys, not paths, and resolves them through the message store at each
// display. Closing it hides it; it lives until the program unloads it.

#include <QWidget>

#include <string>

namespace mainwindow {

class GlimmerpostProgram;

class MessagePreviewForm : public QWidget {
    Q_OBJECT

public:
    MessagePreviewForm(GlimmerpostProgram& program, QWidget* owner);
    ~MessagePreviewForm() override;

    // All stored messages of a sender (a bare address); nothing for a blank one, and
    // the box "There are no messages from <sender>" when he has none.
    void ShowMessagesFrom(const std::string& sender);
    // The one stored message of that message key.
    void ShowMessage(const std::string& key);
};

}  // namespace mainwindow
