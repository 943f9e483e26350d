#pragma once
// SmtpSocketDriver: runs one SmtpClientSession over a socket control that belongs to
// the caller, on the user-interface thread.
//
// It binds the control's events for the length of run() only, performs the session's
// actions (connect, send, close, progress), and between them waits with events
// running (platform/EventWait.h) for the control's next event or the session's time-
// out (a TLS handshake included), measured on the monotonic clock and restarted whenever the session moves on;
// output still going out when the time is up restarts it too. Events of a connection
// the session has closed are dropped. Received bytes are handed over as they come,
// however they are split.
//
// The control may be destroyed while events run (its window unloaded): run() then
// returns false at once and never touches it again. The owner of the session may be
// released too: run() then closes the control and returns false. Otherwise the
// control is closed when run() returns true.

#include <string>

#include "protocol/SmtpClientSession.h"
#include "platform/AliveGuard.h"

namespace platform {
class SocketControl;
}

namespace engines {

class SmtpSocketDriver {
public:
    SmtpSocketDriver(platform::SocketControl& socket, SmtpClientSession& session,
                     platform::AliveToken::Watch owner)
        : socket_(socket), session_(session), owner_(std::move(owner)) {}

    // Runs the session to its end; false when the control or the owner went away
    // during a wait.
    bool run();

private:
    struct Pending {
        bool connected = false;
        bool data = false;
        bool closed = false;
        bool progress = false;  // extends the wait; wakes nobody
        bool tlsStarted = false;
        bool tlsFailed = false;
        std::string tlsError{};
        bool any() const { return connected || data || closed || tlsStarted || tlsFailed; }
    };

    void perform(const std::vector<SmtpAction>& actions);
    void connect(const SmtpAction& action);
    // Hands the session what the control reported; true when the session moved on.
    bool dispatch();

    platform::SocketControl& socket_;
    SmtpClientSession& session_;
    platform::AliveToken::Watch owner_;
    Pending pending_;
};

}  // namespace engines
