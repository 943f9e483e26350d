#include "engines/POP3CollectorForm.h"

#include "core/CIniFile.h"
#include "core/Log.h"
#include "core/MailAccount.h"
#include "core/MiscUtils.h"
#include "core/ProgramFiles.h"
#include "core/ProgramSettings.h"
#include "engines/POP3CollectorSlot.h"
#include "engines/SMTPSpooler.h"
#include "platform/AliveGuard.h"
#include "platform/ProgressDisplay.h"
#include "platform/SocketErrors.h"
#include "platform/WindowHelpers.h"

namespace {

int portOf(std::string_view text) {
    return Accounts::ServerPort(text, POP3CollectorForm::kDefaultPop3Port).value_or(POP3CollectorForm::kDefaultPop3Port);
}

std::string_view bytesOf(const QByteArray& bytes) {
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

POP3CollectorForm::QueueMail POP3CollectorForm::SpoolerQueue(SMTPSpooler& spooler) {
    return [&spooler](MessageType type, std::string_view account, std::string_view recipient,
                      std::string_view subject) { return spooler.AddNewMessage(type, account, recipient, subject); };
}

POP3CollectorForm::POP3CollectorForm(Lists lists, Hooks hooks, QObject* parent)
    : QObject(parent), lists_(lists), hooks_(std::move(hooks)),
      accounts_(std::make_unique<CIniFile>(Accounts::ProgramAccounts())),
      aliases_(std::make_unique<CIniFile>(ProgramFiles::AliasesIniPath().string())),
      settings_(std::make_unique<ProgramSettings>()),
      filter_(std::make_unique<MessageFilter>(*accounts_, *aliases_, *settings_, lists.domains, lists.rules,
                                              lists.senders)) {
    using platform::SocketArray;
    connect(&sockets_, &SocketArray::connected, this, &POP3CollectorForm::POP3ClientSocket_Connect);
    connect(&sockets_, &SocketArray::dataArrival, this, [this](int n, qint64) { POP3ClientSocket_DataArrival(n); });
    connect(&sockets_, &SocketArray::closed, this, &POP3CollectorForm::POP3ClientSocket_Close);
    connect(&sockets_, &SocketArray::error, this, &POP3CollectorForm::POP3ClientSocket_Error);
    connect(&sockets_, &SocketArray::tlsStarted, this, &POP3CollectorForm::POP3ClientSocket_TlsStarted);
}

POP3CollectorForm::~POP3CollectorForm() { Form_Unload(); }

void POP3CollectorForm::Form_Load() {
    if (loaded_) return;
    loaded_ = true;
    InitializePOP3Collector();
}

void POP3CollectorForm::Form_Unload() {
    if (!loaded_) return;
    loaded_ = false;
    for (const std::shared_ptr<AccountSlot>& slot : slots_) {
        slot->PullTimer.setEnabled(false);
        slot->inactivity.setEnabled(false);
        const bool running = slot->run != nullptr;
        // Dropping the run first makes any handler still inside it store nothing more.
        slot->run.reset();
        sockets_.unload(slot->index);
        if (running) MiscFuncs::EndBusy();
    }
    slots_.clear();
}

void POP3CollectorForm::InitializePOP3Collector() {
    for (const MailAccount& account : Accounts::LoadAccounts(*accounts_)) {
        if (account.AccountEnabled != 1 || account.POP3CollectorInterval <= 0) continue;
        if (!Accounts::IsSafeFolderName(account.EMailAddress)) {
            MiscFuncs::WriteLog(0, "#", "POP3 Collector cannot collect the account " + account.EMailAddress +
                                            ": its name cannot be a folder name");
            continue;
        }
        if (SlotCount() >= kMaxSlots) {
            MiscFuncs::WriteLog(0, "#", "POP3 Collector collects at most 255 accounts; " + account.EMailAddress +
                                            " is not collected");
            continue;
        }
        addSlot(account.EMailAddress, account.POP3CollectorInterval);
        StartSession(SlotCount());
    }
}

void POP3CollectorForm::addSlot(const std::string& account, int intervalMinutes) {
    auto slot = std::make_shared<AccountSlot>();
    const int n = SlotCount() + 1;
    slot->index = n;
    slot->account = account;
    slot->countdown = intervalMinutes * 2;
    slot->PullTimer.setTag(account);
    slot->PullTimer.setInterval(kTickMs);
    slot->PullTimer.setEnabled(true);
    connect(&slot->PullTimer, &platform::TimerControl::timer, this, [this, n] { PullTimer_Timer(n); });
    slot->inactivity.setEnabled(false);
    connect(&slot->inactivity, &platform::TimerControl::timer, this, [this, n] {
        const std::shared_ptr<AccountSlot> s = slotAt(n);
        if (!s || !s->run) return;
        const std::shared_ptr<SessionRun> run = s->run;
        const std::string why = "no reply for " + std::to_string(inactivityMs_ / 1000) + " seconds";
        perform(s, run, run->session.timedOut(why));
    });
    sockets_.load(n);
    slots_.push_back(std::move(slot));
}

std::shared_ptr<POP3CollectorForm::AccountSlot> POP3CollectorForm::slotAt(int slot) const {
    if (slot < 1 || slot > SlotCount()) return nullptr;
    return slots_[static_cast<std::size_t>(slot - 1)];
}

void POP3CollectorForm::PullTimer_Timer(int n) {
    const std::shared_ptr<AccountSlot> slot = slotAt(n);
    if (!slot) return;
    // ">=" rather than "==": a tick missed while busy must not skip a whole round.
    if (++slot->tick < slot->countdown) return;
    slot->tick = 0;
    StartSession(n);
}

void POP3CollectorForm::CheckForNewMailImmedeately() {
    for (const std::shared_ptr<AccountSlot>& slot : slots_) {
        if (!slot->PullTimer.enabled() || slot->run) continue;
        slot->PullTimer.setEnabled(false);
        slot->tick = slot->countdown - 1;
        slot->PullTimer.setInterval(slot->index * kCheckNowStepMs);
        slot->PullTimer.setEnabled(true);
    }
}

void POP3CollectorForm::StartSession(int n) {
    const std::shared_ptr<AccountSlot> slot = slotAt(n);
    platform::SocketControl* socket = sockets_.item(n);
    if (!loaded_ || !slot || slot->run || !socket || socket->state() != platform::SocketControl::kClosed) return;
    const MailAccount account = Accounts::LoadAccount(*accounts_, slot->account);
    MiscFuncs::BeginBusy();
    slot->PullTimer.setEnabled(false);
    const platform::AliveGuard alive(this);
    if (hooks_.sessionStarted) hooks_.sessionStarted();
    if (!alive || slot->run || !loaded_) return;
    auto run = std::make_shared<SessionRun>(
        this, slot, engines::Pop3SessionConfig{slot->account, account.POP3UserName, account.POP3Password,
                                               account.POP3Security == Accounts::kStartTls});
    slot->run = run;
    slot->inactivity.setInterval(inactivityMs_);
    slot->inactivity.setEnabled(true);
    socket->setLocalPort(0);
    const bool started = socket->connect(std::string(MiscFuncs::TrimBlanks(account.POP3Server)),
                                         portOf(account.POP3ServerPort), platform::SocketControl::TlsFor(account.POP3Security));
    MiscFuncs::WriteLog(1, "i", "POP3 Collector Starting POP3 session " + slot->account);
    if (!started)
        perform(slot, run, run->session.socketError(socket->lastErrorNumber(), socket->lastErrorText().toStdString()));
}

void POP3CollectorForm::POP3ClientSocket_Connect(int n) {
    const std::shared_ptr<AccountSlot> slot = slotAt(n);
    if (!slot || !slot->run) return;
    topCounter_ = retrCounter_ = 0;
    modProgress::ShowCollectProgress();
    modProgress::SetCollectProgressText("Connecting to POP3 server..");
    slot->inactivity.setEnabled(true);
    const std::shared_ptr<SessionRun> run = slot->run;
    perform(slot, run, run->session.connected());
}

void POP3CollectorForm::POP3ClientSocket_DataArrival(int n) {
    const std::shared_ptr<AccountSlot> slot = slotAt(n);
    platform::SocketControl* socket = sockets_.item(n);
    if (!socket) return;
    const QByteArray bytes = socket->read();
    if (!slot || !slot->run) return;
    slot->inactivity.setEnabled(true);
    const std::shared_ptr<SessionRun> run = slot->run;
    const platform::AliveGuard alive(this);
    const std::vector<engines::Pop3Action> actions = run->session.received(bytesOf(bytes));
    if (!alive) return;
    perform(slot, run, actions);
}

void POP3CollectorForm::POP3ClientSocket_Close(int n) {
    const std::shared_ptr<AccountSlot> slot = slotAt(n);
    if (!slot || !slot->run) {
        if (platform::SocketControl* socket = sockets_.item(n)) socket->close();
        return;
    }
    const std::shared_ptr<SessionRun> run = slot->run;
    perform(slot, run, run->session.closed());
}

void POP3CollectorForm::POP3ClientSocket_Error(int n, int number, const QString& description) {
    const std::shared_ptr<AccountSlot> slot = slotAt(n);
    if (!slot || !slot->run) {
        if (platform::SocketControl* socket = sockets_.item(n)) socket->close();
        return;
    }
    const std::shared_ptr<SessionRun> run = slot->run;
    if (number == platform::winsock::kTlsFailed)
        return perform(slot, run, run->session.tlsFailed(description.toStdString()));
    perform(slot, run, run->session.socketError(number, description.toStdString()));
}

void POP3CollectorForm::POP3ClientSocket_TlsStarted(int n) {
    const std::shared_ptr<AccountSlot> slot = slotAt(n);
    if (!slot || !slot->run) return;
    slot->inactivity.setEnabled(true);
    const std::shared_ptr<SessionRun> run = slot->run;
    perform(slot, run, run->session.tlsStarted());
}

void POP3CollectorForm::perform(const std::shared_ptr<AccountSlot>& slot, const std::shared_ptr<SessionRun>& run,
                                const std::vector<engines::Pop3Action>& actions) {
    for (const engines::Pop3Action& action : actions) {
        // The session may have been ended, or the form unloaded, while events ran.
        if (!loaded_ || slot->run != run) return;
        if (action.kind == engines::Pop3Action::Kind::End) return endSession(*slot);
        platform::SocketControl* socket = sockets_.item(slot->index);
        if (action.kind == engines::Pop3Action::Kind::StartTls) {
            if (socket && socket->startTls()) continue;
            const std::string text = socket ? socket->lastErrorText().toStdString() : "no socket";
            return perform(slot, run, run->session.tlsFailed(text));
        }
        if (socket && socket->sendText(action.bytes)) {
            // The command leaves now, not at the next turn of the event loop.
            socket->flushOutput();
            // A long store before this command is no silence of the server's.
            slot->inactivity.setEnabled(true);
            continue;
        }
        const int number = socket ? socket->lastErrorNumber() : 0;
        const std::string text = socket ? socket->lastErrorText().toStdString() : "no socket";
        return perform(slot, run, run->session.socketError(number, text));
    }
}

void POP3CollectorForm::endSession(AccountSlot& slot) {
    const std::shared_ptr<SessionRun> run = std::move(slot.run);
    if (!run) return;
    if (platform::SocketControl* socket = sockets_.item(slot.index)) socket->close();
    slot.inactivity.setEnabled(false);
    const engines::Pop3Outcome& outcome = run->session.outcome();
    if (outcome.errorFirst && !outcome.errorLine.empty()) MiscFuncs::WriteLog(1, "#", outcome.errorLine);
    slot.PullTimer.setInterval(kTickMs);
    slot.PullTimer.setEnabled(true);
    slot.tick = 0;
    MiscFuncs::EndBusy();
    slot.failure = outcome.end == engines::Pop3End::Quit ? std::string() : outcome.failure;
    if (slot.failure.empty() && outcome.end != engines::Pop3End::Quit) slot.failure = "the session failed";
    if (slot.failure.empty() && run->unstored > 0)
        slot.failure = std::to_string(run->unstored) + " message(s) could not be stored and stay on the server";
    const std::string account = slot.account, failure = slot.failure;
    // Whatever LogLevel asks for: the user has to act on it.
    if (!failure.empty()) MiscFuncs::WriteLog(0, "#", FailureText(account, failure));
    const platform::AliveGuard alive(this);
    if (hooks_.sessionOutcome) hooks_.sessionOutcome(account, failure);
    if (!alive) return;
    if (hooks_.sessionEnded) hooks_.sessionEnded(run->newCount);
    MiscFuncs::WriteLog(1, "i", "POP3 Collector Session ended " + std::to_string(run->newCount) +
                                    " new messages for " + account);
    // A failure is shown by the main window's failure line (sessionOutcome), in full.
    modProgress::HideCollectProgress();
    if (!outcome.errorFirst && !outcome.errorLine.empty()) MiscFuncs::WriteLog(1, "#", outcome.errorLine);
}

void POP3CollectorForm::showProgress(const engines::Pop3Progress& step) {
    using Kind = engines::Pop3Progress::Kind;
    switch (step.kind) {
        case Kind::Text: return modProgress::SetCollectProgressText(step.text);
        case Kind::Maximum: return modProgress::SetCollectProgressMax(step.number);
        case Kind::HeaderCounted: return modProgress::SetCollectProgressValue(++topCounter_);
        case Kind::MessageCounted:
            modProgress::SetCollectProgressValue(++retrCounter_);
            modProgress::SetCollectProgressText("Fetched msg " + std::to_string(modProgress::GetCollectProgressValue()) +
                                                " of " + std::to_string(modProgress::GetCollectProgressMax()));
            return;
    }
}

std::string POP3CollectorForm::FailureText(std::string_view account, std::string_view why) {
    return "Collecting " + std::string(account) + " failed: " + std::string(why);
}

std::string POP3CollectorForm::LastFailure(int n) const {
    const std::shared_ptr<AccountSlot> slot = slotAt(n);
    return slot ? slot->failure : std::string();
}

std::string POP3CollectorForm::AccountOf(int n) const {
    const std::shared_ptr<AccountSlot> slot = slotAt(n);
    return slot ? slot->account : std::string();
}

platform::TimerControl* POP3CollectorForm::PullTimer(int n) const {
    const std::shared_ptr<AccountSlot> slot = slotAt(n);
    return slot ? &slot->PullTimer : nullptr;
}

platform::TimerControl* POP3CollectorForm::InactivityTimer(int n) const {
    const std::shared_ptr<AccountSlot> slot = slotAt(n);
    return slot ? &slot->inactivity : nullptr;
}

platform::SocketControl* POP3CollectorForm::POP3ClientSocket(int n) const { return sockets_.item(n); }

bool POP3CollectorForm::InSession(int n) const {
    const std::shared_ptr<AccountSlot> slot = slotAt(n);
    return slot && slot->run;
}

engines::Pop3ClientState POP3CollectorForm::SessionState(int n) const {
    const std::shared_ptr<AccountSlot> slot = slotAt(n);
    return slot && slot->run ? slot->run->session.state() : engines::Pop3ClientState::Ended;
}

int POP3CollectorForm::Tick(int n) const {
    const std::shared_ptr<AccountSlot> slot = slotAt(n);
    return slot ? slot->tick : 0;
}

int POP3CollectorForm::Countdown(int n) const {
    const std::shared_ptr<AccountSlot> slot = slotAt(n);
    return slot ? slot->countdown : 0;
}
