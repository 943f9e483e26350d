#pragma once
// POP3CollectorForm: collects the mail of every enabled POP3 account (RFC 1939) and
// files each message by the filter's verdict (protocol/MessageFilter.h).
//
// Each account that takes part (AccountEnabled reads as 1, POP3CollectorInterval as a
// number above 0, a name that can be a folder) gets one AccountSlot, numbered from 1
// in accounts.ini order, at most 255: a 30-second PullTimer, the socket
// POP3ClientSocket(n) and, while a session runs, an inactivity timer. A session
// starts at load and then every POP3CollectorInterval minutes after the previous one
// ended; CheckForNewMailImmedeately starts every idle account's session, 300 ms apart.
// The protocol is protocol/Pop3ClientSession.h; this class carries its bytes and does
// the storing.
//
// Storing:
// - Accept: accounts\<account>\MailDir\InBox; HoldUnregistered and UnknownSender:
//   WaitingAuth (an unknown sender gets a registration request queued when [options]
//   AutoSendRegRequests is "1", after his message is stored, and is entered as
//   unknown); ServiceMessage and RegistrationReply: protocol/RegistrationReplies.h.
// - A message file holds the RETR data exactly as received: CR LF line ends and the
//   dot-stuffing of the wire, so the local POP3 server sends it on unchanged. Its
//   header fields are read from that text as it is. A message that is only a header
//   block (no empty line) gets the empty line that ends its header block, in the
//   first pass and in the stored file alike.
// - Files are named and written by core/MessageFiles.h: never over another file, and
//   a message already stored with the same bytes (collected again after a session
//   that died before QUIT) is recognised and not stored twice.
// - The syncs of a session's files are gathered in one batch and committed before
//   QUIT, the moment the server deletes; a failed commit ends the session without
//   QUIT. A message that cannot be stored or handled stays on the server, is logged,
//   and the session goes on; the session has failed then too ("<n> message(s) could
//   not be stored and stay on the server").
// - A session that hears nothing for the inactivity time-out (kInactivityMs) is given
//   up without QUIT. Every session end closes the socket, re-arms the account's timer,
//   ends the busy pointer and reports the number of messages stored to the main window.
// - A session that fails (a refused login, a server that cannot be reached or stops
//   answering) is never shown as "no new messages": the program log gets
//   "Collecting <account> failed: " and why (the server's reply, cleaned) at level 0,
//   whatever LogLevel says, and sessionOutcome tells the main window, which shows it
//   until a session succeeds.
// - Unloading ends the running sessions where they are, without QUIT and without a
//   report; what they stored stays stored, what they did not stays on the server.
//
// - The connection follows the account's POP3Security (core/MailAccount.h): plain,
//   STLS before USER (the session asks, the socket upgrades), or TLS from the first
//   byte. A certificate that is refused, or a server that refuses STLS, ends the
//   session before USER; the reason is logged at level 0 and shown as the failure.
//
// Passwords never reach a log. The form lives on the user-interface thread; handlers
// that let events run (a message box, the main window) may find the form unloaded or
// destroyed when they return, and then touch nothing.

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/MessageFilter.h"
#include "engines/OwnMails.h"
#include "protocol/Pop3ClientSession.h"
#include "protocol/RegistrationReplies.h"
#include "platform/SocketArray.h"
#include "platform/TimerControl.h"

class CDomains;
class CIniFile;
class CMailRules;
class CMessage;
class CMessages;
class CSenders;
class ProgramSettings;
class SMTPSpooler;

class POP3CollectorForm : public QObject {
    Q_OBJECT

public:
    static constexpr int kTickMs = 30000;
    static constexpr int kCheckNowStepMs = 300;
    // A server that has said nothing for this long is given up.
    static constexpr int kInactivityMs = 120000;
    static constexpr int kMaxSlots = platform::SocketArray::kMaxSessions;
    static constexpr int kDefaultPop3Port = 110;

    // The program-wide lists; all must outlive the form.
    struct Lists {
        CDomains& domains;
        CSenders& senders;
        CMessages& messages;
        CMailRules& rules;
    };

    using QueueMail = std::function<bool(MessageType type, std::string_view account, std::string_view recipient,
                                         std::string_view subject)>;

