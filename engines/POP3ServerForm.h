#pragma once
// POP3ServerForm: the local POP3 server that hands the admitted mail (each account's
// InBox) to the user's own mail program, one mailbox per account (RFC 1939; the
// protocol itself is Pop3ServerSession).
//
// The form owns the sockets and only carries bytes: item 0 of `POP3Server` listens
// on 127.0.0.1; items 1 to 255 each carry one session, in the slot found by searching
// onward from the slot taken last. Only a client whose address is the local address
// of its connection is served.
//
// Bounds: the form reads from a socket only what the session can hold (InputRoom) and
// only while the output still queued for that client is below kSendLowWater, so a
// client that sends without reading holds no more than that much of our memory; a
// message goes out piece by piece as the queue drains. A session that stays silent
// for [options] ServerTimeOuts minutes (15 when blank) is closed. Every session ends
// exactly once, through CloseSession, which pairs the BeginBusy of its acceptance with
// one EndBusy.
//
// Logins: a wrong password is answered only kLoginFailureDelayMs after it came, and
// the delays of all sessions queue one behind the other: the form keeps the moment
// its last failure is answered, and no login on any connection, right or wrong, is
// answered before it (a wrong one a whole delay after it). So a program on this
// machine learns of one guess per delay, however many connections it opens and
// however soon it gives up waiting; a right password with no failure outstanding is
// answered at once. The waits run on timLogin: nothing blocks the event thread, and
// a session that ends meanwhile (the client left, the form unloaded) is simply not
// answered.
//
// Loading reads the session time-out (ProgramSettings::ServerTimeoutSeconds); the port text is the one start-up read from
// [options] POP3ServerPort (blank means 3110), so a changed port takes effect at the
// next start. A port that cannot be had is told in a message box, and the server then
// does not listen until it is loaded again.

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/ProgramSettings.h"
#include "platform/SocketArray.h"
#include "platform/TimerControl.h"

class CMessages;
class Pop3ServerSession;

class POP3ServerForm : public QObject {
    Q_OBJECT

public:
    static constexpr int kDefaultPort = 3110;
    static constexpr int kDefaultTimeOutMinutes = SettingDefaults::kServerTimeoutMinutes;
    // Output queued for one client above which the form stops producing for it.
    static constexpr qint64 kSendLowWater = 256 * 1024;
    static constexpr int kIdleCheckMs = 1000;
    // dovecot's auth_failure_delay.
    static constexpr int kLoginFailureDelayMs = 2000;

    // What the main window may want to hear; either may be left empty.
    struct Hooks {
        std::function<void(int slot)> SessionStarted;
        // account is "" for a session that never logged in; removed counts the
        // messages its QUIT deleted.
        std::function<void(int slot, const std::string& account, std::size_t removed)> SessionEnded;
    };

    explicit POP3ServerForm(CMessages& messages, QObject* parent = nullptr);
    ~POP3ServerForm() override;

    // Starts listening on the port text; false (after the message box) when the port
    // cannot be had.
    bool Form_Load(std::string_view portText);
    // Ends every session (none of them deletes anything) and stops listening.
    void Form_Unload();

    platform::SocketArray& POP3Server() { return sockets_; }
    // Read-only, for the connection monitor.
    const platform::SocketArray& POP3Server() const { return sockets_; }
    platform::TimerControl& timIdle() { return idleTimer_; }
    // Answers the logins whose delay is over; armed while one waits.
    platform::TimerControl& timLogin() { return loginTimer_; }
    bool Listening() const;
    quint16 Port() const;
    int TimeOutSeconds() const { return timeOutSeconds_; }
    int SessionCount() const;
    const Pop3ServerSession* Session(int slot) const;

    // Ends the session of the slot (no UPDATE state); nothing when the slot is free.
    void CloseSession(int slot);
    // The next free slot from the one taken last, or -1 (logged) when all are taken.
    int FindFreeSession();

    Hooks hooks;

private:
    struct Slot {
        std::shared_ptr<Pop3ServerSession> session;
        qint64 lastActivity = 0;
        qint64 loginDue = -1;  // when the login waiting is answered; -1: none waits
        bool driving = false;
        bool again = false;
    };

    void POP3Server_ConnectionRequest(int index, int requestId);
    void POP3Server_DataArrival(int index);
    void POP3Server_Close(int index);
    void POP3Server_Error(int index, int number, const QString& description);
    void POP3Server_SendProgress(int index);
    void timIdle_Timer();
    void timLogin_Timer();

    void drive(int slot);
    bool step(int slot, Pop3ServerSession& session);
    void flush(int slot, Pop3ServerSession& session);
    // Answers the session's judged PASS when its time has come (true), else makes
    // sure the login timer will come back for it.
    bool answerLoginWhenDue(Slot& s, Pop3ServerSession& session);
    qint64 loginDueFor(bool failed);
    void armLoginTimer();
    static int ReadTimeOutSeconds();
    std::string title() const;

    CMessages& messages_;
    platform::SocketArray sockets_;
    platform::TimerControl idleTimer_;
    platform::TimerControl loginTimer_;
    // When the latest failed login is answered; no login is answered before it.
    qint64 loginsHeldUntil_ = 0;
    bool loginsHeld_ = false;
    std::array<Slot, platform::SocketArray::kMaxSessions + 1> slots_{};
    int timeOutSeconds_ = kDefaultTimeOutMinutes * 60;
    bool loaded_ = false;
};
