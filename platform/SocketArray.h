#pragma once
// An array of socket controls for a server or a collector, indexed like the
// platform's control arrays: item 0 is the one placed at design time (a listener),
// items 1 to 255 are loaded for one session each and removed when it ends.
//
// The events of every item are raised by the array with the item's index, so an
// engine connects once. A new session takes the next free item, searching onward from
// the one taken last (that one included) and wrapping from 255 to 1.

#include <QObject>
#include <QString>

#include <array>
#include <functional>

#include "platform/SocketControl.h"

namespace platform {

// The slot search on its own, for engines that keep a busy flag per slot: the first
// slot, from last onward (last included, 255 followed by 1), for which isFree holds;
// -1 when none of the 255 does. A last outside 1..255 counts as 1.
int NextFreeSlot(int last, const std::function<bool(int)>& isFree);

class SocketArray : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxSessions = 255;

    explicit SocketArray(QObject* parent = nullptr);
    ~SocketArray() override;

    // The item at index (0..255), nullptr when it is not loaded.
    SocketControl* item(int index) const;
    bool isLoaded(int index) const { return item(index) != nullptr; }
    // Loads the item (when it is not loaded yet) and returns it; nullptr for an index
    // outside 0..255.
    SocketControl* load(int index);
    // Closes the item and removes it; safe inside the item's own event handler.
    void unload(int index);
    int loadedSessions() const;

    // The next free session index (1..255), which becomes the last taken; -1 when all
    // 255 are loaded. The item is not loaded by this call.
    int findFree();
    int lastTaken() const { return last_; }

signals:
    void connected(int index);
    void closed(int index);
    void dataArrival(int index, qint64 bytesTotal);
    void connectionRequest(int index, int requestId);
    void error(int index, int number, const QString& description);
    void sendProgress(int index, qint64 bytesSent, qint64 bytesRemaining);
    void sendComplete(int index);
    void tlsStarted(int index);

private:
    void forward(SocketControl* control, int index);

    std::array<SocketControl*, kMaxSessions + 1> items_{};
    int last_ = 1;
};

}  // namespace platform
