// The socket control's connection life: states, addresses, bytes both ways, errors.

#include "platform/SocketControl.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include "SocketTestSupport.h"
#include "platform/SocketErrors.h"

namespace {

using platform::SocketControl;
using testing_support::LoopbackTest;
using testing_support::WaitFor;

TEST_F(LoopbackTest, ConnectsBothEndsAndReportsAddresses) {
    EXPECT_EQ(listener.state(), SocketControl::kListening);
    EXPECT_NE(listener.localPort(), 0);
    QSignalSpy connectedSpy(&client, &SocketControl::connected);
    open();
    EXPECT_EQ(connectedSpy.count(), 1);
    EXPECT_EQ(requests, 1);
    EXPECT_EQ(server.remoteHostIP(), "127.0.0.1");
    EXPECT_EQ(server.localIP(), "127.0.0.1");
    EXPECT_EQ(client.remoteHostIP(), "127.0.0.1");
    EXPECT_EQ(server.localPort(), listener.localPort());
    EXPECT_EQ(server.remotePort(), client.localPort());
    EXPECT_EQ(client.remotePort(), listener.localPort());
    EXPECT_FALSE(SocketControl::localHostName().empty());
}

TEST_F(LoopbackTest, BytesTravelUnchangedBothWays) {
    open();
    const QByteArray bytes("\x00\xff\xfe\r\n.\r\n\x80\xe9 plain", 15);
    QSignalSpy arrived(&server, &SocketControl::dataArrival);
    QSignalSpy completed(&client, &SocketControl::sendComplete);
    ASSERT_TRUE(client.send(bytes));
    ASSERT_TRUE(WaitFor([&] { return server.bytesReceived() == bytes.size(); }));
    ASSERT_GE(arrived.count(), 1);
    EXPECT_EQ(arrived.last().at(0).toLongLong(), bytes.size());
    EXPECT_EQ(server.peek(3), bytes.left(3));
    EXPECT_EQ(server.peekText(), bytes.toStdString());
    EXPECT_EQ(server.read(), bytes);
    EXPECT_EQ(server.bytesReceived(), 0);
    EXPECT_TRUE(WaitFor([&] { return completed.count() >= 1; }));

    const std::string reply("+OK \xa0\x01", 6);
    ASSERT_TRUE(server.sendText(reply));
    ASSERT_TRUE(WaitFor([&] { return client.bytesReceived() == 6; }));
    EXPECT_EQ(client.readText(), reply);
}

TEST_F(LoopbackTest, PeerCloseIsReportedAndOwnCloseIsSilent) {
    open();
    QSignalSpy serverClosed(&server, &SocketControl::closed);
    QSignalSpy clientClosed(&client, &SocketControl::closed);
    client.close();
    EXPECT_EQ(client.state(), SocketControl::kClosed);
    ASSERT_TRUE(WaitFor([&] { return serverClosed.count() == 1; }));
    EXPECT_EQ(server.state(), SocketControl::kClosing);
    EXPECT_FALSE(server.send("late"));
    EXPECT_EQ(server.lastErrorNumber(), platform::winsock::kBadState);
    server.close();
    EXPECT_EQ(server.state(), SocketControl::kClosed);
    ASSERT_TRUE(testing_support::QueuedEventsRan());
    EXPECT_EQ(clientClosed.count(), 0);
}

TEST_F(LoopbackTest, OutputQueuedBeforeOwnCloseStillArrives) {
    open();
    const QByteArray farewell = QByteArray(200000, 'x') + "+OK signing off\r\n";
    ASSERT_TRUE(server.send(farewell));
    server.close();
    QByteArray got;
    QObject::connect(&client, &SocketControl::dataArrival, [&] { got += client.read(); });
    QSignalSpy closed(&client, &SocketControl::closed);
    ASSERT_TRUE(WaitFor([&] { return closed.count() == 1; }));
    EXPECT_EQ(got, farewell);
}

TEST_F(LoopbackTest, ControlCanConnectAgainAfterTheConnectionDied) {
    open();
    QSignalSpy closed(&server, &SocketControl::closed);
    client.close();
    ASSERT_TRUE(WaitFor([&] { return closed.count() == 1; }));
    // The client control is reused; a dead control (state 8) may connect at once.
    server.close();
    open();
    EXPECT_EQ(requests, 2);
}

TEST_F(LoopbackTest, BusyControlRefusesToConnectOrListen) {
    open();
    EXPECT_FALSE(client.connect("127.0.0.1", listener.localPort()));
    EXPECT_FALSE(listener.listen(0));
    EXPECT_EQ(listener.lastErrorNumber(), platform::winsock::kBadState);
    EXPECT_EQ(client.state(), SocketControl::kConnected);
    EXPECT_NE(programLog().find("Error in SocketControl::connect"), std::string::npos);
}

TEST_F(LoopbackTest, PortInUseGives10048) {
    SocketControl second;
    EXPECT_FALSE(second.listen(listener.localPort()));
    EXPECT_EQ(second.lastErrorNumber(), platform::winsock::kAddressInUse);
    EXPECT_FALSE(second.lastErrorText().isEmpty());
    EXPECT_EQ(second.state(), SocketControl::kClosed);
    EXPECT_FALSE(second.listen(70000));
}

TEST(SocketControlErrors, RefusedConnectionReports10061) {
    // A port held bound but not listening for the whole test: nobody else can take it.
    QTcpSocket closedPort;
    ASSERT_TRUE(closedPort.bind(QHostAddress::LocalHost, 0));
    SocketControl client;
    QSignalSpy failed(&client, &SocketControl::error);
    ASSERT_TRUE(client.connect("127.0.0.1", closedPort.localPort()));
    ASSERT_TRUE(WaitFor([&] { return failed.count() == 1; }));
    EXPECT_EQ(failed.at(0).at(0).toInt(), platform::winsock::kConnectionRefused);
    EXPECT_FALSE(failed.at(0).at(1).toString().isEmpty());
    EXPECT_EQ(client.state(), SocketControl::kError);
    client.close();
    EXPECT_EQ(client.state(), SocketControl::kClosed);
}

TEST_F(LoopbackTest, LocalPortTakenByAnotherIsAnErrorEvent) {
    SocketControl second;
    QSignalSpy failed(&second, &SocketControl::error);
    second.setLocalPort(listener.localPort());
    ASSERT_TRUE(second.connect("127.0.0.1", listener.localPort()));
    ASSERT_TRUE(WaitFor([&] { return failed.count() >= 1; }));
    ASSERT_TRUE(testing_support::QueuedEventsRan());
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(failed.at(0).at(0).toInt(), platform::winsock::kAddressInUse);
    EXPECT_EQ(second.state(), SocketControl::kError);
}

TEST(SocketControlErrors, BlankHostIsHostNotFound) {
    // What the proxy gets for a sender that is none of the accounts.
    SocketControl client;
    QSignalSpy failed(&client, &SocketControl::error);
    ASSERT_TRUE(client.connect("", 25));
    ASSERT_TRUE(WaitFor([&] { return failed.count() == 1; }));
    EXPECT_EQ(failed.at(0).at(0).toInt(), platform::winsock::kHostNotFound);
    EXPECT_EQ(client.state(), SocketControl::kError);
}

TEST(SocketControlErrors, InvalidPortIsAnErrorEventNotACrash) {
    SocketControl client;
    QSignalSpy failed(&client, &SocketControl::error);
    ASSERT_TRUE(client.connect("127.0.0.1", 0));
    EXPECT_EQ(client.state(), SocketControl::kConnecting);
    ASSERT_TRUE(WaitFor([&] { return failed.count() == 1; }));
    EXPECT_EQ(failed.at(0).at(0).toInt(), platform::winsock::kAddressNotAvailable);
    // A close before the event is delivered cancels it.
    ASSERT_TRUE(client.connect("127.0.0.1", 65536));
    client.close();
    ASSERT_TRUE(testing_support::QueuedEventsRan());
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(client.state(), SocketControl::kClosed);
}

TEST(SocketControlErrors, QtErrorsMapToWinsockNumbers) {
    using E = QAbstractSocket::SocketError;
    struct Case { E error; const char* text; int number; };
    const Case cases[] = {
        {E::ConnectionRefusedError, "Connection refused", 10061},
        {E::HostNotFoundError, "Host not found", 11001},
        {E::AddressInUseError, "The bound address is already in use", 10048},
        {E::RemoteHostClosedError, "The remote host closed the connection", 10054},
        {E::SocketTimeoutError, "Socket operation timed out", 10060},
        {E::NetworkError, "Connection timed out", 10060},
        {E::NetworkError, "Network unreachable", 10051},
        {E::NetworkError, "Host unreachable", 10065},
        {E::SocketAccessError, "Permission denied", 10013},
        {E::UnknownSocketError, "Unknown error", 10053},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::winsock::ErrorNumber(c.error, QString::fromLatin1(c.text)), c.number) << c.text;
    }
}

