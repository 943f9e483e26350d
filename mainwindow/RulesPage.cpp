#include "mainwindow/RulesPage.h"

namespace mainwindow {

RulesPage::RulesPage(QWidget* parent) : QWidget(parent) { setObjectName("MainFormPages(3)"); }

}  // namespace mainwindow
