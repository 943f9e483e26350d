// The outgoing queue against a real SMTP server (aiosmtpd) on loopback. The poll
// timer is fired by the tests; a run is over when fire() returns.
#include "engines/SMTPSpooler.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "core/CIniFile.h"
#include "core/Digest.h"
#include "core/ProgramFiles.h"
#include "core/ProgramSettings.h"
#include "core/Prompt.h"
#include "core/Scramble.h"
#include "core/TempFolder.h"
#include "engines/OutBoxMessage.h"
#include "platform/EventWait.h"
#include "platform/WindowHelpers.h"
#include "support/Peers.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

constexpr const char* kHome = "me@home.test";
constexpr const char* kOther = "other@home.test";

class SpoolerTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        platform::InstallEventPump();
        MiscFuncs::SetLogLevel(3);
        ProgramSettings settings;
        for (MessageText t : {MessageText::RegRequest1, MessageText::RegRequest2, MessageText::RegRequest3,
                              MessageText::Conf1}) {
            settings.SetMessageText(t, "Please confirm.");
        }
        Prompt::SetPrompt([this](const Prompt::Request& r) {
            prompts.push_back(r.text);
            return Prompt::DefaultAnswer(r);
        });
        spooler = std::make_unique<SMTPSpooler>(hooks());
    }
    void TearDown() override {
        spooler.reset();
        Prompt::SetPrompt(nullptr);
        TempFolderTest::TearDown();
    }

    SMTPSpooler::Hooks hooks() {
        return {[this] {
                    ++started;
                    if (onStarted) onStarted();
                },
                [this] { ++ended; },
                [this](const std::string& address, const std::string& path) { parked.emplace_back(address, path); }};
    }
    static void addAccount(const std::string& name, quint16 port) {
        CIniFile accounts(ProgramFiles::AccountsIniPath().string());
        accounts.Value(name, "DisplayName", "Me");
        accounts.Value(name, "SMTPServer", "127.0.0.1");
        accounts.Value(name, "SMTPServerPort", std::to_string(port));
        accounts.Value(name, "SMTPRequiresAuth", "0");
        fs::create_directories(OutBox::FolderOf(name));
    }
    static std::vector<std::string> queued(const std::string& account) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(OutBox::FolderOf(account), ec)) {
            if (OutBox::IsQueuedName(e.path().filename().string())) names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    static void clearOutBox(const std::string& account) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(OutBox::FolderOf(account), ec)) fs::remove(e.path(), ec);
    }
    void queue(const std::string& account, const std::string& recipient, const std::string& subject = "Hello",
               MessageType type = MessageType::RegistrationRequest) {
        ASSERT_TRUE(spooler->AddNewMessage(type, account, recipient, subject));
    }
    bool run() { return spooler->PollTimer().fire(); }
    int interval() { return spooler->PollTimer().interval(); }
    static QStringList recipients(const SmtpPeer& smtp) {
        QStringList out;
        for (const SmtpTransaction& t : smtp.transactions()) out += t.rcptTos;
        return out;
    }

    std::unique_ptr<SMTPSpooler> spooler;
    std::vector<std::string> prompts;
    std::vector<std::pair<std::string, std::string>> parked;
    std::function<void()> onStarted;
    int started = 0;
    int ended = 0;
};

TEST_F(SpoolerTest, EachRunSendsTheFirstFileOfTheFirstAccountThatHasOne) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    addAccount(kHome, smtp.port());
    addAccount(kOther, smtp.port());
    queue(kOther, "later@far.test");
    queue(kHome, "\"First\" <first@far.test>", "Lunch");
    queue(kHome, "second@far.test");
    const std::string firstFile = queued(kHome).front();

    ASSERT_TRUE(run());
    ASSERT_EQ(smtp.transactions().size(), 1);
    const SmtpTransaction sent = smtp.transactions()[0];
    EXPECT_EQ(sent.mailFrom, kHome);
    EXPECT_EQ(sent.rcptTos, QStringList{"first@far.test"});
    EXPECT_TRUE(sent.data.contains("\r\nSubject: RE:Lunch\r\n"));
    EXPECT_TRUE(sent.data.contains("\r\nX-GLP-MESSAGE: REGREQUEST\r\n"));
    EXPECT_FALSE(fs::exists(OutBox::FolderOf(kHome) / firstFile));
    EXPECT_TRUE(logHas("i Registration request sent to \"First\" <first@far.test>\r\n"));
    EXPECT_EQ(interval(), SMTPSpooler::kMoreQueuedMs);
    EXPECT_EQ(std::make_pair(started, ended), std::make_pair(1, 1));
    EXPECT_EQ(MiscFuncs::BusyCounter(), 0);

    ASSERT_TRUE(run());
    ASSERT_TRUE(run());
    EXPECT_EQ(recipients(smtp), (QStringList{"first@far.test", "second@far.test", "later@far.test"}));
    EXPECT_TRUE(queued(kHome).empty());
    EXPECT_TRUE(queued(kOther).empty());
    EXPECT_EQ(interval(), SMTPSpooler::kIdleMs);
    EXPECT_TRUE(prompts.empty());
}

