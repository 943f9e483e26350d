// Every way out of Glimmerpost and ClearGLP, driven as a user drives them: the real
// programs' main bodies (app/ProgramRuns.h, clear_tool/ClearToolRun.h) run on a fresh
// data folder under the offscreen platform, and a driver answers with real mouse and
// key events on the real tray menu, buttons and message boxes (QTest), real signals
// and the session manager's request. Nothing calls the shut-down directly.
//
//   glp_exit_paths WAY      runs one way out; exit code 0 when the program ended
//                           with 0 and its end left the data folder as it should
//
// CTest runs every way under valgrind memcheck (tests/exit_paths/CMakeLists.txt),
// which fails the run on any invalid read, write or free: a window, menu or engine
// released inside one of its own handlers shows there even where Qt itself is not
// instrumented.
#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "app/ProgramRuns.h"
#include "clear_tool/ClearToolRun.h"
#include "mainwindow/GlimmerpostMainForm.h"
#include "mainwindow/ProgramStartup.h"
#include "platform/ProgramMain.h"
#include "support/Peers.h"

namespace {

namespace fs = std::filesystem;

constexpr int kPollMs = 50;
// Each step's wait: generous, for valgrind.
constexpr qint64 kStepMs = 180000;
constexpr const char* kExitQuestion = "Are you sure you want to close Glimmerpost?";
constexpr const char* kAccount = "me@example.com";

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "glp_exit_paths: FAILED: %s\n", why.c_str());
    std::fflush(stderr);
    std::_Exit(3);
}

qint64 nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

// One step of a way out: it acts once `ready` holds.
struct Step {
    std::string what;
    std::function<bool()> ready;
    std::function<void()> act;
};

// Runs the steps in order from the event loop. The next look is scheduled before a
// step acts, so a step whose action opens a nested loop (a box) is followed inside it.
class Driver {
public:
    void add(std::string what, std::function<bool()> ready, std::function<void()> act) {
        steps_.push_back({std::move(what), std::move(ready), std::move(act)});
    }
    void start() {
        deadline_ = nowMs() + kStepMs;
        QTimer::singleShot(kPollMs, [this] { tick(); });
    }
    bool done() const { return next_ == steps_.size(); }
    std::string pending() const { return done() ? "" : steps_[next_].what; }

private:
    void tick() {
        if (done()) return;
        QTimer::singleShot(kPollMs, [this] { tick(); });
        if (ticking_) return;
        ticking_ = true;
        const Step& step = steps_[next_];
        if (step.ready()) {
            ++next_;
            deadline_ = nowMs() + kStepMs;
            std::fprintf(stderr, "glp_exit_paths: %s\n", step.what.c_str());
            ticking_ = false;
            step.act();
            return;
        }
        ticking_ = false;
        if (nowMs() > deadline_) fail("timed out waiting for: " + step.what);
    }

    std::vector<Step> steps_;
    std::size_t next_ = 0;
    qint64 deadline_ = 0;
    bool ticking_ = false;
};

// ---------------------------------------------------------------- what the user sees

QMessageBox* boxSaying(const std::string& text) {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    return box && box->isVisible() && box->text().toStdString().find(text) != std::string::npos ? box : nullptr;
}

QMenu* visibleMenu(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String(name) && w->isVisible()) return qobject_cast<QMenu*>(w);
    return nullptr;
}

QAction* menuItem(QMenu* menu, const char* name) {
    for (QAction* a : menu->actions())
        if (a->objectName() == QLatin1String(name)) return a;
    fail(std::string("no item ") + name);
}

void clickItem(QMenu* menu, const char* name) {
    const QPoint at = menu->actionGeometry(menuItem(menu, name)).center();
    QTest::mouseMove(menu, at);
    QTest::mouseClick(menu, Qt::LeftButton, {}, at);
}

