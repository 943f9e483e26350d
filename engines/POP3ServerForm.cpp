#include "engines/POP3ServerForm.h"

#include <algorithm>

#include "core/Log.h"
#include "core/MiscUtils.h"
#include "core/Numbers.h"
#include "core/ProgramSettings.h"
#include "core/Prompt.h"
#include "protocol/Pop3ServerSession.h"
#include "platform/AliveGuard.h"
#include "platform/EventWait.h"
#include "platform/WindowHelpers.h"

namespace {

// Decimal digits only, at most `digits` of them; -1 for anything else.
int ParseWhole(std::string_view text, std::size_t digits) {
    const auto value = MiscFuncs::DigitsNumber(text, digits);
    return value ? static_cast<int>(*value) : -1;
}

}  // namespace

POP3ServerForm::POP3ServerForm(CMessages& messages, QObject* parent) : QObject(parent), messages_(messages) {
    using platform::SocketArray;
    connect(&sockets_, &SocketArray::connectionRequest, this, &POP3ServerForm::POP3Server_ConnectionRequest);
    connect(&sockets_, &SocketArray::dataArrival, this, [this](int index, qint64) { POP3Server_DataArrival(index); });
    connect(&sockets_, &SocketArray::closed, this, &POP3ServerForm::POP3Server_Close);
    connect(&sockets_, &SocketArray::error, this, &POP3ServerForm::POP3Server_Error);
    connect(&sockets_, &SocketArray::sendProgress, this,
            [this](int index, qint64, qint64) { POP3Server_SendProgress(index); });
    connect(&sockets_, &SocketArray::sendComplete, this, &POP3ServerForm::POP3Server_SendProgress);
    idleTimer_.setEnabled(false);
    idleTimer_.setInterval(kIdleCheckMs);
    connect(&idleTimer_, &platform::TimerControl::timer, this, &POP3ServerForm::timIdle_Timer);
    loginTimer_.setEnabled(false);
    loginTimer_.setInterval(kLoginFailureDelayMs);
    connect(&loginTimer_, &platform::TimerControl::timer, this, &POP3ServerForm::timLogin_Timer);
}

POP3ServerForm::~POP3ServerForm() { Form_Unload(); }

bool POP3ServerForm::Form_Load(std::string_view portText) {
    if (loaded_) Form_Unload();
    loaded_ = true;
    timeOutSeconds_ = ReadTimeOutSeconds();
    const std::string_view trimmed = MiscFuncs::TrimBlanks(portText);
    const std::string shown = trimmed.empty() ? std::to_string(kDefaultPort) : std::string(trimmed);
    const int port = ParseWhole(shown, 5);
    platform::SocketControl* listener = sockets_.load(0);
    if (port < 1 || port > 65535 || !listener->listen(port)) {
        sockets_.unload(0);
        Prompt::Ask("WARNING ! - Port " + shown + " designated for POP3 Server is already in use", "",
                    Prompt::Buttons::OK, Prompt::Kind::Exclamation);
        return false;
    }
    idleTimer_.setEnabled(true);
    return true;
}

void POP3ServerForm::Form_Unload() {
    idleTimer_.setEnabled(false);
    loginTimer_.setEnabled(false);
    for (int slot = 1; slot <= platform::SocketArray::kMaxSessions; ++slot) CloseSession(slot);
    sockets_.unload(0);
    loaded_ = false;
}

bool POP3ServerForm::Listening() const {
    const platform::SocketControl* listener = sockets_.item(0);
    return listener != nullptr && listener->state() == platform::SocketControl::kListening;
}

quint16 POP3ServerForm::Port() const { return Listening() ? sockets_.item(0)->localPort() : 0; }

int POP3ServerForm::SessionCount() const {
    return static_cast<int>(std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.session; }));
}

const Pop3ServerSession* POP3ServerForm::Session(int slot) const {
    if (slot < 1 || slot > platform::SocketArray::kMaxSessions) return nullptr;
    return slots_[static_cast<std::size_t>(slot)].session.get();
}

int POP3ServerForm::ReadTimeOutSeconds() { return ProgramSettings().ServerTimeoutSeconds(); }

std::string POP3ServerForm::title() const { return Pop3ServerSession::DefaultTitle(); }

int POP3ServerForm::FindFreeSession() {
    const int slot = sockets_.findFree();
    if (slot < 0) MiscFuncs::WriteLog(0, "#", "POP3Server Error! - Maximum session limit exceeded !");
    return slot;
}

// ---------------------------------------------------------------- socket events

