// The socket and timer events of the SMTP proxy: each hands its bytes or its news to
// the slot's session, then lets afterSession act on what the session decided.
#include <QByteArray>

#include <string_view>

#include "core/Log.h"
#include "core/Prompt.h"
#include "engines/SMTPProxyForm.h"
#include "engines/SMTPProxyFormSlot.h"
#include "platform/AliveGuard.h"

using platform::SocketControl;

namespace {

std::string_view View(const QByteArray& bytes) {
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::string Number(int n) { return std::to_string(n); }

}  // namespace

// ---------------------------------------------------------------- the client

void SMTPProxyForm::onClientData(int slot) {
    Slot* s = busySlot(slot);
    SocketControl* local = LocalSMTP.item(slot);
    if (s == nullptr || !s->session || local == nullptr) return;
    const QByteArray bytes = local->read();
    s->idleTimer.setEnabled(true);  // starts the countdown afresh
    const unsigned generation = s->generation;
    s->session->clientBytes(View(bytes));
    afterSession(slot, generation);
}

void SMTPProxyForm::onClientClosed(int slot) {
    MiscFuncs::WriteLog(0, "#", "SMTPProxy connection " + Number(slot) + " closed");
    CloseConnection(slot);
}

void SMTPProxyForm::onClientError(int slot, const QString& description) {
    const int state = session(slot) ? session(slot)->remoteState() : 0;
    if (slot != 0) MiscFuncs::WriteLog(0, "#", "SMTPProxy connection " + Number(slot) + " closed");
    MiscFuncs::WriteLog(0, "#", "SMTP proxy local socket error " + Number(slot) + ":" + Number(state) +
                                    " Err:" + std::string(description.toStdString()));
    // The listener takes requests again by itself after a failed accept.
    if (slot != 0) CloseConnection(slot);
}

void SMTPProxyForm::onClientSent(int slot) {
    Slot* s = busySlot(slot);
    if (s == nullptr || !s->session) return;
    const unsigned generation = s->generation;
    s->session->resume();
    afterSession(slot, generation);
}

// ---------------------------------------------------------------- the server

void SMTPProxyForm::onServerConnected(int slot) {
    Slot* s = busySlot(slot);
    if (s == nullptr) return;
    s->serverTimer.setInterval(kGreetingTimeOutMs);
    s->serverTimer.setEnabled(true);
}

void SMTPProxyForm::onServerData(int slot) {
    Slot* s = busySlot(slot);
    SocketControl* remote = RemoteSMTP.item(slot);
    if (s == nullptr || !s->session || remote == nullptr) return;
    s->serverTimer.setEnabled(false);
    s->idleTimer.setEnabled(true);
    const QByteArray bytes = remote->read();
    const unsigned generation = s->generation;
    s->session->serverBytes(View(bytes));
    afterSession(slot, generation);
}

void SMTPProxyForm::onServerClosed(int slot) {
    Slot* s = busySlot(slot);
    if (s == nullptr || !s->session) return;
    MiscFuncs::WriteLog(2, "i", "SMTP server closed the connection of proxy socket #" + Number(slot));
    const unsigned generation = s->generation;
    s->session->serverFailed();
    afterSession(slot, generation);
}

void SMTPProxyForm::onServerError(int slot, const QString& description) {
    Slot* s = busySlot(slot);
    if (s == nullptr || !s->session) return;
    MiscFuncs::WriteLog(0, "#", "SMTP proxy remote socket error " + Number(slot) + ":" +
                                    Number(s->session->remoteState()) + " Err:" +
                                    std::string(description.toStdString()));
    const unsigned generation = s->generation;
    s->session->serverFailed();
    afterSession(slot, generation);
}

// ---------------------------------------------------------------- timers

void SMTPProxyForm::onServerTimer(int slot) {
    Slot* s = busySlot(slot);
    if (s == nullptr || !s->session) return;
    s->serverTimer.setEnabled(false);
    const SocketControl* remote = RemoteSMTP.item(slot);
    const bool connected = remote != nullptr && remote->state() == SocketControl::kConnected;
    if (!connected) MiscFuncs::WriteLog(1, "#", "SMTP session timed out for local socket");
    const unsigned generation = s->generation;
    s->session->serverFailed();
    afterSession(slot, generation);
    // The box waits for the user; the session is over before it shows.
    if (connected) Prompt::Ask("SMTP Server " + Number(slot) + " connection timed out");
}

void SMTPProxyForm::onIdleTimer(int slot) {
    Slot* s = busySlot(slot);
    if (s == nullptr || !s->session) return;
    const unsigned generation = s->generation;
    s->session->clientIdle();
    afterSession(slot, generation);
}

// ---------------------------------------------------------------- after each event

void SMTPProxyForm::afterSession(int slot, unsigned generation) {
    if (!current(slot, generation) || !slots_[slot]->session) return;
    const std::vector<std::string> recipients = slots_[slot]->session->takeApprovedRecipients();
    // "Automatically aprove recepients of outgoing e-mails" unchecked: the list stays as it is.
    if (!recipients.empty() && approveRecipients_ && hooks_.approveRecipient) {
        platform::AliveGuard alive(this);
        for (const std::string& address : recipients) {
            hooks_.approveRecipient(address);
            if (!alive) return;
        }
        if (!current(slot, generation)) return;
    }
    if (slots_[slot]->session->finished()) CloseConnection(slot);
    else updateFlow(slot);
}

// Holds back the peer whose bytes cannot be passed on: pause above the high-water
// mark, resume once half of it has gone. A client that does not read its replies is
// held back by its own socket's high-water mark instead, which still reports its
// close; a pause of ours holds a close back until we resume.
void SMTPProxyForm::updateFlow(int slot) {
    Slot& s = *slots_[slot];
    SocketControl* local = LocalSMTP.item(slot);
    SocketControl* remote = RemoteSMTP.item(slot);
    const qint64 toServer = remote != nullptr ? remote->bytesPending() : 0;
    const qint64 toClient = local != nullptr ? local->bytesPending() : 0;
    const qint64 limit = kSendHighWater;
    const bool backlog = s.session && !s.session->wantsClientInput() && toClient <= limit / 2;
    const bool holdClient = backlog || toServer > (s.clientPaused ? limit / 2 : limit);
    if (local != nullptr && holdClient != s.clientPaused) {
        holdClient ? local->pauseReading() : local->resumeReading();
        s.clientPaused = holdClient;
    }
    const bool holdServer = toClient > (s.serverPaused ? limit / 2 : limit);
    if (remote != nullptr && holdServer != s.serverPaused) {
        holdServer ? remote->pauseReading() : remote->resumeReading();
        s.serverPaused = holdServer;
    }
}
