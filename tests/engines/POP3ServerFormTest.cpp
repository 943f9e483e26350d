// The local POP3 server on loopback, with real clients: Python's poplib (beside
// dovecot serving the same messages), curl, fetchmail and mpop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "Pop3ServerFixture.h"
#include "core/Prompt.h"
#include "engines/POP3ServerForm.h"
#include "platform/WindowHelpers.h"

using namespace testing_support;

namespace {

const char kAccount[] = "Alice@Example.test";

// Messages as a provider's server holds them (LF line ends, no dot-stuffing); the
// collector stores them in wire form.
const QByteArray kMessages[] = {
    "From: a@example.test\nSubject: dots\n\nline one\n.\n..two dots\n.leading\nend\n",
    "From: c@example.test\nSubject: plain\n\nhello\n",
    "Subject: last line a dot\n\nbody\n.\n",
};

std::string WireForm(const QByteArray& message) {
    std::string wire;
    for (const QByteArray& line : message.chopped(1).split('\n')) {
        if (line.startsWith('.')) wire += '.';
        wire += line.toStdString() + "\r\n";
    }
    return wire;
}

// Runs every command of RFC 1939's transaction state once and prints what came back.
const char kPoplibCommands[] = R"PY(
import json, poplib, sys
port, user, password = sys.argv[1:4]
c = poplib.POP3("127.0.0.1", int(port), timeout=5)
c.user(user)
c.pass_(password)
out = {}
count, octets = c.stat()
out["count"] = count
out["list"] = [l.decode().split()[0] for l in c.list()[1]]
out["top"] = [l.decode("latin-1") for l in c.top(1, 1)[1]]
out["retr"] = [[l.decode("latin-1") for l in c.retr(n)[1]] for n in range(1, count + 1)]
c.dele(1)
out["after_dele"] = c.stat()[0]
try:
    c.retr(1)
    out["retr_marked"] = "+OK"
except poplib.error_proto as e:
    out["retr_marked"] = e.args[0][:4].decode()
c.rset()
out["after_rset"] = c.stat()[0]
c.dele(2)
out["quit"] = c.quit().decode()[:3]
print(json.dumps(out))
)PY";

class Pop3FormTest : public pop3test::Pop3ServerTest {
protected:
    void SetUp() override {
        Pop3ServerTest::SetUp();
        addAccount(kAccount, "secret");
        form = std::make_unique<POP3ServerForm>(*messages);
        form->hooks.SessionEnded = [this](int, const std::string& account, std::size_t removed) {
            ended.push_back({account, removed});
        };
        port = ListenOnFreePort([&](quint16 free) { return form->Form_Load(std::to_string(free)); });
        ASSERT_NE(port, 0);
    }
    void TearDown() override {
        form.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Prompt::SetPrompt(nullptr);
        Pop3ServerTest::TearDown();
    }
    void storeAll() {
        int n = 0;
        for (const QByteArray& m : kMessages) store(kAccount, "m" + std::to_string(++n) + ".eml", WireForm(m));
    }
    bool allSessionsGone() {
        return platform::WaitUntil([&] { return form->SessionCount() == 0; }, kPeerWaitDeadlineMs);
    }
    QString url(const QString& path = "/") const { return QString("pop3://127.0.0.1:%1%2").arg(port).arg(path); }

    std::unique_ptr<POP3ServerForm> form;
    quint16 port = 0;
    std::vector<std::pair<std::string, std::size_t>> ended;
};

