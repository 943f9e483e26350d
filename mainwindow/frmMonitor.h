#pragma once
// frmMonitor: a small diagnostic window with the socket state of the first busy
// session of each engine: the POP3 collector's client socket (txtPOP3Client), the
// local POP3 server's (txtPOP3Server) and the SMTP proxy's two, towards the real
// server (txtSMTPRemote) and towards the mail client (txtSMTPLocal). A state is the
// socket control's State number; "0" while the engine has no busy session, "not
// loaded" while the engine is not loaded. The box's tool tip names the session.
//
// While shown, Timer1 refreshes the boxes every 250 ms; hidden, it stops. Each
// refresh looks the engines up anew (they come and go with the options dialog and
// the shut-down) and never loads one.
//
// The program opens it with the command-line switch --monitor.

#include <QWidget>

#include <functional>

class POP3CollectorForm;
class POP3ServerForm;
class SMTPProxyForm;
class QLineEdit;
class QTimer;

namespace mainwindow {

class ProgramEngines;

struct MonitoredEngines {
    const POP3CollectorForm* collector = nullptr;
    const POP3ServerForm* pop3Server = nullptr;
    const SMTPProxyForm* proxy = nullptr;
};

// The engines loaded now.
MonitoredEngines LoadedEngines(const ProgramEngines& engines);

class frmMonitor : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRefreshMs = 250;
    static constexpr const char* kSwitch = "--monitor";

    explicit frmMonitor(std::function<MonitoredEngines()> lookUp, QWidget* parent = nullptr);
    ~frmMonitor() override;

    // Fills the four boxes in the order collector, server, proxy remote, proxy local.
    void RefreshSocketStates();

    QLineEdit* txtPOP3Client() const { return pop3Client_; }
    QLineEdit* txtPOP3Server() const { return pop3Server_; }
    QLineEdit* txtSMTPRemote() const { return smtpRemote_; }
    QLineEdit* txtSMTPLocal() const { return smtpLocal_; }
    QTimer* Timer1() const { return timer_; }

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    std::function<MonitoredEngines()> lookUp_;
    QLineEdit* pop3Client_;
    QLineEdit* pop3Server_;
    QLineEdit* smtpRemote_;
    QLineEdit* smtpLocal_;
    QTimer* timer_;
};

}  // namespace mainwindow
