// Programs other than ours talking to a listening socket control on 127.0.0.1:
// Python's socket module and curl, run as child processes while the event loop runs.

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>

#include <sys/resource.h>
#include <unistd.h>

#include <vector>

#include "SocketTestSupport.h"
#include "platform/SocketErrors.h"
#include "support/Peers.h"

namespace {

using platform::SocketControl;
using testing_support::LoopbackTest;

// Runs the program with the event loop alive (the server answers meanwhile) and
// returns its standard output; "" when it cannot be run or does not end in time.
QByteArray RunPeer(const QString& program, const QStringList& arguments) {
    QProcess peer;
    peer.start(program, arguments);
    if (!peer.waitForStarted(5000)) return {};
    const bool ended = platform::WaitUntil([&] { return peer.state() == QProcess::NotRunning; }, 15000);
    if (!ended) {
        peer.kill();
        peer.waitForFinished(2000);
        return {};
    }
    return peer.readAllStandardOutput();
}

// A line server in the manner of the local POP3 server: a greeting, one reply per
// arrival, and the end of the session on QUIT.
TEST_F(LoopbackTest, PythonClientTalksToAListeningControl) {
    GLP_REQUIRE_PEERS(testing_support::PeerProgram::Python);
    const QString python = QStandardPaths::findExecutable("python3", {"/usr/bin"});
    ASSERT_FALSE(python.isEmpty()) << "python3 is not in /usr/bin";
    QObject::connect(&listener, &SocketControl::connectionRequest, [&](int) { server.sendText("+OK ready\r\n"); });
    QObject::connect(&server, &SocketControl::dataArrival, [&](qint64) {
        const QByteArray command = server.read();
        server.send("+OK got " + QByteArray::number(command.size()) + "\r\n");
        if (command.startsWith("QUIT")) server.close();
    });
    const QString script = QStringLiteral(
        "import socket,sys\n"
        "s=socket.create_connection(('127.0.0.1',%1),timeout=10)\n"
        "f=s.makefile('rb')\n"
        "out=[f.readline()]\n"
        "s.sendall(b'USER \\xe9t\\xe9\\r\\n'); out.append(f.readline())\n"
        "s.sendall(b'QUIT\\r\\n'); out.append(f.readline())\n"
        "out.append(b'EOF' if f.read()==b'' else b'MORE')\n"
        "sys.stdout.buffer.write(b''.join(out))\n").arg(listener.localPort());
    EXPECT_EQ(RunPeer(python, {"-c", script}).toStdString(), "+OK ready\r\n+OK got 10\r\n+OK got 6\r\nEOF");
}

TEST_F(LoopbackTest, CurlFetchesFromAListeningControl) {
    GLP_REQUIRE_PEERS(testing_support::PeerProgram::Curl);
    const QString curl = QStandardPaths::findExecutable("curl");
    QByteArray request;
    QObject::connect(&server, &SocketControl::dataArrival, [&](qint64) {
        request += server.read();
        if (!request.contains("\r\n\r\n")) return;
        server.send("HTTP/1.0 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello");
        server.close();
    });
    const QString url = QStringLiteral("http://127.0.0.1:%1/check").arg(listener.localPort());
    EXPECT_EQ(RunPeer(curl, {"-s", "--noproxy", "*", "--max-time", "10", url}).toStdString(), "hello");
    EXPECT_TRUE(request.startsWith("GET /check HTTP/1.1\r\n"));
}

// Keeps the process from opening another descriptor while it lives: the limit is
// lowered to the descriptors in use and the free numbers below it are filled.
class DescriptorsExhausted {
public:
    DescriptorsExhausted() {
        getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit tight = saved_;
        int highest = 0;
        for (const QString& name : QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries)) {
            highest = std::max(highest, name.toInt());
        }
        tight.rlim_cur = static_cast<rlim_t>(highest + 1);
        setrlimit(RLIMIT_NOFILE, &tight);
        for (int fd = dup(0); fd >= 0; fd = dup(0)) fillers_.push_back(fd);
    }
    ~DescriptorsExhausted() {
        for (int fd : fillers_) ::close(fd);
        setrlimit(RLIMIT_NOFILE, &saved_);
    }

private:
    rlimit saved_{};
    std::vector<int> fillers_;
};

// A request that cannot be taken for want of descriptors is reported, and the
// listener takes requests again afterwards instead of falling silent. Built in the
// normal build only: the sanitizers' own checks need spare descriptors (UBSan's type
// check fails while none are left).
#if !defined(__SANITIZE_ADDRESS__)
TEST_F(LoopbackTest, ListenerRecoversFromAFailedAccept) {
    GLP_REQUIRE_PEERS(testing_support::PeerProgram::Python);
    const QString python = QStandardPaths::findExecutable("python3", {"/usr/bin"});
    ASSERT_FALSE(python.isEmpty()) << "python3 is not in /usr/bin";
    QProcess peer;
    peer.start(python, {"-c", QStringLiteral("import socket\n"
                                             "s=socket.create_connection(('127.0.0.1',%1),timeout=10)\n"
                                             "s.recv(1)\n").arg(listener.localPort())});
    ASSERT_TRUE(peer.waitForStarted(5000));
    QSignalSpy failed(&listener, &SocketControl::error);
    {
        DescriptorsExhausted exhausted;
        // The peer is a fresh interpreter: on a loaded machine it may take a while to connect.
        ASSERT_TRUE(platform::WaitUntil([&] { return failed.count() >= 1; }, 30000));
    }
    EXPECT_EQ(failed.at(0).at(0).toInt(), platform::winsock::kNoBufferSpace);
    EXPECT_EQ(requests, 0);
    ASSERT_TRUE(testing_support::WaitFor([&] { return requests == 1; }));
    server.close();
    EXPECT_TRUE(platform::WaitUntil([&] { return peer.state() == QProcess::NotRunning; }, 10000));
}
#endif

}  // namespace
