#include "platform/OpenFile.h"

#include <QDesktopServices>
#include <QMimeDatabase>
#include <QProcess>
#include <QUrl>

#include <system_error>

#include "core/Log.h"

namespace platform {
namespace {

// A query of the desktop's settings that hangs must not hold the window for long.
constexpr int kQueryTimeoutMs = 3000;
constexpr qsizetype kHandlerCap = 1024;

FileOpener& opener() {
    static FileOpener o;
    return o;
}

QString mimeTypeOf(const std::filesystem::path& file) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(QString::fromStdString(file.string()));
    // A stored message whose content the database cannot place is still a message.
    if (!type.isValid() || type.isDefault() || type.name() == QLatin1String("text/plain"))
        return QStringLiteral("message/rfc822");
    return type.name();
}

bool openThroughAssociation(const std::filesystem::path& file) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
}

}  // namespace

std::string DesktopHandlerOf(const std::filesystem::path& file) {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mimeTypeOf(file)});
    if (!query.waitForStarted(kQueryTimeoutMs)) return {};
    if (!query.waitForFinished(kQueryTimeoutMs)) {
        query.kill();
        query.waitForFinished(kQueryTimeoutMs);
        return {};
    }
    if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0) return {};
    return QString::fromUtf8(query.readAllStandardOutput().left(kHandlerCap)).trimmed().toStdString();
}

OpenFileResult OpenWithDesktop(const std::filesystem::path& file) {
    const FileOpener& o = opener();
    const std::string handler = o.findHandler ? o.findHandler(file) : DesktopHandlerOf(file);
    if (handler.find_first_not_of(" \t\r\n") == std::string::npos) return OpenFileResult::NoHandler;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        MiscFuncs::WriteLog(1, "#", "Error in OpenWithDesktop no such file " + file.string());
        return OpenFileResult::Failed;
    }
    const bool opened = o.open ? o.open(file) : openThroughAssociation(file);
    return opened ? OpenFileResult::Opened : OpenFileResult::Failed;
}

void SetFileOpener(FileOpener fileOpener) { opener() = std::move(fileOpener); }

}  // namespace platform
