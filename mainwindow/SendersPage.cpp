#include "mainwindow/SendersPage.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolBar>
#include <QVBoxLayout>

#include "mainwindow/SendersPictures.h"
#include "platform/GridControl.h"

namespace mainwindow {

namespace {

struct ButtonSpec {
    const char* key;
    const char* toolTip;
};
constexpr ButtonSpec kButtons[] = {
    {"Ok", "Approve sender"},
    {"Block", "Block sender"},
    {"UserAdd", "Add new sender"},
    {"UserDelete", "Delete selected sender"},
    {"PreviewMessages", "Preview messages from this sender"},
};

}  // namespace

SendersPage::SendersPage(QWidget* parent)
    : QWidget(parent),
      strip_(new TabStrip(
          "tsSenders",
          {
              {"Unknown", "Unknown",
               "This list shows users that have sent you a message but have not yet registered"},
              {"Waiting approval", "WaitingAuth",
               "This list shows senders that have registered and are waiting your approval"},
              {"Registered", "Registered", "This list contains senders that were approved by you"},
              {"Blocked", "Blocked", "This list contains senders that are blocked by Glimmerpost"},
              {"All senders", "All", "This list contains all senders known to the application."},
              {"Messages", "Messages", ""},
          },
          this)),
      grid_(new platform::GridControl(strip_->body())),
      toolBar_(new QToolBar(strip_->body())),
      count_(new QLineEdit(strip_->body())),
      search_(new QLineEdit(strip_->body())),
      searchCaption_(new QLabel("Quick search:", strip_->body())) {
    setObjectName("MainFormPages(1)");
    grid_->setObjectName("fgSenders");
    toolBar_->setObjectName("IndividualsToolBar");
    count_->setObjectName("tSendersCount");
    search_->setObjectName("tSenderSearch");
    searchCaption_->setObjectName("tQuickSearch");

    toolBar_->setIconSize(QSize(kSendersButtonSize, kSendersButtonSize));
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (const ButtonSpec& b : kButtons) {
        QAction* a = toolBar_->addAction(QIcon(SendersButtonPicture(b.key)), QString());
        a->setObjectName(b.key);
        a->setToolTip(b.toolTip);
    }

    count_->setReadOnly(true);
    count_->setFocusPolicy(Qt::NoFocus);
    count_->setFrame(false);
    searchCaption_->setTextFormat(Qt::PlainText);
    search_->setMaximumWidth(220);
    search_->hide();
    searchCaption_->hide();

    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(toolBar_);
    top->addWidget(count_, 1);
    top->addWidget(searchCaption_);
    top->addWidget(search_);
    auto* inner = new QVBoxLayout(strip_->body());
    inner->setContentsMargins(4, 4, 4, 4);
    inner->addLayout(top);
    inner->addWidget(grid_, 1);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(strip_);
}

SendersPage::~SendersPage() { delete controller_.data(); }

QAction* SendersPage::button(int index) const {
    const auto actions = toolBar_->actions();
    return index >= 1 && index <= actions.size() ? actions[index - 1] : nullptr;
}

QAction* SendersPage::button(std::string_view key) const {
    for (QAction* a : toolBar_->actions())
        if (a->objectName() == QLatin1String(key.data(), static_cast<qsizetype>(key.size()))) return a;
    return nullptr;
}

}  // namespace mainwindow
