#include "engines/SMTPProxyForm.h"
#include "engines/SMTPProxyFormSlot.h"

#include <QMetaObject>

#include "core/Log.h"
#include "core/MiscUtils.h"
#include "core/ProgramSettings.h"
#include "core/Prompt.h"
#include "platform/AliveGuard.h"
#include "platform/Online.h"
#include "platform/SocketErrors.h"
#include "platform/WindowHelpers.h"

using platform::SocketArray;
using platform::SocketControl;

namespace {

std::string Number(int n) { return std::to_string(n); }

}  // namespace

SMTPProxyForm::SMTPProxyForm(Hooks hooks, QObject* parent) : QObject(parent), hooks_(std::move(hooks)) {
    connect(&LocalSMTP, &SocketArray::connectionRequest, this, &SMTPProxyForm::onConnectionRequest);
    connect(&LocalSMTP, &SocketArray::dataArrival, this, [this](int i, qint64) { onClientData(i); });
    connect(&LocalSMTP, &SocketArray::closed, this, &SMTPProxyForm::onClientClosed);
    connect(&LocalSMTP, &SocketArray::error, this, [this](int i, int, const QString& d) { onClientError(i, d); });
    connect(&LocalSMTP, &SocketArray::sendProgress, this, [this](int i, qint64, qint64) { onClientSent(i); });
    connect(&RemoteSMTP, &SocketArray::connected, this, &SMTPProxyForm::onServerConnected);
    connect(&RemoteSMTP, &SocketArray::dataArrival, this, [this](int i, qint64) { onServerData(i); });
    connect(&RemoteSMTP, &SocketArray::closed, this, &SMTPProxyForm::onServerClosed);
    connect(&RemoteSMTP, &SocketArray::error, this, [this](int i, int number, const QString& d) {
        if (number == platform::winsock::kTlsFailed) {
            Slot* s = busySlot(i);
            if (s == nullptr || !s->session) return;
            const unsigned generation = s->generation;
            s->session->serverTlsFailed(d.toStdString());
            afterSession(i, generation);
            return;
        }
        onServerError(i, d);
    });
    connect(&RemoteSMTP, &SocketArray::tlsStarted, this, &SMTPProxyForm::onServerTlsStarted);
    connect(&RemoteSMTP, &SocketArray::sendProgress, this, [this](int i, qint64, qint64) {
        if (isBusy(i)) updateFlow(i);
    });
}

SMTPProxyForm::~SMTPProxyForm() { Unload(); }

// ---------------------------------------------------------------- loading

bool SMTPProxyForm::Load() {
    return Load(std::to_string(ProgramSettings().LocalSMTPPort()));
}

bool SMTPProxyForm::Load(std::string_view portText) {
    const std::string text = MiscFuncs::IsBlank(portText) ? kDefaultPort : std::string(MiscFuncs::TrimBlanks(portText));
    const std::optional<int> port = SmtpProxyText::PortNumber(text);
    SocketControl* listener = LocalSMTP.load(0);
    listener->close();
    const bool listens = port && listener->listen(*port);
    if (!listens) Prompt::Ask("WARNING ! - Port " + text + " designated for SMTP proxy is already in use");
    const ProgramSettings settings;
    timeOutSeconds_ = settings.ServerTimeoutSeconds();
    approveRecipients_ = settings.AutoApproveRecepients();
    lastSlot_ = 1;
    return listens;
}

void SMTPProxyForm::Unload() {
    for (int slot = 1; slot <= SocketArray::kMaxSessions; ++slot) CloseConnection(slot);
    LocalSMTP.unload(0);
    refuser_.close();
}

bool SMTPProxyForm::listening() const {
    const SocketControl* listener = LocalSMTP.item(0);
    return listener != nullptr && listener->state() == SocketControl::kListening;
}

quint16 SMTPProxyForm::listenPort() const { return listening() ? LocalSMTP.item(0)->localPort() : 0; }

// ---------------------------------------------------------------- slots

bool SMTPProxyForm::isBusy(int slot) const {
    return slot >= 1 && slot <= SocketArray::kMaxSessions && slots_[slot] && slots_[slot]->busy;
}

SMTPProxyForm::Slot* SMTPProxyForm::busySlot(int slot) {
    return isBusy(slot) ? slots_[slot].get() : nullptr;
}

bool SMTPProxyForm::current(int slot, unsigned generation) const {
    return isBusy(slot) && slots_[slot]->generation == generation;
}

const SmtpProxySession* SMTPProxyForm::session(int slot) const {
    return isBusy(slot) ? slots_[slot]->session.get() : nullptr;
}

platform::TimerControl* SMTPProxyForm::serverTimer(int slot) {
    return isBusy(slot) ? &slots_[slot]->serverTimer : nullptr;
}

platform::TimerControl* SMTPProxyForm::idleTimer(int slot) {
    return isBusy(slot) ? &slots_[slot]->idleTimer : nullptr;
}

int SMTPProxyForm::FindFreeSession() {
    const int slot = platform::NextFreeSlot(lastSlot_, [this](int i) { return !isBusy(i); });
    if (slot < 0) {
        MiscFuncs::WriteLog(0, "#", "Error ! - Maximum SMTP proxy sessions limit exceeded !");
        return -1;
    }
    lastSlot_ = slot;
    return slot;
}

