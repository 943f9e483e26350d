#pragma once
// SmtpAuthExchange: the client side of SMTP authentication (RFC 4954), used by the
// program's SMTP client (protocol/SmtpClientSession.h) and by the SMTP proxy towards
// the provider's server (protocol/SmtpProxySession.h): one implementation for both.
//
// The mechanisms come from the AUTH lines of the server's EHLO reply and are tried in
// the order CRAM-MD5 (RFC 2195), LOGIN (user name, then password, whatever the prompts
// say) and PLAIN (RFC 4616). A mechanism the server refuses gives way to the next
// one; a 535 is reported as a failure of the credentials. "*" cancels an exchange
// the client cannot answer (RFC 4954 4). Every line the exchange sends after its AUTH
// command carries credentials and is marked secret: callers keep it out of their logs.
//
// Usage: Offer the EHLO reply lines, then Begin; send what it gives, feed every reply
// to Answer and act on the result, until Begin gives nothing more (no mechanism left:
// go on without authentication) or Answer says Authenticated.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct MailAccount;

namespace engines {

// What an account asks of a send to its SMTP server: nothing unless SMTPRequiresAuth
// is 1; then by SMTPAuthType 1 a POP3 login first (POP-before-SMTP, with the POP3
// settings), 2 AUTH with the POP3 login, anything else AUTH with SMTPAuthUserName and
// SMTPAuthPassword. The record comes from Accounts (core/MailAccount.h).
struct SmtpAccountAuth {
    std::string authUser{};  // AUTH when not empty
    std::string authPassword{};
    std::string pop3Server{};  // POP-before-SMTP when not blank
    std::string pop3Port{};    // as written
    std::string pop3User{};
    std::string pop3Password{};
    int pop3Security = 0;      // the account's POP3Security
};
SmtpAccountAuth SmtpAccountAuthOf(const MailAccount& account);

struct SmtpAuthStep {
    enum class Kind {
        Send,           // send `bytes` (secret: credentials) and feed the reply to Answer
        Authenticated,  // 235: the server accepted the credentials
        Refused,        // this mechanism failed; `error` says why when the credentials did
    };
    Kind kind = Kind::Send;
    std::string bytes{};
    bool secret = false;
    std::string error{};  // Refused: "" or the line for the error text
    std::string reply{};  // Refused: the code of the reply that refused, "" after a cancel
};

class SmtpAuthExchange {
public:
    // Where an exchange stands, for the callers' state names.
    enum class Stage { Idle, Start, Step1, Step2, Cancel };

    SmtpAuthExchange() = default;
    SmtpAuthExchange(std::string user, std::string password);

    // Forgets the offers and starts again with the first mechanism.
    void Reset();
    // Takes the mechanisms of every "AUTH" line of an EHLO reply (lines with their
    // "250-" or "250 " in front, line ends removed).
    void Offer(const std::vector<std::string>& ehloLines);
    // The AUTH command of the next offered mechanism; nullopt when none is left or
    // there is no user name to authenticate with.
    std::optional<std::string> Begin();
    // The next step after a reply (its code, and the text of its last line after the
    // code for a 334 challenge).
    SmtpAuthStep Answer(int code, std::string_view lastLineText);

    Stage stage() const { return stage_; }

private:
    enum class Mechanism { CramMd5, Login, Plain };

    SmtpAuthStep challenge(std::string_view text);
    SmtpAuthStep send(std::string bytes, bool secret, Stage next);

    std::string user_;
    std::string password_;
    std::array<bool, 3> offered_{};
    std::size_t next_ = 0;
    Mechanism mechanism_ = Mechanism::Plain;
    Stage stage_ = Stage::Idle;
};

}  // namespace engines
