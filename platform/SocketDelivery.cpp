// How SocketControl hands the events of its Qt socket to the engines: data arrival
// without re-entry, the peer's close after the data, send progress and back-pressure.

#include <QNetworkProxy>
#include <QPointer>
#include <QTcpSocket>

#include "platform/SocketControl.h"
#include "platform/SocketErrors.h"

namespace platform {

void SocketControl::adopt(QTcpSocket* socket) {
    resetConnectionState();
    socket_ = socket;
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->setReadBufferSize(kReadBufferCap);
    QObject::connect(socket, &QIODevice::readyRead, this, &SocketControl::onReadyRead);
    QObject::connect(socket, &QAbstractSocket::disconnected, this, &SocketControl::onDisconnected);
    QObject::connect(socket, &QAbstractSocket::errorOccurred, this, &SocketControl::onSocketError);
    QObject::connect(socket, &QIODevice::bytesWritten, this, &SocketControl::onBytesWritten);
}

// A failure found before anything was started is still reported as an event, as a
// failure of the system would be.
void SocketControl::failLater(int number, const QString& text) {
    starting_ = true;
    const unsigned generation = generation_;
    QMetaObject::invokeMethod(this, [this, generation, number, text] {
        if (generation == generation_) raiseError(number, text);
    }, Qt::QueuedConnection);
}

void SocketControl::raiseError(int number, const QString& text) {
    starting_ = false;
    failed_ = true;
    endDelivered_ = true;
    lastErrorNumber_ = number;
    lastErrorText_ = text;
    emit error(number, text);
}

qint64 SocketControl::received() const {
    return socket_ != nullptr ? consumed_ + socket_->bytesAvailable() : 0;
}

bool SocketControl::unannounced() const { return received() > announcedTotal_; }

void SocketControl::queueFlush() {
    if (flushQueued_) return;
    flushQueued_ = true;
    const unsigned generation = generation_;
    QMetaObject::invokeMethod(this, [this, generation] {
        if (generation != generation_) return;
        flushQueued_ = false;
        flush();
    }, Qt::QueuedConnection);
}

// Announces what has arrived unannounced, else delivers a due end of the connection.
void SocketControl::flush() {
    if (socket_ == nullptr || inArrival_ || endDelivered_) return;
    if (pausedByCaller_) return;
    if (unannounced() && !pausedByPressure_) {
        announce();
        return;
    }
    if (endDue_) deliverEnd();
}

void SocketControl::announce() {
    QPointer<SocketControl> self(this);
    QTcpSocket* const socket = socket_;
    inArrival_ = true;
    announcedTotal_ = received();
    emit dataArrival(socket->bytesAvailable());
    if (!self) return;
    if (socket_ != socket) return;  // closed (and perhaps reused) by the handler
    inArrival_ = false;
    // Only what came while the handler ran is left to hand on; later arrivals and the
    // peer's close bring their own flush.
    if (unannounced() || endDue_) queueFlush();
}

void SocketControl::deliverEnd() {
    endDue_ = false;
    endDelivered_ = true;
    if (dueErrorNumber_ != 0) {
        raiseError(dueErrorNumber_, dueErrorText_);
    } else {
        emit closed();
    }
}

void SocketControl::onReadyRead() { flush(); }

void SocketControl::onDisconnected() {
    if (endDelivered_) return;
    peerGone_ = true;
    endDue_ = true;
    // Queued output went down with the connection; holding the reader back for it
    // would only hide the close.
    pausedByPressure_ = false;
    queueFlush();
}

void SocketControl::onSocketError() {
    if (socket_ == nullptr || endDelivered_) return;
    const QAbstractSocket::SocketError kind = socket_->error();
    QString text = socket_->errorString();
    if (tlsFailure(text)) {
        // Nothing more comes over this connection: the handshake failed.
        handshaking_ = upgrading_ = false;
        if (!everConnected_) {
            raiseError(winsock::kTlsFailed, text);
            return;
        }
        dueErrorNumber_ = winsock::kTlsFailed;
        dueErrorText_ = text;
        onDisconnected();
        return;
    }
    if (kind == QAbstractSocket::RemoteHostClosedError) {
        // An ordinary close, unless output was still on its way: then the peer is
        // gone without it, which the sender must hear of.
        if (socket_->bytesToWrite() > 0) {
            dueErrorNumber_ = winsock::kConnectionReset;
            dueErrorText_ = text;
        }
        return;
    }
    const int number = winsock::ErrorNumber(kind, text);
    if (!everConnected_) {
        raiseError(number, text);
        return;
    }
    dueErrorNumber_ = number;
    dueErrorText_ = text;
    onDisconnected();
}

void SocketControl::onBytesWritten(qint64 bytes) {
    QPointer<SocketControl> self(this);
    QTcpSocket* const socket = socket_;
    emit sendProgress(bytes, socket->bytesToWrite());
    if (!self || socket_ != socket) return;
    // Qt does not repeat bytesWritten for output that left while a handler ran, so
    // completion is judged by what is still queued.
    if (socket->bytesToWrite() == 0) emit sendComplete();
    if (!self || socket_ != socket) return;
    if (pausedByPressure_ && socket->bytesToWrite() <= highWater_ / 2) {
        pausedByPressure_ = false;
        queueFlush();
    }
}

}  // namespace platform
