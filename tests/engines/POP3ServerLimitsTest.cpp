// The local POP3 server under abuse and at its bounds: a thousand hostile connections,
// the session limit, a client that never reads, silence, a taken port, unloading.
#include <gtest/gtest.h>

#include <chrono>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include "Pop3ServerFixture.h"
#include "core/Prompt.h"
#include "engines/POP3ServerForm.h"
#include "platform/WindowHelpers.h"

using namespace testing_support;
using pop3test::Mail;

namespace {

// A client in the test's own thread.
class Client {
public:
    bool connect(quint16 port) {
        socket.connectToHost("127.0.0.1", port);
        return platform::WaitUntil([&] { return socket.state() == QAbstractSocket::ConnectedState; }, 5000);
    }
    bool waitFor(const QByteArray& text) {
        return platform::WaitUntil([&] { got += socket.readAll(); return got.contains(text); }, 5000);
    }
    bool waitClosed() {
        return platform::WaitUntil([&] {
            got += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        }, 5000);
    }
    void send(const QByteArray& bytes) { socket.write(bytes); }

    QTcpSocket socket;
    QByteArray got;
};

class Pop3LimitsTest : public pop3test::Pop3FormTestBase {
protected:
    bool drained() {
        return platform::WaitUntil([&] { return form->SessionCount() == 0; }, kPeerWaitDeadlineMs) &&
               form->POP3Server().loadedSessions() == 0 && MiscFuncs::BusyCounter() == 0;
    }
    QString portArg() const { return QString::number(port); }
};

TEST_F(Pop3LimitsTest, AThousandHostileConnectionsLeaveTheServerAnswering) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    store(kAccount, "m.eml", Mail("after the storm", "still here\r\n"));
    const CommandResult run = RunPython(R"PY(
import random, socket, sys
port = int(sys.argv[1])
junk = random.Random(7)
for i in range(1000):
    s = socket.create_connection(("127.0.0.1", port), timeout=5)
    greeting = s.makefile("rb").readline()
    if not greeting.startswith(b"+OK"):
        sys.exit("no greeting on connection %d: %r" % (i, greeting))
    kind = i % 5
    try:
        if kind == 1:
            s.sendall(bytes(junk.randrange(256) for _ in range(300)))
        elif kind == 2:
            s.sendall(b"USER alice@example.test\r\nPASS sec")
        elif kind == 3:
            s.sendall(b"X" * 2000)
        elif kind == 4:
            s.sendall(b"NOOP\r\n" * 2000)
    except OSError:
        pass  # the server may already have ended a hostile session
    s.close()
print("done")
)PY", {portArg()}, 120000);
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run.describe();
    EXPECT_TRUE(drained()) << form->SessionCount() << " sessions left";
    EXPECT_EQ(messages->Count(), 1u);

    const PopFetch fetch = FetchWithPoplib(port, {kAccount, "secret", true});
    ASSERT_TRUE(fetch.run.ok()) << fetch.run.describe();
    ASSERT_EQ(fetch.messages.size(), 1);
    EXPECT_TRUE(fetch.messages[0].contains("still here"));
    EXPECT_TRUE(drained());
}

TEST_F(Pop3LimitsTest, TheSessionBeyondTheLimitIsRefusedAndAFreedSlotIsReused) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    const CommandResult run = RunPython(R"PY(
import json, socket, sys
port = int(sys.argv[1])
held = []
for i in range(255):
    s = socket.create_connection(("127.0.0.1", port), timeout=5)
    f = s.makefile("rb")
    if not f.readline().startswith(b"+OK"):
        sys.exit("no greeting on connection %d" % i)
    held.append((s, f))
extra = socket.create_connection(("127.0.0.1", port), timeout=5)
refused = extra.recv(100)
first, first_reader = held[0]
first.shutdown(socket.SHUT_WR)
first_reader.read()  # up to the server's close: the session has ended, its slot is free
first_reader.close()
first.close()
again = socket.create_connection(("127.0.0.1", port), timeout=5)
print(json.dumps({"refused": refused.decode("latin-1"),
                  "again": again.makefile("rb").readline().decode("latin-1")}))
)PY", {portArg()}, 60000);
    ASSERT_TRUE(run.finished && run.exitCode == 0) << run.describe();
    const QJsonObject out = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(out["refused"].toString(), "") << "the 256th connection gets no greeting";
    EXPECT_TRUE(out["again"].toString().startsWith("+OK")) << run.describe();
    ASSERT_EQ(started.size(), 256u);
    EXPECT_EQ(started.front(), 1);
    EXPECT_EQ(started[254], 255);
    EXPECT_EQ(started.back(), 1) << "the search goes on from the last slot and wraps";
    EXPECT_NE(programLog().find("POP3Server Error! - Maximum session limit exceeded !"), std::string::npos);
    EXPECT_TRUE(drained());
}