TEST(SocketAddresses, MappedAddressesReadAsPlainIPv4) {
    EXPECT_EQ(platform::PlainAddressText(QHostAddress("::ffff:127.0.0.1")), "127.0.0.1");
    EXPECT_EQ(platform::PlainAddressText(QHostAddress("127.0.0.1")), "127.0.0.1");
    EXPECT_EQ(platform::PlainAddressText(QHostAddress("::1")), "::1");
    EXPECT_EQ(platform::PlainAddressText(QHostAddress("fe80::1%lo")), "fe80::1");
    EXPECT_EQ(platform::PlainAddressText(QHostAddress()), "");
}

TEST_F(LoopbackTest, DualStackListenerSeesMappedPeerAsIPv4) {
    SocketControl anyListener, accepted, peer;
    anyListener.setBindAddress(QHostAddress::Any);
    ASSERT_TRUE(anyListener.listen(0));
    QObject::connect(&anyListener, &SocketControl::connectionRequest, [&](int id) { accepted.accept(id); });
    ASSERT_TRUE(peer.connect("127.0.0.1", anyListener.localPort()));
    ASSERT_TRUE(WaitFor([&] { return accepted.state() == SocketControl::kConnected; }));
    EXPECT_EQ(accepted.remoteHostIP(), "127.0.0.1");
    EXPECT_EQ(accepted.localIP(), "127.0.0.1");
}

}  // namespace
