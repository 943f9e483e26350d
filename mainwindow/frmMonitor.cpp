#include "mainwindow/frmMonitor.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QTimer>

#include "engines/POP3CollectorForm.h"
#include "engines/POP3ServerForm.h"
#include "engines/SMTPProxyForm.h"
#include "mainwindow/ProgramEngines.h"
#include "platform/SocketArray.h"
#include "platform/SocketControl.h"

namespace mainwindow {

namespace {

constexpr const char* kNotLoaded = "not loaded";

struct Shown {
    QString text;
    int session = 0;  // 0: none
};

Shown stateOf(const platform::SocketControl* socket, int session) {
    return {QString::number(socket ? socket->state() : platform::SocketControl::kClosed), session};
}

Shown collectorState(const POP3CollectorForm* collector) {
    if (!collector) return {kNotLoaded};
    for (int slot = 1; slot <= collector->SlotCount(); ++slot)
        if (collector->InSession(slot)) return stateOf(collector->POP3ClientSocket(slot), slot);
    return stateOf(nullptr, 0);
}

Shown serverState(const POP3ServerForm* server) {
    if (!server) return {kNotLoaded};
    // Item 0 listens; the sessions are the items loaded above it.
    const platform::SocketArray& sockets = server->POP3Server();
    for (int slot = 1; slot <= platform::SocketArray::kMaxSessions; ++slot)
        if (const platform::SocketControl* s = sockets.item(slot)) return stateOf(s, slot);
    return stateOf(nullptr, 0);
}

int firstBusyProxySession(const SMTPProxyForm& proxy) {
    for (int slot = 1; slot <= platform::SocketArray::kMaxSessions; ++slot)
        if (proxy.isBusy(slot)) return slot;
    return 0;
}

void put(QLineEdit& box, const Shown& shown) {
    box.setText(shown.text);
    box.setToolTip(shown.session ? QString("Session %1").arg(shown.session) : QString());
}

QLineEdit* stateBox(const char* name, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setReadOnly(true);
    return box;
}

}  // namespace

MonitoredEngines LoadedEngines(const ProgramEngines& engines) {
    return {engines.Collector(), engines.Pop3Server(), engines.Proxy()};
}

frmMonitor::frmMonitor(std::function<MonitoredEngines()> lookUp, QWidget* parent)
    : QWidget(parent, Qt::Window),
      lookUp_(std::move(lookUp)),
      pop3Client_(stateBox("txtPOP3Client", this)),
      pop3Server_(stateBox("txtPOP3Server", this)),
      smtpRemote_(stateBox("txtSMTPRemote", this)),
      smtpLocal_(stateBox("txtSMTPLocal", this)),
      timer_(new QTimer(this)) {
    setObjectName("frmMonitor");
    setWindowTitle("Connection monitor");
    auto* form = new QFormLayout(this);
    form->addRow("POP3 collector:", pop3Client_);
    form->addRow("POP3 server:", pop3Server_);
    form->addRow("SMTP proxy, remote:", smtpRemote_);
    form->addRow("SMTP proxy, local:", smtpLocal_);
    timer_->setObjectName("Timer1");
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &frmMonitor::RefreshSocketStates);
}

frmMonitor::~frmMonitor() = default;

void frmMonitor::RefreshSocketStates() {
    const MonitoredEngines engines = lookUp_ ? lookUp_() : MonitoredEngines{};
    put(*pop3Client_, collectorState(engines.collector));
    put(*pop3Server_, serverState(engines.pop3Server));
    if (!engines.proxy) {
        put(*smtpRemote_, {kNotLoaded});
        put(*smtpLocal_, {kNotLoaded});
        return;
    }
    const int session = firstBusyProxySession(*engines.proxy);
    put(*smtpRemote_, stateOf(session ? engines.proxy->RemoteSMTPSockets().item(session) : nullptr, session));
    put(*smtpLocal_, stateOf(session ? engines.proxy->LocalSMTPSockets().item(session) : nullptr, session));
}

void frmMonitor::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    RefreshSocketStates();
    timer_->start();
}

void frmMonitor::hideEvent(QHideEvent* e) {
    timer_->stop();
    QWidget::hideEvent(e);
}

}  // namespace mainwindow
