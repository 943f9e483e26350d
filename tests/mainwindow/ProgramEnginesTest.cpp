// The engines inside the whole program: start-up makes and starts them on the
// configured ports, their reports reach the main window and the sender list, and the
// reload after new settings takes them down and up again in order.
#include <gtest/gtest.h>

#include "EnginesTestSupport.h"
#include "core/CSenders.h"
#include "core/Scramble.h"
#include "core/ServiceAddresses.h"
#include "engines/OutBoxMessage.h"
#include "engines/POP3CollectorForm.h"
#include "engines/POP3ServerForm.h"
#include "engines/RegRequestForm.h"
#include "engines/SMTPProxyForm.h"
#include "engines/SMTPSpooler.h"
#include "mainwindow/MainStatusBar.h"
#include "mainwindow/ProgramEngines.h"
#include "support/Peers.h"

using namespace testing_support;

class ProgramEnginesTest : public EnginesProgramTest {
protected:
    void SetUp() override {
        EnginesProgramTest::SetUp();
        // Nobody listens on the account's POP3 port: its session ends at once.
        CIniFile accounts(ProgramFiles::AccountsIniPath().string());
        accounts.Value(kAccount, "POP3Server", "127.0.0.1");
        accounts.Value(kAccount, "POP3ServerPort", std::to_string(nobody.port()));
        accounts.Value(kAccount, "POP3CollectorInterval", "10");
    }

    const RefusingPort nobody;
};

TEST_F(ProgramEnginesTest, StartUpLoadsEveryEngineOnItsConfiguredPort) {
    startWithEngines();
    ASSERT_NE(engines->Proxy(), nullptr);
    ASSERT_NE(engines->Pop3Server(), nullptr);
    EXPECT_TRUE(engines->Proxy()->listening());
    EXPECT_EQ(engines->Proxy()->listenPort(), smtpPort.port());
    EXPECT_TRUE(engines->Pop3Server()->Listening());
    EXPECT_EQ(engines->Pop3Server()->Port(), pop3Port.port());
    EXPECT_NE(engines->Spooler(), nullptr);
    EXPECT_NE(engines->RegRequest(), nullptr);
    ASSERT_NE(engines->Collector(), nullptr);
    EXPECT_EQ(engines->Collector()->SlotCount(), 1);
    EXPECT_TRUE(logHas("SystrayMenuForm is not available"));
    EXPECT_TRUE(logHas("MessagePreviewForm is not available"));
}

TEST_F(ProgramEnginesTest, ShutDownAndReloadTakeTheEnginesDownAndUpInOrder) {
    auto& program = startWithEngines();
    program.Engines().ReloadEngines(program);
    ASSERT_NE(engines->Proxy(), nullptr);
    EXPECT_TRUE(engines->Proxy()->listening());
    EXPECT_EQ(engines->Proxy()->listenPort(), smtpPort.port());
    EXPECT_TRUE(engines->Pop3Server()->Listening());
    EXPECT_NE(engines->Spooler(), nullptr);
    EXPECT_NE(engines->Collector(), nullptr);

    program.RequestShutDown();
    platform::PumpEvents();
    EXPECT_EQ(engines->Proxy(), nullptr);
    EXPECT_EQ(engines->Pop3Server(), nullptr);
    EXPECT_EQ(engines->Spooler(), nullptr);
    EXPECT_EQ(engines->Collector(), nullptr);
    EXPECT_EQ(engines->RegRequest(), nullptr);
    EXPECT_TRUE(logHas(" closed"));
}

TEST_F(ProgramEnginesTest, ReloadFollowsTheSettingsOrder) {
    auto& program = makeProgram(true);
    ASSERT_EQ(program.Start(), mainwindow::GlimmerpostProgram::StartResult::Running);
    events_.clear();
    program.Engines().ReloadEngines(program);
    EXPECT_EQ(eventsOf("unload:"),
              (std::vector<std::string>{"POP3CollectorForm", "POP3ServerForm", "SMTPProxyForm", "SMTPSpooler"}));
    EXPECT_EQ(eventsOf("load:"),
              (std::vector<std::string>{"SMTPProxyForm", "POP3ServerForm", "SMTPSpooler", "POP3CollectorForm"}));
}

TEST_F(ProgramEnginesTest, QueuedMailGoesToTheSpoolerLoadedNow) {
    auto& program = startWithEngines();
    const auto outBox = dir() / "accounts" / kAccount / "MailDir" / "OutBox";
    auto queued = [&] {
        std::size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(outBox)) n += e.path().extension() == ".eml";
        return n;
    };
    EXPECT_TRUE(engines->QueueMail(MessageType::Confirmation, kAccount, "x@there.test", "Thank you"));
    program.Engines().Unload("SMTPSpooler");
    EXPECT_FALSE(engines->QueueMail(MessageType::Confirmation, kAccount, "y@there.test", "Thank you"));
    program.Engines().Load("SMTPSpooler", program);
    EXPECT_TRUE(engines->QueueMail(MessageType::Confirmation, kAccount, "z@there.test", "Thank you"));
    EXPECT_EQ(queued(), 2u);
}