TEST_F(SpoolerTest, TheTimerIsReArmedByWhatTheRunFound) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp({.refuseRcpt = {"refused@far.test"}});
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    addAccount(kHome, smtp.port());
    EXPECT_EQ(interval(), SMTPSpooler::kFirstRunMs);
    EXPECT_TRUE(spooler->PollTimer().armed());

    struct Case {
        const char* what;
        std::vector<std::string> recipients;
        int interval;
    } cases[] = {
        {"nothing queued", {}, SMTPSpooler::kIdleMs},
        {"the last mail sent", {"ok@far.test"}, SMTPSpooler::kIdleMs},
        {"a mail sent, another waiting", {"ok@far.test", "ok2@far.test"}, SMTPSpooler::kMoreQueuedMs},
        {"refused, nothing else waiting", {"refused@far.test"}, SMTPSpooler::kIdleMs},
        {"refused, another waiting", {"refused@far.test", "ok@far.test"}, SMTPSpooler::kMoreQueuedMs},
    };
    for (const Case& c : cases) {
        clearOutBox(kHome);
        for (const std::string& r : c.recipients) queue(kHome, r);
        if (!c.recipients.empty()) {
            EXPECT_EQ(interval(), SMTPSpooler::kQueuedMs) << c.what;
        }
        ASSERT_TRUE(run()) << c.what;
        EXPECT_EQ(interval(), c.interval) << c.what;
        EXPECT_TRUE(spooler->PollTimer().armed()) << c.what;
        EXPECT_EQ(spooler->PollTimer().tag(), SMTPSpooler::kIdleTag) << c.what;
    }
}

TEST_F(SpoolerTest, AMailQueuedDuringARunWaitsForTheRunsReArm) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    addAccount(kHome, smtp.port());
    queue(kHome, "first@far.test");
    bool runningSeen = false;
    onStarted = [&] {
        runningSeen = spooler->running() && !spooler->PollTimer().enabled();
        queue(kHome, "during@far.test");
    };
    ASSERT_TRUE(run());
    EXPECT_TRUE(runningSeen);
    EXPECT_EQ(interval(), SMTPSpooler::kIdleMs);  // the run's listing held one file
    EXPECT_EQ(queued(kHome).size(), 1u);
    onStarted = nullptr;
    ASSERT_TRUE(run());
    EXPECT_EQ(recipients(smtp), (QStringList{"first@far.test", "during@far.test"}));
}

TEST_F(SpoolerTest, ARelayRefusedFiveTimesIsParkedAndHandedToTheSenderList) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp({.refuseAllRcpt = true});
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    addAccount(kHome, smtp.port());
    queue(kHome, "Bob <bob@far.test>");
    const fs::path file = OutBox::FolderOf(kHome) / queued(kHome).front();

    for (int attempt = 1; attempt <= 4; ++attempt) {
        ASSERT_TRUE(run());
        EXPECT_EQ(CIniFile(file.string()).Value("Message", "BadRelayAttempts"), std::to_string(attempt));
        EXPECT_TRUE(parked.empty());
    }
    ASSERT_TRUE(run());
    const fs::path parkedFile = OutBox::ParkedName(file);
    EXPECT_FALSE(fs::exists(file));
    ASSERT_TRUE(fs::exists(parkedFile));
    EXPECT_EQ(CIniFile(parkedFile.string()).Value("Message", "BadRelayAttempts"), "5");
    EXPECT_EQ(parked, (std::vector<std::pair<std::string, std::string>>{{"bob@far.test", parkedFile.string()}}));
    EXPECT_TRUE(logHas("# Failed to send registration request to Bob <bob@far.test>\r\n"));

    ASSERT_TRUE(run());  // a parked file is no longer seen
    EXPECT_EQ(parked.size(), 1u);
    EXPECT_EQ(started, 5);
    EXPECT_TRUE(smtp.transactions().isEmpty());
}

TEST_F(SpoolerTest, WithALimitOfOneTheFirstRefusalParks) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp({.refuseAllRcpt = true});
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    addAccount(kHome, smtp.port());
    ProgramSettings().SetText(OptionKeys::MaxRelayingDeniedAttempts, "1");
    queue(kHome, "bob@far.test");
    ASSERT_TRUE(run());
    EXPECT_TRUE(queued(kHome).empty());
    ASSERT_EQ(parked.size(), 1u);
    EXPECT_EQ(parked[0].first, "bob@far.test");
    EXPECT_TRUE(fs::exists(parked[0].second));
}

