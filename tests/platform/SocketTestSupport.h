#pragma once
// Loopback fixtures for the socket tests: a listening control on a free port of
// 127.0.0.1, a client control and the control that accepted the client, with waits
// bounded by deadlines.

#include <gtest/gtest.h>

#include <QObject>

#include <functional>
#include <memory>

#include "core/TempFolder.h"
#include "platform/EventWait.h"
#include "platform/SocketControl.h"

namespace testing_support {

inline constexpr qint64 kWaitMs = 5000;

inline bool WaitFor(const std::function<bool()>& done) { return platform::WaitUntil(done, kWaitMs); }

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
