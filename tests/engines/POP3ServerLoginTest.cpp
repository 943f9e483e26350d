// The local POP3 server's answer to a wrong password: only after the failure delay,
// held across connections, the third failure of a session ending it; a right password
// with no failure outstanding answered at once. The clock stands still unless the test
// moves it, and the login timer ticks only when the test fires it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>

#include "Pop3ServerFixture.h"
#include "core/Log.h"
#include "core/Prompt.h"
#include "engines/POP3ServerForm.h"
#include "platform/WindowHelpers.h"

using namespace testing_support;

namespace {

const QByteArray kWelcome = "+OK alice@example.test is welcome here\r\n";
const QByteArray kRefused = "-ERR invalid usercode or password, please try again\r\n";
const QByteArray kLoggedIn = "+OK 0 0\r\n";
constexpr int kDelay = POP3ServerForm::kLoginFailureDelayMs;

// Waits on the real clock (the program's clock stands still here).
bool Settle(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class Client {
public:
    bool connect(quint16 port) {
        socket.connectToHost("127.0.0.1", port);
        return Settle([&] { return socket.state() == QAbstractSocket::ConnectedState; }) && waitFor("Ready\r\n");
    }
    bool waitFor(const QByteArray& text) {
        return Settle([&] { got += socket.readAll(); return got.contains(text); });
    }
    bool waitClosed() {
        return Settle([&] {
            got += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        });
    }
    void send(const QByteArray& bytes) { socket.write(bytes); }
    // What came after the greeting.
    QByteArray replies() {
        got += socket.readAll();
        return got.mid(got.indexOf("Ready\r\n") + 7);
    }

    QTcpSocket socket;
    QByteArray got;
};

class Pop3LoginTest : public pop3test::Pop3FormTestBase {
protected:
    void SetUp() override {
        platform::SetMonotonicClock([this] { return now; });
        Pop3FormTestBase::SetUp();
    }
    // The login of the session that started last has been judged and waits.
    bool waiting() {
        return Settle([&] {
            const Pop3ServerSession* session = started.empty() ? nullptr : form->Session(started.back());
            return session && session->PendingLogin() != Pop3ServerSession::Login::None && form->timLogin().armed();
        });
    }
    Pop3ServerSession::Login pending(int slot) const {
        const Pop3ServerSession* session = form->Session(slot);
        return session ? session->PendingLogin() : Pop3ServerSession::Login::None;
    }
    // Moves the clock and lets the login timer tick.
    void pass(qint64 ms) {
        now += ms;
        form->timLogin().fire();
    }
    bool allSessionsGone() { return Settle([&] { return form->SessionCount() == 0; }); }

    qint64 now = 1000000;
};

TEST_F(Pop3LoginTest, AWrongPasswordIsAnsweredOnlyAfterTheDelayARightOneAtOnce) {
    Client first;
    ASSERT_TRUE(first.connect(port));
    first.send("USER alice@example.test\r\nPASS secret\r\nQUIT\r\n");
    ASSERT_TRUE(first.waitClosed()) << "no failure outstanding: answered with the clock standing still";
    EXPECT_EQ(first.replies(), kWelcome + kLoggedIn + "+OK POP3 server signing off (maildrop empty)\r\n");
    EXPECT_FALSE(form->timLogin().armed());

    Client client;
    ASSERT_TRUE(client.connect(port));
    client.send("USER alice@example.test\r\nPASS wrong\r\nNOOP\r\n");
    ASSERT_TRUE(waiting());
    const int slot = started.back();
    for (const qint64 step : {0, kDelay - 1}) {
        pass(step);
        EXPECT_EQ(pending(slot), Pop3ServerSession::Login::Failed) << "not answered before the delay";
    }
    EXPECT_EQ(client.replies(), kWelcome);
    pass(1);
    ASSERT_TRUE(client.waitFor("-ERR User first\r\n")) << "the NOOP behind it waited too";
    EXPECT_EQ(client.replies(), kWelcome + kRefused + "-ERR User first\r\n");
    EXPECT_FALSE(form->timLogin().armed());

    // The failure's delay is over: the right password goes through at once.
    client.send("PASS secret\r\n");
    ASSERT_TRUE(client.waitFor(kLoggedIn));
}

// A guesser that gives up waiting and tries again on a new connection (or several at
// once) is answered no sooner: each failure waits a whole delay behind the last one,
// and a right password behind them too.
TEST_F(Pop3LoginTest, TheDelayHoldsAcrossNewConnections) {
    Client quitter;
    ASSERT_TRUE(quitter.connect(port));
    quitter.send("USER alice@example.test\r\nPASS guess1\r\n");
    ASSERT_TRUE(waiting());
    quitter.socket.disconnectFromHost();
    ASSERT_TRUE(allSessionsGone());

    Client wrong, right;
    ASSERT_TRUE(wrong.connect(port));
    wrong.send("USER alice@example.test\r\nPASS guess2\r\n");
    ASSERT_TRUE(waiting());
    ASSERT_TRUE(right.connect(port));
    right.send("USER alice@example.test\r\nPASS secret\r\n");
    ASSERT_TRUE(waiting());
    ASSERT_EQ(started.size(), 3u);
    pass(kDelay);
    EXPECT_EQ(pending(started[1]), Pop3ServerSession::Login::Failed);
    EXPECT_EQ(pending(started[2]), Pop3ServerSession::Login::Passed);
    pass(kDelay - 1);
    EXPECT_EQ(pending(started[2]), Pop3ServerSession::Login::Passed);
    pass(1);
    ASSERT_TRUE(wrong.waitFor(kRefused));
    ASSERT_TRUE(right.waitFor(kLoggedIn));
    EXPECT_FALSE(form->timLogin().armed());
}

TEST_F(Pop3LoginTest, TheThirdFailureOfASessionEndsIt) {
    MiscFuncs::SetLogLevel(1);
    Client client;
    ASSERT_TRUE(client.connect(port));
    client.send("USER alice@example.test\r\nPASS a\r\nPASS b\r\nPASS c\r\nPASS secret\r\n");
    for (int failure = 1; failure <= Pop3ServerSession::kMaxLoginFailures; ++failure) {
        ASSERT_TRUE(waiting()) << failure;
        pass(kDelay);
        ASSERT_TRUE(client.waitFor(kRefused.repeated(failure))) << failure;
    }
    ASSERT_TRUE(client.waitClosed());
    EXPECT_EQ(client.replies(), kWelcome + kRefused.repeated(Pop3ServerSession::kMaxLoginFailures));
    EXPECT_TRUE(allSessionsGone());
    EXPECT_TRUE(logHas("POP3Server Error! Too many failed logins on socket #"));
    EXPECT_EQ(MiscFuncs::BusyCounter(), 0);
}

// A session whose client leaves, or whose form is unloaded, while its answer waits is
// not answered; the failure still holds up the next login.
TEST_F(Pop3LoginTest, ASessionThatEndsWhileItsLoginWaitsIsNotAnswered) {
    for (const bool unload : {false, true}) {
        SCOPED_TRACE(unload ? "unloaded" : "client left");
        Client client;
        ASSERT_TRUE(client.connect(port));
        client.send("USER alice@example.test\r\nPASS wrong\r\n");
        ASSERT_TRUE(waiting());
        if (unload) form->Form_Unload();
        else client.socket.disconnectFromHost();
        ASSERT_TRUE(allSessionsGone());
        pass(10 * kDelay);
        EXPECT_FALSE(form->timLogin().armed());
        EXPECT_EQ(MiscFuncs::BusyCounter(), 0);
        if (unload) {
            EXPECT_TRUE(client.waitClosed());
        }
    }
    ASSERT_TRUE(form->Form_Load(std::to_string(port)));
    Client late;
    ASSERT_TRUE(late.connect(port));
    late.send("USER alice@example.test\r\nPASS secret\r\n");
    ASSERT_TRUE(late.waitFor(kLoggedIn)) << "the delays are long over";
}

// poplib sees the delay on the real clock; its next try in the same session logs in.
TEST_F(Pop3LoginTest, PoplibWaitsForTheAnswerToAWrongPassword) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    platform::SetMonotonicClock(nullptr);
    const CommandResult run = RunPython(R"PY(
import poplib, sys, time
c = poplib.POP3("127.0.0.1", int(sys.argv[1]), timeout=30)
c.user(sys.argv[2])
start = time.monotonic()
try:
    c.pass_("wrong")
    print("accepted")
except poplib.error_proto as e:
    print(int((time.monotonic() - start) * 1000), e.args[0].decode())
c.user(sys.argv[2])
print(c.pass_("secret").decode())
c.quit()
)PY", {QString::number(port), kAccount});
    ASSERT_TRUE(run.ok()) << run.describe();
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2) << run.out.toStdString();
    const QByteArray waited = lines[0].left(lines[0].indexOf(' '));
    EXPECT_GE(waited.toInt(), kDelay - 5) << run.out.toStdString();
    EXPECT_EQ(lines[0].mid(lines[0].indexOf(' ') + 1), kRefused.trimmed());
    EXPECT_EQ(lines[1].trimmed(), kLoggedIn.trimmed());
}

}  // namespace
