// The AUTH exchange (RFC 4954) shared by the SMTP client and the SMTP proxy, and what
// an account's settings ask of it.
#include "protocol/SmtpClientAuth.h"

#include <string>

#include "core/Digest.h"
#include "core/MailAccount.h"
#include "core/MiscUtils.h"

namespace engines {

SmtpAccountAuth SmtpAccountAuthOf(const MailAccount& account) {
    SmtpAccountAuth auth;
    if (account.SMTPRequiresAuth != 1) return auth;
    if (account.SMTPAuthType == 1) {
        auth.pop3User = account.POP3UserName;
        auth.pop3Password = account.POP3Password;
        auth.pop3Server = account.POP3Server;
        auth.pop3Port = account.POP3ServerPort;
        auth.pop3Security = account.POP3Security;
    } else if (account.SMTPAuthType == 2) {
        auth.authUser = account.POP3UserName;
        auth.authPassword = account.POP3Password;
    } else {
        auth.authUser = account.SMTPAuthUserName;
        auth.authPassword = account.SMTPAuthPassword;
    }
    return auth;
}

SmtpAuthExchange::SmtpAuthExchange(std::string user, std::string password)
    : user_(std::move(user)), password_(std::move(password)) {}

void SmtpAuthExchange::Reset() {
    offered_ = {};
    next_ = 0;
    stage_ = Stage::Idle;
}

void SmtpAuthExchange::Offer(const std::vector<std::string>& ehloLines) {
    for (const std::string& line : ehloLines) {
        if (line.size() < 9 || MiscFuncs::UpperCase(line.substr(4, 5)) != "AUTH ") continue;
        std::string_view rest = std::string_view(line).substr(9);
        while (!rest.empty()) {
            const std::size_t blank = rest.find(' ');
            const std::string word = MiscFuncs::UpperCase(rest.substr(0, blank));
            rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
            if (word == "CRAM-MD5") offered_[static_cast<std::size_t>(Mechanism::CramMd5)] = true;
            if (word == "LOGIN") offered_[static_cast<std::size_t>(Mechanism::Login)] = true;
            if (word == "PLAIN") offered_[static_cast<std::size_t>(Mechanism::Plain)] = true;
        }
    }
}

std::optional<std::string> SmtpAuthExchange::Begin() {
    // Without a user name there is nothing to authenticate with; the server judges
    // the mail without it.
    while (!user_.empty() && next_ < offered_.size()) {
        const std::size_t index = next_++;
        if (!offered_[index]) continue;
        mechanism_ = static_cast<Mechanism>(index);
        stage_ = Stage::Start;
        switch (mechanism_) {
        case Mechanism::CramMd5: return std::string("AUTH CRAM-MD5\r\n");
        case Mechanism::Login: return std::string("AUTH LOGIN\r\n");
        case Mechanism::Plain: return std::string("AUTH PLAIN\r\n");
        }
    }
    stage_ = Stage::Idle;
    return std::nullopt;
}

SmtpAuthStep SmtpAuthExchange::send(std::string bytes, bool secret, Stage next) {
    stage_ = next;
    return {SmtpAuthStep::Kind::Send, std::move(bytes), secret, {}, {}};
}

SmtpAuthStep SmtpAuthExchange::Answer(int code, std::string_view lastLineText) {
    if (stage_ == Stage::Cancel) {
        stage_ = Stage::Idle;
        return {SmtpAuthStep::Kind::Refused, {}, false, {}, {}};
    }
    const bool awaitsChallenge = stage_ == Stage::Start || (stage_ == Stage::Step1 && mechanism_ == Mechanism::Login);
    if (code == 334 && awaitsChallenge) return challenge(lastLineText);
    if (code == 235) {
        stage_ = Stage::Idle;
        return {SmtpAuthStep::Kind::Authenticated, {}, false, {}, {}};
    }
    // A further challenge nobody asked for: end the exchange before going on.
    if (code == 334) return send("*\r\n", false, Stage::Cancel);
    stage_ = Stage::Idle;
    SmtpAuthStep refused{SmtpAuthStep::Kind::Refused, {}, false, {}, std::to_string(code)};
    if (code == 535)
        refused.error = mechanism_ == Mechanism::CramMd5 ? "authenticating user on SMTP server failed"
                                                         : "Authenticating user on SMTP server failed";
    return refused;
}

SmtpAuthStep SmtpAuthExchange::challenge(std::string_view text) {
    if (stage_ == Stage::Step1) return send(MiscFuncs::Base64Encode(password_) + "\r\n", true, Stage::Step2);
    switch (mechanism_) {
    case Mechanism::CramMd5: {
        const std::string decoded = MiscFuncs::Base64Decode(text);
        // RFC 4954 4: "*" cancels an exchange the client cannot answer.
        if (decoded.empty()) return send("*\r\n", false, Stage::Cancel);
        return send(MiscFuncs::Base64Encode(user_ + " " + MiscFuncs::HmacMD5(password_, decoded)) + "\r\n", true,
                    Stage::Step1);
    }
    case Mechanism::Login: return send(MiscFuncs::Base64Encode(user_) + "\r\n", true, Stage::Step1);
    case Mechanism::Plain: {
        std::string credentials(1, '\0');
        credentials.append(user_).append(1, '\0').append(password_);
        return send(MiscFuncs::Base64Encode(credentials) + "\r\n", true, Stage::Step1);
    }
    }
    return send("*\r\n", false, Stage::Cancel);
}

}  // namespace engines
