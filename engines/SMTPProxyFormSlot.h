#pragma once
// Inside SMTPProxyForm: what the form keeps per slot, and the session's view of the
// slot's two sockets. Only the form's own sources include this.

#include <memory>
#include <string_view>

#include "engines/SMTPProxyForm.h"
#include "protocol/SmtpProxySession.h"
#include "platform/SocketControl.h"
#include "platform/TimerControl.h"

// The session's view of its two sockets.
class SMTPProxyForm::SlotSink final : public SmtpProxySession::Sink {
public:
    SlotSink(SMTPProxyForm& form, int slot) : form_(form), slot_(slot) {}
    void toClient(std::string_view bytes) override {
        if (platform::SocketControl* local = form_.LocalSMTP.item(slot_)) local->sendText(bytes);
    }
    void toServer(std::string_view bytes) override {
        if (platform::SocketControl* remote = form_.RemoteSMTP.item(slot_)) remote->sendText(bytes);
    }
    void connectServer(const SmtpProxyText::ServerAddress& server) override { form_.connectServer(slot_, server); }
    void dropServer() override { form_.dropServer(slot_); }
    void startServerTls() override { form_.startServerTls(slot_); }
    bool clientBacklogged() const override {
        const platform::SocketControl* local = form_.LocalSMTP.item(slot_);
        return local != nullptr && local->bytesPending() > kSendHighWater;
    }

private:
    SMTPProxyForm& form_;
    int slot_;
};

struct SMTPProxyForm::Slot {
    Slot(SMTPProxyForm& form, int slot) : sink(form, slot) {}
    bool busy = false;
    unsigned generation = 0;  // changes at every start and end of a session
    SlotSink sink;
    std::unique_ptr<SmtpProxySession> session;
    platform::TimerControl serverTimer;  // timSMTPServer: connection, then greeting
    platform::TimerControl idleTimer;
    bool clientPaused = false;
    bool serverPaused = false;
};
