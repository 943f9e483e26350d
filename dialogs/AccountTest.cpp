#include "dialogs/AccountTest.h"

#include "core/MiscUtils.h"
#include "engines/CEsmtp.h"
#include "platform/SocketControl.h"

namespace dialogs {

struct AccountTest::State {
    platform::SocketControl TestSocket;
    std::unique_ptr<CEsmtp> esmtp;  // the client of the running test
    bool running = false;
    bool abandoned = false;
};

std::optional<MissingField> FirstMissingField(const MailAccount& a) {
    struct Check {
        const std::string& text;
        AccountField field;
        const char* message;
    };
    const Check checks[] = {
        {a.EMailAddress, AccountField::Address, "E-mail address not specified!"},
        {a.POP3UserName, AccountField::POP3UserName, "POP3 username not specified!"},
        {a.POP3Password, AccountField::POP3Password,
         "You must enter your email password.  It was given to you at the time you setup your email!"},
        {a.POP3Server, AccountField::POP3Server, "POP3 server not specified!"},
        {a.POP3ServerPort, AccountField::POP3ServerPort, "POP3 server port not specified!"},
        {a.SMTPServer, AccountField::SMTPServer, "SMTP server not specified!"},
        {a.SMTPServerPort, AccountField::SMTPServerPort, "SMTP server port not specified!"},
    };
    for (const Check& c : checks)
        if (MiscFuncs::TrimBlanks(c.text).empty()) return MissingField{c.field, c.message};
    return std::nullopt;
}

SmtpLogin TestLoginOf(const MailAccount& a) {
    if (a.SMTPRequiresAuth != 1) return {};
    if (a.SMTPAuthType == 1 || a.SMTPAuthType == 2) return {a.POP3UserName, a.POP3Password};
    return {a.SMTPAuthUserName, a.SMTPAuthPassword};
}

AccountTest::AccountTest() : state_(std::make_shared<State>()) {}

AccountTest::~AccountTest() {
    if (!state_->running) return;
    // Run still holds the state: the socket stays until the client lets go of it.
    // Releasing the client makes its call return at once without touching it again.
    state_->abandoned = true;
    state_->esmtp.reset();
}

bool AccountTest::Running() const { return state_->running; }

AccountTestOutcome AccountTest::Run(const MailAccount& a) {
    AccountTestOutcome out;
    if (state_->running) {
        out.lastError = "An account test is running already\r\n";
        return out;
    }
    const std::shared_ptr<State> state = state_;  // outlives this object if need be
    state->running = true;
    const SmtpLogin login = TestLoginOf(a);
    state->esmtp = std::make_unique<CEsmtp>();
    state->esmtp->SetTestSecurity(a.POP3Security, a.SMTPSecurity);
    state->esmtp->TestAccount(MiscFuncs::TrimBlanks(a.EMailAddress), MiscFuncs::TrimBlanks(a.SMTPServer),
                      MiscFuncs::TrimBlanks(a.SMTPServerPort), a.SMTPRequiresAuth, a.SMTPAuthType, login.user,
                      login.password, MiscFuncs::TrimBlanks(a.POP3Server), MiscFuncs::TrimBlanks(a.POP3ServerPort),
                      MiscFuncs::TrimBlanks(a.POP3UserName), a.POP3Password, state->TestSocket);
    state->running = false;
    const std::unique_ptr<CEsmtp> esmtp = std::move(state->esmtp);
    out.abandoned = state->abandoned || !esmtp;
    if (out.abandoned) return out;
    out.pop3Passed = esmtp->Pop3Passed;
    out.smtpPassed = esmtp->SmtpPassed;
    out.lastError = esmtp->LastError;
    return out;
}

}  // namespace dialogs
