#pragma once
// GlimmerpostProgram: the program as one whole. It owns the program-wide objects
// (the four settings files, the program settings, the domain list, the sender list,
// the message store, the rule set and the main window), brings them up in the
// start-up order and takes them down again in the shut-down order.
//
// Start-up: the "is loading" line; the accounts folder; OptionsIni, accounts.ini,
// aliases.ini, resources.ini; the local ports and LogLevel (a value that is no
// 16-bit number counts as 0); the lists, each joined to the main window's refill of
// its page as it is created: domain list, sender list, message store (attached to the
// sender list, which then runs the moves of the senders it expired), rule set; the
// main window (hidden); the SMTP authentication dialog; the setup wizard when
// accounts.ini holds no account, and the end of the run when it still holds none;
// the address import when the wizard asked for it; the account folders; the pages'
// icons and contents; the geometry from [display] and the start in the tray; page 1,
// rest state, loaded; the windows of EngineSet::kLoadOrder, letting pending events
// run after each; the tray icon; "has been loaded successfuly"; glpcs.flg; the caption.
//
// Failures: a step that fails logs "Error in MainForm::Load " and what failed, and
// the later steps do not run. Before the main window exists the program then shuts
// down in order and ends with exit code 1; once it exists, the window is shown with
// its tray icon and the program keeps running, so it can always be seen and ended.
//
// Shut-down, once, each step going on past the failures of the one before: unload
// the loaded windows (EngineSet::kUnloadOrder); leave the lists' events and release
// the message store (which writes its header caches), the domain list, the sender
// list, the rule set; delete glpcs.flg, unless this run never had a message store
// (its caches are then as stale as the marker says); write [display] when the window
// was laid out; remove the tray icon; trim glplog.txt and msglog.txt; log " closed".
// A request to shut down while start-up runs (a signal, the session's end) is kept
// and taken as soon as the step at hand is over; a modal box or dialog that the step
// waits on is closed for it. Once running, a request closes the open boxes and
// editors first (each answers as cancelled, never "Yes"), and while the event loop
// runs the end itself is a queued call: it runs on a later turn of the loop, after
// the handler that asked (a menu item, a button, a box, a signal's socket event) and
// the handlers that waited on the closed boxes have returned, so that no window,
// menu or engine is released inside one of its own handlers. Handlers still check, after every modal call, that the lists they
// work on exist (Senders() and the others are null once released).
//
// Other modules plug in before Start(): their windows into Engines(), the main
// window's commands into FormHooks(), the pages' refills into Views(), the setup
// wizard and the address import into their setters.

#include <QPointer>

#include <functional>
#include <memory>
#include <string_view>

#include "core/ChangeEvent.h"
#include "mainwindow/EngineSet.h"
#include "mainwindow/GlimmerpostMainForm.h"
#include "mainwindow/ProgramEditors.h"
#include "platform/AliveGuard.h"

class CIniFile;
class CDomains;
class CMailRules;
class CMessages;
class CSenders;
class ProgramSettings;
class QWidget;

namespace mainwindow {

struct SetupWizardResult {
    bool openImportAfterSetup = false;  // the user asked for the address import next
};
// Runs the wizard modally over its owner and returns when it has closed.
using SetupWizardFn = std::function<SetupWizardResult(GlimmerpostProgram&, QWidget* owner)>;
// Runs the address-book import modally over its owner.
using AddressImportFn = std::function<void(GlimmerpostProgram&, QWidget* owner)>;

// The pages that show the lists; each refills its grid from the program's lists.
struct ListViews {
    std::function<void(GlimmerpostProgram&)> fillSenders;  // senders and messages (page 1)
    // The message store's changes; while empty they go to fillSenders.
    std::function<void(GlimmerpostProgram&)> fillMessages;
    std::function<void(GlimmerpostProgram&)> fillDomains;  // domains (page 2)
    std::function<void(GlimmerpostProgram&)> fillRules;    // the rule list (page 3)
};

class GlimmerpostProgram {
public:
    enum class StartResult {
        Running,       // the program runs (also after a failure once the window existed)
        Unconfigured,  // no account after the setup wizard: the program has ended
        Failed,        // a failure before the main window existed: the program has ended
        ShutDown,      // a shut-down was requested while starting, and has run
    };

    GlimmerpostProgram();
    ~GlimmerpostProgram();
    GlimmerpostProgram(const GlimmerpostProgram&) = delete;
    GlimmerpostProgram& operator=(const GlimmerpostProgram&) = delete;

