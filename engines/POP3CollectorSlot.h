#pragma once
// The per-account state of POP3CollectorForm, shared by its two source files.
//
// A SessionRun lives from StartSession to the session end. Handlers that hold it
// keep it alive while they run; its SlotHandler serves the protocol session only while
// the run is still its slot's current one and the form is loaded, so a session that
// was ended or unloaded while a callback let events run stores and commits nothing.

#include <QPointer>

#include <memory>
#include <set>
#include <string>

#include "core/AtomicFile.h"
#include "engines/POP3CollectorForm.h"

struct POP3CollectorForm::AccountSlot {
    int index = 0;
    std::string account;  // the accounts.ini section
    int countdown = 0;    // ticks between sessions
    int tick = 0;
    platform::TimerControl PullTimer;
    platform::TimerControl inactivity;
    std::shared_ptr<SessionRun> run;
    std::string failure;  // why the last session failed, "" after a success
};

class POP3CollectorForm::SlotHandler : public engines::Pop3SessionHandler {
public:
    SlotHandler(POP3CollectorForm* form, std::weak_ptr<AccountSlot> slot, const SessionRun* run)
        : form_(form), slot_(std::move(slot)), run_(run) {}

    engines::Classified classify(int number, std::string headerData) override;
    bool store(int number, const engines::Classified& decision, std::string message) override;
    bool commit() override;
    void progress(const engines::Pop3Progress& step) override;
    void checkpoint(std::string_view point) override;

private:
    // The slot, when this run is still the one it serves; nullptr otherwise.
    std::shared_ptr<AccountSlot> live() const;

    QPointer<POP3CollectorForm> form_;
    std::weak_ptr<AccountSlot> slot_;
    const SessionRun* run_;
};

struct POP3CollectorForm::SessionRun {
    SessionRun(POP3CollectorForm* form, const std::shared_ptr<AccountSlot>& slot, engines::Pop3SessionConfig config)
        : handler(form, slot, this), session(std::move(config), handler) {}

    SlotHandler handler;
    engines::Pop3ClientSession session;
    MiscFuncs::SyncBatch batch;
    std::int32_t newCount = 0;
    // Messages that could not be stored (a file or senders.ini not written) and stay
    // on the server: a session that ends by QUIT has failed all the same.
    int unstored = 0;
    // The unknown senders asked to register in this session, whatever senders.ini says.
    std::set<std::string> requested;
};
