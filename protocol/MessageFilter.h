#pragma once
// MessageFilter: what happens on the server to one message whose header block the
// collector fetched with TOP (engines/POP3CollectorForm.h): deleted unread, left
// there, or fetched and stored in one of the account's folders.
//
// The tests run in this order; the first that applies decides:
//   1. the sender is the approval service's mailbox      RegistrationReply
//   2. the sender is no valid address                     DeleteFromServer
//   3. the program's own account test mail to itself      DeleteFromServer
//   4. one of the user's accounts                         Accept
//   5. one of the user's aliases ("*@domain" included)    Accept
//   6. an approved / blocked domain                       Accept / DeleteFromServer
//   7. one of this installation's own registration requests Accept
//      (the X-GLP-MESSAGE field under a signature that verifies, OwnMailSignature.h)
//   8. a mail rule                                        the rule's action
//   9. a postmaster or mailer-daemon mailbox              ServiceMessage
//  10. the sender list: not listed UnknownSender, blocked DeleteFromServer, approved
//      Accept, unknown HoldUnregistered until his limit of held messages, waiting for
//      approval HoldUnregistered (his mail stays reachable until the user decides).
//      The limit is the account's UnAuthSenderMaxMessageCount, where set: at it the
//      sender is blocked and the message deleted. Else, with [options]
//      LimitMessagesFromUnknown, MaxMessagesCountFromUnknown: at it the sender is
//      blocked and the message deleted with AutoRejectSendersExceedingLimit, and
//      without it the message is left on the server (nothing is lost).
//
// The sender is the bare address of the From header (core/Address.h). A From header
// that is missing or cannot be read (what it yields holds no single "@", or blanks,
// quotes, brackets or separators) and a header block that cannot be read leave the
// message on the server: deleting mail unread is kept for senders that are known to
// be invalid (an address read whole that fails the check), blocked or over their limit.
//
// The filter keeps the entry of a known but unregistered sender up to date (its reason
// becomes the subject of his latest held message) and blocks him at his limit; it
// writes no log itself, but for a status change that senders.ini could not take. A
// non-numeric or blank UnAuthSenderMaxMessageCount is no limit.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/Aliases.h"

class CDomains;
class CIniFile;
class CMailRules;
class CMessage;
class CSenders;
class ProgramSettings;

// The decision for one message on the server.
enum class FilterVerdict : std::int32_t {
    DeleteFromServer = 0,
    Accept = 1,
    HoldUnregistered = 2,
    ServiceMessage = 3,
    UnknownSender = 4,
    RegistrationReply = 5,
    LeaveOnServer = 6,
};

namespace FilterReasons {
inline constexpr std::string_view InvalidSender = "Invalid email address of sender";
inline constexpr std::string_view TestMessage = "Test message of Glimmerpost";
inline constexpr std::string_view OwnAccount = "Message from your one of your accounts";
inline constexpr std::string_view OwnAlias = "Message from your one of your aliases";
inline constexpr std::string_view DomainApproved = "Domain is in approved list";
inline constexpr std::string_view DomainBlocked = "Domain is in blocked list";
inline constexpr std::string_view ServiceMailbox = "From service mailbox (postmaster)";
inline constexpr std::string_view SenderUnknown = "Sender is unknown";
inline constexpr std::string_view SenderBlocked = "Sender is blocked";
inline constexpr std::string_view SenderApproved = "Sender is approved";
inline constexpr std::string_view LimitExceeded = "Sender is not registered, message limit is exceeded";
inline constexpr std::string_view LimitNotExceeded = "Sender is not registered, but message limit is not exceeded";
inline constexpr std::string_view BlockedAtLimit = "Maximum number of messages exceeded";
inline constexpr std::string_view AwaitingApproval = "Sender is registered, waiting for approval";
inline constexpr std::string_view NoSenderAddress = "Sender address could not be read";
inline constexpr std::string_view NoHeaderBlock = "Message headers could not be read";
}  // namespace FilterReasons

// The subject of the program's account test mail and the marker of its requests.
inline constexpr std::string_view kTestMessageSubject = "Glimmerpost test message";
inline constexpr std::string_view kRegRequestMarker = "X-GLP-MESSAGE: REGREQUEST";

class MessageFilter {
public:
    // Every object must outlive the filter.
    MessageFilter(const CIniFile& accounts, const CIniFile& aliases, const ProgramSettings& settings,
                  const CDomains& domains, const CMailRules& rules, CSenders& senders);

    // The verdict for a message of the account (its accounts.ini section) built from a
    // TOP reply. reason comes in empty and is set where the verdict has one.
    FilterVerdict FilterMessage(std::string_view account, const CMessage& message, std::string& reason);

    // The key the own requests' signature is checked under; the installation's secret
    // (core/InstallationSecret.h) unless a test gives its own.
    void SetSigningKey(std::function<std::string()> key) { signingKey_ = std::move(key); }

private:
    bool ownSignedRequest(const CMessage& message) const;
    bool ownAddress(const std::string& sender, std::string& reason, FilterVerdict& verdict);
    bool listedDomain(const std::string& sender, std::string& reason, FilterVerdict& verdict) const;
    FilterVerdict bySenderList(std::string_view account, const std::string& sender, const CMessage& message,
                               std::string& reason);
    FilterVerdict unregistered(std::string_view account, const std::string& sender, const CMessage& message,
                               std::string& reason);
    double senderDate(const CMessage& message) const;

    const CIniFile& accounts_;
    const ProgramSettings& settings_;
    const CDomains& domains_;
    const CMailRules& rules_;
    CSenders& senders_;
    OwnAddresses own_;
    std::function<std::string()> signingKey_;
};