void SMTPProxyForm::CloseConnection(int slot) {
    Slot* s = busySlot(slot);
    if (s == nullptr) return;
    s->busy = false;
    ++s->generation;
    s->serverTimer.setEnabled(false);
    s->idleTimer.setEnabled(false);
    s->clientPaused = s->serverPaused = false;
    // The client's socket still delivers the last reply before it goes down.
    LocalSMTP.unload(slot);
    RemoteSMTP.unload(slot);
    const std::unique_ptr<SmtpProxySession> ended = std::move(s->session);
    --openSessions_;
    MiscFuncs::EndBusy();
    MiscFuncs::WriteLog(2, "i", "Ended SMTP session for " + std::string(ended ? ended->sender() : ""));
    if (hooks_.sessionEnded) hooks_.sessionEnded();
}

// ---------------------------------------------------------------- connections

void SMTPProxyForm::onConnectionRequest(int index, int requestId) {
    if (index != 0) return;
    if (!MiscFuncs::IsOnline()) {
        refuse(requestId, "421 4.3.2 No network connection, try again later");
        return;
    }
    MiscFuncs::WriteLog(0, "#", "SMTPProxy connection " + Number(index) + " opened");
    const int slot = FindFreeSession();
    if (slot < 0) {
        refuse(requestId, "421 4.3.2 Too many connections, try again later");
        return;
    }
    startSession(slot, requestId);
}

void SMTPProxyForm::refuse(int requestId, std::string_view reply) {
    if (!refuser_.accept(requestId)) return;
    refuser_.sendText(std::string(reply) + "\r\n");
    refuser_.close();  // the reply still goes out
}

void SMTPProxyForm::startSession(int slot, int requestId) {
    if (!slots_[slot]) {
        slots_[slot] = std::make_unique<Slot>(*this, slot);
        connect(&slots_[slot]->serverTimer, &platform::TimerControl::timer, this, [this, slot] { onServerTimer(slot); });
        connect(&slots_[slot]->idleTimer, &platform::TimerControl::timer, this, [this, slot] { onIdleTimer(slot); });
    }
    Slot& s = *slots_[slot];
    s.busy = true;
    const unsigned generation = ++s.generation;
    ++openSessions_;
    SocketControl* local = LocalSMTP.load(slot);
    const bool accepted = local->accept(requestId);
    local->setSendHighWater(kSendHighWater);
    MiscFuncs::BeginBusy();
    // The proxy serves this machine only: the peer must be the connection's own address.
    const bool local_peer = accepted && MiscFuncs::TrimBlanks(local->remoteHostIP()) ==
                                            MiscFuncs::TrimBlanks(local->localIP());
    if (local_peer) {
        s.session = std::make_unique<SmtpProxySession>(slot, s.sink);
        s.session->start();
        s.idleTimer.setInterval(timeOutSeconds_ * 1000);
        s.idleTimer.setEnabled(true);
    }
    platform::AliveGuard alive(this);
    if (hooks_.sessionStarted) hooks_.sessionStarted();
    if (!alive || !current(slot, generation)) return;
    if (!accepted) MiscFuncs::WriteLog(0, "#", "Error in SMTPProxyForm::ConnectionRequest the connection was gone");
    if (!local_peer) CloseConnection(slot);
    else afterSession(slot, generation);
}

void SMTPProxyForm::connectServer(int slot, const SmtpProxyText::ServerAddress& server) {
    Slot* s = busySlot(slot);
    if (s == nullptr) return;
    SocketControl* remote = RemoteSMTP.load(slot);
    s->serverPaused = false;
    s->serverTimer.setInterval(timeOutSeconds_ * 1000);
    s->serverTimer.setEnabled(true);
    if (remote->connect(server.host, server.port, SocketControl::TlsFor(server.security))) return;
    // Reported like any failed connection, once the session's call has returned.
    const unsigned generation = s->generation;
    QMetaObject::invokeMethod(this, [this, slot, generation] {
        if (!current(slot, generation) || !slots_[slot]->session) return;
        slots_[slot]->session->serverFailed();
        afterSession(slot, generation);
    }, Qt::QueuedConnection);
}

void SMTPProxyForm::startServerTls(int slot) {
    Slot* s = busySlot(slot);
    SocketControl* remote = RemoteSMTP.item(slot);
    if (s == nullptr) return;
    if (remote != nullptr && remote->startTls()) {
        // The handshake is guarded like the server's first reply.
        s->serverTimer.setInterval(kGreetingTimeOutMs);
        s->serverTimer.setEnabled(true);
        return;
    }
    const unsigned generation = s->generation;
    const std::string why = remote != nullptr ? remote->lastErrorText().toStdString() : "no connection";
    QMetaObject::invokeMethod(this, [this, slot, generation, why] {
        if (!current(slot, generation) || !slots_[slot]->session) return;
        slots_[slot]->session->serverTlsFailed(why);
        afterSession(slot, generation);
    }, Qt::QueuedConnection);
}

void SMTPProxyForm::onServerTlsStarted(int slot) {
    Slot* s = busySlot(slot);
    if (s == nullptr || !s->session) return;
    s->serverTimer.setEnabled(false);
    const unsigned generation = s->generation;
    s->session->serverTlsStarted();
    afterSession(slot, generation);
}

void SMTPProxyForm::dropServer(int slot) {
    RemoteSMTP.unload(slot);
    if (Slot* s = busySlot(slot)) {
        s->serverTimer.setEnabled(false);
        s->serverPaused = false;
    }
}
