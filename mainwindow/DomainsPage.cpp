#include "mainwindow/DomainsPage.h"

#include <QAction>
#include <QToolBar>
#include <QVBoxLayout>

#include <functional>

#include "mainwindow/PictureKit.h"
#include "platform/GridControl.h"

namespace mainwindow {

namespace {

namespace pk = pictures;

constexpr int kButtonPictureSize = 24;

const QColor kGreen(40, 150, 70);
const QColor kBlue(40, 100, 190);
const QColor kRed(200, 40, 40);
const QColor kGrey(130, 130, 130);

QIcon buttonPicture(const std::function<void(QPainter&, double)>& paint) {
    QPixmap canvas = pk::Canvas(kButtonPictureSize);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p, kButtonPictureSize);
    p.end();
    return QIcon(canvas);
}

void plus(QPainter& p, const QRectF& box, const QColor& color) {
    p.setPen(QPen(color, box.width() * 0.22, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(box.center().x(), box.top()), QPointF(box.center().x(), box.bottom()));
    p.drawLine(QPointF(box.left(), box.center().y()), QPointF(box.right(), box.center().y()));
}

QIcon pictureOf(std::string_view key) {
    const auto mark = [](double s) { return QRectF(s * 0.48, s * 0.48, s * 0.5, s * 0.5); };
    const auto globe = [](double s) { return QRectF(0, 0, s * 0.78, s * 0.78); };
    if (key == "Ok")
        return buttonPicture([=](QPainter& p, double s) {
            pk::Globe(p, globe(s), kGreen);
            pk::Check(p, mark(s), kBlue);
        });
    if (key == "Block")
        return buttonPicture([=](QPainter& p, double s) {
            pk::Globe(p, globe(s), kGrey);
            pk::Cross(p, mark(s), kRed);
        });
    if (key == "DomainAdd")
        return buttonPicture([=](QPainter& p, double s) {
            pk::Globe(p, globe(s), kBlue);
            plus(p, mark(s), kGreen);
        });
    return buttonPicture([=](QPainter& p, double s) {
        pk::Globe(p, globe(s), kBlue);
        p.setPen(QPen(kRed, s * 0.11, Qt::SolidLine, Qt::RoundCap));
        const QRectF m = mark(s);
        p.drawLine(QPointF(m.left(), m.center().y()), QPointF(m.right(), m.center().y()));
    });
}

}  // namespace

DomainsPage::DomainsPage(QWidget* parent)
    : QWidget(parent),
      strip_(new TabStrip("tsDomains",
                          {
                              {"Permitted", "Ok", "This list contains permitted domains"},
                              {"Blocked", "Blocked",
                               "All messages from these (blocked) domains will be deleted from server"},
                          },
                          this)),
      toolBar_(new QToolBar(strip_->body())),
      grid_(new platform::GridControl(strip_->body())) {
    setObjectName("MainFormPages(2)");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(strip_);

    toolBar_->setObjectName("DomainsToolBar");
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    toolBar_->setIconSize(QSize(kButtonPictureSize, kButtonPictureSize));
    for (const char* key : {"Ok", "Block", "DomainAdd", "DomainDelete"}) {
        QAction* action = toolBar_->addAction(pictureOf(key), QString());
        action->setObjectName(key);
        action->setToolTip(QString());
        connect(action, &QAction::triggered, this, [this, key] { emit buttonClicked(QString::fromLatin1(key)); });
    }
    grid_->setObjectName("fgDomains");
    auto* inBody = new QVBoxLayout(strip_->body());
    inBody->setContentsMargins(2, 2, 2, 2);
    inBody->setSpacing(2);
    inBody->addWidget(toolBar_);
    inBody->addWidget(grid_, 1);
}

QAction* DomainsPage::button(std::string_view key) const {
    for (QAction* action : toolBar_->actions())
        if (action->objectName().toStdString() == key) return action;
    return nullptr;
}

}  // namespace mainwindow