TEST_F(Pop3FormTest, PoplibRetrievesWhatDovecotServesForTheSameMessages) {
    GLP_REQUIRE_PEERS(PeerProgram::Dovecot, PeerProgram::Python);
    DovecotPeer dovecot;
    ASSERT_TRUE(dovecot.start()) << dovecot.error().toStdString();
    for (const QByteArray& m : kMessages) ASSERT_FALSE(dovecot.deliver("alice", m).isEmpty());
    storeAll();

    const CommandResult theirs = RunPython(kPoplibCommands, {QString::number(dovecot.port()), "alice", "secret"});
    ASSERT_TRUE(theirs.ok()) << theirs.describe();
    const CommandResult ours = RunPython(kPoplibCommands, {QString::number(port), "alice@example.test", "secret"});
    ASSERT_TRUE(ours.ok()) << ours.describe();
    const QJsonObject expected = QJsonDocument::fromJson(theirs.out).object();
    const QJsonObject got = QJsonDocument::fromJson(ours.out).object();
    EXPECT_EQ(got["retr"].toArray().size(), 3);
    EXPECT_EQ(got, expected) << "ours:   " << ours.out.toStdString() << "dovecot: " << theirs.out.toStdString();

    // Both applied the one DELE that QUIT saw.
    const auto left = dovecot.leftOnServer("alice");
    ASSERT_TRUE(left.has_value());
    EXPECT_EQ(left->size(), 2);
    EXPECT_TRUE(stored(kAccount, "m1.eml"));
    EXPECT_FALSE(stored(kAccount, "m2.eml"));
    EXPECT_EQ(messages->Count(), 2u);
    ASSERT_TRUE(allSessionsGone());
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0], std::make_pair(std::string(kAccount), std::size_t{1}));
    EXPECT_EQ(MiscFuncs::BusyCounter(), 0);
}

TEST_F(Pop3FormTest, PoplibFetchesAndDeletesEverything) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    storeAll();
    const PopFetch fetch = FetchWithPoplib(port, {"alice@example.test", "secret", true});
    ASSERT_TRUE(fetch.run.ok()) << fetch.run.describe();
    EXPECT_EQ(fetch.welcome, "+OK glimmerpost POP3 Server Ver.1.0 Ready");
    ASSERT_EQ(fetch.messages.size(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(fetch.messages[i], QByteArray(kMessages[i]).replace("\n", "\r\n"));
    EXPECT_EQ(messages->Count(), 0u);
    EXPECT_TRUE(std::filesystem::is_empty(inbox(kAccount)));
}

TEST_F(Pop3FormTest, CurlListsRetrievesAndDeletes) {
    GLP_REQUIRE_PEERS(PeerProgram::Curl);
    storeAll();
    const CommandResult list = RunCurl({"-sS", url(), "-u", "alice@example.test:secret"});
    ASSERT_TRUE(list.ok()) << list.describe();
    const auto size = [&](int n) { return QByteArray::number(qulonglong(WireForm(kMessages[n]).size())); };
    EXPECT_EQ(list.out, "1 " + size(0) + "\r\n2 " + size(1) + "\r\n3 " + size(2) + "\r\n");

    const CommandResult retr = RunCurl({"-sS", url("/1"), "-u", "alice@example.test:secret"});
    ASSERT_TRUE(retr.ok()) << retr.describe();
    EXPECT_EQ(retr.out, QByteArray(kMessages[0]).replace("\n", "\r\n")) << "curl undoes the dot-stuffing";

    const CommandResult dele = RunCurl({"-sS", url(), "-u", "alice@example.test:secret", "-X", "DELE 1", "-I"});
    ASSERT_TRUE(dele.ok()) << dele.describe();
    EXPECT_FALSE(stored(kAccount, "m1.eml"));
    EXPECT_TRUE(stored(kAccount, "m2.eml"));
    const CommandResult after = RunCurl({"-sS", url(), "-u", "alice@example.test:secret"});
    EXPECT_TRUE(after.out.startsWith("1 " + size(1) + "\r\n")) << after.describe();
}

TEST_F(Pop3FormTest, ClientFromAnotherAddressIsRefused) {
    GLP_REQUIRE_PEERS(PeerProgram::Curl, PeerProgram::Python);
    MiscFuncs::SetLogLevel(2);
    storeAll();
    const CommandResult curl =
        RunCurl({"-sS", url(), "-u", "alice@example.test:secret", "--interface", "127.0.0.2"});
    EXPECT_FALSE(curl.ok());
    PopLogin login{"alice@example.test", "secret", true};
    login.sourceAddress = "127.0.0.2";
    const PopFetch fetch = FetchWithPoplib(port, login);
    EXPECT_FALSE(fetch.run.ok());
    EXPECT_TRUE(fetch.run.err.contains("can not be accessed from the network")) << fetch.run.describe();
    EXPECT_EQ(messages->Count(), 3u);
    EXPECT_NE(programLog().find("POP3 server denied connection from 127.0.0.2 on socket "), std::string::npos);
    EXPECT_TRUE(allSessionsGone());
}

TEST_F(Pop3FormTest, FetchmailCollectsTheMailbox) {
    GLP_REQUIRE_PEERS(PeerProgram::Fetchmail);
    storeAll();
    const FetchmailRun run = RunFetchmail(port, "alice@example.test", "secret");
    ASSERT_TRUE(run.run.ok()) << run.run.describe();
    ASSERT_EQ(run.delivered.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QByteArray got = run.delivered[i];
        got.replace("\r\n", "\n");
        EXPECT_TRUE(got.endsWith(kMessages[i])) << got.toStdString();
    }
    EXPECT_EQ(messages->Count(), 0u);
}

// Prints the unique-ids poplib reads, one "n id" a line.
const char kPoplibUidl[] = R"PY(
import poplib, sys
port, user, password = sys.argv[1:4]
c = poplib.POP3("127.0.0.1", int(port), timeout=5)
c.user(user)
c.pass_(password)
for line in c.uidl()[1]:
    print(line.decode())
print(c.uidl(2).decode())
c.quit()
)PY";

