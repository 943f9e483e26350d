#include "dialogs/AboutDialog.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <string>

#include "core/ProductInfo.h"
#include "core/Prompt.h"
#include "platform/Text8.h"

namespace dialogs {
namespace {

QLabel* label(const char* name, const std::string& text, QWidget* parent) {
    auto* l = new QLabel(platform::FromText8(text), parent);
    l->setObjectName(name);
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    return l;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutDialog");
    setWindowTitle(platform::FromText8("About " + ProductInfo::DisplayName()));
    auto* column = new QVBoxLayout(this);
    title_ = label("lblTitle", ProductInfo::DisplayName(), this);
    QFont big = title_->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    title_->setFont(big);
    version_ = label("lblVersion", "Version " + ProductInfo::FullVersionText(), this);
    description_ = label("lblDescription", ProductInfo::AboutLine(), this);
    description_->setMinimumWidth(360);
    column->addWidget(title_);
    column->addWidget(version_);
    column->addSpacing(8);
    column->addWidget(description_);
    column->addStretch(1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    ok_ = new QPushButton("OK", this);
    ok_->setObjectName("cmdOK");
    ok_->setDefault(true);
    sysInfo_ = new QPushButton("&System Info...", this);
    sysInfo_->setObjectName("cmdSysInfo");
    buttons->addWidget(ok_);
    buttons->addWidget(sysInfo_);
    column->addLayout(buttons);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(sysInfo_, &QPushButton::clicked, this, &AboutDialog::cmdSysInfo_Click);
}

void AboutDialog::cmdSysInfo_Click() { StartSysInfo(); }

void AboutDialog::StartSysInfo() {
    Prompt::Ask("System Information Is Unavailable At This Time", "", Prompt::Buttons::OK, Prompt::Kind::None);
}

}  // namespace dialogs
