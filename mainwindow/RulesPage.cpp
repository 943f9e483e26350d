#include "mainwindow/RulesPage.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace mainwindow {

RulesPage::RulesPage(QWidget* parent)
    : QWidget(parent),
      list_(new QListWidget(this)),
      create_(new QPushButton("New rule", this)),
      modify_(new QPushButton("Modify rule", this)),
      delete_(new QPushButton("Delete", this)),
      description_(new QLabel(this)) {
    setObjectName("MainFormPages(3)");
    list_->setObjectName("lbRules");
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    create_->setObjectName("bCreate");
    modify_->setObjectName("bModify");
    delete_->setObjectName("bDelete");
    description_->setObjectName("lMailRulesDescription");
    description_->setTextFormat(Qt::PlainText);
    description_->setWordWrap(true);
    description_->setText(
        "Mail rules extend functionality of Glimmerpost to give you maximum flexibility when managing icoming "
        "mail.  Rules can be defined using mask characters (* = zero or more characters, ? = any character)");

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(create_);
    buttons->addWidget(modify_);
    buttons->addWidget(delete_);
    buttons->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addWidget(list_, 1);
    row->addLayout(buttons);
    auto* column = new QVBoxLayout(this);
    column->addWidget(description_);
    column->addLayout(row, 1);
}

}  // namespace mainwindow