TEST_F(SpoolerTest, AServerThatIsDownKeepsTheFileAndTheNextRunTriesTheNextAccount) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    const RefusingPort down;
    ASSERT_NE(down.port(), 0);
    addAccount(kHome, down);
    addAccount(kOther, smtp.port());
    queue(kHome, "stuck@far.test");
    queue(kOther, "one@far.test");
    queue(kOther, "two@far.test");

    ASSERT_TRUE(run());
    EXPECT_EQ(queued(kHome).size(), 1u);
    EXPECT_EQ(interval(), SMTPSpooler::kIdleMs);
    EXPECT_TRUE(logHas("# Failed to send registration request to stuck@far.test\r\n"));
    EXPECT_TRUE(smtp.transactions().isEmpty());

    ASSERT_TRUE(run());  // the account after the failed one
    EXPECT_EQ(recipients(smtp), QStringList{"one@far.test"});
    EXPECT_EQ(interval(), SMTPSpooler::kMoreQueuedMs);

    ASSERT_TRUE(run());  // after a success the first account comes first again
    EXPECT_EQ(recipients(smtp), QStringList{"one@far.test"});
    EXPECT_EQ(queued(kOther).size(), 1u);
    ASSERT_TRUE(run());
    EXPECT_EQ(recipients(smtp), (QStringList{"one@far.test", "two@far.test"}));
    EXPECT_EQ(queued(kHome).size(), 1u);
    EXPECT_EQ(std::make_pair(started, ended), std::make_pair(4, 4));
    EXPECT_EQ(MiscFuncs::BusyCounter(), 0);
}

// At the default LogLevel a mail that could not be sent is in the log all the same,
// with its account, its recipient and the server's answer.
TEST_F(SpoolerTest, AMailThatCannotBeSentIsLoggedAtTheDefaultLevel) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp({.auth = true, .mechanisms = {"PLAIN", "LOGIN"}, .requireAuth = true});
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    const RefusingPort down;
    addAccount(kHome, down);
    addAccount(kOther, smtp.port());
    CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    accounts.Value(kOther, "SMTPRequiresAuth", "1");
    accounts.Value(kOther, "SMTPAuthType", "0");
    accounts.Value(kOther, "SMTPAuthUserName", "alice");
    accounts.Value(kOther, "SMTPAuthPassword", MiscFuncs::ScrambleText("wrong-pass"));
    queue(kHome, "stuck@far.test");
    queue(kOther, "bob@far.test");
    MiscFuncs::SetLogLevel(0);
    ASSERT_TRUE(run());
    ASSERT_TRUE(run());
    const std::string log = programLog();
    EXPECT_NE(log.find("# Sending the mail of " + std::string(kHome) +
                       " to stuck@far.test failed: Unable to connect to SMTP server"),
              std::string::npos)
        << log;
    const std::size_t refused = log.find("# Sending the mail of " + std::string(kOther) + " to bob@far.test failed: ");
    ASSERT_NE(refused, std::string::npos) << log;
    EXPECT_NE(log.find("Authenticating user on SMTP server failed", refused), std::string::npos) << "why: " << log;
    EXPECT_EQ(log.find("wrong-pass"), std::string::npos);
    EXPECT_EQ(log.find(MiscFuncs::Base64Encode("wrong-pass")), std::string::npos);
}

TEST_F(SpoolerTest, AFailedLoginLeavesNoPasswordInTheLog) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp({.auth = true, .mechanisms = {"PLAIN", "LOGIN"}, .requireAuth = true});
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    addAccount(kHome, smtp.port());
    CIniFile accounts(ProgramFiles::AccountsIniPath().string());
    accounts.Value(kHome, "SMTPRequiresAuth", "1");
    accounts.Value(kHome, "SMTPAuthType", "0");
    accounts.Value(kHome, "SMTPAuthUserName", "alice");
    accounts.Value(kHome, "SMTPAuthPassword", MiscFuncs::ScrambleText("wrong-pass"));
    queue(kHome, "bob@far.test");
    ASSERT_TRUE(run());
    EXPECT_EQ(queued(kHome).size(), 1u);
    const std::string log = programLog();
    EXPECT_NE(log.find("# Failed to send registration request to bob@far.test\r\n"), std::string::npos);
    for (const std::string& secret : {std::string("wrong-pass"), MiscFuncs::Base64Encode("wrong-pass"),
                                     MiscFuncs::Base64Encode(std::string("\0alice\0wrong-pass", 17))}) {
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;
    }
}

