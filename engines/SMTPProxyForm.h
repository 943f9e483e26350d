#pragma once
// SMTPProxyForm: the local SMTP proxy. It listens on [options] `SMTPServerPort`
// (blank: 3025) of 127.0.0.1, serves mail programs on this machine only, and relays
// their mail to the SMTP server of the account named in MAIL FROM (accounts.ini
// `SMTPServer`, `SMTPServerPort`), handing every RCPT TO address to the recipient
// approver unless [options] `AutoApproveRecepients` is "0" (read when it loads). The
// protocol of one connection is SmtpProxySession; this form owns the sockets
// (`LocalSMTP` item 0 listens, item n talks to client n, `RemoteSMTP` item n to client
// n's server) and the timers, and carries the bytes.
//
// Contract:
// - At most 255 sessions; a new one takes the next free slot, searching onward from the
//   slot handed out last. A connection that cannot be served (offline, no free slot)
//   gets a 421 reply and is closed; one from another address than the local address of
//   its connection is closed without a reply.
// - Each session ends exactly once, through CloseConnection, however it ends (QUIT, the
//   client's close, a socket error, a time-out, a protocol error). Every session begun
//   with the sessionStarted hook and MiscFuncs::BeginBusy ends with sessionEnded and
//   MiscFuncs::EndBusy.
// - Time-outs per slot: the connection to the server and the client's silence are
//   bounded by the session time-out (ProgramSettings::ServerTimeoutSeconds: 1 to 15
//   minutes, else 15); the server's first reply after connecting by kGreetingTimeOutMs.
// - The connection to the server follows the account's SMTPSecurity (and POP3Security
//   for the POP3 login before it): TLS from the first byte, or STARTTLS when the session
//   asks (protocol/SmtpProxySession.h); certificates are verified (platform/SocketControl.h).
// - Back-pressure: while more than kSendHighWater bytes wait for one peer, the proxy
//   stops reading from the other, so neither can make it hold data without end.
// - Only the user-interface thread uses it. Hooks may let events run.

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/ProgramSettings.h"
#include "protocol/SmtpProxySession.h"
#include "platform/SocketArray.h"
#include "platform/TimerControl.h"

// Makes a recipient an approved sender; start-up connects it to
// CSenders::SetStatus("", address, kRecipientStatus, kRecipientReason, no date).
using RecipientApprover = std::function<void(const std::string& address)>;

class SMTPProxyForm : public QObject {
    Q_OBJECT

public:
    static constexpr int kRecipientStatus = 3;  // SenderStatus Approved
    static constexpr const char* kRecipientReason = "Mail recepient";
    static constexpr const char* kDefaultPort = "3025";
    static constexpr int kDefaultTimeOutMinutes = SettingDefaults::kServerTimeoutMinutes;
    static constexpr int kGreetingTimeOutMs = 15000;
    static constexpr qint64 kSendHighWater = 1 << 20;

    struct Hooks {
        std::function<void()> sessionStarted;  // GlimmerpostMainForm.SMTPSessionStarted
        std::function<void()> sessionEnded;    // GlimmerpostMainForm.SMTPSessionEnded
        RecipientApprover approveRecipient;
    };

    explicit SMTPProxyForm(Hooks hooks = {}, QObject* parent = nullptr);
    ~SMTPProxyForm() override;

    // Listens on the settings' local SMTP port (ProgramSettings::LocalSMTPPort). When the port
    // cannot be had: the "WARNING ! - Port ..." message box, no listener, false.
    bool Load();
    // The same with the port text that start-up read.
    bool Load(std::string_view portText);
    // Ends every session and stops listening.
    void Unload();

    int FindFreeSession();
    void CloseConnection(int slot);

    bool listening() const;
    quint16 listenPort() const;
    int openSessions() const { return openSessions_; }
    int sessionTimeOutSeconds() const { return timeOutSeconds_; }
    bool approvesRecipients() const { return approveRecipients_; }
    bool isBusy(int slot) const;
    // The two socket arrays, read-only, for the connection monitor.
    const platform::SocketArray& LocalSMTPSockets() const { return LocalSMTP; }
    const platform::SocketArray& RemoteSMTPSockets() const { return RemoteSMTP; }
    // The session of a busy slot, else nullptr.
    const SmtpProxySession* session(int slot) const;
    // The slot's `timSMTPServer` (connection and greeting guard) and idle timer, for
    // tests that fire them; nullptr outside 1..255.
    platform::TimerControl* serverTimer(int slot);
    platform::TimerControl* idleTimer(int slot);

private:
    struct Slot;
    class SlotSink;

    void onConnectionRequest(int index, int requestId);
    void refuse(int requestId, std::string_view reply);
    void startSession(int slot, int requestId);
    void onClientData(int slot);
    void onClientClosed(int slot);
    void onClientError(int slot, const QString& description);
    void onClientSent(int slot);
    void onServerConnected(int slot);
    void onServerData(int slot);
    void onServerClosed(int slot);
    void onServerError(int slot, const QString& description);
    void onServerTimer(int slot);
    void onIdleTimer(int slot);
    void afterSession(int slot, unsigned generation);
    void updateFlow(int slot);
    bool current(int slot, unsigned generation) const;
    Slot* busySlot(int slot);
    void connectServer(int slot, const SmtpProxyText::ServerAddress& server);
    void dropServer(int slot);
    void startServerTls(int slot);
    void onServerTlsStarted(int slot);

    Hooks hooks_;
    platform::SocketArray LocalSMTP;
    platform::SocketArray RemoteSMTP;
    platform::SocketControl refuser_;
    std::array<std::unique_ptr<Slot>, platform::SocketArray::kMaxSessions + 1> slots_;
    int lastSlot_ = 1;
    int openSessions_ = 0;
    int timeOutSeconds_ = kDefaultTimeOutMinutes * 60;
    bool approveRecipients_ = true;  // AutoApproveRecepients, read when the proxy loads
};
