#pragma once
// AccountTest: tests one mail account against its provider's servers, as the options
// dialog's and the setup wizard's Test buttons do. The program's own SMTP client
// (engines/CEsmtp.h) logs in to the POP3 server when one is given and sends the test
// mail from the account to itself; the account passes when both the POP3 login and
// the send got through. Both connections follow the record's POP3Security and
// SMTPSecurity; a refused certificate fails the test with its reason in the message.
//
// The test lends the client a socket control of its own (TestSocket) and waits with
// events running. The tester may be destroyed during that wait (its window closed by
// the program's end): the client is released, which makes its call return at once,
// the socket lives on until then, and Run reports that the test was abandoned; its
// caller must not touch its own window afterwards either.
//
// Before any traffic the account's fields are checked in a fixed order; the first
// blank one stops the test with its message.

#include <memory>
#include <optional>
#include <string>

#include "core/MailAccount.h"

namespace dialogs {

enum class AccountField { Address, POP3UserName, POP3Password, POP3Server, POP3ServerPort, SMTPServer, SMTPServerPort };

struct MissingField {
    AccountField field;
    std::string message;  // e.g. "POP3 server not specified!"
};

// The first blank (after trimming) of the fields the test needs, with its message.
std::optional<MissingField> FirstMissingField(const MailAccount& account);

// The SMTP login the test uses: with SMTPRequiresAuth 1, the POP3 login for the
// types 1 and 2 and the SMTP login for type 0; otherwise none.
struct SmtpLogin {
    std::string user, password;
};
SmtpLogin TestLoginOf(const MailAccount& account);

struct AccountTestOutcome {
    bool abandoned = false;  // the tester was destroyed during the test
    bool pop3Passed = false;
    bool smtpPassed = false;
    std::string lastError;  // the client's error lines, each ending with CR LF
    bool passed() const { return !abandoned && pop3Passed && smtpPassed; }
    // The text of the failure box: the client's errors, CR LF, "Account test failed!!".
    std::string FailureText() const { return lastError + "\r\nAccount test failed!!"; }
};

class AccountTest {
public:
    AccountTest();
    ~AccountTest();
    AccountTest(const AccountTest&) = delete;
    AccountTest& operator=(const AccountTest&) = delete;

    // Runs the test; the fields must have passed FirstMissingField. Not re-entrant:
    // a second call while one runs returns a failure at once.
    AccountTestOutcome Run(const MailAccount& account);
    bool Running() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace dialogs
