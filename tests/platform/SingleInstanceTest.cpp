#include "platform/SingleInstance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>

#include <filesystem>
#include <map>

#include "core/TempFolder.h"
#include "platform/EventWait.h"

namespace {

using platform::SingleInstance;
using Role = SingleInstance::Role;
namespace fs = std::filesystem;

class SingleInstanceTest : public testing_support::TempFolderTest {
protected:
    QString folder() const { return QString::fromStdString(dir().string()); }

    // Every file of the folder with its size and time of last change.
    std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> snapshot() const {
        std::map<std::string, std::pair<std::uintmax_t, fs::file_time_type>> files;
        for (const auto& e : fs::recursive_directory_iterator(dir()))
            files[e.path().string()] = {e.is_regular_file() ? e.file_size() : 0, e.last_write_time()};
        return files;
    }
};

TEST_F(SingleInstanceTest, SecondStartAsksTheFirstForwardAndTouchesNothing) {
    testing_support::WriteFile(dir() / "glimmerpost.ini", "[display]\r\nwindowstate=0\r\n");
    testing_support::WriteFile(dir() / "glpcs.flg", "12/08/2026 07:52:06\r\n");
    SingleInstance first(folder());
    QSignalSpy asked(&first, &SingleInstance::activationRequested);
    ASSERT_EQ(first.start(), Role::First);
    EXPECT_TRUE(first.listening());
    const auto before = snapshot();

    SingleInstance second(folder());
    EXPECT_EQ(second.start(), Role::Second);
    EXPECT_TRUE(second.answered());
    EXPECT_TRUE(platform::WaitUntil([&] { return asked.count() == 1; }, 2000));
    EXPECT_EQ(second.start(), Role::Second) << "decided once";
    EXPECT_EQ(snapshot(), before);
}

TEST_F(SingleInstanceTest, FoldersAreIndependentAndAnEndedFirstFreesTheFolder) {
    const fs::path other = dir() / "other";
    fs::create_directories(other);
    EXPECT_NE(SingleInstance::ServerNameFor(folder()),
              SingleInstance::ServerNameFor(QString::fromStdString(other.string())));
    EXPECT_EQ(SingleInstance::ServerNameFor(folder()), SingleInstance::ServerNameFor(folder() + "/./"));
    {
        SingleInstance first(folder());
        SingleInstance elsewhere(QString::fromStdString(other.string()));
        ASSERT_EQ(first.start(), Role::First);
        EXPECT_EQ(elsewhere.start(), Role::First);
    }
    SingleInstance next(folder());
    EXPECT_EQ(next.start(), Role::First);
    EXPECT_TRUE(next.listening());
}

TEST_F(SingleInstanceTest, SocketLeftBehindByACrashIsTakenOver) {
    const QString path = QDir(QDir::tempPath()).filePath(SingleInstance::ServerNameFor(folder()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    ASSERT_LT(static_cast<std::size_t>(name.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, name.constData(), name.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);  // the file stays, as after a crash
    ASSERT_TRUE(QFile::exists(path));

    SingleInstance first(folder());
    ASSERT_EQ(first.start(), Role::First);
    EXPECT_TRUE(first.listening());
    SingleInstance second(folder());
    EXPECT_EQ(second.start(), Role::Second);
    EXPECT_TRUE(second.answered());
}

TEST_F(SingleInstanceTest, LockOfAnotherProcessHoldsUntilThatProcessDies) {
    const QString lockFile = QDir(folder()).filePath(SingleInstance::kLockFileName);
    QProcess holder;
    // One process holds the lock: the shell's descriptor, kept by the sleep it becomes.
    holder.start("sh", {"-c", "exec 9>>\"$0\" && flock -n 9 && echo locked && exec sleep 30", lockFile});
    ASSERT_TRUE(holder.waitForStarted(5000));
    ASSERT_TRUE(platform::WaitUntil([&] { return holder.readAllStandardOutput().contains("locked"); }, 5000));

    SingleInstance late(folder());
    EXPECT_EQ(late.start(300), Role::Second);
    EXPECT_FALSE(late.answered()) << "the holder does not listen";

    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(5000));
    SingleInstance next(folder());
    EXPECT_EQ(next.start(300), Role::First) << "the kernel dropped the dead holder's lock";
}

TEST_F(SingleInstanceTest, OnlyTheActivateLineWithinTheCapIsAnswered) {
    SingleInstance first(folder());
    QSignalSpy asked(&first, &SingleInstance::activationRequested);
    ASSERT_EQ(first.start(), Role::First);
    for (const QByteArray& junk : {QByteArray("hello\n"), QByteArray(200, 'x'), QByteArray("activate")}) {
        QLocalSocket client;
        client.connectToServer(first.serverName());
        ASSERT_TRUE(platform::WaitUntil([&] { return client.state() == QLocalSocket::ConnectedState; }, 2000));
        client.write(junk);
        if (junk.endsWith('\n') || junk.size() > 64) {
            EXPECT_TRUE(platform::WaitUntil([&] { return client.state() == QLocalSocket::UnconnectedState; }, 2000))
                << junk.left(10).toStdString();
        } else {
            // A line without its end is not answered: a later client, whose whole line
            // is read after this one's bytes, is turned away first.
            client.flush();
            ASSERT_EQ(client.bytesToWrite(), 0);
            QLocalSocket later;
            later.connectToServer(first.serverName());
            ASSERT_TRUE(platform::WaitUntil([&] { return later.state() == QLocalSocket::ConnectedState; }, 2000));
            later.write("hello\n");
            EXPECT_TRUE(platform::WaitUntil([&] { return later.state() == QLocalSocket::UnconnectedState; }, 2000));
        }
        EXPECT_FALSE(client.readAll().contains("ok"));
    }
    EXPECT_EQ(asked.count(), 0);
}

TEST_F(SingleInstanceTest, MissingFolderFails) {
    SingleInstance nowhere(folder() + "/missing/deeper");
    EXPECT_EQ(nowhere.start(), Role::Failed);
    EXPECT_NE(programLog().find("Error in SingleInstance::start"), std::string::npos);
}

}  // namespace