TEST_F(Pop3FormTest, PoplibReadsTheSameUniqueIdsAfterARestart) {
    GLP_REQUIRE_PEERS(PeerProgram::Python);
    storeAll();
    const CommandResult before = RunPython(kPoplibUidl, {QString::number(port), "alice@example.test", "secret"});
    ASSERT_TRUE(before.ok()) << before.describe();
    const QList<QByteArray> lines = before.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4) << before.out.toStdString();
    EXPECT_EQ(lines[3], "+OK " + lines[1]);

    // The program ends and starts again: a new index read from the folders, a new server.
    form.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    messages = std::make_unique<CMessages>(CMessages::Start::Empty);
    for (int n = 1; n <= 3; ++n) ASSERT_TRUE(messages->AddMessage(kAccount, "m" + std::to_string(n) + ".eml", MessageKeys::kInBox));
    form = std::make_unique<POP3ServerForm>(*messages);
    port = ListenOnFreePort([&](quint16 free) { return form->Form_Load(std::to_string(free)); });
    ASSERT_NE(port, 0);
    const CommandResult after = RunPython(kPoplibUidl, {QString::number(port), "alice@example.test", "secret"});
    ASSERT_TRUE(after.ok()) << after.describe();
    EXPECT_EQ(after.out, before.out);
}

// A mail program that leaves mail on the server fetches each message once.
TEST_F(Pop3FormTest, MpopKeepingMailOnTheServerFetchesEachMessageOnce) {
    GLP_REQUIRE_PEERS(PeerProgram::Mpop);
    storeAll();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString rc = dir.filePath("mpoprc"), maildir = dir.filePath("Maildir");
    for (const char* sub : {"/cur", "/new", "/tmp"}) ASSERT_TRUE(QDir().mkpath(maildir + sub));
    QFile file(rc);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QString("defaults\ntls off\naccount default\nhost 127.0.0.1\nport %1\nuser alice@example.test\n"
                       "password secret\nauth user\nkeep on\ndelivery maildir %2\nuidls_file %3\n")
                   .arg(port).arg(maildir, dir.filePath("uidls")).toUtf8());
    file.close();
    ASSERT_TRUE(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    const auto fetched = [&] { return QDir(maildir + "/new").entryList(QDir::Files).size(); };
    const auto check = [&] {
        return RunCommand("/usr/bin/env", {"HOME=" + dir.path(), "/usr/bin/mpop", "-C", rc, "-q", "default"});
    };
    CommandResult run = check();
    ASSERT_TRUE(run.ok()) << run.describe();
    EXPECT_EQ(fetched(), 3);
    run = check();
    ASSERT_TRUE(run.ok()) << run.describe();
    EXPECT_EQ(fetched(), 3) << "nothing is fetched again";
    EXPECT_EQ(messages->Count(), 3u) << "kept on the server";

    store(kAccount, "m4.eml", WireForm("From: d@example.test\nSubject: new\n\nnew one\n"));
    run = check();
    ASSERT_TRUE(run.ok()) << run.describe();
    EXPECT_EQ(fetched(), 4) << "only the new message";
}

}  // namespace
