// The program killed in the middle of a collection from dovecot and started again:
// every message ends up stored exactly once and none is left on the server.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <map>

#include "CollectorPeerFixture.h"

using namespace testing_support;

namespace {

struct HelperRun {
    bool finished = false;
    QProcess::ExitStatus status = QProcess::NormalExit;
    int exitCode = -1;
    QByteArray out;
};

HelperRun CollectOnce(const std::filesystem::path& home, const QString& killAt) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (killAt.isEmpty()) env.remove("GLP_COLLECT_KILL_AT");
    else env.insert("GLP_COLLECT_KILL_AT", killAt);
    process.setProcessEnvironment(env);
    process.start(GLP_COLLECT_ONCE, {"--home", QString::fromStdString(home.string())});
    HelperRun run;
    run.finished = process.waitForFinished(60000);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.status = process.exitStatus();
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    return run;
}

}  // namespace

class CollectorCrashTest : public CollectorDovecotFixture {
protected:
    // A program folder of its own for one round: the account, one approved sender and
    // requests switched on, so each kind of store is on the way.
    std::filesystem::path prepareHome(const std::string& name, quint16 port) {
        const std::filesystem::path home = dir() / name;
        WriteFile(home / "accounts.ini",
                  "[" + kMe + "]\r\nPOP3CollectorInterval=10\r\nPOP3Server=127.0.0.1\r\nPOP3UserName=alice\r\n"
                  "POP3Password=" + MiscFuncs::ScrambleText("secret") + "\r\nPOP3ServerPort=" +
                      std::to_string(port) + "\r\nAccountEnabled=1\r\n");
        WriteFile(home / "glimmerpost.ini", "[options]\r\nAutoSendRegRequests=1\r\n");
        WriteFile(home / "accounts" / "senders.ini", "[friend@there.test]\r\nAccessLevel=3\r\n");
        return home;
    }
    // How often each message is stored in the home's InBox and WaitingAuth.
    static std::map<std::string, int> copies(const std::filesystem::path& home, const std::vector<std::string>& mails) {
        std::map<std::string, int> found;
        for (const char* leaf : {"InBox", "WaitingAuth"}) {
            const std::filesystem::path box = home / "accounts" / kMe / "MailDir" / leaf;
            for (const std::string& name : filesIn(box)) {
                const std::string text = ReadFile(box / name);
                for (std::size_t i = 0; i < mails.size(); ++i)
                    if (text == Stuffed(mails[i])) ++found["message " + std::to_string(i + 1)];
            }
        }
        return found;
    }
};

TEST_F(CollectorCrashTest, AKillAtAnyPointLosesNothingAndStoresNothingTwice) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot);
    const std::vector<std::string> mails = {
        Mail("friend@there.test", "one"),
        Mail("Stranger <stranger@there.test>", "two", "line\r\n.\r\n..dots\r\n"),
        Mail("friend@there.test", "three"),
        Mail("stranger@there.test", "four"),
        Mail("friend@there.test", "five", std::string(200000, 'z') + "\r\n"),
    };
    std::map<std::string, int> once;
    for (std::size_t i = 0; i < mails.size(); ++i) once["message " + std::to_string(i + 1)] = 1;

    for (const QString killAt : {"after-retr:2", "after-save:3", "after-dele:2", "before-quit", "after-quit"}) {
        SCOPED_TRACE(killAt.toStdString());
        for (const std::string& m : mails) ASSERT_NO_FATAL_FAILURE(deliver(m));
        const std::filesystem::path home = prepareHome(killAt.section(':', 0, 0).toStdString(), peer->port());

        const HelperRun killed = CollectOnce(home, killAt);
        ASSERT_TRUE(killed.finished);
        EXPECT_EQ(killed.status, QProcess::CrashExit) << "it died at the point: " << killed.out.toStdString();
        const HelperRun again = CollectOnce(home, "");
        ASSERT_TRUE(again.finished);
        EXPECT_EQ(again.status, QProcess::NormalExit);
        EXPECT_EQ(again.exitCode, 0) << again.out.toStdString();
        EXPECT_TRUE(again.out.startsWith("ENDED ")) << again.out.toStdString();

        EXPECT_EQ(copies(home, mails), once);
        EXPECT_EQ(leftCount(), 0u) << "messages left on the server";
        // The index the restarted program built holds each stored file once too.
        EXPECT_NE(ReadFile(home / "accounts" / kMe / "MailDir" / "msgcache.txt").find("five"), std::string::npos);
    }
}
