#pragma once
// SMTPSpooler: the outgoing queue of the program's own mails (registration requests
// and confirmations, engines/OwnMails.h). AddNewMessage queues a mail as an OutBox
// file (engines/OutBoxMessage.h); each run of PollTimer sends at most one of them
// through a new CEsmtp over the spooler's socket SMTPSocket.
//
// Contract:
// - A run takes the accounts of accounts.ini in file order (up to the first blank
//   section) and sends the first ".eml" file, by name, of the first account whose
//   OutBox holds one. After a failed send the next run begins with the account after
//   the failed one (and wraps round), so one broken server cannot hold back the
//   other accounts' mail; after a successful run the order starts afresh.
// - Timing: the first run 5 s after the spooler is created; 1.3 s after a mail is
//   queued while no run is in progress (during a run the run's own re-arm follows);
//   12 s after a run whose account has a further queued file; 20 s otherwise (also
//   after a failed send or when nothing was queued). While a run is in progress the
//   timer is off and its Tag is "TRUE"; afterwards it is "FALSE".
// - Sent: the file is deleted. One that cannot be deleted is parked, and when even
//   that fails it is not sent again while this spooler lives (it is logged).
// - Refused for relaying (CEsmtp::RelayRefused): BadRelayAttempts counts up; at
//   [options] MaxRelayingDeniedAttempts (5 when blank) the file is parked as ".emr"
//   and the unsentRegRequestFile hook gets the bare recipient address and the parked
//   path. Any other failure leaves the file for a later run, without limit.
// - Each send is bracketed by the sessionStarted and sessionEnded hooks and by
//   MiscFuncs::BeginBusy/EndBusy, also when the run fails.
// - CEsmtp lets events run while it waits: the spooler may be destroyed meanwhile
//   (the options dialog reloads the engines); the run then ends without touching it.
// - Errors are handled here: a run logs "Error in SMTPSpoller::PollTimer_Timer " and
//   carries on 20 s later; a mail that cannot be queued is reported in a message box
//   (core/Prompt.h). The passwords never reach a log (CEsmtp masks its own).
//
// Only the user-interface thread uses it.

#include <QObject>

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "engines/OwnMails.h"
#include "platform/SocketControl.h"
#include "platform/TimerControl.h"

class CIniFile;

class SMTPSpooler : public QObject {
    Q_OBJECT

public:
    static constexpr int kFirstRunMs = 5000;
    static constexpr int kQueuedMs = 1300;
    static constexpr int kMoreQueuedMs = 12000;
    static constexpr int kIdleMs = 20000;
    static constexpr const char* kRunningTag = "TRUE";
    static constexpr const char* kIdleTag = "FALSE";

    struct Hooks {
        std::function<void()> sessionStarted;  // GlimmerpostMainForm.SMTPSessionStarted
        std::function<void()> sessionEnded;    // GlimmerpostMainForm.SMTPSessionEnded
        // CSenders::UnsentRegRequestFile(bare address, parked path)
        std::function<void(const std::string& address, const std::string& parkedPath)> unsentRegRequestFile;
    };

    explicit SMTPSpooler(Hooks hooks = {}, QObject* parent = nullptr);
    ~SMTPSpooler() override;
    SMTPSpooler(const SMTPSpooler&) = delete;
    SMTPSpooler& operator=(const SMTPSpooler&) = delete;

    // Queues one mail from the account to the recipient (as received, perhaps a whole
    // From header). False, after the "Error in SMTPSpoller::AddNewMessage " box, when
    // it could not be queued.
    bool AddNewMessage(MessageType type, std::string_view account, std::string_view recipient,
                       std::string_view subject);

    // One run of the queue; the poll timer calls it.
    void PollTimer_Timer();

    platform::TimerControl& PollTimer() { return PollTimer_; }
    bool running() const { return PollTimer_.tag() == kRunningTag; }

private:
    struct Pick {
        std::string account;
        std::filesystem::path file;
        bool more = false;  // the account's OutBox listed a further file
    };
    static constexpr int kGone = -1;

    int runOnce();
    std::optional<Pick> findMail();
    std::optional<Pick> pickFrom(const std::string& account);
    bool skipSent(const std::filesystem::path& file);
    int send(const Pick& pick);
    void afterSent(const std::filesystem::path& file);
    void countRefusal(const Pick& pick, CIniFile& file, const std::string& recipient, int stored);
    void rearm(int intervalMs);

    Hooks hooks_;
    platform::TimerControl PollTimer_;
    platform::SocketControl SMTPSocket;
    // The account whose send failed in the last run; the next run begins after it.
    std::string resumeAfter_;
    // Sent files that could neither be deleted nor parked.
    std::set<std::string> sentKept_;
};
