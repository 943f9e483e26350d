// The AUTH steps of SmtpClientSession (RFC 4954): CRAM-MD5 (RFC 2195), LOGIN (the
// draft-murchison-sasl-login exchange: user name, then password, whatever the
// prompts say) and PLAIN (RFC 4616), tried in that order among those offered.
#include "engines/SmtpClientSession.h"

#include <string>

#include "core/Digest.h"

namespace engines {

void SmtpClientSession::nextMechanism() {
    // Without a user name there is nothing to authenticate with; the server judges
    // the mail without it.
    while (!config_.authUser.empty() && nextMechanism_ < offered_.size()) {
        const std::size_t index = nextMechanism_++;
        if (!offered_[index]) continue;
        mechanism_ = static_cast<Mechanism>(index);
        enterPhase(Phase::AuthStart);
        switch (mechanism_) {
        case Mechanism::CramMd5: send("AUTH CRAM-MD5\r\n"); break;
        case Mechanism::Login: send("AUTH LOGIN\r\n"); break;
        case Mechanism::Plain: send("AUTH PLAIN\r\n"); break;
        }
        return;
    }
    mailFrom();
}

void SmtpClientSession::handleAuth(const ServerReply& reply) {
    if (phase_ == Phase::AuthCancel) return nextMechanism();
    const bool awaitsChallenge =
        phase_ == Phase::AuthStart || (phase_ == Phase::AuthStep1 && mechanism_ == Mechanism::Login);
    if (reply.code == 334 && awaitsChallenge) return authChallenge(reply.lastLineText());
    authFinal(reply);
}

void SmtpClientSession::authChallenge(std::string_view challenge) {
    const std::string& user = config_.authUser;
    const std::string& password = config_.authPassword;
    if (phase_ == Phase::AuthStep1) {
        enterPhase(Phase::AuthStep2);
        return send(MiscFuncs::Base64Encode(password) + "\r\n", Secret::Whole);
    }
    enterPhase(Phase::AuthStep1);
    switch (mechanism_) {
    case Mechanism::CramMd5: {
        const std::string decoded = MiscFuncs::Base64Decode(challenge);
        if (decoded.empty()) {
            // RFC 4954 4: "*" cancels an exchange the client cannot answer.
            enterPhase(Phase::AuthCancel);
            return send("*\r\n");
        }
        return send(MiscFuncs::Base64Encode(user + " " + MiscFuncs::HmacMD5(password, decoded)) + "\r\n",
                    Secret::Whole);
    }
    case Mechanism::Login: return send(MiscFuncs::Base64Encode(user) + "\r\n", Secret::Whole);
    case Mechanism::Plain: {
        std::string credentials(1, '\0');
        credentials.append(user).append(1, '\0').append(password);
        return send(MiscFuncs::Base64Encode(credentials) + "\r\n", Secret::Whole);
    }
    }
}

void SmtpClientSession::authFinal(const ServerReply& reply) {
    if (reply.code == 235) return mailFrom();
    if (reply.code == 334) {
        // A further challenge nobody asked for: end the exchange before going on.
        enterPhase(Phase::AuthCancel);
        return send("*\r\n");
    }
    if (reply.code == 535) {
        addError(mechanism_ == Mechanism::CramMd5 ? "authenticating user on SMTP server failed"
                                                  : "Authenticating user on SMTP server failed");
    }
    nextMechanism();
}

}  // namespace engines
