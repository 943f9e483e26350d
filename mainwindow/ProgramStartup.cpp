// GlimmerpostProgram: the start-up sequence.
#include "mainwindow/ProgramStartup.h"

#include <exception>
#include <string>

#include "core/CDomains.h"
#include "core/CIniFile.h"
#include "core/CMailRules.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/DisplaySettings.h"
#include "core/Environment.h"
#include "core/InstallationSecret.h"
#include "core/Log.h"
#include "core/MailAccount.h"
#include "core/ProductInfo.h"
#include "core/ProgramFiles.h"
#include "core/ProgramSettings.h"
#include "core/Prompt.h"
#include "core/StartupFiles.h"
#include "platform/Text8.h"
#include "platform/WindowHelpers.h"

namespace mainwindow {

struct GlimmerpostProgram::Step {
    bool (GlimmerpostProgram::*run)();
};

GlimmerpostProgram::GlimmerpostProgram() = default;

CIniFile& GlimmerpostProgram::OptionsIni() { return settings_->Ini(); }

GlimmerpostProgram::StartResult GlimmerpostProgram::Start() {
    if (started_) return shutDownDone_ ? StartResult::ShutDown : StartResult::Running;
    started_ = starting_ = true;
    Prompt::SetClosing(false);
    MiscFuncs::WriteLog(0, "i", Startup::LoadingLogText());
    static constexpr Step kSteps[] = {
        {&GlimmerpostProgram::ensureAccountsFolder},
        {&GlimmerpostProgram::openSettings},    {&GlimmerpostProgram::readSettings},
        {&GlimmerpostProgram::createLists},     {&GlimmerpostProgram::createMainForm},
        {&GlimmerpostProgram::loadAuthDialog},  {&GlimmerpostProgram::runSetupWizard},
        {&GlimmerpostProgram::runAddressImport}, {&GlimmerpostProgram::checkAccountFolders},
        {&GlimmerpostProgram::fillPages},       {&GlimmerpostProgram::restoreWindow},
        {&GlimmerpostProgram::showFirstPage},   {&GlimmerpostProgram::loadWindows},
        {&GlimmerpostProgram::addTrayIcon},     {&GlimmerpostProgram::finishLoading},
    };
    const bool complete = runSteps(kSteps, std::size(kSteps));
    starting_ = false;
    if (unconfigured_) {
        endStart(0);
        return StartResult::Unconfigured;
    }
    if (!complete && !shutDownRequested_) {
        if (!form_) {
            endStart(1);
            return StartResult::Failed;
        }
        showAfterFailure();
    }
    if (shutDownRequested_) {
        endStart(0);
        return StartResult::ShutDown;
    }
    if (activationPending_) form_->ActivateFromOtherInstance();
    return StartResult::Running;
}

bool GlimmerpostProgram::runSteps(const Step* steps, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        // A shut-down asked for meanwhile is taken before anything more is started.
        if (shutDownRequested_) return false;
        if (!runStep(steps[i])) return false;
    }
    return !shutDownRequested_;
}

bool GlimmerpostProgram::runStep(const Step& step) {
    try {
        return (this->*step.run)();
    } catch (const std::exception& e) {
        failed(e.what());
    } catch (...) {
        failed("unknown error");
    }
    return false;
}

void GlimmerpostProgram::failed(std::string_view what) {
    MiscFuncs::WriteLog(0, "#", "Error in MainForm::Load " + std::string(what));
}

void GlimmerpostProgram::trace(std::string_view what) {
    if (trace_) trace_(what);
}

bool GlimmerpostProgram::ensureAccountsFolder() { return Startup::EnsureAccountsFolder(); }

bool GlimmerpostProgram::openSettings() {
    trace("OptionsIni");
    settings_ = std::make_unique<ProgramSettings>(ProgramFiles::OptionsIniPath().string());
    trace("accounts.ini");
    accountsIni_ = std::make_unique<CIniFile>(Accounts::ProgramAccounts());
    trace("aliases.ini");
    aliasesIni_ = std::make_unique<CIniFile>(ProgramFiles::AliasesIniPath().string());
    trace("resources.ini");
    resourcesIni_ = std::make_unique<CIniFile>(ProgramFiles::ResourcesIniPath().string());
    return true;
}

void GlimmerpostProgram::ReadLocalPorts() {
    if (!settings_) return;
    pop3Port_ = settings_->LocalPOP3Port();
    smtpPort_ = settings_->LocalSMTPPort();
}

bool GlimmerpostProgram::readSettings() {
    ReadLocalPorts();
    // A LogLevel that is no 16-bit number reads as the default: the start goes on.
    MiscFuncs::SetLogLevel(settings_->LogLevel());
    // Made at the first start; a start without one goes on, and nothing it sends or
    // receives then verifies.
    InstallationSecret::Ensure();
    return true;
}

bool GlimmerpostProgram::createLists() {
    trace("CDomains");
    domains_ = std::make_unique<CDomains>();
    subscribe(domains_->Change, domainsToken_, &ListViews::fillDomains);
    trace("CSenders");
    senders_ = std::make_unique<CSenders>();
    subscribe(senders_->Change, sendersToken_, &ListViews::fillSenders);
    trace("CMessages");
    messages_ = std::make_unique<CMessages>(CMessages::Start::LoadCaches);
    hadMessageStore_ = true;
    subscribe(messages_->Change, messagesToken_,
              views_.fillMessages ? &ListViews::fillMessages : &ListViews::fillSenders);
    // Runs the moves of the held mail of the senders that the sender list expired.
    senders_->AttachMessageStore(*messages_);
    trace("CMailRules");
    rules_ = std::make_unique<CMailRules>();
    return true;
}

