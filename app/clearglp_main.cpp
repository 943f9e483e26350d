// ClearGLP: message boxes only; see clear_tool/ClearTool.h.
#include <QApplication>
#include <QFile>

#include <cstdio>
#include <string>
#include <vector>

#include "clear_tool/ClearTool.h"
#include "core/CommandLine.h"
#include "core/Environment.h"
#include "platform/DataFolder.h"
#include "platform/MessageBoxes.h"

namespace {

constexpr const char* kSummary =
    "ClearGLP gives your mail program its own account settings back and deletes the\n"
    "files Glimmerpost saved for that; run it, with Glimmerpost closed, before removing it.";

// --help and --version answer before anything is made; a wrong option ends with 2.
int answerCommandLine(CommandLine::Action action, const std::string& error = {}) {
    switch (action) {
    case CommandLine::Action::Help:
        std::fputs(CommandLine::UsageText("clearglp", kSummary).c_str(), stdout);
        return 0;
    case CommandLine::Action::Version:
        std::printf("%s\n", CommandLine::VersionLine("clearglp").c_str());
        return 0;
    default:
        std::fprintf(stderr, "clearglp: %s\n%s", error.c_str(), CommandLine::UsageText("clearglp", kSummary).c_str());
        return 2;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const CommandLine::Action early = CommandLine::EarlyAction(CommandLine::ArgumentsOf(argc, argv));
    if (early != CommandLine::Action::Run) return answerCommandLine(early);
    QApplication app(argc, argv);
    // The toolkit has taken its own options out of the list by now.
    const CommandLine::Parsed parsed = CommandLine::Parse(CommandLine::ArgumentsOf(argc, argv));
    if (parsed.action != CommandLine::Action::Run) return answerCommandLine(parsed.action, parsed.error);
    QApplication::setApplicationDisplayName(QStringLiteral("ClearGLP"));
    platform::InstallMessageBoxes();
    // The folder is looked up as Glimmerpost finds it, and never created here.
    const std::filesystem::path folder = QFile::encodeName(platform::ResolveDataFolder(app.arguments())).toStdString();
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) MiscFuncs::SetProgramFolder(folder);
    return modClear::Main(folder);
}
