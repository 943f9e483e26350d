// The roads of a message through the real program, against real peers on loopback:
// dovecot holds the account's mail, aiosmtpd is its SMTP server, poplib plays the
// user's mail program on the local POP3 server and smtplib on the local SMTP proxy.
//
// One run of the binary: the collection on start files the approved sender's mail in
// InBox, the stranger's in WaitingAuth (and a registration request goes out to him),
// deletes the blocked sender's, and approves the sender whose registration reply
// arrived (ShowRegDialogs "0"); the user's mail program then fetches the InBox byte
// for byte as dovecot served it; mail the user writes to the stranger goes out
// unchanged and makes him approved, which releases his held mail; SIGTERM ends it all
// in order.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "core/InstallationSecret.h"
#include "protocol/OwnMailSignature.h"
#include "core/CIniFile.h"
#include "core/CSenders.h"
#include "core/ProgramFiles.h"
#include "core/Scramble.h"
#include "core/ServiceAddresses.h"
#include "core/TempFolder.h"
#include "platform/EventWait.h"
#include "support/Peers.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

constexpr const char* kMe = "me@home.test";
constexpr int kStartMs = 20000;
constexpr int kRoadMs = 30000;   // the spooler's first run comes 5 s after start, the next 12 s later
constexpr int kEndMs = 15000;

QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

std::string Mail(const std::string& from, const std::string& to, const std::string& subject,
                 const std::string& body) {
    return "From: " + from + "\r\nTo: " + to + "\r\nSubject: " + subject +
           "\r\nDate: Tue, 10 Dec 2002 13:45:12 +0100\r\nMessage-ID: <" + subject.substr(0, 8) + "." +
           std::to_string(::getpid()) + "@test>\r\n\r\n" + body;
}

std::string RegCodeFor(const std::string& from, const std::string& account) {
    for (int code = 0; code < 200000; ++code)
        if (MiscFuncs::VerifyRegCode(from, account, std::to_string(code))) return std::to_string(code);
    return "none";
}

// The program as a child process; killed when the test ends without stopping it.
class ProgramProcess {
public:
    ~ProgramProcess() {
        if (proc.state() == QProcess::NotRunning) return;
        proc.kill();
        proc.waitForFinished(kEndMs);
    }
    void start(const fs::path& home) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("GLIMMERPOST_HOME");
        proc.setProcessEnvironment(env);
        proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proc.start(QString::fromStdString((fs::path(GLP_BINARY_DIR) / "app" / "glimmerpost").string()),
                   {"--home", QString::fromStdString(home.string())});
    }
    QProcess proc;
};

class ProgramRoadsTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        platform::InstallEventPump();
    }
    void configure(quint16 pop3Peer, quint16 smtpPeer) {
        CIniFile accounts(ProgramFiles::AccountsIniPath().string());
        accounts.Value(kMe, "POP3CollectorInterval", "1");
        accounts.Value(kMe, "POP3Server", "127.0.0.1");
        accounts.Value(kMe, "POP3ServerPort", std::to_string(pop3Peer));
        accounts.Value(kMe, "POP3UserName", "alice");
        accounts.Value(kMe, "POP3Password", MiscFuncs::ScrambleText("secret"));
        accounts.Value(kMe, "SMTPServer", "127.0.0.1");
        accounts.Value(kMe, "SMTPServerPort", std::to_string(smtpPeer));
        accounts.Value(kMe, "SMTPRequiresAuth", "0");
        accounts.Value(kMe, "AccountEnabled", "1");
        for (const char* leaf : {"InBox", "OutBox", "WaitingAuth", "Recycled"})
            fs::create_directories(folder(leaf));
        CIniFile options(ProgramFiles::OptionsIniPath().string());
        options.Value("options", "POP3ServerPort", std::to_string(localPop3.port()));
        options.Value("options", "SMTPServerPort", std::to_string(localSmtp.port()));
        options.Value("options", "AutoSendRegRequests", "1");
        options.Value("options", "ShowRegDialogs", "0");
        // Without the texts the first request would wait on a warning box.
        for (const char* key : {"msg_RegRequest_Text1", "msg_RegRequest_Text2", "msg_RegRequest_Text3", "msg_Conf_Text1"})
            options.Value("options", key, MiscFuncs::ScrambleText(std::string("Text of ") + key));
        CSenders senders;
        senders.SetStatus("", "friend@there.test", SenderStatus::Approved, "known");
        senders.SetStatus("", "pest@there.test", SenderStatus::Blocked, "known");
    }
    fs::path folder(const char* leaf) const { return dir() / "accounts" / kMe / "MailDir" / leaf; }
    std::vector<std::string> files(const char* leaf, const char* extension = ".eml") const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(folder(leaf)))
            if (e.path().extension() == extension) out.push_back(ReadFile(e.path()));
        return out;
    }
    std::string accessLevel(const std::string& address) const {
        return CIniFile(ProgramFiles::SendersIniPath().string()).Value(address, "AccessLevel");
    }

    // The local engines' ports, held for them until the test ends.
    const ReservedPort localPop3, localSmtp;
};

