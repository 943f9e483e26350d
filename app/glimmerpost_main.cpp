// Glimmerpost: one instance per data folder, started and ended as one whole.
#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "core/CommandLine.h"

#include "dialogs/DialogsAttach.h"
#include "mainwindow/ProgramEngines.h"
#include "mainwindow/ProgramPages.h"
#include "mainwindow/ProgramStartup.h"
#include "mainwindow/frmMonitor.h"
#include "platform/DataFolder.h"
#include "platform/EventWait.h"
#include "platform/MessageBoxes.h"
#include "platform/ProgramMain.h"
#include "platform/ShutdownRequests.h"
#include "platform/SingleInstance.h"

namespace {

const CommandLine::Usage kUsage{
    "glimmerpost",
    "Glimmerpost collects the mail of your POP3 accounts, admits it only from senders\n"
    "you have approved, and serves it to your mail program on localhost.",
    {{"--monitor", "also show the connection monitor (the engines' socket states)"}}};

int run(QApplication& app, const CommandLine::Parsed& parsed) {
    const QString folder = platform::UseDataFolder(app.arguments());
    if (folder.isEmpty()) {
        std::fprintf(stderr, "glimmerpost: the data folder cannot be created\n");
        return 1;
    }
    // Decided before any file is touched: a later start must leave the running
    // instance's marker, settings and logs as they are.
    platform::SingleInstance instance(folder);
    switch (instance.start()) {
    case platform::SingleInstance::Role::Second: return 0;
    case platform::SingleInstance::Role::Failed:
        std::fprintf(stderr, "glimmerpost: the data folder cannot be locked\n");
        return 1;
    default: break;
    }
    platform::InstallEventPump();
    platform::InstallMessageBoxes();

    // Declared first: the program unloads the engines while it is destroyed.
    mainwindow::ProgramEngines engines;
    mainwindow::ProgramPages pages;
    dialogs::ProgramDialogs dialogs;
    mainwindow::GlimmerpostProgram program;
    engines.Attach(program);
    pages.Attach(program, engines);
    dialogs.Attach(program, engines);
    platform::ShutdownRequests requests([&program] { program.RequestShutDown(); });
    requests.watchSignals();
    requests.watchApplication(&app);
    QObject::connect(&instance, &platform::SingleInstance::activationRequested, &app,
                     [&program] { program.ActivateFromOtherInstance(); });

    program.Start();
    if (program.shutDownDone()) return program.exitCode();
    // The connection monitor, on request; it goes before the program it looks at.
    std::unique_ptr<mainwindow::frmMonitor> monitor;
    if (std::find(parsed.switches.begin(), parsed.switches.end(), mainwindow::frmMonitor::kSwitch) !=
        parsed.switches.end()) {
        monitor = std::make_unique<mainwindow::frmMonitor>([&engines] { return mainwindow::LoadedEngines(engines); });
        monitor->show();
    }
    return app.exec();
}

}  // namespace

int main(int argc, char** argv) { return platform::RunProgramMain(argc, argv, kUsage, run); }
