#include "platform/TimerControl.h"

#include <QPointer>

namespace platform {

TimerControl::TimerControl(QObject* parent) : QObject(parent) {
    clock_.setSingleShot(false);
    QObject::connect(&clock_, &QTimer::timeout, this, &TimerControl::tick);
}

void TimerControl::setInterval(int ms) {
    interval_ = ms < 0 ? 0 : ms;
    restart();
}

void TimerControl::setEnabled(bool on) {
    enabled_ = on;
    restart();
}

bool TimerControl::fire() {
    if (!armed() || inHandler_) return false;
    restart();
    tick();
    return true;
}

void TimerControl::restart() {
    if (armed()) {
        clock_.start(interval_);
    } else {
        clock_.stop();
    }
}

void TimerControl::tick() {
    if (!armed() || inHandler_) return;
    QPointer<TimerControl> self(this);
    inHandler_ = true;
    emit timer();
    // The handler may have unloaded the control that owns this timer.
    if (self) inHandler_ = false;
}

}  // namespace platform