void POP3ServerForm::POP3Server_ConnectionRequest(int index, int requestId) {
    if (index != 0) return;
    const int slot = FindFreeSession();
    if (slot < 0) return;  // the request is refused when this handler returns
    Slot& s = slots_[static_cast<std::size_t>(slot)];
    s = Slot{};
    s.session = std::make_shared<Pop3ServerSession>(messages_, slot, title());
    s.lastActivity = platform::MonotonicMs();
    MiscFuncs::BeginBusy();
    platform::SocketControl* socket = sockets_.load(slot);
    if (!socket->accept(requestId)) {
        MiscFuncs::WriteLog(0, "#", "Error in POP3Server_ConnectionRequest \r\n" +
                                        std::to_string(socket->lastErrorNumber()) + "\r\n" +
                                        socket->lastErrorText().toStdString());
        CloseSession(slot);
        return;
    }
    socket->setLowDelay(true);  // a reply may leave in several writes
    s.session->Open(socket->remoteHostIP(), socket->localIP());
    platform::AliveGuard alive(this);
    if (hooks.SessionStarted) hooks.SessionStarted(slot);
    if (alive) drive(slot);
}

void POP3ServerForm::POP3Server_DataArrival(int index) {
    if (index < 1 || !slots_[static_cast<std::size_t>(index)].session) return;
    slots_[static_cast<std::size_t>(index)].lastActivity = platform::MonotonicMs();
    drive(index);
}

void POP3ServerForm::POP3Server_SendProgress(int index) {
    if (index < 1 || !slots_[static_cast<std::size_t>(index)].session) return;
    slots_[static_cast<std::size_t>(index)].lastActivity = platform::MonotonicMs();
    drive(index);
}

// What the client sent before it closed still counts (a QUIT among it); what it
// would have been told cannot reach it any more.
void POP3ServerForm::POP3Server_Close(int index) {
    if (index < 1) return;
    const std::shared_ptr<Pop3ServerSession> session = slots_[static_cast<std::size_t>(index)].session;
    platform::SocketControl* socket = sockets_.item(index);
    if (!session || socket == nullptr) return;
    Slot& s = slots_[static_cast<std::size_t>(index)];
    platform::AliveGuard alive(this);
    while (!session->Ended() && socket->bytesReceived() > 0 && session->InputRoom() > 0) {
        // A right password with no failure outstanding lets the commands behind it run.
        if (session->PendingLogin() != Pop3ServerSession::Login::None) {
            if (!answerLoginWhenDue(s, *session)) break;
        } else if (session->Sending()) {
            break;
        } else {
            session->Receive(socket->readText(static_cast<qint64>(session->InputRoom())));
        }
        session->TakeOutput();
        if (!alive || s.session != session) return;
    }
    if (!session->Ended() && session->PendingLogin() == Pop3ServerSession::Login::Passed) {
        answerLoginWhenDue(s, *session);
        session->TakeOutput();
        if (!alive || s.session != session) return;
    }
    CloseSession(index);
}

void POP3ServerForm::POP3Server_Error(int index, int, const QString& description) {
    // The listener stays: it takes requests again by itself after a failed accept.
    if (index > 0) CloseSession(index);
    MiscFuncs::WriteLog(0, "#", "POP3 Socket#" + std::to_string(index) + " error:" + description.toStdString());
}

// Answers every login whose time has come; the others wait for the next tick.
void POP3ServerForm::timLogin_Timer() {
    const platform::AliveGuard alive(this);
    const qint64 now = platform::MonotonicMs();
    for (int slot = 1; slot <= platform::SocketArray::kMaxSessions; ++slot) {
        const Slot& s = slots_[static_cast<std::size_t>(slot)];
        if (!s.session || s.loginDue < 0 || s.loginDue > now) continue;
        drive(slot);
        if (!alive) return;
    }
    armLoginTimer();
}

// A failure is answered a whole delay after the latest failure answered before it (or
// after now); a right password no earlier than that latest failure.
qint64 POP3ServerForm::loginDueFor(bool failed) {
    const qint64 now = platform::MonotonicMs();
    const qint64 held = loginsHeld_ && loginsHeldUntil_ > now ? loginsHeldUntil_ : now;
    if (!failed) return held;
    loginsHeldUntil_ = held + kLoginFailureDelayMs;
    loginsHeld_ = true;
    return loginsHeldUntil_;
}

