#include "platform/EventWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/Environment.h"

namespace platform {
namespace {

// Longest real sleep between two looks at the clock and the condition; it keeps a
// replaced clock (which real timers know nothing of) observed often enough.
constexpr qint64 kSliceMs = 20;

MonotonicClockFn& clockSlot() {
    static MonotonicClockFn clock;
    return clock;
}

qint64 steadyNow() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Blocks until at least one event has run or sliceMs have passed.
void waitOneSlice(QTimer& slice, qint64 sliceMs) {
    if (QCoreApplication::instance() == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(sliceMs));
        return;
    }
    slice.start(static_cast<int>(sliceMs));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

}  // namespace

qint64 MonotonicMs() { return clockSlot() ? clockSlot()() : steadyNow(); }
void SetMonotonicClock(MonotonicClockFn clock) { clockSlot() = std::move(clock); }

void PumpEvents() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
}

bool WaitUntil(const std::function<bool()>& done, qint64 timeoutMs) {
    const qint64 deadline = MonotonicMs() + std::max<qint64>(timeoutMs, 0);
    QTimer slice;
    slice.setSingleShot(true);
    PumpEvents();
    while (!done()) {
        const qint64 left = deadline - MonotonicMs();
        if (left <= 0) return false;
        waitOneSlice(slice, std::min(left, kSliceMs));
    }
    return true;
}

void WaitWithEvents(qint64 ms) {
    WaitUntil([] { return false; }, ms);
}

void InstallEventPump() {
    MiscFuncs::SetEventPump([] { PumpEvents(); });
}

}  // namespace platform
