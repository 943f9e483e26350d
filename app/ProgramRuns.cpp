#include "app/ProgramRuns.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "dialogs/DialogsAttach.h"
#include "mainwindow/ProgramEngines.h"
#include "mainwindow/ProgramPages.h"
#include "mainwindow/ProgramStartup.h"
#include "mainwindow/frmMonitor.h"
#include "platform/DataFolder.h"
#include "platform/EventWait.h"
#include "platform/MessageBoxes.h"
#include "platform/ShutdownRequests.h"
#include "platform/SingleInstance.h"

namespace app {

const CommandLine::Usage kGlimmerpostUsage{
    "glimmerpost",
    "Glimmerpost collects the mail of your POP3 accounts, admits it only from senders\n"
    "you have approved, and serves it to your mail program on localhost.",
    {{"--monitor", "also show the connection monitor (the engines' socket states)"}}};

namespace {

// What was released with deleteLater after the event loop had ended (or before it
// ran) goes now, before the objects it belonged to.
void deleteDeferred() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace

int RunGlimmerpost(QApplication& app, const CommandLine::Parsed& parsed,
                   const std::function<void(RunningGlimmerpost&)>& beforeStart) {
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

    if (beforeStart) {
        RunningGlimmerpost running{program, engines};
        beforeStart(running);
    }
    program.Start();
    if (program.shutDownDone()) {
        deleteDeferred();
        return program.exitCode();
    }
    // The connection monitor, on request; it goes before the program it looks at.
    std::unique_ptr<mainwindow::frmMonitor> monitor;
    if (std::find(parsed.switches.begin(), parsed.switches.end(), mainwindow::frmMonitor::kSwitch) !=
        parsed.switches.end()) {
        monitor = std::make_unique<mainwindow::frmMonitor>([&engines] { return mainwindow::LoadedEngines(engines); });
        monitor->show();
    }
    const int code = app.exec();
    // The loop ended from outside (the application was told to quit): the orderly
    // end runs now, with no event loop left to queue it on.
    if (!program.shutDownDone()) program.RequestShutDown();
    monitor.reset();
    deleteDeferred();
    return program.shutDownDone() ? program.exitCode() : code;
}

}  // namespace app