TEST_F(ProgramRoadsTest, IncomingAndOutgoingMailTakeTheirRoadsAndSigtermEndsInOrder) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot, PeerProgram::Aiosmtpd);
    DovecotPeer dovecot;
    ASSERT_TRUE(dovecot.start()) << dovecot.error().toStdString();
    SmtpPeer smtp;
    ASSERT_TRUE(smtp.start()) << smtp.error().toStdString();
    configure(dovecot.port(), smtp.port());

    const std::string service(ServiceAddresses::ServiceSenderAddress);
    const std::string bob = "Bob <bob@there.test>";
    ASSERT_FALSE(dovecot.deliver("alice", Bytes(Mail("Friend <friend@there.test>", kMe, "from a friend",
                                                     "hello\r\n.a line with a dot\r\n"))).isEmpty());
    ASSERT_FALSE(dovecot.deliver("alice", Bytes(Mail("Stranger <stranger@there.test>", kMe, "from a stranger",
                                                     "who am I\r\n"))).isEmpty());
    ASSERT_FALSE(dovecot.deliver("alice", Bytes(Mail("pest@there.test", kMe, "from a pest", "buy\r\n"))).isEmpty());
    ASSERT_FALSE(dovecot.deliver("alice", Bytes(Mail("Approval <" + service + ">", kMe, "Registration",
                                                     "AuthRequestName: \"Bob\"\r\nAuthRequestReason: we met\r\n"
                                                     "AuthRequestCode: " + RegCodeFor(bob, kMe) +
                                                     "\r\nAuthRequestFrom: " + bob + "\r\nAuthRequestToken: " +
                                                     OwnMailSignature::ApprovalToken(InstallationSecret::Key(), bob, kMe) +
                                                     "\r\n"))).isEmpty());
    // What the user's mail program would have had from dovecot itself.
    const PopFetch direct = FetchWithPoplib(dovecot.port(), {.user = "alice", .password = "secret"});
    ASSERT_TRUE(direct.run.ok()) << direct.run.describe();
    ASSERT_EQ(direct.messages.size(), 4);

    ProgramProcess program;
    program.start(dir());
    ASSERT_TRUE(program.proc.waitForStarted(kStartMs));

    // Incoming: collected on start, filed by the verdicts, nothing left on the server.
    ASSERT_TRUE(platform::WaitUntil([&] { return files("InBox").size() == 1 && files("WaitingAuth").size() == 1; },
                                    kStartMs))
        << programLog();
    ASSERT_TRUE(platform::WaitUntil(
        [&] {
            const auto left = dovecot.leftOnServer("alice");
            return left && left->isEmpty();
        },
        kRoadMs));
    EXPECT_EQ(accessLevel("stranger@there.test"), "1");
    EXPECT_EQ(accessLevel("bob@there.test"), "3") << "the registration reply approves at once";
    EXPECT_TRUE(files("Recycled").empty());

    // The registration request to the stranger and the confirmation to Bob go out.
    ASSERT_TRUE(smtp.waitForTransactions(2, kRoadMs))
        << smtp.transactions().size() << " sent, queued " << files("OutBox").size() << "\n" << programLog();
    QStringList recipients;
    for (const SmtpTransaction& t : smtp.transactions()) recipients += t.rcptTos;
    EXPECT_TRUE(recipients.contains("stranger@there.test")) << recipients.join(",").toStdString();
    EXPECT_TRUE(recipients.contains("bob@there.test")) << recipients.join(",").toStdString();

    // The user's mail program fetches the InBox as dovecot served it.
    const PopFetch local = FetchWithPoplib(localPop3, {.user = kMe, .password = "secret"});
    ASSERT_TRUE(local.run.ok()) << local.run.describe();
    ASSERT_EQ(local.messages.size(), 1);
    EXPECT_EQ(local.messages[0], direct.messages[0]);

    // Outgoing: the user writes to the stranger through the proxy.
    const QByteArray written = "From: me@home.test\r\nTo: stranger@there.test\r\nSubject: re\r\n\r\n"
                               "Hello.\r\n.Dot line\r\n";
    const std::size_t before = static_cast<std::size_t>(smtp.transactions().size());
    const CommandResult sent = SendWithSmtplib(localSmtp, {.from = kMe, .to = {"stranger@there.test"},
                                                           .message = written});
    ASSERT_TRUE(sent.ok()) << sent.describe();
    ASSERT_TRUE(smtp.waitForTransactions(static_cast<int>(before) + 1, kRoadMs));
    const SmtpTransaction relayed = smtp.transactions().back();
    EXPECT_EQ(relayed.mailFrom, kMe);
    EXPECT_EQ(relayed.rcptTos, QStringList{"stranger@there.test"});
    EXPECT_EQ(relayed.data, written);
    ASSERT_TRUE(platform::WaitUntil([&] { return files("WaitingAuth").empty(); }, kRoadMs));
    EXPECT_EQ(accessLevel("stranger@there.test"), "3");
    EXPECT_EQ(CIniFile(ProgramFiles::SendersIniPath().string()).Value("stranger@there.test", "AuthReason"),
              "Mail recepient");
    EXPECT_EQ(files("InBox").size(), 2u);

    // SIGTERM: the orderly end.
    ::kill(static_cast<pid_t>(program.proc.processId()), SIGTERM);
    ASSERT_TRUE(platform::WaitUntil([&] { return program.proc.state() == QProcess::NotRunning; }, kEndMs));
    EXPECT_EQ(program.proc.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.proc.exitCode(), 0);
    EXPECT_TRUE(logHas(" closed"));
    EXPECT_FALSE(fs::exists(dir() / "glpcs.flg"));
}

}  // namespace
