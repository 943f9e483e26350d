// The connection monitor over real engines on loopback: the states of their first
// busy sessions, the refresh only while shown, and engines that come and go.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

#include "core/CMessages.h"
#include "core/TempFolder.h"
#include "engines/CollectorFixture.h"
#include "engines/POP3ServerForm.h"
#include "engines/SMTPProxyForm.h"
#include "mainwindow/frmMonitor.h"
#include "platform/EventWait.h"
#include "support/Peers.h"

namespace {

using mainwindow::frmMonitor;
using mainwindow::MonitoredEngines;

constexpr int kWaitMs = 5000;

class MonitorTest : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        platform::InstallEventPump();
        std::filesystem::create_directories(dir() / "accounts");
        messages_ = std::make_unique<CMessages>(CMessages::Start::Empty);
        monitor_ = std::make_unique<frmMonitor>([this] {
            ++lookUps_;
            return MonitoredEngines{nullptr, server_.get(), proxy_.get()};
        });
    }
    void TearDown() override {
        monitor_.reset();
        proxy_.reset();
        server_.reset();
        messages_.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        TempFolderTest::TearDown();
    }
    // Refreshes as the timer would until the box shows the text.
    bool shows(QLineEdit* box, const QString& text) {
        return platform::WaitUntil(
            [&] {
                monitor_->RefreshSocketStates();
                return box->text() == text;
            },
            kWaitMs);
    }

    std::unique_ptr<CMessages> messages_;
    std::unique_ptr<POP3ServerForm> server_;
    std::unique_ptr<SMTPProxyForm> proxy_;
    std::unique_ptr<frmMonitor> monitor_;
    int lookUps_ = 0;
};

TEST_F(MonitorTest, ShowsTheFirstBusySessionOfEachEngineAndZeroWhenItEnds) {
    monitor_->RefreshSocketStates();
    for (QLineEdit* box : {monitor_->txtPOP3Client(), monitor_->txtPOP3Server(), monitor_->txtSMTPRemote(),
                           monitor_->txtSMTPLocal()})
        EXPECT_EQ(box->text(), "not loaded");

    server_ = std::make_unique<POP3ServerForm>(*messages_);
    const quint16 pop3Port =
        testing_support::ListenOnFreePort([&](quint16 free) { return server_->Form_Load(std::to_string(free)); });
    ASSERT_NE(pop3Port, 0);
    proxy_ = std::make_unique<SMTPProxyForm>();
    const quint16 smtpPort =
        testing_support::ListenOnFreePort([&](quint16 free) { return proxy_->Load(std::to_string(free)); });
    ASSERT_NE(smtpPort, 0);
    // Listening, no session: the listeners (item 0) are not what the boxes show.
    monitor_->RefreshSocketStates();
    EXPECT_EQ(monitor_->txtPOP3Server()->text(), "0");
    EXPECT_EQ(monitor_->txtSMTPLocal()->text(), "0");
    EXPECT_EQ(monitor_->txtPOP3Client()->text(), "not loaded");

    QTcpSocket pop3Client, smtpClient;
    pop3Client.connectToHost("127.0.0.1", pop3Port);
    smtpClient.connectToHost("127.0.0.1", smtpPort);
    EXPECT_TRUE(shows(monitor_->txtPOP3Server(), "7"));
    EXPECT_TRUE(shows(monitor_->txtSMTPLocal(), "7"));
    EXPECT_EQ(monitor_->txtSMTPRemote()->text(), "0");  // no MAIL FROM yet: no server connection
    EXPECT_FALSE(monitor_->txtPOP3Server()->toolTip().isEmpty());

    pop3Client.abort();
    smtpClient.abort();
    EXPECT_TRUE(shows(monitor_->txtPOP3Server(), "0"));
    EXPECT_TRUE(shows(monitor_->txtSMTPLocal(), "0"));

    // An engine that goes is looked up again, never loaded.
    proxy_.reset();
    monitor_->RefreshSocketStates();
    EXPECT_EQ(monitor_->txtSMTPLocal()->text(), "not loaded");
}

TEST_F(MonitorTest, RefreshesEveryQuarterSecondOnlyWhileShown) {
    EXPECT_FALSE(monitor_->Timer1()->isActive());
    monitor_->show();
    EXPECT_TRUE(monitor_->Timer1()->isActive());
    EXPECT_EQ(monitor_->Timer1()->interval(), 250);
    const int before = lookUps_;
    ASSERT_TRUE(platform::WaitUntil([&] { return lookUps_ >= before + 2; }, kWaitMs));
    monitor_->hide();
    EXPECT_FALSE(monitor_->Timer1()->isActive());
}

class MonitorCollectorTest : public testing_support::CollectorTest {};

TEST_F(MonitorCollectorTest, TheCollectorBoxFollowsASessionAndFallsBackToZero) {
    platform::InstallEventPump();
    QTcpServer server;  // a POP3 server that never answers
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    addAccount(testing_support::kMe, server.serverPort());
    openLists();
    makeForm();
    frmMonitor monitor([this] { return MonitoredEngines{form.get(), nullptr, nullptr}; });
    const auto shows = [&monitor](const QString& text) {
        return platform::WaitUntil(
            [&] {
                monitor.RefreshSocketStates();
                return monitor.txtPOP3Client()->text() == text;
            },
            kWaitMs);
    };
    monitor.RefreshSocketStates();
    EXPECT_EQ(monitor.txtPOP3Client()->text(), "0");

    form->Form_Load();
    EXPECT_TRUE(shows("7"));
    ASSERT_TRUE(platform::WaitUntil([&] { return server.hasPendingConnections(); }, kWaitMs));
    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
    peer->close();
    EXPECT_TRUE(shows("0"));

    form.reset();
    monitor.RefreshSocketStates();
    EXPECT_EQ(monitor.txtPOP3Client()->text(), "not loaded");
}

}  // namespace
