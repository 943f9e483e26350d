// ClearGLP: message boxes only; see clear_tool/ClearTool.h.
#include <QApplication>
#include <QFile>

#include "clear_tool/ClearTool.h"
#include "core/Environment.h"
#include "platform/DataFolder.h"
#include "platform/MessageBoxes.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("ClearGLP"));
    platform::InstallMessageBoxes();
    // The folder is looked up as Glimmerpost finds it, and never created here.
    const std::filesystem::path folder = QFile::encodeName(platform::ResolveDataFolder(app.arguments())).toStdString();
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) MiscFuncs::SetProgramFolder(folder);
    return modClear::Main(folder);
}