    struct Hooks {
        std::function<void()> sessionStarted;                     // GlimmerpostMainForm.POP3SessionStarted
        std::function<void(std::int32_t newMessages)> sessionEnded;  // GlimmerpostMainForm.POP3SessionEnded
        // Before sessionEnded: the account and why its session failed ("" when it
        // succeeded), so that the window shows a failure until the next success.
        std::function<void(std::string_view account, std::string_view failure)> sessionOutcome;
        QueueMail addNewMessage;                                   // SMTPSpooler::AddNewMessage
        // Named points of a session (tests stop the program there); may be empty.
        std::function<void(std::string_view point)> checkpoint;
    };

    // The queue hook for a spooler, which must outlive the form.
    static QueueMail SpoolerQueue(SMTPSpooler& spooler);

    POP3CollectorForm(Lists lists, Hooks hooks = {}, QObject* parent = nullptr);
    ~POP3CollectorForm() override;
    POP3CollectorForm(const POP3CollectorForm&) = delete;
    POP3CollectorForm& operator=(const POP3CollectorForm&) = delete;

    // Load: InitializePOP3Collector. Unload: stops every timer and session.
    void Form_Load();
    void Form_Unload();

    // Builds the slots from accounts.ini and starts a session for each at once.
    void InitializePOP3Collector();
    // Makes every idle account start a session, slot n after n x 300 ms.
    void CheckForNewMailImmedeately();

    // The filter's verdict for a message of the slot's account.
    void FilterMessage(int slot, const CMessage& message, std::string& reason, FilterVerdict& verdict);

    // The inactivity time-out for the sessions started from now on (tests).
    void setInactivityTimeoutMs(int ms) { inactivityMs_ = ms; }

    // The slots, for the main window and the tests: 1 to SlotCount().
    int SlotCount() const { return static_cast<int>(slots_.size()); }
    std::string AccountOf(int slot) const;
    platform::TimerControl* PullTimer(int slot) const;
    platform::TimerControl* InactivityTimer(int slot) const;
    platform::SocketControl* POP3ClientSocket(int slot) const;
    bool InSession(int slot) const;
    engines::Pop3ClientState SessionState(int slot) const;
    int Tick(int slot) const;
    int Countdown(int slot) const;
    // Why the account's last session failed, "" when it succeeded (or none ran).
    std::string LastFailure(int slot) const;
    // The text shown for a failed session of the account.
    static std::string FailureText(std::string_view account, std::string_view why);

    // Event handlers (public so that tests can drive them as the controls would).
    void PullTimer_Timer(int slot);
    void StartSession(int slot);
    void POP3ClientSocket_Connect(int slot);
    void POP3ClientSocket_DataArrival(int slot);
    void POP3ClientSocket_Close(int slot);
    void POP3ClientSocket_Error(int slot, int number, const QString& description);
    // The upgrade after STLS has passed.
    void POP3ClientSocket_TlsStarted(int slot);

private:
    struct AccountSlot;
    struct SessionRun;
    class SlotHandler;
    friend class SlotHandler;

    std::shared_ptr<AccountSlot> slotAt(int slot) const;
    void addSlot(const std::string& account, int intervalMinutes);
    void perform(const std::shared_ptr<AccountSlot>& slot, const std::shared_ptr<SessionRun>& run,
                 const std::vector<engines::Pop3Action>& actions);
    void endSession(AccountSlot& slot);
    void showProgress(const engines::Pop3Progress& step);

    // Storing (POP3CollectorStore.cpp); true when the message may leave the server.
    engines::Classified classify(AccountSlot& slot, std::string headerData);
    bool StoreMessage(AccountSlot& slot, CMessage& message, const engines::Classified& decision);
    bool HandleServiceMessage(AccountSlot& slot, CMessage& message);
    bool HandleRegistrationReply(AccountSlot& slot, CMessage& message);
    bool awaitApproval(const std::string& address, const RegistrationReplies::RegistrationReply& reply);
    bool saveIn(AccountSlot& slot, std::string_view folder, const std::string& sender, CMessage& message);
    void queueMail(MessageType type, std::string_view account, std::string_view recipient,
                   std::string_view subject);
    double senderDate(const CMessage& message) const;

    Lists lists_;
    Hooks hooks_;
    std::unique_ptr<CIniFile> accounts_;
    std::unique_ptr<CIniFile> aliases_;
    std::unique_ptr<ProgramSettings> settings_;
    std::unique_ptr<MessageFilter> filter_;
    platform::SocketArray sockets_;
    std::vector<std::shared_ptr<AccountSlot>> slots_;  // slot n at n - 1
    int inactivityMs_ = kInactivityMs;
    bool loaded_ = false;
    // Header blocks and messages received since the last connect, for the progress bar.
    std::int32_t topCounter_ = 0;
    std::int32_t retrCounter_ = 0;
};
