#include "platform/UpDown.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "core/MiscUtils.h"
#include "core/Numbers.h"

namespace platform {
namespace {

QToolButton* arrow(QWidget* parent, Qt::ArrowType type, const char* name) {
    auto* b = new QToolButton(parent);
    b->setObjectName(name);
    b->setArrowType(type);
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    b->setFixedWidth(16);
    return b;
}

}  // namespace

UpDown::UpDown(QLineEdit* buddy, int minimum, int maximum, QWidget* parent)
    : QWidget(parent), buddy_(buddy), minimum_(minimum), maximum_(std::max(minimum, maximum)) {
    up_ = arrow(this, Qt::UpArrow, "Up");
    down_ = arrow(this, Qt::DownArrow, "Down");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    setFixedHeight(buddy_->sizeHint().height());
    setEnabled(buddy_->isEnabled());
    buddy_->installEventFilter(this);
    connect(up_, &QToolButton::clicked, this, [this] { StepBy(1); });
    connect(down_, &QToolButton::clicked, this, [this] { StepBy(-1); });
}

void UpDown::StepBy(int steps) {
    const std::string text = buddy_->text().toStdString();
    const auto now = MiscFuncs::DigitsNumber(MiscFuncs::TrimBlanks(text), 10);
    const std::int64_t next =
        now ? std::clamp<std::int64_t>(*now + steps, minimum_, maximum_) : static_cast<std::int64_t>(minimum_);
    const QString shown = QString::number(next);
    if (shown == buddy_->text()) return;
    buddy_->setText(shown);
    emit Stepped(static_cast<int>(next));
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
    if (watched == buddy_) {
        if (event->type() == QEvent::EnabledChange) {
            setEnabled(buddy_->isEnabled());
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Up || key == Qt::Key_Down) {
                StepBy(key == Qt::Key_Up ? 1 : -1);
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace platform
