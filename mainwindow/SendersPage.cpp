#include "mainwindow/SendersPage.h"

#include <QVBoxLayout>

namespace mainwindow {

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
          this)) {
    setObjectName("MainFormPages(1)");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(strip_);
}

}  // namespace mainwindow
