#include "clear_tool/ClearToolRun.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>

#include <filesystem>
#include <system_error>

#include "clear_tool/ClearTool.h"
#include "core/Environment.h"
#include "platform/DataFolder.h"
#include "platform/MessageBoxes.h"

namespace modClear {

const CommandLine::Usage kUsage{
    "clearglp",
    "ClearGLP gives your mail program its own account settings back and deletes the\n"
    "files Glimmerpost saved for that; run it, with Glimmerpost closed, before removing it.",
    {}};

int RunProgram(QApplication& app, const CommandLine::Parsed&, const std::function<void()>& beforeStart) {
    QApplication::setApplicationDisplayName(QStringLiteral("ClearGLP"));
    platform::InstallMessageBoxes();
    // The folder is looked up as Glimmerpost finds it, and never created here.
    const std::filesystem::path folder = QFile::encodeName(platform::ResolveDataFolder(app.arguments())).toStdString();
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) MiscFuncs::SetProgramFolder(folder);
    if (beforeStart) beforeStart();
    const int code = Main(folder);
    // What the boxes released with deleteLater goes before the application does.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return code;
}

}  // namespace modClear
