#include "platform/DataFolder.h"

#include <QDir>
#include <QFileInfo>

#include "core/Environment.h"

namespace platform {

QString ResolveDataFolder(const QStringList& arguments) {
    for (int i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--home")) return QDir(arguments[i + 1]).absolutePath();
    }
    for (const QString& a : arguments) {
        if (a.startsWith(QLatin1String("--home="))) return QDir(a.mid(7)).absolutePath();
    }
    const QString env = qEnvironmentVariable("GLIMMERPOST_HOME");
    if (!env.isEmpty()) return QDir(env).absolutePath();
    QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (xdg.isEmpty() || QDir::isRelativePath(xdg)) xdg = QDir::homePath() + QLatin1String("/.local/share");
    return QDir(xdg).absoluteFilePath(QLatin1String("glimmerpost"));
}

QString UseDataFolder(const QStringList& arguments) {
    const QString folder = ResolveDataFolder(arguments);
    if (!QDir().mkpath(folder)) return QString();
    MiscFuncs::SetProgramFolder(QFile::encodeName(folder).toStdString());
    return folder;
}

}  // namespace platform
