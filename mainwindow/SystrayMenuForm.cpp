#include "mainwindow/SystrayMenuForm.h"

#include <QAction>
#include <QIcon>
#include <QMenu>

#include <array>
#include <string>

#include "mainwindow/MenuPictures.h"
#include "platform/SafeDelete.h"
#include "platform/Text8.h"

namespace mainwindow {
namespace {

// One item of a menu: its name, its caption as designed (with its mnemonic) and the
// key of its picture; a separator has no caption.
struct ItemDesign {
    const char* name;
    const char* caption;
    const char* picture;
};

constexpr std::array<ItemDesign, 7> kSystrayItems{{
    {"mOpen", "Open application", "Open"},
    {"mCheckNewMail", "Check for new &mail", "CheckMail"},
    {"mDiv1", nullptr, nullptr},
    {"mTellAFriend", "Tell a friend...", nullptr},
    {"mSendFeedback", "Send feedback...", nullptr},
    {"mDiv1a", nullptr, nullptr},
    {"mExit", "&Close Glimmerpost", "Close"},
}};

constexpr std::array<ItemDesign, 13> kIndividualsItems{{
    {"mPreviewMessages", "Sender's messages", "MailPreview"},
    {"mAcceptMessages2", "Accept message(s)", "AcceptMessage"},
    {"mRemoveMessages", "Delete message(s)", "DeleteMessage"},
    {"mApproveSender", "Approve sender", "OkSender"},
    {"mDenySender", "Block sender", "BlockSender"},
    {"mDiv3", nullptr, nullptr},
    {"mAcceptMessages", "Accept these messages (do not approve sender yet)", nullptr},
    {"mDiv2", nullptr, nullptr},
    {"mAddSender", "Add sender", "AddSender"},
    {"mDeleteSender", "Delete sender", "DeleteSender"},
    {"mDiv4", nullptr, nullptr},
    {"mApproveSendersDomain", "Approve sender's domain", "OkDomain"},
    {"mBlockMessagesFromThisDomain", "Block sender's domain", "BlockDomain"},
}};

// The items SetImages makes visible again (the grid's pop-up hides some of them).
constexpr std::array<const char*, 14> kShownBySetImages{
    "mPreviewMessages", "mAcceptMessages", "mAcceptMessages2", "mDeleteSender",
    "mRemoveMessages",  "mApproveSender",  "mDiv1",            "mDiv1a",
    "mDiv2",            "mDiv3",           "mAddSender",       "mBlockMessagesFromThisDomain",
    "mDenySender",      "mApproveSendersDomain"};

template <std::size_t N>
void addItems(QMenu& menu, const std::array<ItemDesign, N>& items) {
    for (const ItemDesign& d : items) {
        QAction* action = d.caption ? menu.addAction(QString::fromLatin1(d.caption)) : menu.addSeparator();
        action->setObjectName(QString::fromLatin1(d.name));
    }
}

template <std::size_t N>
const char* pictureOf(const std::array<ItemDesign, N>& items, std::string_view name) {
    for (const ItemDesign& d : items)
        if (name == d.name) return d.picture;
    return nullptr;
}

}  // namespace

SystrayMenuForm::SystrayMenuForm(Targets targets, QObject* parent) : QObject(parent), targets_(std::move(targets)) {
    setObjectName(QStringLiteral("SystrayMenuForm"));
    systray_ = new QMenu(QStringLiteral("Systray"));
    systray_->setObjectName(QStringLiteral("mnuSystray"));
    addItems(*systray_, kSystrayItems);
    systray_->setDefaultAction(item("mOpen"));
    individuals_ = new QMenu(QStringLiteral("Individuals"));
    individuals_->setObjectName(QStringLiteral("mIndividuals"));
    addItems(*individuals_, kIndividualsItems);
    individuals_->setDefaultAction(item("mPreviewMessages"));

    // Each item calls a copy of its target once the menu's own mouse or key handler
    // has returned and the menu has closed: the target may ask questions, open editors
    // or end the program, which releases this form and its menus.
    auto bind = [this](const char* name, std::function<void()> target) {
        connect(
            item(name), &QAction::triggered, this,
            [target = std::move(target)] {
                if (target) target();
            },
            Qt::QueuedConnection);
    };
    bind("mOpen", targets_.open);
    bind("mCheckNewMail", targets_.checkNewMail);
    bind("mTellAFriend", targets_.tellAFriend);
    bind("mSendFeedback", targets_.sendFeedback);
    bind("mExit", targets_.exit);
    auto button = [this](int index) -> std::function<void()> {
        if (!targets_.individualsButton) return nullptr;
        return [fn = targets_.individualsButton, index] { fn(index); };
    };
    bind("mApproveSender", button(1));
    bind("mDenySender", button(2));
    bind("mAddSender", button(3));
    bind("mDeleteSender", button(4));
    bind("mPreviewMessages", button(5));
    bind("mAcceptMessages2", targets_.acceptMessages);
    bind("mRemoveMessages", targets_.deleteMessages);
    bind("mAcceptMessages", targets_.acceptMessagesFromSender);
    bind("mApproveSendersDomain", targets_.approveSendersDomain);
    bind("mBlockMessagesFromThisDomain", targets_.blockSendersDomain);
}

SystrayMenuForm::~SystrayMenuForm() {
    // Qt may still hold a menu (a pop-up closing, an event on its way).
    platform::DeleteWhenSafe(systray_);
    platform::DeleteWhenSafe(individuals_);
}

void SystrayMenuForm::SetImages() {
    for (const char* name : kShownBySetImages) item(name)->setVisible(true);
    for (QMenu* menu : {systray_, individuals_}) {
        for (QAction* action : menu->actions()) {
            const std::string name = action->objectName().toStdString();
            const char* key = menu == systray_ ? pictureOf(kSystrayItems, name) : pictureOf(kIndividualsItems, name);
            if (key) action->setIcon(QIcon(MenuPicture(key)));
        }
    }
}

QAction* SystrayMenuForm::item(std::string_view name) const {
    const QString wanted = QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    for (QMenu* menu : {systray_, individuals_})
        for (QAction* action : menu->actions())
            if (action->objectName() == wanted) return action;
    return nullptr;
}

void SystrayMenuForm::SetCaption(std::string_view name, std::string_view text8) {
    QAction* action = item(name);
    if (!action || action->isSeparator()) return;
    // A caption from the lists (a sender's address, a domain) is shown as it is: an
    // "&" in it is no mnemonic, and a TAB or line break no shortcut column or line.
    QString text = platform::FromText8(text8);
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char(' ');
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    action->setText(text);
}

void SystrayMenuForm::PopupSystray(const QPoint& at) { systray_->popup(at); }

void SystrayMenuForm::PopupIndividuals(const QPoint& at) { individuals_->popup(at); }

}  // namespace mainwindow