TEST_F(Pop3LimitsTest, AClientThatDoesNotReadHoldsOnlyABoundedQueue) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    std::string big = "Subject: big\r\n\r\n";
    const std::string line = std::string(998, 'b') + "\r\n";
    while (big.size() < 16 * 1024 * 1024) big += line;
    store(kAccount, "big.eml", big);
    qint64 mostQueued = 0;
    std::size_t mostHeld = 0;
    QProcess client;
    client.start("/usr/bin/python3", {"-c", R"PY(
import socket, sys
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
f = s.makefile("rb")
f.readline()
s.sendall(b"USER alice@example.test\r\nPASS secret\r\nRETR 1\r\nQUIT\r\n")
sys.stdin.readline()  # reads nothing until the test saw the server's queue held back
total = 0
while True:
    line = f.readline()
    if not line or line.startswith(b"+OK POP3 server signing off"):
        break
    total += len(line)
print(total)
)PY", portArg()});
    ASSERT_TRUE(client.waitForStarted(5000));
    const auto watch = [&] {
        for (int slot = 1; slot <= 255; ++slot) {
            if (const platform::SocketControl* socket = form->POP3Server().item(slot))
                mostQueued = std::max(mostQueued, socket->bytesPending());
            if (const Pop3ServerSession* session = form->Session(slot))
                mostHeld = std::max(mostHeld, session->OutputSize());
        }
    };
    // The client reads nothing until the server's queue has filled up to where it
    // holds the message back.
    ASSERT_TRUE(platform::WaitUntil([&] {
        watch();
        return mostQueued >= POP3ServerForm::kSendLowWater;
    }, 30000)) << "queued " << mostQueued;
    client.write("go\n");
    const bool done = platform::WaitUntil([&] {
        watch();
        return client.state() == QProcess::NotRunning;
    }, 30000);
    ASSERT_TRUE(done);
    const std::string got = client.readAllStandardOutput().trimmed().toStdString();
    const std::size_t expected = std::string("+OK alice@example.test is welcome here\r\n").size() +
                                 ("+OK 1 " + std::to_string(big.size()) + "\r\n").size() +
                                 ("+OK " + std::to_string(big.size()) + " octets\r\n").size() + big.size() + 3;
    EXPECT_EQ(got, std::to_string(expected));
    EXPECT_LE(mostQueued, POP3ServerForm::kSendLowWater + 2 * Pop3ServerSession::kPieceBytes);
    EXPECT_LE(mostHeld, 2 * Pop3ServerSession::kPieceBytes);
    EXPECT_TRUE(drained());
}

TEST_F(Pop3LimitsTest, SilentSessionsEndAfterTheTimeOut) {
    for (const auto& [setting, seconds] : {std::pair{"", 900}, {"abc", 900}, {"0", 900}, {"20", 900}, {"1", 60}}) {
        setOption("ServerTimeOuts", setting);
        ASSERT_TRUE(form->Form_Load(std::to_string(port)));
        EXPECT_EQ(form->TimeOutSeconds(), seconds) << setting;
    }
    qint64 offset = 0;
    platform::SetMonotonicClock([&] {
        return offset + std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch()).count();
    });
    Client quiet, busy;
    ASSERT_TRUE(quiet.connect(port) && quiet.waitFor("Ready\r\n"));
    ASSERT_TRUE(busy.connect(port) && busy.waitFor("Ready\r\n"));
    offset += 40000;
    busy.send("NOOP\r\n");
    ASSERT_TRUE(busy.waitFor("-ERR User first\r\n"));
    offset += 21000;
    form->timIdle().fire();
    ASSERT_TRUE(quiet.waitClosed());
    EXPECT_TRUE(quiet.got.endsWith("-ERR POP3 server session timed out\r\n")) << quiet.got.toStdString();
    EXPECT_EQ(form->SessionCount(), 1) << "a session heard from 21 s ago stays";
    offset += 40000;
    form->timIdle().fire();
    ASSERT_TRUE(busy.waitClosed());
    EXPECT_TRUE(drained());
}

TEST_F(Pop3LimitsTest, ATakenPortIsToldInAMessageBox) {
    std::vector<std::string> shown;
    Prompt::SetPrompt([&](const Prompt::Request& r) { shown.push_back(r.text); return Prompt::Answer::OK; });
    POP3ServerForm second(*messages);
    EXPECT_FALSE(second.Form_Load(std::to_string(port)));
    EXPECT_FALSE(second.Listening());
    EXPECT_FALSE(second.Form_Load(" 70000x "));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "WARNING ! - Port " + std::to_string(port) + " designated for POP3 Server is already in use");
    EXPECT_EQ(shown[1], "WARNING ! - Port 70000x designated for POP3 Server is already in use");
    EXPECT_TRUE(form->Listening());
}

TEST_F(Pop3LimitsTest, UnloadingEndsSessionsWithoutDeleting) {
    store(kAccount, "m.eml", Mail("kept", "x\r\n"));
    Client client;
    ASSERT_TRUE(client.connect(port) && client.waitFor("Ready\r\n"));
    client.send("USER alice@example.test\r\nPASS secret\r\nDELE 1\r\n");
    ASSERT_TRUE(client.waitFor("+OK message 1 deleted\r\n"));
    EXPECT_TRUE(MiscFuncs::BusyCursorShown());
    form->Form_Unload();
    EXPECT_TRUE(client.waitClosed());
    EXPECT_TRUE(stored(kAccount, "m.eml"));
    EXPECT_FALSE(form->Listening());
    EXPECT_TRUE(drained());
}

TEST_F(Pop3LimitsTest, AQuitSentJustBeforeTheClientLeftStillDeletes) {
    store(kAccount, "m.eml", Mail("gone", "x\r\n"));
    Client client;
    ASSERT_TRUE(client.connect(port) && client.waitFor("Ready\r\n"));
    client.send("USER alice@example.test\r\nPASS secret\r\nDELE 1\r\nQUIT\r\n");
    client.socket.disconnectFromHost();
    ASSERT_TRUE(drained());
    EXPECT_FALSE(stored(kAccount, "m.eml"));
    EXPECT_EQ(messages->Count(), 0u);
}

}  // namespace
