#include "mainwindow/DomainsPage.h"

#include <QVBoxLayout>

namespace mainwindow {

DomainsPage::DomainsPage(QWidget* parent)
    : QWidget(parent),
      strip_(new TabStrip("tsDomains",
                          {
                              {"Permitted", "Ok", "This list contains permitted domains"},
                              {"Blocked", "Blocked",
                               "All messages from these (blocked) domains will be deleted from server"},
                          },
                          this)) {
    setObjectName("MainFormPages(2)");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(strip_);
}

}  // namespace mainwindow
