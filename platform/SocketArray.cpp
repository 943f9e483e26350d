#include "platform/SocketArray.h"

namespace platform {

int NextFreeSlot(int last, const std::function<bool(int)>& isFree) {
    int slot = last < 1 || last > SocketArray::kMaxSessions ? 1 : last;
    for (int looked = 0; looked < SocketArray::kMaxSessions; ++looked) {
        if (isFree(slot)) return slot;
        slot = slot == SocketArray::kMaxSessions ? 1 : slot + 1;
    }
    return -1;
}

SocketArray::SocketArray(QObject* parent) : QObject(parent) {}

SocketArray::~SocketArray() {
    for (int i = 0; i <= kMaxSessions; ++i) unload(i);
}

SocketControl* SocketArray::item(int index) const {
    if (index < 0 || index > kMaxSessions) return nullptr;
    return items_[static_cast<size_t>(index)];
}

SocketControl* SocketArray::load(int index) {
    if (index < 0 || index > kMaxSessions) return nullptr;
    SocketControl*& slot = items_[static_cast<size_t>(index)];
    if (slot == nullptr) {
        slot = new SocketControl(this);
        forward(slot, index);
    }
    return slot;
}

void SocketArray::unload(int index) {
    SocketControl* control = item(index);
    if (control == nullptr) return;
    items_[static_cast<size_t>(index)] = nullptr;
    control->disconnect(this);
    control->close();
    control->deleteLater();
}

int SocketArray::loadedSessions() const {
    int count = 0;
    for (int i = 1; i <= kMaxSessions; ++i) count += isLoaded(i) ? 1 : 0;
    return count;
}

int SocketArray::findFree() {
    const int slot = NextFreeSlot(last_, [this](int i) { return !isLoaded(i); });
    if (slot > 0) last_ = slot;
    return slot;
}

void SocketArray::forward(SocketControl* control, int index) {
    QObject::connect(control, &SocketControl::connected, this, [this, index] { emit connected(index); });
    QObject::connect(control, &SocketControl::closed, this, [this, index] { emit closed(index); });
    QObject::connect(control, &SocketControl::dataArrival, this,
                     [this, index](qint64 bytes) { emit dataArrival(index, bytes); });
    QObject::connect(control, &SocketControl::connectionRequest, this,
                     [this, index](int id) { emit connectionRequest(index, id); });
    QObject::connect(control, &SocketControl::error, this, [this, index](int number, const QString& text) {
        emit error(index, number, text);
    });
    QObject::connect(control, &SocketControl::sendProgress, this,
                     [this, index](qint64 sent, qint64 left) { emit sendProgress(index, sent, left); });
    QObject::connect(control, &SocketControl::sendComplete, this, [this, index] { emit sendComplete(index); });
    QObject::connect(control, &SocketControl::tlsStarted, this, [this, index] { emit tlsStarted(index); });
}

}  // namespace platform