void GlimmerpostProgram::subscribe(MiscFuncs::ChangeEvent& event, MiscFuncs::ChangeEvent::Token& token,
                                   std::function<void(GlimmerpostProgram&)> ListViews::*fill) {
    token = event.Subscribe([this, fill] {
        // Until the pages have been filled once, their first fill shows every change.
        if (viewsReady_ && views_.*fill) (views_.*fill)(*this);
    });
}

bool GlimmerpostProgram::createMainForm() {
    // The window's web-page commands take their addresses when it is made.
    ProductInfo::SetProductIdentity(ProductInfo::kProductName);
    MainFormIdentity identity;
    identity.caption = ProductInfo::MainWindowCaption();
    identity.productPage = ProductInfo::HomePage();
    identity.helpPage = ProductInfo::HelpPage();
    form_ = std::make_unique<GlimmerpostMainForm>(identity, completedHooks());
    return true;
}

MainFormHooks GlimmerpostProgram::completedHooks() {
    MainFormHooks h = formHooks_;
    if (!h.waitingSenders)
        h.waitingSenders = [this] {
            return senders_ ? static_cast<int>(senders_->List(SenderStatus::WaitingAuth).Count()) : 0;
        };
    if (!h.trayCloseMsgShown) h.trayCloseMsgShown = [this] { return Display::TrayCloseMsgShown(OptionsIni()); };
    if (!h.setTrayCloseMsgShown) h.setTrayCloseMsgShown = [this] { Display::SetTrayCloseMsgShown(OptionsIni()); };
    if (!h.importAddressBook && import_) h.importAddressBook = [this] { import_(*this, form_.get()); };
    // The end of the run is the program's own: it must run once and in order.
    h.shutDown = [this] {
        if (starting_) shutDownRequested_ = true;
        else runShutDown();
    };
    h.requestShutDown = [this] { RequestShutDown(); };
    h.quitApplication = [this] {
        if (!starting_) quit(exitCode_);
    };
    return h;
}

bool GlimmerpostProgram::loadAuthDialog() {
    engines_.Load(EngineSet::kAuthDialog, *this);
    return true;
}

bool GlimmerpostProgram::runSetupWizard() {
    if (Startup::NeedsSetupWizard(*accountsIni_)) {
        if (wizard_) openImportAfterSetup_ = wizard_(*this, form_.get()).openImportAfterSetup;
        else MiscFuncs::WriteLog(0, "i", "SetupWizard is not available");
    }
    if (!Startup::ClosesUnconfigured(*accountsIni_)) return true;
    MiscFuncs::WriteLog(0, "i", Startup::ClosingUnconfiguredLogText());
    unconfigured_ = true;
    return false;
}

bool GlimmerpostProgram::runAddressImport() {
    if (!openImportAfterSetup_) return true;
    if (import_) import_(*this, form_.get());
    else MiscFuncs::WriteLog(0, "i", "AddressBookImportDialog is not available");
    return true;
}

bool GlimmerpostProgram::checkAccountFolders() {
    if (!Startup::CheckAccountFolders(*accountsIni_, *settings_))
        Prompt::Ask(Startup::RuinedFoldersText(), ProductInfo::MainWindowCaption(), Prompt::Buttons::OK,
                    Prompt::Kind::Critical);
    return true;
}

bool GlimmerpostProgram::fillPages() {
    form_->ApplyResources(*resourcesIni_);
    form_->SetListIcons();
    // The tray menu's pictures are set as it loads; the senders grid uses its menu.
    engines_.Load(EngineSet::kTrayMenu, *this);
    if (views_.fillSenders) views_.fillSenders(*this);
    if (views_.fillRules) views_.fillRules(*this);
    return true;
}

bool GlimmerpostProgram::restoreWindow() {
    const Display::WindowGeometry g = Display::ReadWindowGeometry(OptionsIni());
    form_->RestoreGeometry(g.width, g.height, g.left, g.top);
    laidOut_ = true;
    form_->ShowAtStart(Display::StartsHidden(OptionsIni()));
    return true;
}

bool GlimmerpostProgram::showFirstPage() {
    if (views_.fillDomains) views_.fillDomains(*this);
    viewsReady_ = true;
    form_->ShowPage(1);
    form_->MarkLoaded();
    return true;
}

bool GlimmerpostProgram::loadWindows() {
    for (std::string_view name : EngineSet::kLoadOrder) {
        if (shutDownRequested_) return false;
        engines_.Load(name, *this);
        MiscFuncs::DoEvents();
    }
    return true;
}

bool GlimmerpostProgram::addTrayIcon() {
    // The window's own event handling is its procedure; it runs from its creation.
    form_->AddTrayIcon();
    return true;
}

bool GlimmerpostProgram::finishLoading() {
    MiscFuncs::SetBusyCursorForm(form_.get());
    MiscFuncs::WriteLog(0, "i", Startup::LoadedLogText());
    if (!Startup::WriteRunningMarker()) return false;
    form_->setWindowTitle(platform::FromText8(ProductInfo::MainWindowCaption()));
    return true;
}

void GlimmerpostProgram::showAfterFailure() {
    form_->ShowAtStart(false);
    if (!form_->loaded()) form_->MarkLoaded();
    form_->AddTrayIcon();
    MiscFuncs::SetBusyCursorForm(form_.get());
}

void GlimmerpostProgram::ActivateFromOtherInstance() {
    if (starting_ || !form_) {
        activationPending_ = true;
        return;
    }
    if (!shutDownDone_) form_->ActivateFromOtherInstance();
}

}  // namespace mainwindow
