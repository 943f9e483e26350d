#pragma once
// A timer control with the platform's properties: Interval (milliseconds), Enabled
// and a Tag, and one event, timer().
//
// - An interval of 0 never fires, whatever Enabled says.
// - Setting Enabled to true (also when it already is) or changing the interval of an
//   enabled timer starts the countdown afresh.
// - A tick that falls due while the handler of the previous tick is still running
//   (the handler let events run) is dropped: the handler is never entered twice.
// - fire() runs a tick at once, exactly as the timer would, so tests never wait for
//   real time; it does nothing for a timer that could not tick.

#include <QObject>
#include <QTimer>

#include <string>

namespace platform {

class TimerControl : public QObject {
    Q_OBJECT

public:
    explicit TimerControl(QObject* parent = nullptr);

    int interval() const { return interval_; }
    void setInterval(int ms);
    bool enabled() const { return enabled_; }
    void setEnabled(bool on);
    const std::string& tag() const { return tag_; }
    void setTag(std::string tag) { tag_ = std::move(tag); }

    // True when the timer would tick: enabled with an interval above 0.
    bool armed() const { return enabled_ && interval_ > 0; }
    // Runs one tick now when armed and no tick is being handled; the next tick then
    // follows a whole interval later. Returns whether a tick ran.
    bool fire();

signals:
    void timer();

private:
    void restart();
    void tick();

    QTimer clock_;
    int interval_ = 0;
    bool enabled_ = true;
    bool inHandler_ = false;
    std::string tag_;
};

}  // namespace platform
