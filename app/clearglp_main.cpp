// ClearGLP: message boxes only; see clear_tool/ClearTool.h.
#include <QApplication>
#include <QFile>

#include <filesystem>
#include <system_error>

#include "clear_tool/ClearTool.h"
#include "core/CommandLine.h"
#include "core/Environment.h"
#include "platform/DataFolder.h"
#include "platform/MessageBoxes.h"
#include "platform/ProgramMain.h"

namespace {

const CommandLine::Usage kUsage{
    "clearglp",
    "ClearGLP gives your mail program its own account settings back and deletes the\n"
    "files Glimmerpost saved for that; run it, with Glimmerpost closed, before removing it.",
    {}};

int run(QApplication& app, const CommandLine::Parsed&) {
    QApplication::setApplicationDisplayName(QStringLiteral("ClearGLP"));
    platform::InstallMessageBoxes();
    // The folder is looked up as Glimmerpost finds it, and never created here.
    const std::filesystem::path folder = QFile::encodeName(platform::ResolveDataFolder(app.arguments())).toStdString();
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) MiscFuncs::SetProgramFolder(folder);
    return modClear::Main(folder);
}

}  // namespace

int main(int argc, char** argv) { return platform::RunProgramMain(argc, argv, kUsage, run); }
