#pragma once
// Loopback fixtures for the socket tests: a listening control on a free port of
// 127.0.0.1, a client control and the control that accepted the client, with waits
// bounded by deadlines.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>

#include <functional>
#include <memory>

#include "core/TempFolder.h"
#include "platform/EventWait.h"
#include "platform/SocketControl.h"

namespace testing_support {

inline constexpr qint64 kWaitMs = 5000;

inline bool WaitFor(const std::function<bool()>& done) { return platform::WaitUntil(done, kWaitMs); }

// Lets the events queued now run, and those they queue in turn, for `rounds` rounds
// (each round also looks at the sockets once). A check that something did NOT happen
// looks after this: a queued announcement, close or error would have come by then.
inline bool QueuedEventsRan(int rounds = 3) {
    int left = rounds;
    std::function<void()> step;
    step = [&] {
        if (--left > 0) QMetaObject::invokeMethod(QCoreApplication::instance(), step, Qt::QueuedConnection);
    };
    QMetaObject::invokeMethod(QCoreApplication::instance(), step, Qt::QueuedConnection);
    return WaitFor([&] { return left == 0; });
}

class LoopbackTest : public TempFolderTest {
protected:
    // Starts listening; every request is accepted on `server` unless acceptRequests
    // is switched off.
    void SetUp() override {
        TempFolderTest::SetUp();
        ASSERT_TRUE(listener.listen(0));
        QObject::connect(&listener, &platform::SocketControl::connectionRequest, &listener, [this](int id) {
            ++requests;
            if (acceptRequests) server.accept(id);
        });
    }

    // Connects the client and waits until both ends read "connected".
    void open() {
        ASSERT_TRUE(client.connect("127.0.0.1", listener.localPort()));
        ASSERT_TRUE(WaitFor([this] {
            return client.state() == platform::SocketControl::kConnected &&
                   server.state() == platform::SocketControl::kConnected;
        }));
    }

    platform::SocketControl listener, client, server;
    bool acceptRequests = true;
    int requests = 0;
};

}  // namespace testing_support
