// How events reach handlers that let other events run: no re-entry, no lost data,
// the close after the data, requests that nobody takes, and back-pressure.

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include <vector>

#include "SocketTestSupport.h"
#include "platform/SocketErrors.h"

namespace {

using platform::SocketControl;
using testing_support::LoopbackTest;
using testing_support::QueuedEventsRan;
using testing_support::WaitFor;

// Records each handler call's bytes and the deepest nesting seen.
struct ArrivalLog {
    std::vector<QByteArray> pieces;
    int depth = 0, deepest = 0;
    void enter() { deepest = std::max(deepest, ++depth); }
    void leave() { --depth; }
};

TEST_F(LoopbackTest, DataArrivingInsideAPumpingHandlerIsAnnouncedAfterIt) {
    open();
    ArrivalLog log;
    QObject::connect(&server, &SocketControl::dataArrival, [&](qint64) {
        log.enter();
        log.pieces.push_back(server.read());
        if (log.pieces.size() == 1) {
            ASSERT_TRUE(client.send("second"));
            // Lets events run until the second piece sits in the buffer, unannounced.
            EXPECT_TRUE(WaitFor([&] { return server.bytesReceived() == 6; }));
        }
        log.leave();
    });
    ASSERT_TRUE(client.send("first"));
    ASSERT_TRUE(WaitFor([&] { return log.pieces.size() == 2; }));
    EXPECT_EQ(log.pieces[0], "first");
    EXPECT_EQ(log.pieces[1], "second");
    EXPECT_EQ(log.deepest, 1);
}

TEST_F(LoopbackTest, HandlerThatOnlyPeeksIsNotAnnouncedAgainWithoutNewData) {
    open();
    QSignalSpy arrived(&server, &SocketControl::dataArrival);
    ASSERT_TRUE(client.send("220 partial"));
    ASSERT_TRUE(WaitFor([&] { return arrived.count() == 1; }));
    ASSERT_TRUE(QueuedEventsRan());
    EXPECT_EQ(arrived.count(), 1);
    ASSERT_TRUE(client.send(" rest\r\n"));
    ASSERT_TRUE(WaitFor([&] { return arrived.count() == 2; }));
    EXPECT_EQ(arrived.at(1).at(0).toLongLong(), 18);  // bytesTotal counts all unread bytes
    EXPECT_EQ(server.read(), "220 partial rest\r\n");
}

TEST_F(LoopbackTest, CloseComesAfterDataThatArrivedDuringAHandler) {
    open();
    std::vector<std::string> events;
    QObject::connect(&server, &SocketControl::closed, [&] { events.push_back("closed"); });
    QObject::connect(&server, &SocketControl::dataArrival, [&](qint64) {
        events.push_back("data:" + server.readText());
        if (events.size() == 1) {
            ASSERT_TRUE(client.send("QUIT\r\n"));
            client.close();
            EXPECT_TRUE(WaitFor([&] { return server.state() == SocketControl::kClosing; }));
        }
    });
    ASSERT_TRUE(client.send("RETR 1\r\n"));
    ASSERT_TRUE(WaitFor([&] { return events.size() == 3; }));
    EXPECT_EQ(events, (std::vector<std::string>{"data:RETR 1\r\n", "data:QUIT\r\n", "closed"}));
}

TEST_F(LoopbackTest, UnreadDataStaysReadableAfterTheClose) {
    open();
    QSignalSpy closed(&server, &SocketControl::closed);
    ASSERT_TRUE(client.send("+OK bye\r\n"));
    client.close();
    ASSERT_TRUE(WaitFor([&] { return closed.count() == 1; }));
    EXPECT_EQ(server.read(), "+OK bye\r\n");
}

TEST_F(LoopbackTest, UnacceptedRequestIsClosed) {
    acceptRequests = false;
    QSignalSpy clientClosed(&client, &SocketControl::closed);
    ASSERT_TRUE(client.connect("127.0.0.1", listener.localPort()));
    ASSERT_TRUE(WaitFor([&] { return clientClosed.count() == 1; }));
    EXPECT_EQ(requests, 1);
    EXPECT_FALSE(server.accept(1000000));  // an unknown request is refused, not taken
    EXPECT_NE(programLog().find("Error in SocketControl::accept"), std::string::npos);
}

TEST_F(LoopbackTest, RequestAcceptedLateGetsWhatCameBeforeIt) {
    acceptRequests = false;
    QTcpSocket peer;  // a plain socket, so the test sees when its close is done
    QObject::connect(&listener, &SocketControl::connectionRequest, [&](int id) {
        // The peer talks and leaves before the request is taken.
        EXPECT_TRUE(WaitFor([&] { return peer.state() == QAbstractSocket::ConnectedState; }));
        peer.write("EHLO me\r\n");
        peer.disconnectFromHost();  // writes what is queued, then closes
        EXPECT_TRUE(WaitFor([&] { return peer.state() == QAbstractSocket::UnconnectedState; }));
        EXPECT_TRUE(server.accept(id));
    });
    std::vector<std::string> events;
    QObject::connect(&server, &SocketControl::dataArrival, [&](qint64) { events.push_back(server.readText()); });
    QObject::connect(&server, &SocketControl::closed, [&] { events.push_back("closed"); });
    peer.connectToHost(QHostAddress::LocalHost, listener.localPort());
    ASSERT_TRUE(WaitFor([&] { return events.size() == 2; }));
    EXPECT_EQ(events, (std::vector<std::string>{"EHLO me\r\n", "closed"}));
}

TEST_F(LoopbackTest, RequestsDuringAPumpingRequestHandlerComeOneAfterAnother) {
    acceptRequests = false;
    SocketControl second;
    int depth = 0, deepest = 0;
    QObject::connect(&listener, &SocketControl::connectionRequest, [&](int) {
        deepest = std::max(deepest, ++depth);
        if (requests == 1) {
            ASSERT_TRUE(second.connect("127.0.0.1", listener.localPort()));
            // The listener has taken the second connection in while this handler runs.
            const auto* waiting = listener.findChild<QTcpServer*>();
            ASSERT_NE(waiting, nullptr);
            EXPECT_TRUE(WaitFor([&] { return waiting->hasPendingConnections(); }));
        }
        --depth;
    });
    ASSERT_TRUE(client.connect("127.0.0.1", listener.localPort()));
    ASSERT_TRUE(WaitFor([&] { return requests == 2; }));
    EXPECT_EQ(deepest, 1);
}

TEST_F(LoopbackTest, PausedReadingHoldsDataAndTheCloseUntilResumed) {
    open();
    QSignalSpy arrived(&server, &SocketControl::dataArrival);
    QSignalSpy closed(&server, &SocketControl::closed);
    server.pauseReading();
    ASSERT_TRUE(client.send("NOOP\r\n"));
    client.close();
    // The data and the close are in; paused, the server announces neither.
    ASSERT_TRUE(WaitFor([&] { return server.bytesReceived() == 6 && server.state() == SocketControl::kClosing; }));
    ASSERT_TRUE(QueuedEventsRan());
    EXPECT_EQ(arrived.count(), 0);
    EXPECT_EQ(closed.count(), 0);
    server.resumeReading();
    ASSERT_TRUE(WaitFor([&] { return closed.count() == 1; }));
    EXPECT_EQ(arrived.count(), 1);
    EXPECT_EQ(server.read(), "NOOP\r\n");
}

// A client that sends but does not read: the server stops taking its commands while
// the output it owes stays queued, and takes them again once the client drains it.
TEST_F(LoopbackTest, QueuedOutputHoldsBackAClientThatDoesNotRead) {
    open();
    const qint64 big = 16 << 20;
    server.setSendHighWater(64 << 10);
    QSignalSpy arrived(&server, &SocketControl::dataArrival);
    client.pauseReading();
    ASSERT_TRUE(server.send(QByteArray(big, 'm')));
    EXPECT_TRUE(server.readingPaused());
    ASSERT_TRUE(client.send("RETR 2\r\n"));
    ASSERT_TRUE(WaitFor([&] { return server.bytesReceived() == 8; }));
    ASSERT_TRUE(QueuedEventsRan());
    EXPECT_EQ(arrived.count(), 0);
    EXPECT_GT(server.bytesPending(), 64 << 10);

    qint64 drained = 0;
    QObject::connect(&client, &SocketControl::dataArrival, [&](qint64) { drained += client.read().size(); });
    client.resumeReading();
    ASSERT_TRUE(platform::WaitUntil([&] { return arrived.count() == 1; }, 20000));
    EXPECT_FALSE(server.readingPaused());
    EXPECT_EQ(server.read(), "RETR 2\r\n");
    ASSERT_TRUE(WaitFor([&] { return drained == big; }));
}

TEST_F(LoopbackTest, PeerThatLeavesWithOutputOwedIsAnError) {
    open();
    QSignalSpy failed(&server, &SocketControl::error);
    QSignalSpy closed(&server, &SocketControl::closed);
    client.pauseReading();
    ASSERT_TRUE(server.send(QByteArray(16 << 20, 'm')));
    ASSERT_TRUE(WaitFor([&] { return client.bytesReceived() > 0; }));
    client.close();  // with unread data: the system resets the connection
    ASSERT_TRUE(WaitFor([&] { return failed.count() == 1; }));
    EXPECT_EQ(failed.at(0).at(0).toInt(), platform::winsock::kConnectionReset);
    EXPECT_EQ(server.state(), SocketControl::kError);
    EXPECT_EQ(closed.count(), 0);
}

TEST_F(LoopbackTest, SendProgressEndsWithSendComplete) {
    open();
    std::vector<std::string> events;
    QObject::connect(&client, &SocketControl::sendProgress, [&](qint64 sent, qint64) {
        EXPECT_GT(sent, 0);
        events.push_back("progress");
    });
    QObject::connect(&client, &SocketControl::sendComplete, [&] { events.push_back("complete"); });
    ASSERT_TRUE(client.send(QByteArray(300000, 'd')));
    ASSERT_TRUE(WaitFor([&] { return !events.empty() && events.back() == "complete"; }));
    EXPECT_EQ(events.front(), "progress");
    EXPECT_EQ(client.bytesPending(), 0);
}

TEST_F(LoopbackTest, HandlerMayCloseItsOwnControl) {
    open();
    QSignalSpy clientClosed(&client, &SocketControl::closed);
    QObject::connect(&server, &SocketControl::dataArrival, [&](qint64) {
        server.send("-ERR bye\r\n");
        server.close();
    });
    ASSERT_TRUE(client.send("HELP\r\n"));
    ASSERT_TRUE(WaitFor([&] { return clientClosed.count() == 1; }));
    EXPECT_EQ(client.read(), "-ERR bye\r\n");
    EXPECT_EQ(server.state(), SocketControl::kClosed);
}

}  // namespace