void clickButton(QAbstractButton* button) {
    if (!button) fail("the button is missing");
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// ---------------------------------------------------------------- the data folder

struct Folder {
    fs::path path;
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "glp-exit-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) fail("no temporary folder");
        path = pattern;
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string log() const { return readFile(path / "glplog.txt"); }
};

// One account that collects at once from a port where nothing answers, and the
// local servers on ports held for this run.
void configure(const Folder& f, quint16 pop3, quint16 smtp, quint16 refusing) {
    writeFile(f.path / "accounts.ini", std::string("[") + kAccount + "]\r\nPOP3Server=127.0.0.1\r\nPOP3ServerPort=" +
                                           std::to_string(refusing) + "\r\nPOP3UserName=me\r\nAccountEnabled=1\r\n" +
                                           "SMTPServer=127.0.0.1\r\nSMTPServerPort=" + std::to_string(refusing) +
                                           "\r\n");
    writeFile(f.path / "glimmerpost.ini", "[options]\r\nPOP3ServerPort=" + std::to_string(pop3) +
                                              "\r\nSMTPServerPort=" + std::to_string(smtp) +
                                              "\r\n[display]\r\nwindowstate=0\r\n");
    for (const char* leaf : {"InBox", "OutBox", "WaitingAuth", "Recycled"})
        fs::create_directories(f.path / "accounts" / kAccount / "MailDir" / leaf);
}

// ---------------------------------------------------------------- the ways out

using Way = std::function<void(Driver&, app::RunningGlimmerpost&)>;

bool running(app::RunningGlimmerpost& r, const Folder& f) {
    mainwindow::GlimmerpostMainForm* form = r.program.MainForm();
    return form && form->loaded() && fs::exists(f.path / "glpcs.flg");
}

void popUpTrayMenu(app::RunningGlimmerpost& r) {
    // What the tray icon's right button does.
    r.program.MainForm()->ShowTrayMenu();
}

// The exit question, answered by a click on the button.
void answerExit(Driver& d, QMessageBox::StandardButton answer) {
    d.add(std::string("the exit question, ") + (answer == QMessageBox::Yes ? "Yes" : "No"),
          [] { return boxSaying(kExitQuestion) != nullptr; },
          [answer] { clickButton(boxSaying(kExitQuestion)->button(answer)); });
}

void trayMenuExit(Driver& d, app::RunningGlimmerpost& r, const Folder& f, bool keys) {
    d.add("the program runs", [&] { return running(r, f); }, [&r] { popUpTrayMenu(r); });
    d.add("the tray menu, Close Glimmerpost", [] { return visibleMenu("mnuSystray") != nullptr; }, [keys] {
        QMenu* menu = visibleMenu("mnuSystray");
        if (keys) QTest::keyClick(menu, Qt::Key_C);  // "&Close Glimmerpost"
        else clickItem(menu, "mExit");
    });
}

std::map<std::string, std::function<void(Driver&, app::RunningGlimmerpost&, const Folder&)>> programWays() {
    std::map<std::string, std::function<void(Driver&, app::RunningGlimmerpost&, const Folder&)>> ways;
    // Close Glimmerpost from the tray menu: No first (nothing changes), then Yes.
    ways["tray-menu"] = [](Driver& d, app::RunningGlimmerpost& r, const Folder& f) {
        trayMenuExit(d, r, f, false);
        answerExit(d, QMessageBox::No);
        d.add("the program still runs after No", [&] { return running(r, f) && !QApplication::activeModalWidget(); },
              [&r] { popUpTrayMenu(r); });
        d.add("the tray menu again, Close Glimmerpost", [] { return visibleMenu("mnuSystray") != nullptr; },
              [] { clickItem(visibleMenu("mnuSystray"), "mExit"); });
        answerExit(d, QMessageBox::Yes);
    };
    // The same with the keyboard: the item's mnemonic, then Y in the box.
    ways["tray-menu-keys"] = [](Driver& d, app::RunningGlimmerpost& r, const Folder& f) {
        trayMenuExit(d, r, f, true);
        d.add("the exit question, key Y", [] { return boxSaying(kExitQuestion) != nullptr; },
              [] { QTest::keyClick(boxSaying(kExitQuestion), Qt::Key_Y); });
    };
    // The main window's close box where the desktop has no tray (offscreen has none):
    // the window system's close request, then Yes.
    ways["close-box"] = [](Driver& d, app::RunningGlimmerpost& r, const Folder& f) {
        d.add("the program runs", [&] { return running(r, f); }, [&r] {
            QWindow* window = r.program.MainForm()->windowHandle();
            if (!window) fail("the main window has no window");
            QCoreApplication::postEvent(window, new QCloseEvent);
        });
        answerExit(d, QMessageBox::Yes);
    };
    // SIGTERM while the program runs.
    ways["sigterm"] = [](Driver& d, app::RunningGlimmerpost& r, const Folder& f) {
        d.add("the program runs, SIGTERM", [&] { return running(r, f); }, [] { ::kill(::getpid(), SIGTERM); });
    };
    // SIGTERM while the exit question (asked from the tray menu) is open: the box
    // closes as No would, and the orderly end follows.
    ways["sigterm-in-question"] = [](Driver& d, app::RunningGlimmerpost& r, const Folder& f) {
        trayMenuExit(d, r, f, false);
        d.add("the exit question is open, SIGTERM", [] { return boxSaying(kExitQuestion) != nullptr; },
              [] { ::kill(::getpid(), SIGTERM); });
    };
    // SIGTERM while the tray menu is open: the menu, popped up and holding the mouse,
    // goes with the program.
    ways["sigterm-menu-open"] = [](Driver& d, app::RunningGlimmerpost& r, const Folder& f) {
        d.add("the program runs", [&] { return running(r, f); }, [&r] { popUpTrayMenu(r); });
        d.add("the tray menu is open, SIGTERM", [] { return visibleMenu("mnuSystray") != nullptr; },
              [] { ::kill(::getpid(), SIGTERM); });
    };
    // The end of the desktop session: the session manager's request, as Qt emits it.
    ways["session-end"] = [](Driver& d, app::RunningGlimmerpost& r, const Folder& f) {
        d.add("the program runs, the session ends", [&] { return running(r, f); }, [] {
            const QMetaMethod signal = QMetaMethod::fromSignal(&QGuiApplication::commitDataRequest);
            const QMetaObject& meta = QGuiApplication::staticMetaObject;
            // The session manager is the signal's argument; the program's handler
            // takes none.
            void* args[] = {nullptr, nullptr};
            QMetaObject::activate(qApp, &meta, signal.methodIndex() - meta.methodOffset(), args);
        });
    };
    // A first start: the setup wizard's Cancel, then Yes to its question.
    ways["wizard-cancel"] = [](Driver& d, app::RunningGlimmerpost&, const Folder&) {
        d.add("the setup wizard, Cancel",
              [] {
                  QWidget* modal = QApplication::activeModalWidget();
                  return modal && modal->isVisible() && modal->findChild<QPushButton*>("bCancel");
              },
              [] { clickButton(QApplication::activeModalWidget()->findChild<QPushButton*>("bCancel")); });
        d.add("the wizard's question, Yes",
              [] { return boxSaying("Are you sure you want to close setup wizard?") != nullptr; },
              [] { clickButton(boxSaying("Are you sure you want to close setup wizard?")->button(QMessageBox::Yes)); });
    };
    return ways;
}

int runWithArguments(const std::vector<std::string>& arguments,
                     const std::function<int(QApplication&, const CommandLine::Parsed&)>& body,
                     const CommandLine::Usage& usage) {
    std::vector<std::string> storage = arguments;
    std::vector<char*> argv;
    for (std::string& a : storage) argv.push_back(a.data());
    argv.push_back(nullptr);
    return platform::RunProgramMain(static_cast<int>(storage.size()), argv.data(), usage, body);
}

int runProgramWay(const std::string& name) {
    const auto ways = programWays();
    const auto way = ways.find(name);
    if (way == ways.end()) fail("no way out named " + name);
    Folder folder;
    ::setenv("GLIMMERPOST_REGISTRY", (folder.path / "registry.reg").c_str(), 1);
    const testing_support::ReservedPort pop3, smtp;
    const testing_support::RefusingPort refusing;
    const bool firstStart = name == "wizard-cancel";
    if (!firstStart) configure(folder, pop3, smtp, refusing);
    Driver driver;
    const int code = runWithArguments(
        {"glimmerpost", "--home", folder.path.string()},
        [&](QApplication& a, const CommandLine::Parsed& parsed) {
            return app::RunGlimmerpost(a, parsed, [&](app::RunningGlimmerpost& r) {
                way->second(driver, r, folder);
                driver.start();
            });
        },
        app::kGlimmerpostUsage);
    if (!driver.done()) fail("the program ended before: " + driver.pending());
    if (code != 0) fail("exit code " + std::to_string(code));
    const std::string log = folder.log();
    if (firstStart) {
        if (log.find("glimmerpost is closing due to unconfigured accounts") == std::string::npos)
            fail("no unconfigured line in the log:\n" + log);
        if (fs::exists(folder.path / "accounts.ini") && !readFile(folder.path / "accounts.ini").empty())
            fail("the cancelled wizard wrote accounts.ini");
    } else {
        if (log.find("glimmerpost closed") == std::string::npos) fail("no closing line in the log:\n" + log);
        if (fs::exists(folder.path / "glpcs.flg")) fail("glpcs.flg is still there");
    }
    return 0;
}

// ClearGLP: Yes to its question, OK to its last box.
int runClearTool() {
    Folder folder;
    ::setenv("GLIMMERPOST_REGISTRY", (folder.path / "registry.reg").c_str(), 1);
    Driver driver;
    driver.add("ClearGLP's question, Yes", [] { return boxSaying("Caution!") != nullptr; },
               [] { clickButton(boxSaying("Caution!")->button(QMessageBox::Yes)); });
    driver.add("ClearGLP's last box, OK", [] { return boxSaying("You can uninstall Glimmerpost now") != nullptr; },
               [] { QTest::keyClick(boxSaying("You can uninstall Glimmerpost now"), Qt::Key_Return); });
    const int code = runWithArguments(
        {"clearglp", "--home", folder.path.string()},
        [&](QApplication& a, const CommandLine::Parsed& parsed) {
            return modClear::RunProgram(a, parsed, [&] { driver.start(); });
        },
        modClear::kUsage);
    if (!driver.done()) fail("ClearGLP ended before: " + driver.pending());
    if (code != 0) fail("exit code " + std::to_string(code));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: glp_exit_paths WAY\n");
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::unsetenv("GLIMMERPOST_HOME");
    const std::string way = argv[1];
    return way == "clearglp" ? runClearTool() : runProgramWay(way);
}
