#pragma once
// Waits that keep the one event thread alive, and the monotonic clock that bounds them.
//
// The engines run on the user-interface thread and wait for socket replies by letting
// pending events run until a condition holds or a deadline passes. Deadlines are taken
// from a monotonic millisecond clock (it never jumps at midnight or when the wall clock
// is set); tests replace it to drive time-outs without waiting for real time.
//
// InstallEventPump makes the core's MiscFuncs::DoEvents run the Qt event loop once, as
// the windowed program and the engine tests need.

#include <QtGlobal>

#include <functional>

namespace platform {

// Milliseconds on a monotonic clock; only differences mean anything.
using MonotonicClockFn = std::function<qint64()>;
qint64 MonotonicMs();
// Replaces the clock (tests); nullptr restores the steady system clock.
void SetMonotonicClock(MonotonicClockFn clock);

// Runs the events that are pending now, without blocking.
void PumpEvents();

// Lets events run until done() returns true or timeoutMs have passed on the monotonic
// clock. Returns true when done() held before the deadline. Sleeps in the event loop
// between events rather than spinning. A negative time-out counts as 0.
bool WaitUntil(const std::function<bool()>& done, qint64 timeoutMs);

// Lets events run for ms milliseconds.
void WaitWithEvents(qint64 ms);

// Points MiscFuncs::DoEvents at QCoreApplication::processEvents.
void InstallEventPump();

}  // namespace platform
