#include "mainwindow/TabStrip.h"

#include <QVBoxLayout>

namespace mainwindow {

TabStrip::TabStrip(const QString& name, std::initializer_list<TabSpec> tabs, QWidget* parent)
    : QWidget(parent), tabs_(new QTabBar(this)), body_(new QFrame(this)) {
    tabs_->setObjectName(name);
    tabs_->setExpanding(false);
    tabs_->setDrawBase(false);
    for (const TabSpec& tab : tabs) {
        const int index = tabs_->addTab(QString::fromLatin1(tab.caption));
        tabs_->setTabData(index, QString::fromLatin1(tab.key));
        tabs_->setTabToolTip(index, QString::fromLatin1(tab.toolTip));
    }
    body_->setObjectName(name + "Body");
    body_->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    body_->setAutoFillBackground(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(tabs_);
    column->addWidget(body_, 1);
}

QString TabStrip::keyAt(int index) const { return tabs_->tabData(index).toString(); }

int TabStrip::indexOfKey(std::string_view key) const {
    const QString wanted = QString::fromLatin1(key.data(), static_cast<int>(key.size()));
    for (int i = 0; i < tabs_->count(); ++i)
        if (keyAt(i) == wanted) return i;
    return -1;
}

}  // namespace mainwindow
