#include "protocol/MessageFilter.h"

#include <algorithm>

#include "core/Address.h"
#include "core/CDomains.h"
#include "core/CIniFile.h"
#include "core/CMailRules.h"
#include "core/CMessage.h"
#include "core/CSenders.h"
#include "core/Dates.h"
#include "core/InstallationSecret.h"
#include "core/Log.h"
#include "core/MailAccount.h"
#include "core/MiscUtils.h"
#include "core/ProgramSettings.h"
#include "core/ServiceAddresses.h"
#include "protocol/OwnMailSignature.h"

MessageFilter::MessageFilter(const CIniFile& accounts, const CIniFile& aliases, const ProgramSettings& settings,
                             const CDomains& domains, const CMailRules& rules, CSenders& senders)
    : accounts_(accounts), settings_(settings), domains_(domains), rules_(rules), senders_(senders),
      own_(accounts, aliases) {}

namespace {

// Whether the reading of a From header gave something shaped like an address: one
// "@" and none of the blanks, quotes, brackets and separators that a header we failed
// to take apart (a group, a display name without an address, text that is no mail
// header at all) leaves in it. A readable address may still be invalid.
bool readable(std::string_view sender) {
    if (std::count(sender.begin(), sender.end(), '@') != 1) return false;
    for (char c : sender) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F) return false;
        if (std::string_view("\"<>(),;:\\[]").find(c) != std::string_view::npos) return false;
    }
    return true;
}

}  // namespace

FilterVerdict MessageFilter::FilterMessage(std::string_view account, const CMessage& message, std::string& reason) {
    std::string displayName;
    const std::string sender = MiscFuncs::ParseAddress(message.From, displayName);
    if (sender == ServiceAddresses::ServiceSenderAddress) return FilterVerdict::RegistrationReply;
    // A header we cannot read is no proof of a bad sender: the message stays.
    if (!readable(sender)) {
        reason = FilterReasons::NoSenderAddress;
        return FilterVerdict::LeaveOnServer;
    }
    if (!MiscFuncs::IsValidEmail(sender)) {
        reason = FilterReasons::InvalidSender;
        return FilterVerdict::DeleteFromServer;
    }
    std::string toName;
    if (MiscFuncs::ParseAddress(message.MessageTo, toName) == sender &&
        message.Subject.find(kTestMessageSubject) != std::string::npos) {
        reason = FilterReasons::TestMessage;
        return FilterVerdict::DeleteFromServer;
    }
    FilterVerdict verdict = FilterVerdict::LeaveOnServer;
    if (ownAddress(sender, reason, verdict) || listedDomain(sender, reason, verdict)) return verdict;
    if (ownSignedRequest(message)) return FilterVerdict::Accept;
    const RuleAction action = rules_.ActionForMessage(message, reason);
    if (action != RuleAction::NoRule) return static_cast<FilterVerdict>(action);
    reason.clear();
    const std::string user = MiscFuncs::LowerCase(MiscFuncs::UserOf(sender));
    if (user == "mailer-daemon" || user == "postmaster") {
        reason = FilterReasons::ServiceMailbox;
        return FilterVerdict::ServiceMessage;
    }
    return bySenderList(account, sender, message, reason);
}

// One of this installation's own requests: the marker as a header field, under a
// signature that verifies. Anyone can write the marker; only we can sign.
bool MessageFilter::ownSignedRequest(const CMessage& message) const {
    if (!OwnMailSignature::HasRequestMarker(message.Headers)) return false;
    return OwnMailSignature::Verify(signingKey_ ? signingKey_() : InstallationSecret::Key(), message.Headers);
}

bool MessageFilter::ownAddress(const std::string& sender, std::string& reason, FilterVerdict& verdict) {
    switch (own_.Classify(sender)) {
        case OwnAddressKind::Account: reason = FilterReasons::OwnAccount; break;
        case OwnAddressKind::Alias: reason = FilterReasons::OwnAlias; break;
        case OwnAddressKind::None: return false;
    }
    verdict = FilterVerdict::Accept;
    return true;
}

bool MessageFilter::listedDomain(const std::string& sender, std::string& reason, FilterVerdict& verdict) const {
    switch (domains_.StatusOf(MiscFuncs::DomainOf(sender))) {
        case DomainStatus::Approved:
            reason = FilterReasons::DomainApproved;
            verdict = FilterVerdict::Accept;
            return true;
        case DomainStatus::Blocked:
            reason = FilterReasons::DomainBlocked;
            verdict = FilterVerdict::DeleteFromServer;
            return true;
        case DomainStatus::NotListed: break;
    }
    return false;
}

FilterVerdict MessageFilter::bySenderList(std::string_view account, const std::string& sender,
                                          const CMessage& message, std::string& reason) {
    switch (senders_.StatusOf(sender)) {
        case SenderStatus::NotListed: reason = FilterReasons::SenderUnknown; return FilterVerdict::UnknownSender;
        case SenderStatus::Blocked: reason = FilterReasons::SenderBlocked; return FilterVerdict::DeleteFromServer;
        case SenderStatus::Approved: reason = FilterReasons::SenderApproved; return FilterVerdict::Accept;
        case SenderStatus::Unknown: return unregistered(account, sender, message, reason);
        case SenderStatus::WaitingAuth: break;
    }
    // He has registered; approval moves his held mail to the inbox, so it must be held.
    reason = FilterReasons::AwaitingApproval;
    return FilterVerdict::HoldUnregistered;
}

FilterVerdict MessageFilter::unregistered(std::string_view account, const std::string& sender,
                                          const CMessage& message, std::string& reason) {
    const std::size_t held = senders_.MessagesStoredAwaitingAuth(sender);
    // The account's own limit blocks at once; the General tab's limit blocks only with
    // its auto reject, and otherwise leaves the further messages on the server.
    std::optional<std::int64_t> limit = Accounts::UnknownSenderLimit(accounts_, account);
    bool reject = limit.has_value();
    if (!limit && settings_.LimitMessagesFromUnknown()) {
        limit = settings_.MaxMessagesCountFromUnknown();
        reject = settings_.AutoRejectSendersExceedingLimit();
    }
    if (limit && static_cast<std::int64_t>(held) >= *limit && !reject) {
        reason = FilterReasons::LimitExceeded;
        return FilterVerdict::LeaveOnServer;
    }
    if (limit && static_cast<std::int64_t>(held) >= *limit) {
        if (senders_.ChangeStatus("", sender, SenderStatus::Blocked, FilterReasons::BlockedAtLimit,
                                  MiscFuncs::NowDate()) == StatusChange::Failed)
            MiscFuncs::WriteLog(0, "#", "Error in POP3CollectorForm::FilterMessage the sender " + sender +
                                            " could not be blocked");
        reason = FilterReasons::LimitExceeded;
        return FilterVerdict::DeleteFromServer;
    }
    if (senders_.ChangeStatus("", sender, SenderStatus::Unknown, message.Subject, senderDate(message)) ==
        StatusChange::Failed)
        MiscFuncs::WriteLog(0, "#", "Error in POP3CollectorForm::FilterMessage the sender " + sender +
                                        " could not be updated");
    reason = FilterReasons::LimitNotExceeded;
    return FilterVerdict::HoldUnregistered;
}

double MessageFilter::senderDate(const CMessage& message) const {
    switch (settings_.UseMessageDate()) {
        case MessageDateSource::DateHeader: return message.SendDateTime();
        case MessageDateSource::Received: return message.ReceivedDateTime();
        case MessageDateSource::Default: break;
    }
    return MiscFuncs::NowDate();
}
