#pragma once
// Pieces shared by the peers and the client runners: the child-process set-up and
// the reading of JSON-lines records. Internal to the test support library.

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

namespace testing_support::detail {

inline constexpr char kPython[] = "/usr/bin/python3";

// The folder of the peer scripts (tests/peers).
QString PeersDir();
// Our environment without what would point Debian's interpreter at other modules.
QProcessEnvironment ChildEnvironment();
// Makes a child die with the test program (SIGTERM when the program ends, however).
void DieWithParent(QProcess& process);
// The complete lines of a JSON-lines file that hold objects; a line still being
// written (no LF yet) is left for the next read.
QList<QJsonObject> ReadJsonLines(const QString& path);
// The last `max` bytes of a file, for failure messages.
QByteArray FileTail(const QString& path, qsizetype max = 4000);

}  // namespace testing_support::detail
