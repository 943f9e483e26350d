#include "mainwindow/ProgramEngines.h"

#include <string>

#include "core/CSenders.h"
#include "core/Log.h"
#include "engines/POP3CollectorForm.h"
#include "engines/POP3ServerForm.h"
#include "engines/RegRequestForm.h"
#include "engines/SMTPProxyForm.h"
#include "engines/SMTPSpooler.h"
#include "mainwindow/ProgramStartup.h"

namespace mainwindow {

namespace {

// The main window's activity display when the window exists.
template <class Call>
void report(GlimmerpostProgram* program, Call call) {
    if (program && program->MainForm()) call(*program->MainForm());
}

}  // namespace

ProgramEngines::ProgramEngines() = default;

ProgramEngines::~ProgramEngines() {
    // In the shut-down order, should the program not have unloaded them.
    unloadCollector();
    unloadPop3Server();
    unloadProxy();
    spooler_.reset();
    regRequest_.reset();
}

void ProgramEngines::Attach(GlimmerpostProgram& program) {
    program_ = &program;
    EngineSet& set = program.Engines();
    set.Register({"RegRequestForm", [this](GlimmerpostProgram& p) { loadRegRequest(p); },
                  [this] { regRequest_.reset(); }});
    set.Register({"SMTPProxyForm", [this](GlimmerpostProgram& p) { loadProxy(p); }, [this] { unloadProxy(); }});
    set.Register({"POP3ServerForm", [this](GlimmerpostProgram& p) { loadPop3Server(p); },
                  [this] { unloadPop3Server(); }});
    set.Register({"SMTPSpooler", [this](GlimmerpostProgram& p) { loadSpooler(p); }, [this] { spooler_.reset(); }});
    set.Register({"POP3CollectorForm", [this](GlimmerpostProgram& p) { loadCollector(p); },
                  [this] { unloadCollector(); }});
    program.FormHooks().checkForNewMail = [this] { CheckMailNow(); };
}

bool ProgramEngines::QueueMail(MessageType type, std::string_view account, std::string_view recipient,
                               std::string_view subject) {
    if (!spooler_) return false;
    return spooler_->AddNewMessage(type, account, recipient, subject);
}

void ProgramEngines::CheckMailNow() {
    if (collector_) collector_->CheckForNewMailImmedeately();
}

void ProgramEngines::loadRegRequest(GlimmerpostProgram& program) {
    if (!program.Senders()) return;
    RegRequestForm::Hooks hooks;
    hooks.addNewMessage = [this](MessageType type, std::string_view account, std::string_view recipient,
                                 std::string_view subject) { return QueueMail(type, account, recipient, subject); };
    regRequest_ = std::make_unique<RegRequestForm>(*program.Senders(), program.Messages(), std::move(hooks));
}

void ProgramEngines::loadProxy(GlimmerpostProgram& program) {
    SMTPProxyForm::Hooks hooks;
    hooks.sessionStarted = [this] { report(program_, [](GlimmerpostMainForm& f) { f.SMTPSessionStarted(); }); };
    hooks.sessionEnded = [this] { report(program_, [](GlimmerpostMainForm& f) { f.SMTPSessionEnded(); }); };
    hooks.approveRecipient = [this](const std::string& address) {
        if (program_ && program_->Senders() &&
            program_->Senders()->ChangeStatus("", address, static_cast<SenderStatus>(SMTPProxyForm::kRecipientStatus),
                                              SMTPProxyForm::kRecipientReason) == StatusChange::Failed)
            MiscFuncs::WriteLog(0, "#", "Error in SMTPProxyForm the recipient " + address + " could not be approved");
    };
    proxy_ = std::make_unique<SMTPProxyForm>(std::move(hooks));
    proxy_->Load(std::to_string(program.LocalSMTPPort()));
}

void ProgramEngines::loadPop3Server(GlimmerpostProgram& program) {
    if (!program.Messages()) return;
    pop3Server_ = std::make_unique<POP3ServerForm>(*program.Messages());
    pop3Server_->Form_Load(std::to_string(program.LocalPOP3Port()));
}

void ProgramEngines::loadSpooler(GlimmerpostProgram&) {
    SMTPSpooler::Hooks hooks;
    hooks.sessionStarted = [this] { report(program_, [](GlimmerpostMainForm& f) { f.SMTPSessionStarted(); }); };
    hooks.sessionEnded = [this] { report(program_, [](GlimmerpostMainForm& f) { f.SMTPSessionEnded(); }); };
    hooks.unsentRegRequestFile = [this](const std::string& address, const std::string& parkedPath) {
        if (program_ && program_->Senders()) program_->Senders()->UnsentRegRequestFile(address, parkedPath);
    };
    spooler_ = std::make_unique<SMTPSpooler>(std::move(hooks));
}

void ProgramEngines::loadCollector(GlimmerpostProgram& program) {
    if (!program.Domains() || !program.Senders() || !program.Messages() || !program.Rules()) return;
    POP3CollectorForm::Hooks hooks;
    hooks.sessionStarted = [this] { report(program_, [](GlimmerpostMainForm& f) { f.POP3SessionStarted(); }); };
    hooks.sessionOutcome = [this](std::string_view account, std::string_view failure) {
        report(program_, [a = std::string(account), w = std::string(failure)](GlimmerpostMainForm& f) {
            f.activity().POP3AccountResult(a, w);
        });
    };
    hooks.sessionEnded = [this](std::int32_t n) {
        report(program_, [n](GlimmerpostMainForm& f) { f.POP3SessionEnded(n); });
    };
    hooks.addNewMessage = [this](MessageType type, std::string_view account, std::string_view recipient,
                                 std::string_view subject) { return QueueMail(type, account, recipient, subject); };
    POP3CollectorForm::Lists lists{*program.Domains(), *program.Senders(), *program.Messages(), *program.Rules()};
    collector_ = std::make_unique<POP3CollectorForm>(lists, std::move(hooks));
    collector_->Form_Load();
}

void ProgramEngines::unloadProxy() {
    if (proxy_) proxy_->Unload();
    proxy_.reset();
}

void ProgramEngines::unloadPop3Server() {
    if (pop3Server_) pop3Server_->Form_Unload();
    pop3Server_.reset();
}

void ProgramEngines::unloadCollector() {
    if (collector_) collector_->Form_Unload();
    collector_.reset();
}

}  // namespace mainwindow
