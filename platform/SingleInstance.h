#pragma once
// One running program per data folder.
//
// The first instance holds an exclusive lock (flock) on the file glimmerpost.lock in
// the data folder and listens on a local socket named after the folder (the user and
// a hash of the folder's canonical path). A later start on the same folder finds the
// lock taken, connects, sends "activate" and waits a bounded time for "ok"; the first
// one answers and raises activationRequested, and the later one ends without touching
// anything else in the folder. The kernel drops the lock of a process that died, and
// a socket left behind by it is removed before listening, so a crashed first instance
// never blocks the next start.

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace platform {

class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Role {
        Undecided,  // start() not called yet
        First,      // this instance runs the program
        Second,     // another instance runs it; this one ends
        Failed,     // the lock file could not be opened or locked
    };

    static constexpr const char* kLockFileName = "glimmerpost.lock";
    static constexpr qint64 kAnswerTimeoutMs = 3000;

    explicit SingleInstance(const QString& dataFolder, QObject* parent = nullptr);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Decides the role; as Second, asks the first instance to come forward, waiting
    // with events running at most `answerTimeoutMs`. Calling it again returns the
    // role already decided.
    Role start(qint64 answerTimeoutMs = kAnswerTimeoutMs);
    Role role() const { return role_; }
    // As Second: whether the first instance confirmed the request.
    bool answered() const { return answered_; }
    // As First: whether the local socket listens.
    bool listening() const { return server_ && server_->isListening(); }

    QString serverName() const { return serverName_; }
    static QString ServerNameFor(const QString& dataFolder);

signals:
    // A later start asked for the main window.
    void activationRequested();

private:
    Role takeLock();
    void listen();
    bool askFirst(qint64 timeoutMs);
    void acceptConnections();

    QString folder_;
    QString serverName_;
    int lockFd_ = -1;
    QLocalServer* server_ = nullptr;
    Role role_ = Role::Undecided;
    bool answered_ = false;
};

}  // namespace platform
