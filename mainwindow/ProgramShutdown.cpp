// GlimmerpostProgram: the shut-down sequence and the release of the program's objects.
#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <exception>
#include <string>

#include "core/CDomains.h"
#include "core/CIniFile.h"
#include "core/CMailRules.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/DisplaySettings.h"
#include "core/Log.h"
#include "core/LogTrim.h"
#include "core/ProgramFiles.h"
#include "core/ProgramSettings.h"
#include "core/Prompt.h"
#include "core/StartupFiles.h"
#include "mainwindow/ModalWindows.h"
#include "mainwindow/ProgramStartup.h"
#include "platform/TrayIcon.h"
#include "platform/WindowHelpers.h"

namespace mainwindow {
namespace {

// One shut-down step; a failure in it is logged and the next step runs all the same.
template <typename F>
void ignoringErrors(const char* what, F&& step) {
    try {
        step();
    } catch (const std::exception& e) {
        MiscFuncs::WriteLog(0, "#", std::string("Error in MainForm::Unload ") + what + ": " + e.what());
    } catch (...) {
        MiscFuncs::WriteLog(0, "#", std::string("Error in MainForm::Unload ") + what);
    }
}

}  // namespace

GlimmerpostProgram::~GlimmerpostProgram() {
    // Without an orderly end (a test, or an end from outside) the objects are still
    // released in order: windows first, then the lists, and the message store writes
    // its caches as it goes.
    running_.expire();
    if (!shutDownDone_) {
        engines_.UnloadAll();
        releaseLists();
    }
    form_.reset();
}

void GlimmerpostProgram::RequestShutDown() {
    if (shutDownDone_) return;
    // From here on no question is answered with a button that acts, also not the one
    // open now.
    Prompt::SetClosing(true);
    if (starting_) {
        shutDownRequested_ = true;
        // A box or wizard that start-up waits on would hold the end back until
        // someone answers it; closed, it answers as cancelled.
        CloseModalWindows();
        return;
    }
    // A handler waits on an open box or editor: closed, it answers as cancelled, and
    // the handler returns before the lists it works on are released.
    const bool closedBoxes = CloseModalWindows() > 0;
    // While the event loop runs, the request came from inside a handler (a menu, a
    // button, a box, a socket event): what it would release (the tray menu, the
    // engines, the windows) may be the very object whose handler runs. The end runs
    // as a queued call, once that handler has returned.
    if (closedBoxes || (!shutDownQueued_ && QThread::currentThread()->loopLevel() > 0)) {
        if (!deferredShutDown_) {
            deferredShutDown_ = true;
            QTimer::singleShot(0, QCoreApplication::instance(), [this, alive = alive_.watch()] {
                if (!alive) return;
                deferredShutDown_ = false;
                shutDownQueued_ = true;
                RequestShutDown();
            });
        }
        return;
    }
    // The window's own end removes the tray icon and closes it, then calls back here.
    if (form_ && !form_->shutDownDone()) form_->ShutDown();
    if (shutDownDone_) return;
    runShutDown();
    quit(exitCode_);
}

void GlimmerpostProgram::endStart(int code) {
    exitCode_ = code;
    RequestShutDown();
}

void GlimmerpostProgram::runShutDown() {
    if (shutDownDone_) return;
    shutDownDone_ = true;
    running_.expire();
    Prompt::SetClosing(true);
    engines_.UnloadAll();
    ignoringErrors("lists", [this] { releaseLists(); });
    // The marker says the caches may be stale; only the release of a message store
    // has made them true again.
    if (hadMessageStore_) ignoringErrors("marker", [] { Startup::DeleteRunningMarker(); });
    if (form_) MiscFuncs::UnhookWindow(form_.get());
    // A window that was never laid out would overwrite the stored geometry with its
    // design values.
    if (laidOut_ && form_) ignoringErrors("display", [this] { writeDisplay(); });
    MiscFuncs::RemoveTrayIcon();
    ignoringErrors("logs", [this] { trimLogs(); });
    MiscFuncs::WriteLog(0, "i", Startup::ClosedLogText());
    Prompt::SetClosing(false);
}

void GlimmerpostProgram::releaseLists() {
    viewsReady_ = false;
    if (messages_) messages_->Change.Unsubscribe(messagesToken_);
    if (domains_) domains_->Change.Unsubscribe(domainsToken_);
    if (senders_) {
        senders_->Change.Unsubscribe(sendersToken_);
        senders_->DetachMessageStore();
    }
    messages_.reset();
    domains_.reset();
    senders_.reset();
    rules_.reset();
}

void GlimmerpostProgram::writeDisplay() {
    const WindowGeometry g = form_->recordedGeometry();
    if (!Display::WriteWindowState(OptionsIni(), g.x, g.y, g.width, g.height, form_->hiddenOrMinimised()))
        MiscFuncs::WriteLog(0, "#", "Error in MainForm::Unload could not write [display]");
}

void GlimmerpostProgram::trimLogs() {
    // A start that failed before the settings were opened trims by the file as it is.
    std::unique_ptr<ProgramSettings> fallback;
    if (!settings_) fallback = std::make_unique<ProgramSettings>(ProgramFiles::OptionsIniPath().string());
    const ProgramSettings& settings = settings_ ? *settings_ : *fallback;
    LogTrim::TrimLogFile(ProgramFiles::ProgramLogPath(), settings);
    LogTrim::TrimLogFile(ProgramFiles::MessageLogPath(), settings);
}

void GlimmerpostProgram::quit(int code) {
    if (quit_) quit_(code);
    else QCoreApplication::exit(code);
}

}  // namespace mainwindow