bool POP3ServerForm::answerLoginWhenDue(Slot& s, Pop3ServerSession& session) {
    if (s.loginDue < 0) s.loginDue = loginDueFor(session.PendingLogin() == Pop3ServerSession::Login::Failed);
    if (platform::MonotonicMs() < s.loginDue) {
        armLoginTimer();
        return false;
    }
    s.loginDue = -1;
    session.ContinueSending();
    return true;
}

void POP3ServerForm::armLoginTimer() {
    qint64 next = -1;
    for (const Slot& s : slots_)
        if (s.session && s.loginDue >= 0 && (next < 0 || s.loginDue < next)) next = s.loginDue;
    if (next < 0) {
        loginTimer_.setEnabled(false);
        return;
    }
    // At most one delay at a time, so a long queue of failures is looked at again.
    const qint64 wait = std::clamp<qint64>(next - platform::MonotonicMs(), 1, kLoginFailureDelayMs);
    loginTimer_.setInterval(static_cast<int>(wait));
    loginTimer_.setEnabled(true);
}

void POP3ServerForm::timIdle_Timer() {
    const qint64 limit = static_cast<qint64>(timeOutSeconds_) * 1000;
    const qint64 now = platform::MonotonicMs();
    for (int slot = 1; slot <= platform::SocketArray::kMaxSessions; ++slot) {
        Slot& s = slots_[static_cast<std::size_t>(slot)];
        if (!s.session || now - s.lastActivity < limit) continue;
        s.session->TimeOut();
        drive(slot);
    }
}

// ---------------------------------------------------------------- carrying bytes

// Moves bytes between the socket and the session until neither can move. Events that
// run meanwhile (listeners of the message store's Change) may ask again; the loop
// then goes round once more instead of being entered twice.
void POP3ServerForm::drive(int slot) {
    Slot& s = slots_[static_cast<std::size_t>(slot)];
    if (!s.session) return;
    if (s.driving) {
        s.again = true;
        return;
    }
    const std::shared_ptr<Pop3ServerSession> session = s.session;
    platform::AliveGuard alive(this);
    s.driving = true;
    bool more = true;
    while (more) {
        s.again = false;
        more = step(slot, *session);
        if (!alive || s.session != session) return;  // unloaded, or ended meanwhile
        more = more || s.again;
    }
    s.driving = false;
    if (session->Ended()) CloseSession(slot);
}

bool POP3ServerForm::step(int slot, Pop3ServerSession& session) {
    platform::SocketControl* socket = sockets_.item(slot);
    if (socket == nullptr) return false;
    flush(slot, session);
    if (session.Ended()) return false;
    // The socket's send progress brings the session back once the queue drains.
    if (socket->bytesPending() > kSendLowWater) return false;
    if (session.PendingLogin() != Pop3ServerSession::Login::None)
        return answerLoginWhenDue(slots_[static_cast<std::size_t>(slot)], session);
    if (session.Sending()) {
        session.ContinueSending();
        return true;
    }
    const qint64 available = socket->bytesReceived();
    const qint64 room = static_cast<qint64>(session.InputRoom());
    if (available <= 0 || room <= 0) return false;
    session.Receive(socket->readText(std::min(available, room)));
    return true;
}

void POP3ServerForm::flush(int slot, Pop3ServerSession& session) {
    if (session.OutputSize() == 0) return;
    const std::string output = session.TakeOutput();
    // A send to a client that has gone fails; its close event ends the session.
    if (platform::SocketControl* socket = sockets_.item(slot)) {
        socket->sendText(output);
        socket->flushOutput();
    }
}

void POP3ServerForm::CloseSession(int slot) {
    if (slot < 1 || slot > platform::SocketArray::kMaxSessions) return;
    Slot& s = slots_[static_cast<std::size_t>(slot)];
    if (!s.session) return;
    const std::shared_ptr<Pop3ServerSession> session = std::move(s.session);
    // A client that leaves without waiting for its answer still holds up the next login.
    if (session->PendingLogin() == Pop3ServerSession::Login::Failed && s.loginDue < 0) loginDueFor(true);
    s = Slot{};
    session->Drop();
    MiscFuncs::EndBusy();
    sockets_.unload(slot);  // what is still queued for the client goes out first
    MiscFuncs::WriteLog(4, "i", "Last client packet: " + session->LastClientPacket());
    MiscFuncs::WriteLog(4, "i", "Last POP3server packet: " + session->LastServerPacket());
    MiscFuncs::WriteLog(4, "i", "POP3Server socket#" + std::to_string(slot) + " closed");
    if (hooks.SessionEnded) hooks.SessionEnded(slot, session->Account(), session->RemovedCount());
}
