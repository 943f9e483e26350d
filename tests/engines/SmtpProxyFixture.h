#pragma once
// The SMTP proxy under test on a free port of 127.0.0.1, its hooks recorded, with a
// program folder of its own, and a raw client that speaks to it line by line.

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QProcess>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "core/Prompt.h"
#include "core/TempFolder.h"
#include "engines/SMTPProxyForm.h"
#include "platform/EventWait.h"
#include "platform/Online.h"
#include "platform/WindowHelpers.h"
#include "support/Peers.h"

namespace smtp_proxy_test {

using namespace testing_support;

inline constexpr qint64 kProxyWaitMs = 10000;

inline bool WaitFor(const std::function<bool()>& done, qint64 ms = kProxyWaitMs) {
    return platform::WaitUntil(done, ms);
}

// A client on a QTcpSocket in the test's own thread; every wait lets events run, so
// the proxy keeps working meanwhile.
class RawClient {
public:
    bool open(quint16 port, const QString& source = {}) {
        if (!source.isEmpty() && !socket_.bind(QHostAddress(source), 0)) return false;
        socket_.connectToHost(QHostAddress::LocalHost, port);
        return WaitFor([this] { return socket_.state() == QAbstractSocket::ConnectedState; });
    }
    void send(const QByteArray& bytes) { socket_.write(bytes); }
    // The next whole reply, multi-line ones whole; "" when none came in time.
    QByteArray reply() {
        qsizetype end = 0;
        WaitFor([&] {
            buffer_ += socket_.readAll();
            end = replyEnd();
            return end > 0;
        });
        const QByteArray taken = buffer_.left(end);
        buffer_.remove(0, end);
        return taken;
    }
    // Waits for the proxy to close; what came before the close is kept.
    bool waitClosed() {
        return WaitFor([this] {
            buffer_ += socket_.readAll();
            return socket_.state() == QAbstractSocket::UnconnectedState;
        });
    }
    QByteArray received() {
        buffer_ += socket_.readAll();
        return buffer_;
    }

private:
    qsizetype replyEnd() const {
        qsizetype start = 0;
        for (qsizetype nl; (nl = buffer_.indexOf('\n', start)) >= 0; start = nl + 1)
            if (nl - start < 4 || buffer_[start + 3] != '-') return nl + 1;
        return 0;
    }
    QTcpSocket socket_;
    QByteArray buffer_;
};

class SmtpProxyTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        MiscFuncs::ResetBusyCursor();
        MiscFuncs::SetOnlineCheck([] { return true; });
        Prompt::SetPrompt([this](const Prompt::Request& r) {
            prompts.push_back(r.text);
            return Prompt::Answer::OK;
        });
    }
    void TearDown() override {
        proxy.reset();
        MiscFuncs::SetOnlineCheck(nullptr);
        Prompt::SetPrompt(nullptr);
        TempFolderTest::TearDown();
    }

    void writeOptions(const std::string& portText, const std::string& timeOuts) {
        WriteFile(dir() / "glimmerpost.ini",
                  "[options]\r\nSMTPServerPort=" + portText + "\r\nServerTimeouts=" + timeOuts + "\r\n" +
                      moreOptions);
    }
    // The account alice@example.test sends through 127.0.0.1 and the port given, with
    // these keys besides (each line ending in CR LF).
    void writeAccount(quint16 serverPort, const std::string& keys = {}) {
        WriteFile(dir() / "accounts.ini", "[alice@example.test]\r\nSMTPServer=127.0.0.1\r\nSMTPServerPort=" +
                                              std::to_string(serverPort) + "\r\n" + keys);
    }
    // Starts the proxy on a free port, written to the options and kept in `port`. A
    // port another process took meanwhile is replaced by a new one (its warning is
    // not the test's).
    bool startProxy() {
        const std::size_t asked = prompts.size();
        return ListenOnFreePort([&](quint16 free) {
            port = free;
            writeOptions(std::to_string(port), "1");
            prompts.resize(asked);
            return loadProxy();
        }) != 0;
    }
    // Loads the proxy on the port the options name.
    bool loadProxy() {
        SMTPProxyForm::Hooks hooks;
        hooks.sessionStarted = [this] { ++started; };
        hooks.sessionEnded = [this] { ++ended; };
        hooks.approveRecipient = [this](const std::string& a) { approved.push_back(a); };
        proxy = std::make_unique<SMTPProxyForm>(hooks);
        return proxy->Load();
    }
    // Every session over, its slot, busy count and sending state given back.
    bool allEnded() {
        return WaitFor([this] { return proxy->openSessions() == 0; }) && started == ended &&
               MiscFuncs::BusyCounter() == 0;
    }

    quint16 port = 0;
    std::unique_ptr<SMTPProxyForm> proxy;
    int started = 0;
    int ended = 0;
    std::vector<std::string> approved;
    std::string moreOptions;  // further [options] lines, each ending in CR LF
    std::vector<std::string> prompts;
};

}  // namespace smtp_proxy_test
