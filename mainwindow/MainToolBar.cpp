#include "mainwindow/MainToolBar.h"

#include <QActionGroup>
#include <QToolButton>

#include "mainwindow/MainPictures.h"

namespace mainwindow {
namespace {

struct ButtonSpec {
    const char* key;
    const char* caption;
    const char* toolTip;
};

constexpr ButtonSpec kButtonSpecs[MainToolBar::kButtons] = {
    {"Individuals", "Senders", "Senders and messages"},
    {"Domains", "Domains", "Permitted and blocked domains"},
    {"Rules", "Rules", "Mail rules"},
    {"Options", "Options", "Settings and address import"},
    {"CheckMail", "Check mail", "Check for new mail now"},
    {"HomePage", "Web site", "Open the Glimmerpost web site"},
    {"Tell", "Tell a friend", "Tell a friend about Glimmerpost"},
};

constexpr std::pair<const char*, const char*> kMenuItems[] = {
    {"About", "About Glimmerpost..."},
    {"OnlineHLP", "Online help"},
    {"TellAFriend", "Tell a friend..."},
    {"SendFeedback", "Send feedback..."},
};

constexpr int kPages = 4;
constexpr int kMenuButton = 6;

}  // namespace

MainToolBar::MainToolBar(QWidget* parent) : QToolBar(parent) {
    setObjectName("MainToolBar");
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(kToolbarPictureSize, kToolbarPictureSize));
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    auto* pages = new QActionGroup(this);
    pages->setExclusive(true);
    for (int i = 0; i < kButtons; ++i) {
        const ButtonSpec& button = kButtonSpecs[i];
        QAction* a = addAction(QIcon(ToolbarPicture(button.key)), QString::fromLatin1(button.caption));
        a->setObjectName(QStringLiteral("MainToolBar_") + QString::fromLatin1(button.key));
        a->setToolTip(QString::fromLatin1(button.toolTip));
        a->setData(i + 1);
        if (i < kPages) {
            a->setCheckable(true);
            pages->addAction(a);
        }
        connect(a, &QAction::triggered, this, [this, i] { emit buttonClicked(i + 1); });
        buttons_[i] = a;
        if (i == kPages - 1) addSeparator();
    }
    addMenu(buttons_[kMenuButton - 1]);
}

void MainToolBar::addMenu(QAction* owner) {
    menu_ = new QMenu(this);
    menu_->setObjectName("MainToolBarMenu");
    for (const auto& [key, caption] : kMenuItems) {
        QAction* item = menu_->addAction(QString::fromLatin1(caption));
        item->setObjectName(QStringLiteral("MainToolBarMenu_") + QString::fromLatin1(key));
        const QString k = QString::fromLatin1(key);
        connect(item, &QAction::triggered, this, [this, k] { emit buttonMenuClicked(k); });
    }
    owner->setMenu(menu_);
    if (auto* tool = qobject_cast<QToolButton*>(widgetForAction(owner)))
        tool->setPopupMode(QToolButton::MenuButtonPopup);
}

QAction* MainToolBar::button(int index) const {
    return index >= 1 && index <= kButtons ? buttons_[index - 1] : nullptr;
}

QAction* MainToolBar::menuItem(const QString& key) const {
    return menu_->findChild<QAction*>(QStringLiteral("MainToolBarMenu_") + key, Qt::FindDirectChildrenOnly);
}

void MainToolBar::pressPage(int page) {
    if (page >= 1 && page <= kPages) buttons_[page - 1]->setChecked(true);
}

int MainToolBar::pressedPage() const {
    for (int i = 0; i < kPages; ++i)
        if (buttons_[i]->isChecked()) return i + 1;
    return 0;
}

}  // namespace mainwindow
