#pragma once
// The "Messages" tab of the options dialog: the user's texts of the registration
// request (three parts) and of the acceptance confirmation (two parts), chosen with a
// selector, between labels that show where the program's own pieces go; the choice
// to send the deletion notice with a request; and the Preview button.
//
// The five texts live in buffers: the fields edit the buffers of the message
// selected, and every keystroke reaches its buffer, so switching messages or
// previewing always sees the texts as typed. Every change emits edited().

#include <QWidget>

#include <array>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace dialogs {

class OptionsMessagesTab : public QWidget {
    Q_OBJECT

public:
    explicit OptionsMessagesTab(QWidget* parent = nullptr);

    // Buffers indexed like MessageText: request 1-3, confirmation 1-2.
    void Fill(const std::array<std::string, 5>& texts, bool sendDeletionNote);
    std::array<std::string, 5> Texts() const { return buffers_; }
    // -1 before the first selection, 0 the request, 1 the confirmation.
    int SelectedMessage() const { return selected_; }
    void SelectMessage(int index);
    // The deletion notice as the days field reads.
    void ShowDeletionNotice(const QString& days);

    QComboBox* cMessageSelect = nullptr;
    QPlainTextEdit* tMessageHeader = nullptr;
    QPlainTextEdit* tMessageMiddle = nullptr;
    QPlainTextEdit* tMessageFooter = nullptr;
    QLabel* lTopMsgReg = nullptr;
    QLabel* lTopMsgConf = nullptr;
    QLabel* lLinkToRegWebPage = nullptr;
    QLabel* lTypeIn = nullptr;
    QCheckBox* cbAutoRejectNotification = nullptr;
    QLabel* lAutoDeleteNotification = nullptr;
    QPushButton* bPreview = nullptr;

signals:
    void edited();
    void previewClicked();

private:
    void storeField(QPlainTextEdit* field);
    void setField(QPlainTextEdit* field, const std::string& text);
    void enableNotice();

    std::array<std::string, 5> buffers_;
    int selected_ = -1;
    bool filling_ = false;
};

}  // namespace dialogs