    // What other modules fill before Start(). Of the window's hooks, the program
    // supplies the waiting-senders count, the [display] TrayCloseMsgShow pair and the
    // address import when they are left empty, and always its own shutDown and
    // quitApplication.
    EngineSet& Engines() { return engines_; }
    MainFormHooks& FormHooks() { return formHooks_; }
    ListViews& Views() { return views_; }
    ProgramEditors& Editors() { return editors_; }
    void SetSetupWizard(SetupWizardFn wizard) { wizard_ = std::move(wizard); }
    void SetAddressImport(AddressImportFn import) { import_ = std::move(import); }
    // How the program ends its event loop; default QCoreApplication::exit(code).
    void SetQuit(std::function<void(int code)> quit) { quit_ = std::move(quit); }
    // Told the name of each settings file and list as start-up creates it.
    void SetTrace(std::function<void(std::string_view)> trace) { trace_ = std::move(trace); }

    // Runs the start-up; call once.
    StartResult Start();
    // The orderly end without a question; runs once. While start-up runs, it is
    // taken as soon as the step at hand is over.
    void RequestShutDown();
    // A later start of the program asked for the main window.
    void ActivateFromOtherInstance();

    bool shutDownDone() const { return shutDownDone_; }
    // False from the start of the shut-down on, and once the program is destroyed: a
    // handler that let events run checks it before it touches the program again.
    platform::AliveToken::Watch RunningWatch() const { return running_.watch(); }
    int exitCode() const { return exitCode_; }

    // The program-wide objects; the lists and the window are null before start-up
    // has created them and after shut-down has released them.
    CIniFile& OptionsIni();
    CIniFile& AccountsIni() { return *accountsIni_; }
    CIniFile& AliasesIni() { return *aliasesIni_; }
    CIniFile& ResourcesIni() { return *resourcesIni_; }
    ProgramSettings& Settings() { return *settings_; }
    int LocalPOP3Port() const { return pop3Port_; }
    int LocalSMTPPort() const { return smtpPort_; }
    // Reads the local ports again (the options were saved): the engines loaded next
    // listen on them.
    void ReadLocalPorts();
    CDomains* Domains() { return domains_.get(); }
    CSenders* Senders() { return senders_.get(); }
    CMessages* Messages() { return messages_.get(); }
    CMailRules* Rules() { return rules_.get(); }
    GlimmerpostMainForm* MainForm() { return form_.get(); }

private:
    struct Step;
    bool runSteps(const Step* steps, std::size_t count);
    bool runStep(const Step& step);
    void failed(std::string_view what);
    void trace(std::string_view what);

    // Start-up steps; false ends the start-up (a failing step has logged why).
    bool ensureAccountsFolder();
    bool openSettings();
    bool readSettings();
    bool createLists();
    bool createMainForm();
    bool loadAuthDialog();
    bool runSetupWizard();
    bool runAddressImport();
    bool checkAccountFolders();
    bool fillPages();
    bool restoreWindow();
    bool showFirstPage();
    bool loadWindows();
    bool addTrayIcon();
    bool finishLoading();

    MainFormHooks completedHooks();
    void subscribe(MiscFuncs::ChangeEvent& event, MiscFuncs::ChangeEvent::Token& token,
                   std::function<void(GlimmerpostProgram&)> ListViews::*fill);
    void showAfterFailure();
    void endStart(int code);

    // Shut-down.
    void runShutDown();
    void releaseLists();
    void writeDisplay();
    void trimLogs();
    void quit(int code);

    EngineSet engines_;
    MainFormHooks formHooks_;
    ListViews views_;
    ProgramEditors editors_;
    SetupWizardFn wizard_;
    AddressImportFn import_;
    std::function<void(int)> quit_;
    std::function<void(std::string_view)> trace_;

    std::unique_ptr<ProgramSettings> settings_;  // holds OptionsIni
    std::unique_ptr<CIniFile> accountsIni_, aliasesIni_, resourcesIni_;
    int pop3Port_ = 0, smtpPort_ = 0;
    std::unique_ptr<CDomains> domains_;
    std::unique_ptr<CSenders> senders_;
    std::unique_ptr<CMessages> messages_;
    std::unique_ptr<CMailRules> rules_;
    MiscFuncs::ChangeEvent::Token domainsToken_ = 0, sendersToken_ = 0, messagesToken_ = 0;
    std::unique_ptr<GlimmerpostMainForm> form_;

    bool openImportAfterSetup_ = false;
    bool unconfigured_ = false;
    bool viewsReady_ = false;
    bool laidOut_ = false;        // the geometry was restored: [display] is written at the end
    bool hadMessageStore_ = false;
    bool started_ = false, starting_ = false;
    bool shutDownRequested_ = false, shutDownDone_ = false;
    bool activationPending_ = false;
    bool deferredShutDown_ = false;  // a shut-down waits for a closed box's handler
    bool shutDownQueued_ = false;    // the request has come round the event loop once
    platform::AliveToken alive_;
    platform::AliveToken running_;  // expires when the shut-down begins
    int exitCode_ = 0;
};

}  // namespace mainwindow
