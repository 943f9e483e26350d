#pragma once
// CEsmtp: the program's own SMTP client. One call sends exactly one of the program's
// own mails (engines/OwnMails.h): a registration request, a confirmation, or the
// account test mail.
//
// It owns no socket: the caller hands in an idle socket control for the one call and
// gets it back closed. The protocol is protocol/SmtpClientSession.h (POP-before-SMTP
// when the account asks for it, EHLO or HELO, AUTH CRAM-MD5, LOGIN or PLAIN as the
// server offers, MAIL, RCPT, DATA, QUIT per RFC 5321); the waits let events run, so
// timers and sockets of other windows fire meanwhile, and an instance released by
// its owner during a wait makes the call return false without touching it again.
//
// Results: the return value and the public fields SmtpPassed, Pop3Passed, LastError
// and RelayRefused. On failure LastError ends with "Client sent: " and "Server
// replied: " lines and is written to the program log (level 1, "#"); passwords and
// AUTH data never appear in either. The send progress display runs from 1 to 4.
//
// Account settings come from accounts.ini (the section named by the account's
// address): DisplayName, SMTPServer, SMTPServerPort, SMTPRequiresAuth, SMTPAuthType
// ("1" POP3 before SMTP, "2" the POP3 login for AUTH, else SMTPAuthUserName and
// SMTPAuthPassword) and the POP3 keys; passwords are stored scrambled. The
// connections follow SMTPSecurity and POP3Security: plain, STARTTLS (STLS) or TLS
// from the first byte, with the server's certificate verified (platform/SocketControl.h);
// a refused certificate or a server without STARTTLS sends no credential.

#include <cstdint>
#include <string>
#include <string_view>

#include "engines/OwnMails.h"
#include "platform/AliveGuard.h"

namespace platform {
class SocketControl;
}

class CEsmtp : public GeneratedMail {
public:
    bool SmtpPassed = false;    // the message was accepted after the final dot, QUIT sent
    bool Pop3Passed = false;    // POP-before-SMTP got through USER, PASS and STAT
    std::string LastError;      // error lines of the last send, each ending with CR LF
    std::string Recipient;      // as given, perhaps with a display name
    std::string AccountAddress; // the sending account; its section in accounts.ini
    // UserText1..3, TextBody, HtmlBody and ImagePart: see GeneratedMail.
    bool RelayRefused = false;  // the server refused the recipient for good

    CEsmtp() = default;
    CEsmtp(const CEsmtp&) = delete;
    CEsmtp& operator=(const CEsmtp&) = delete;

    // Sends one mail of this kind from the account to the recipient. True when the
    // server accepted it after the final dot.
    bool SendMessage(MessageType kind, std::string_view account, std::string_view recipient,
                     std::string_view subject, platform::SocketControl& socket);

    // Sends the test mail from the account to itself over the given servers; the POP3
    // login runs whenever a POP3 server is given, AUTH whenever the server offers it.
    // The requires-auth flag and the auth type are accepted and not used.
    bool TestAccount(std::string_view account, std::string_view smtpServer, std::string_view smtpPort,
                     std::int16_t requiresAuth, std::int16_t authType, std::string_view authUser,
                     std::string_view authPassword, std::string_view pop3Server, std::string_view pop3Port,
                     std::string_view pop3User, std::string_view pop3Password, platform::SocketControl& socket);
    // The security of the test's connections (core/MailAccount.h Security), set before
    // TestAccount; plain unless set.
    void SetTestSecurity(std::int16_t pop3Security, std::int16_t smtpSecurity) {
        pop3Security_ = pop3Security;
        smtpSecurity_ = smtpSecurity;
    }

    // Standard Base64 of the text's bytes, padded, on one line.
    static std::string Base64EncodeString(std::string_view text);

    // Fills the bodies for the kind from Recipient, AccountAddress and the user texts.
    void GenerateMessages(MessageType kind);

private:
    void readAccount(MessageType kind);
    bool send(MessageType kind, std::string_view subject, platform::SocketControl& socket);

    std::string smtpServer_;
    int smtpPort_ = 25;
    std::string pop3Server_;
    int pop3Port_ = 110;
    std::string authUser_;
    std::string authPassword_;
    std::string pop3User_;
    std::string pop3Password_;
    std::string displayName_;
    std::int16_t pop3Security_ = 0;
    std::int16_t smtpSecurity_ = 0;
    platform::AliveToken alive_;
};
