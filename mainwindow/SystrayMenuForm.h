#pragma once
// SystrayMenuForm: the window that carries two pop-up menus and nothing else:
//   - mnuSystray, the tray icon's menu: mOpen "Open application" (the default item),
//     mCheckNewMail, mDiv1, mTellAFriend, mSendFeedback, mDiv1a, mExit;
//   - mIndividuals, the senders grid's right-button menu: mPreviewMessages,
//     mAcceptMessages2, mRemoveMessages, mApproveSender, mDenySender, mDiv3,
//     mAcceptMessages, mDiv2, mAddSender, mDeleteSender, mDiv4, mApproveSendersDomain,
//     mBlockMessagesFromThisDomain.
// Every item calls one of its Targets after the menu's own handler has returned (a
// queued call); an empty target does nothing. The menus go with deleteLater. The senders page
// sets the grid menu's captions, visibility and enabled states before each pop-up
// (SetCaption takes 8-bit text and shows it literally: "&" is doubled).

#include <QObject>
#include <QPoint>

#include <functional>
#include <string>
#include <string_view>

class QAction;
class QMenu;

namespace mainwindow {

class SystrayMenuForm : public QObject {
    Q_OBJECT

public:
    struct Targets {
        // mnuSystray
        std::function<void()> open, checkNewMail, tellAFriend, sendFeedback, exit;
        // mIndividuals: the toolbar buttons by index (1 approve, 2 block, 3 add sender,
        // 4 delete sender, 5 preview messages), and the other actions.
        std::function<void(int button)> individualsButton;
        std::function<void()> acceptMessages, deleteMessages, acceptMessagesFromSender;
        std::function<void()> approveSendersDomain, blockSendersDomain;
    };

    explicit SystrayMenuForm(Targets targets, QObject* parent = nullptr);
    ~SystrayMenuForm() override;

    // Makes the grid menu's items visible again and gives every item with a picture
    // its picture.
    void SetImages();

    QMenu* mnuSystray() const { return systray_; }
    QMenu* mIndividuals() const { return individuals_; }
    // The item of either menu by its name ("mOpen", "mDiv4", ...); null when unknown.
    QAction* item(std::string_view name) const;
    // The caption as given, shown literally.
    void SetCaption(std::string_view name, std::string_view text8);

    // Pop-ups at a screen position; the grid menu with mPreviewMessages as its default
    // (bold) item.
    void PopupSystray(const QPoint& at);
    void PopupIndividuals(const QPoint& at);

private:
    Targets targets_;
    QMenu* systray_ = nullptr;
    QMenu* individuals_ = nullptr;
};

}  // namespace mainwindow