TEST_F(SpoolerTest, OnlyAStoredOneMakesAConfirmationAndEveryKindIsLoggedAsARequest) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    addAccount(kHome, smtp.port());
    struct Case {
        const char* type;  // nullptr: no MessageType key
        const char* subject;
        QByteArray marker;
        QByteArray subjectLine;
    } cases[] = {
        {"1", "Thank you for registering", "CONFIRMATION", "Subject: Thank you for registering"},
        {nullptr, "Hello", "REGREQUEST", "Subject: RE:Hello"},
        {" 0 ", "Hello", "REGREQUEST", "Subject: RE:Hello"},
        {"2", "Hello", "REGREQUEST", "Subject: RE:Hello"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string number = std::to_string(++n);
        const std::string recipient = "Carol" + number + " <carol" + number + "@far.test>";
        CIniFile file((OutBox::FolderOf(kHome) / "37622D5.eml").string());
        file.Value("Message", "Subject", MiscFuncs::ScrambleText(c.subject));
        if (c.type) file.Value("Message", "MessageType", c.type);
        file.Value("Message", "Recipient", recipient);
        ASSERT_TRUE(run()) << n;
        ASSERT_EQ(smtp.transactions().size(), n);
        const QByteArray data = smtp.transactions().back().data;
        EXPECT_TRUE(data.contains("\r\nX-GLP-MESSAGE: " + c.marker + "\r\n")) << n;
        EXPECT_TRUE(data.contains("\r\n" + c.subjectLine + "\r\n")) << n;
        EXPECT_TRUE(logHas("i Registration request sent to " + recipient + "\r\n")) << n;
    }
}

TEST_F(SpoolerTest, LineBreaksFromAStrangerNeverMakeAHeaderOfTheMailSent) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    addAccount(kHome, smtp.port());
    static const char subject[] = "Hi\r\nBcc: victim@near.test\0\nX-GLP-MESSAGE: TEST";
    queue(kHome, "Eve <eve@far.test>\r\nBcc: victim@near.test", std::string(subject, sizeof subject - 1));
    ASSERT_TRUE(run());
    ASSERT_EQ(smtp.transactions().size(), 1);
    const SmtpTransaction sent = smtp.transactions()[0];
    EXPECT_EQ(sent.rcptTos, QStringList{"eve@far.test"});
    const QByteArray head = sent.data.left(sent.data.indexOf("\r\n\r\n"));
    int markers = 0;
    for (const QByteArray& line : head.split('\n')) {
        EXPECT_FALSE(line.startsWith("Bcc")) << line.toStdString();
        if (line.startsWith("X-GLP-MESSAGE:")) ++markers;
    }
    EXPECT_EQ(markers, 1);
    EXPECT_TRUE(head.contains("\r\nX-GLP-MESSAGE: REGREQUEST\r\n"));
}

TEST_F(SpoolerTest, ASentFileThatCannotBeDeletedIsNotSentAgain) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    addAccount(kHome, smtp.port());
    queue(kHome, "once@far.test");
    const fs::path folder = OutBox::FolderOf(kHome);
    const fs::path file = folder / queued(kHome).front();
    ASSERT_TRUE(makeReadOnly(folder)) << "no read-only folders here";

    ASSERT_TRUE(run());
    ASSERT_EQ(smtp.transactions().size(), 1);
    EXPECT_TRUE(fs::exists(file));
    EXPECT_TRUE(logHas("# Failed to delete file " + file.string() + "\r\n"));
    ASSERT_TRUE(run());
    ASSERT_TRUE(run());
    EXPECT_EQ(smtp.transactions().size(), 1);
    EXPECT_EQ(interval(), SMTPSpooler::kIdleMs);

    // Once the folder can be written again the left-over goes, still unsent.
    ASSERT_TRUE(SetFolderReadOnly(folder, false));
    ASSERT_TRUE(run());
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(smtp.transactions().size(), 1);
}

TEST_F(SpoolerTest, ASpoolerUnloadedWhileItSendsEndsTheSessionAndTouchesNothing) {
    GLP_REQUIRE_PEERS(PeerProgram::Aiosmtpd);
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    addAccount(kHome, smtp.port());
    queue(kHome, "bob@far.test");
    onStarted = [this] { QTimer::singleShot(0, [this] { spooler.reset(); }); };
    platform::TimerControl& timer = spooler->PollTimer();
    ASSERT_TRUE(timer.fire());
    EXPECT_EQ(spooler, nullptr);
    EXPECT_EQ(std::make_pair(started, ended), std::make_pair(1, 1));
    EXPECT_EQ(MiscFuncs::BusyCounter(), 0);
    EXPECT_EQ(queued(kHome).size(), 1u);  // not sent, so still queued
}

}  // namespace
