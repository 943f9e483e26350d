#include "engines/SmtpSocketDriver.h"

#include <QObject>

#include <utility>

#include "platform/AliveGuard.h"
#include "platform/EventWait.h"
#include "platform/ProgressDisplay.h"
#include "platform/SocketControl.h"
#include "platform/SocketErrors.h"

namespace engines {

bool SmtpSocketDriver::run() {
    using platform::SocketControl;
    const platform::AliveGuard socketAlive(&socket_);
    // The bindings end with this context object, however run() ends.
    QObject context;
    QObject::connect(&socket_, &SocketControl::connected, &context, [this] { pending_.connected = true; });
    QObject::connect(&socket_, &SocketControl::dataArrival, &context, [this](qint64) { pending_.data = true; });
    QObject::connect(&socket_, &SocketControl::closed, &context, [this] { pending_.closed = true; });
    QObject::connect(&socket_, &SocketControl::error, &context, [this](int number, const QString& text) {
        if (number != platform::winsock::kTlsFailed) {
            pending_.closed = true;
            return;
        }
        pending_.tlsFailed = true;
        pending_.tlsError = text.toStdString();
    });
    QObject::connect(&socket_, &SocketControl::tlsStarted, &context, [this] { pending_.tlsStarted = true; });
    QObject::connect(&socket_, &SocketControl::sendProgress, &context,
                     [this](qint64, qint64) { pending_.progress = true; });

    perform(session_.start());
    qint64 deadline = platform::MonotonicMs() + session_.waitSeconds() * qint64{1000};
    while (!session_.finished()) {
        const bool woke = platform::WaitUntil([&] { return !socketAlive || !owner_ || pending_.any(); },
                                              deadline - platform::MonotonicMs());
        if (!socketAlive) return false;
        if (!owner_) {
            socket_.close();
            return false;
        }
        // Output still on its way keeps the wait alive: a slow link is not a silent
        // server.
        bool moved = true;
        if (woke) moved = dispatch();
        else if (!std::exchange(pending_.progress, false)) perform(session_.timedOut());
        // Bytes that end no reply do not buy time: a server that trickles is silent.
        if (moved) deadline = platform::MonotonicMs() + session_.waitSeconds() * qint64{1000};
    }
    socket_.close();
    return true;
}

bool SmtpSocketDriver::dispatch() {
    bool moved = false;
    if (pending_.connected) {
        pending_.connected = false;
        perform(session_.connected(socket_.localIP()));
        moved = true;
    }
    if (pending_.tlsFailed) {
        // The connection is gone with its handshake; its close says nothing more.
        const std::string why = std::move(pending_.tlsError);
        pending_ = {};
        perform(session_.tlsFailed(why));
        return true;
    }
    if (pending_.tlsStarted) {
        pending_.tlsStarted = false;
        perform(session_.tlsStarted());
        moved = true;
    }
    if (pending_.data) {
        pending_.data = false;
        const QByteArray bytes = socket_.read();
        const std::vector<SmtpAction> actions =
            session_.received(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        moved = moved || !actions.empty();
        perform(actions);
    }
    if (pending_.closed) {
        pending_.closed = false;
        perform(session_.closed());
        moved = true;
    }
    return moved;
}

void SmtpSocketDriver::perform(const std::vector<SmtpAction>& actions) {
    bool sendFailed = false;
    for (const SmtpAction& action : actions) {
        switch (action.kind) {
        case SmtpAction::Kind::Connect: connect(action); break;
        case SmtpAction::Kind::Close:
            socket_.close();
            pending_ = {};
            break;
        case SmtpAction::Kind::Send:
            // After one failed send the rest of the batch belongs to a dead connection.
            if (sendFailed || socket_.sendText(action.text)) break;
            sendFailed = true;
            // A session that goes on after the failure makes a new plan, which replaces
            // the rest of this one; one that has ended leaves its closing steps here.
            if (const std::vector<SmtpAction> next = session_.sendFailed(); !next.empty()) {
                perform(next);
                return;
            }
            break;
        case SmtpAction::Kind::StartTls:
            if (!socket_.startTls()) {
                perform(session_.tlsFailed(socket_.lastErrorText().toStdString()));
                return;
            }
            break;
        case SmtpAction::Kind::Progress:
            modProgress::SetSendProgressValue(action.number);
            modProgress::SetSendProgressText(action.text);
            break;
        }
    }
}

void SmtpSocketDriver::connect(const SmtpAction& action) {
    socket_.close();
    pending_ = {};
    socket_.setLocalPort(0);
    if (!socket_.connect(action.text, action.number, platform::SocketControl::TlsFor(action.security)))
        pending_.closed = true;
}

}  // namespace engines
