#pragma once
// ProgramEngines: the program's mail engines, made and destroyed through the slots of
// the program's EngineSet, and joined to each other and to the main window.
//
// Attach() fills the slots RegRequestForm, SMTPProxyForm, POP3ServerForm, SMTPSpooler
// and POP3CollectorForm, and the main window's check-mail-now command. Loading a slot
// creates its engine and starts it: the proxy listens on the SMTP port start-up read,
// the POP3 server on the POP3 port, the spooler's first run follows 5 s later, and the
// collector starts a session for every enabled account at once. Unloading stops the
// engine and destroys it; the engines are made to be destroyed while one of their own
// handlers waits with events running (they check their guards when the wait returns).
//
// The joins, each looked up when it is used, so a reloaded engine is reached:
// - the proxy's and the spooler's sessions, and the collector's, report to the main
//   window's activity display;
// - the proxy's recipients become approved senders ("Mail recepient");
// - the spooler's parked requests are remembered by the sender list;
// - the pop-up's confirmations and the collector's registration requests are queued
//   with the spooler loaded at that moment (false, and nothing queued, without one);
// - check-mail-now (tray and toolbar) starts the collector's idle accounts.
//
// The object must outlive the program it is attached to (declare it first).

#include <memory>
#include <string_view>

#include "engines/OwnMails.h"

class POP3CollectorForm;
class POP3ServerForm;
class RegRequestForm;
class SMTPProxyForm;
class SMTPSpooler;

namespace mainwindow {

class GlimmerpostProgram;

class ProgramEngines {
public:
    ProgramEngines();
    ~ProgramEngines();
    ProgramEngines(const ProgramEngines&) = delete;
    ProgramEngines& operator=(const ProgramEngines&) = delete;

    // Fills the program's slots and its check-mail-now hook; call before Start().
    void Attach(GlimmerpostProgram& program);

    // The engines loaded now, else nullptr.
    SMTPProxyForm* Proxy() const { return proxy_.get(); }
    POP3ServerForm* Pop3Server() const { return pop3Server_.get(); }
    SMTPSpooler* Spooler() const { return spooler_.get(); }
    POP3CollectorForm* Collector() const { return collector_.get(); }
    RegRequestForm* RegRequest() const { return regRequest_.get(); }

    // Queues one of the program's own mails with the spooler loaded now.
    bool QueueMail(MessageType type, std::string_view account, std::string_view recipient,
                   std::string_view subject);
    // The collector's CheckForNewMailImmedeately, when it is loaded.
    void CheckMailNow();

private:
    void loadRegRequest(GlimmerpostProgram& program);
    void loadProxy(GlimmerpostProgram& program);
    void loadPop3Server(GlimmerpostProgram& program);
    void loadSpooler(GlimmerpostProgram& program);
    void loadCollector(GlimmerpostProgram& program);
    void unloadProxy();
    void unloadPop3Server();
    void unloadCollector();

    GlimmerpostProgram* program_ = nullptr;
    std::unique_ptr<RegRequestForm> regRequest_;
    std::unique_ptr<SMTPProxyForm> proxy_;
    std::unique_ptr<POP3ServerForm> pop3Server_;
    std::unique_ptr<SMTPSpooler> spooler_;
    std::unique_ptr<POP3CollectorForm> collector_;
};

}  // namespace mainwindow