TEST_F(ProgramEnginesTest, TheCollectorsSessionsShowInTheStatusBarAndCheckNowStartsOne) {
    auto& program = startWithEngines();
    ASSERT_NE(program.MainForm(), nullptr);
    auto* panels = program.MainForm()->mainStatusBar();
    // The session against the closed port ends at once and says so.
    const auto failed = [&] {
        return panels->panelText("GetMail").startsWith("Collecting " + QString::fromStdString(kAccount) +
                                                       " failed: the server could not be reached");
    };
    ASSERT_TRUE(platform::WaitUntil(failed, 10000)) << panels->panelText("GetMail").toStdString();
    EXPECT_TRUE(program.MainForm()->activity().statusBarGetTimer().enabled());

    panels->setPanel("GetMail", "", "");
    program.MainForm()->mCheckNewMail_Click();
    ASSERT_TRUE(platform::WaitUntil(failed, 10000));
}

// A registration reply collected from dovecot shows in the pop-up, and the user's
// approval queues the confirmation with the program's spooler.
TEST_F(ProgramEnginesTest, ACollectedRegistrationReplyShowsInThePopUpAndItsApprovalIsConfirmed) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    DovecotPeer dovecot;
    ASSERT_TRUE(dovecot.start()) << dovecot.error().toStdString();
    CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    accounts.Value(kAccount, "POP3ServerPort", std::to_string(dovecot.port()));
    accounts.Value(kAccount, "POP3UserName", "alice");
    accounts.Value(kAccount, "POP3Password", MiscFuncs::ScrambleText("secret"));
    setValue("options", "ShowRegDialogs", "1");
    const std::string bob = "Bob <bob@there.test>";
    std::string code = "none";
    for (int c = 0; c < 200000 && code == "none"; ++c)
        if (MiscFuncs::VerifyRegCode(bob, kAccount, std::to_string(c))) code = std::to_string(c);
    const std::string reply = "From: Approval <" + std::string(ServiceAddresses::ServiceSenderAddress) +
                              ">\r\nTo: " + kAccount + "\r\nSubject: Registration\r\n\r\n"
                              "AuthRequestName: \"Bob\"\r\nAuthRequestReason: we met\r\nAuthRequestCode: " + code +
                              "\r\nAuthRequestFrom: " + bob + "\r\n";
    ASSERT_FALSE(dovecot.deliver("alice", QByteArray::fromStdString(reply)).isEmpty());

    auto& program = startWithEngines();
    const auto inbox = dir() / "accounts" / kAccount / "MailDir" / "InBox";
    auto replyFiles = [&] {
        std::size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(inbox)) n += e.path().extension() == ".rrm";
        return n;
    };
    ASSERT_TRUE(platform::WaitUntil([&] { return replyFiles() == 1; }, 10000)) << programLog();

    RegRequestForm& popUp = *engines->RegRequest();
    ASSERT_TRUE(popUp.PollTimer().fire());
    EXPECT_TRUE(popUp.isVisible());
    EXPECT_EQ(popUp.request().address, "bob@there.test");
    EXPECT_EQ(popUp.request().account, kAccount);
    popUp.bApprove_Click();
    EXPECT_EQ(program.Senders()->StatusOf("bob@there.test"), SenderStatus::Approved);
    EXPECT_EQ(replyFiles(), 0u);
    const auto outBox = dir() / "accounts" / kAccount / "MailDir" / "OutBox";
    std::vector<OutBox::Contents> queued;
    for (const auto& e : std::filesystem::directory_iterator(outBox))
        if (e.path().extension() == ".eml") queued.push_back(OutBox::Read(CIniFile(e.path().string())));
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].type, MessageType::Confirmation);
    EXPECT_EQ(queued[0].recipient, bob);
    EXPECT_EQ(queued[0].subject, "Thank you for registering");
}

// The options dialog reloads the engines while the spooler waits for a silent server:
// the old spooler goes with its wait, a new one takes the queue on.
TEST_F(ProgramEnginesTest, ReloadWhileTheSpoolerWaitsForItsServer) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    ScriptedPeer silent("stall\n");
    ASSERT_TRUE(silent.start()) << silent.error().toStdString();
    CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    accounts.Value(kAccount, "SMTPServer", "127.0.0.1");
    accounts.Value(kAccount, "SMTPServerPort", std::to_string(silent.port()));
    setValue("options", "msg_Conf_Text1", MiscFuncs::ScrambleText("thanks"));
    auto& program = startWithEngines();
    ASSERT_TRUE(engines->QueueMail(MessageType::Confirmation, kAccount, "x@there.test", "Thank you"));
    SMTPSpooler* waiting = engines->Spooler();
    bool reloaded = false;
    QTimer::singleShot(0, context_.get(), [&] {
        ASSERT_TRUE(silent.waitFor([](const ScriptEvent& e) { return e.event == "accepted"; }));
        program.Engines().ReloadEngines(program);
        reloaded = true;
    });
    waiting->PollTimer_Timer();  // returns once its spooler is gone
    EXPECT_TRUE(reloaded);
    ASSERT_NE(engines->Spooler(), nullptr);
    EXPECT_FALSE(engines->Spooler()->running());
    EXPECT_TRUE(engines->Proxy()->listening());
    EXPECT_EQ(engines->Proxy()->listenPort(), smtpPort.port());
    EXPECT_TRUE(engines->Pop3Server()->Listening());
}
