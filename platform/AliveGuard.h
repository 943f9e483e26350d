#pragma once
// Guards for handlers that let events run.
//
// A handler that waits with events running (a socket reply wait, a pause between
// pieces of a message) may find, when the wait returns, that its engine was unloaded
// meanwhile. Before touching the engine again it checks a guard taken before the
// wait and returns at once when the engine is gone:
//
//     platform::AliveGuard alive(this);
//     platform::WaitWithEvents(50);
//     if (!alive) return;
//
// AliveGuard watches a QObject and turns false when the object is destroyed.
// AliveToken is for owners that are not QObjects, or that want to declare themselves
// gone before they are destroyed (an unload that tears down in steps): the owner keeps
// the token, handlers keep a Watch, and expire() or the token's end turns every Watch
// false.

#include <QObject>
#include <QPointer>

#include <memory>

namespace platform {

class AliveGuard {
public:
    explicit AliveGuard(QObject* watched) : watched_(watched) {}
    bool alive() const { return !watched_.isNull(); }
    explicit operator bool() const { return alive(); }

private:
    QPointer<QObject> watched_;
};

class AliveToken {
public:
    class Watch {
    public:
        bool alive() const { return flag_ && *flag_; }
        explicit operator bool() const { return alive(); }

    private:
        friend class AliveToken;
        explicit Watch(std::shared_ptr<const bool> flag) : flag_(std::move(flag)) {}
        std::shared_ptr<const bool> flag_;
    };

    AliveToken() : flag_(std::make_shared<bool>(true)) {}
    ~AliveToken() { *flag_ = false; }
    AliveToken(const AliveToken&) = delete;
    AliveToken& operator=(const AliveToken&) = delete;

    Watch watch() const { return Watch(flag_); }
    void expire() { *flag_ = false; }
    bool alive() const { return *flag_; }

private:
    std::shared_ptr<bool> flag_;
};

}  // namespace platform
