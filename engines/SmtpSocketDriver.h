#pragma once
// SmtpSocketDriver: runs one SmtpClientSession over a socket control that belongs to
// the caller, on the user-interface thread.
//
// It binds the control's events for the length of run() only, performs the session's
// actions (connect, send, close, progress), and between them waits with events
// running (platform/EventWait.h) for the control's next event or the session's time-
// out, measured on the monotonic clock and restarted whenever the session moves on or
// the control reports send progress. Events of a connection the session has closed
// are dropped. Received bytes are handed over as they come, however they are split.
//
// The control may be destroyed while events run (its window unloaded): run() then
// returns false at once and never touches it again. Otherwise the control is closed
// when run() returns.

#include "engines/SmtpClientSession.h"

namespace platform {
class SocketControl;
}

namespace engines {

class SmtpSocketDriver {
public:
    SmtpSocketDriver(platform::SocketControl& socket, SmtpClientSession& session)
        : socket_(socket), session_(session) {}

    // Runs the session to its end; false when the control went away during a wait.
    bool run();

private:
    struct Pending {
        bool connected = false;
        bool data = false;
        bool closed = false;
        bool progress = false;
        bool any() const { return connected || data || closed || progress; }
    };

    void perform(const std::vector<SmtpAction>& actions);
    void connect(const SmtpAction& action);
    // Hands the session what the control reported; true when anything came.
    bool dispatch();

    platform::SocketControl& socket_;
    SmtpClientSession& session_;
    Pending pending_;
};

}  // namespace engines
