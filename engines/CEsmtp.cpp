#include "engines/CEsmtp.h"

#include <exception>

#include "core/Address.h"
#include "core/Digest.h"
#include "core/InstallationSecret.h"
#include "core/Log.h"
#include "core/MailAccount.h"
#include "core/MiscUtils.h"
#include "protocol/SmtpClientAuth.h"
#include "protocol/SmtpClientSession.h"
#include "engines/SmtpSocketDriver.h"
#include "protocol/SmtpText.h"
#include "platform/ProgressDisplay.h"
#include "platform/SocketControl.h"

namespace {

// An account's port; 0 (no connection can be made) when it is no port.
int portNumber(std::string_view text, int blankPort) { return Accounts::ServerPort(text, blankPort).value_or(0); }

std::string bareAddress(std::string_view value) {
    std::string name;
    return MiscFuncs::ParseAddress(value, name);
}

}  // namespace

std::string CEsmtp::Base64EncodeString(std::string_view text) { return MiscFuncs::Base64Encode(text); }

void CEsmtp::GenerateMessages(MessageType kind) {
    try {
        OwnMails::Generate(kind, Recipient, AccountAddress, *this);
    } catch (const std::exception& e) {
        MiscFuncs::WriteLog(1, "#", std::string("Error in CESMTP::GenerateMessages ") + e.what());
    }
}

void CEsmtp::readAccount(MessageType kind) {
    const MailAccount account = Accounts::LoadAccount(Accounts::ProgramAccounts(), AccountAddress);
    displayName_ = kind == MessageType::Test ? AccountAddress : account.DisplayName;
    if (kind == MessageType::Test) return;
    smtpServer_ = account.SMTPServer;
    smtpPort_ = portNumber(account.SMTPServerPort, Accounts::kSmtpPort);
    smtpSecurity_ = account.SMTPSecurity;
    const engines::SmtpAccountAuth auth = engines::SmtpAccountAuthOf(account);
    pop3Security_ = static_cast<std::int16_t>(auth.pop3Security);
    pop3Server_ = auth.pop3Server;
    authUser_ = auth.authUser;
    authPassword_ = auth.authPassword;
    if (MiscFuncs::IsBlank(auth.pop3Server)) return;
    pop3User_ = auth.pop3User;
    pop3Password_ = auth.pop3Password;
    pop3Port_ = portNumber(auth.pop3Port, Accounts::kPop3Port);
}

bool CEsmtp::SendMessage(MessageType kind, std::string_view account, std::string_view recipient,
                         std::string_view subject, platform::SocketControl& socket) {
    try {
        AccountAddress = account;
        Recipient = recipient;
        return send(kind, subject, socket);
    } catch (const std::exception& e) {
        MiscFuncs::WriteLog(1, "#", std::string("Error in CESMTP::SendMessage ") + e.what());
        modProgress::HideSendProgress();
        return false;
    }
}

bool CEsmtp::send(MessageType kind, std::string_view subject, platform::SocketControl& socket) {
    const platform::AliveToken::Watch alive = alive_.watch();
    const platform::AliveGuard socketAlive(&socket);
    modProgress::ShowSendProgress();
    modProgress::SetSendProgressMax(4);
    RelayRefused = false;
    SmtpPassed = false;
    Pop3Passed = false;
    LastError.clear();
    readAccount(kind);
    GenerateMessages(kind);
    // The warning about unreadable texts lets events run: the owner or the socket's
    // window may be gone.
    if (!alive || !socketAlive) {
        modProgress::HideSendProgress();
        return false;
    }
    if (socket.state() != platform::SocketControl::kClosed) socket.close();

    OwnMails::MailHead head{kind, displayName_, AccountAddress, Recipient, std::string(subject),
                            MiscFuncs::NewGuidString(), {}, OwnMails::NewBoundary(), InstallationSecret::Key()};
    const std::string hostName = platform::SocketControl::localHostName();
    head.messageIdDomain = SmtpText::MessageIdDomain(hostName, socket.localIP());
    if (kind == MessageType::Test) {
        MiscFuncs::WriteLog(1, "i", "Testing smtp server " + smtpServer_ + " on port " + std::to_string(smtpPort_));
    }
    engines::SmtpClientSession session({pop3Server_, pop3Port_, pop3User_, pop3Password_, smtpServer_, smtpPort_,
                                        authUser_, authPassword_, hostName, bareAddress(AccountAddress),
                                        bareAddress(Recipient), OwnMails::ComposeMessage(head, *this),
                                        pop3Security_, smtpSecurity_});
    const bool ran = engines::SmtpSocketDriver(socket, session, alive).run();
    if (!alive) {
        modProgress::HideSendProgress();
        return false;
    }
    const engines::SmtpOutcome& outcome = session.outcome();
    SmtpPassed = outcome.smtpPassed;
    Pop3Passed = outcome.pop3Passed;
    RelayRefused = outcome.relayRefused;
    LastError = outcome.lastError;
    if (!ran) LastError += "Remote host disconnected\r\n";
    const bool sent = ran && outcome.sent;
    if (!sent) MiscFuncs::WriteLog(1, "#", LastError);
    modProgress::HideSendProgress();
    if (ran && socket.state() != platform::SocketControl::kClosed) socket.close();
    return sent;
}

bool CEsmtp::TestAccount(std::string_view account, std::string_view smtpServer, std::string_view smtpPort,
                         std::int16_t /*requiresAuth*/, std::int16_t /*authType*/, std::string_view authUser,
                         std::string_view authPassword, std::string_view pop3Server, std::string_view pop3Port,
                         std::string_view pop3User, std::string_view pop3Password,
                         platform::SocketControl& socket) {
    try {
        smtpServer_ = smtpServer;
        smtpPort_ = portNumber(smtpPort, Accounts::kSmtpPort);
        authUser_ = authUser;
        authPassword_ = authPassword;
        pop3Server_ = pop3Server;
        if (!MiscFuncs::IsBlank(pop3Port)) pop3Port_ = portNumber(pop3Port, Accounts::kPop3Port);
        pop3User_ = pop3User;
        pop3Password_ = pop3Password;
        return SendMessage(MessageType::Test, account, account, "Glimmerpost test message", socket);
    } catch (const std::exception& e) {
        MiscFuncs::WriteLog(1, "#", std::string("Error in CESMTP::AddNewMessage ") + e.what());
        return false;
    }
}
