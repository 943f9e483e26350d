// POP3CollectorForm: what happens to a message once the session has its bytes: the
// first pass's classification, and the storing and handling of the second pass.

#include "core/Address.h"
#include "core/CMessage.h"
#include "core/CMessages.h"
#include "core/CSenders.h"
#include "core/Dates.h"
#include "core/InstallationSecret.h"
#include "core/Log.h"
#include "core/MessageFiles.h"
#include "core/MessageKey.h"
#include "core/MiscUtils.h"
#include "core/ProgramSettings.h"
#include "core/Scramble.h"
#include "engines/POP3CollectorForm.h"
#include "engines/POP3CollectorSlot.h"
#include "protocol/OwnMailSignature.h"
#include "protocol/RegistrationReplies.h"
#include "platform/AliveGuard.h"

namespace {

constexpr std::string_view kHeaderEnd = "\r\n\r\n";


// The body of a message in its wire form, without a copy.
std::string_view bodyOf(const CMessage& message) {
    const std::string_view text = message.MessageText();
    const std::size_t end = text.find(kHeaderEnd);
    return end == std::string_view::npos ? std::string_view() : text.substr(end + kHeaderEnd.size());
}

// A message that is only a header block (RFC 5322 allows it) has no empty line: TOP
// and RETR give its header lines alone. It gets its empty line here, so that it is
// read, filed and stored like any other; a message that has one is left as it is.
std::string withHeaderEnd(std::string text) {
    if (text.find(kHeaderEnd) == std::string::npos && text.size() >= 2 && text.ends_with("\r\n")) text += "\r\n";
    return text;
}

bool isServiceMailbox(const std::string& sender) {
    const std::string user = MiscFuncs::LowerCase(MiscFuncs::UserOf(sender));
    return user == "mailer-daemon" || user == "postmaster";
}

}  // namespace

// ---------------------------------------------------------------- the session's handler

std::shared_ptr<POP3CollectorForm::AccountSlot> POP3CollectorForm::SlotHandler::live() const {
    if (!form_ || !form_->loaded_) return nullptr;
    std::shared_ptr<AccountSlot> slot = slot_.lock();
    return slot && slot->run.get() == run_ ? slot : nullptr;
}

engines::Classified POP3CollectorForm::SlotHandler::classify(int, std::string headerData) {
    const std::shared_ptr<AccountSlot> slot = live();
    if (!slot) return {};
    return form_->classify(*slot, std::move(headerData));
}

bool POP3CollectorForm::SlotHandler::store(int, const engines::Classified& decision, std::string message) {
    const std::shared_ptr<AccountSlot> slot = live();
    if (!slot) return false;
    CMessage parsed;
    if (!parsed.CreateFromText(withHeaderEnd(std::move(message)))) return false;
    return form_->StoreMessage(*slot, parsed, decision);
}

bool POP3CollectorForm::SlotHandler::commit() {
    const std::shared_ptr<AccountSlot> slot = live();
    return slot && slot->run->batch.Commit();
}

void POP3CollectorForm::SlotHandler::progress(const engines::Pop3Progress& step) {
    if (live()) form_->showProgress(step);
}

void POP3CollectorForm::SlotHandler::checkpoint(std::string_view point) {
    if (form_ && form_->hooks_.checkpoint) form_->hooks_.checkpoint(point);
}

// ---------------------------------------------------------------- the first pass

engines::Classified POP3CollectorForm::classify(AccountSlot& slot, std::string headerData) {
    CMessage message;
    if (!message.CreateFromText(withHeaderEnd(std::move(headerData)))) {
        MiscFuncs::WriteMessageLog("", "left on server", FilterReasons::NoHeaderBlock);
        return {FilterVerdict::LeaveOnServer, std::string(FilterReasons::NoHeaderBlock)};
    }
    engines::Classified decision;
    FilterMessage(slot.index, message, decision.reason, decision.verdict);
    if (decision.verdict == FilterVerdict::DeleteFromServer)
        MiscFuncs::WriteMessageLog(message.From, "deleted from server", decision.reason);
    else if (decision.verdict == FilterVerdict::LeaveOnServer)
        MiscFuncs::WriteMessageLog(message.From, "left on server", decision.reason);
    return decision;
}

void POP3CollectorForm::FilterMessage(int slot, const CMessage& message, std::string& reason, FilterVerdict& verdict) {
    verdict = filter_->FilterMessage(AccountOf(slot), message, reason);
}

// ---------------------------------------------------------------- the second pass

bool POP3CollectorForm::StoreMessage(AccountSlot& slot, CMessage& message, const engines::Classified& decision) {
    std::string displayName;
    const std::string sender = MiscFuncs::ParseAddress(message.From, displayName);
    switch (decision.verdict) {
        case FilterVerdict::Accept:
            if (!saveIn(slot, MessageKeys::kInBox, sender, message)) return false;
            MiscFuncs::WriteMessageLog(message.From, "Accepted", decision.reason);
            break;
        case FilterVerdict::HoldUnregistered:
            if (!saveIn(slot, MessageKeys::kWaitingAuth, sender, message)) return false;
            MiscFuncs::WriteMessageLog(message.From, "Downloaded for storage", decision.reason);
            break;
        case FilterVerdict::UnknownSender: {
            // Every message of a session is classified before the first is stored:
            // three from one stranger (or a From forged again and again) all came out
            // unknown. His status is looked at again, so he gets one request.
            if (lists_.senders.StatusOf(sender) != SenderStatus::NotListed) {
                engines::Classified again;
                FilterMessage(slot.index, message, again.reason, again.verdict);
                if (again.verdict != FilterVerdict::UnknownSender) {
                    if (again.verdict != FilterVerdict::DeleteFromServer && again.verdict != FilterVerdict::LeaveOnServer)
                        return StoreMessage(slot, message, again);
                    // Left for the next session, which deletes or leaves it as usual.
                    MiscFuncs::WriteMessageLog(message.From, "left on server", again.reason);
                    return false;
                }
            }
            // Stored first: a message that cannot be stored stays on the server, and
            // must not bring its sender a request at every session.
            if (!saveIn(slot, MessageKeys::kWaitingAuth, sender, message)) return false;
            // Entered before his request is queued, which may let events run.
            if (lists_.senders.ChangeStatus(displayName, sender, SenderStatus::Unknown, message.Subject,
                                            senderDate(message)) == StatusChange::Failed)
                MiscFuncs::WriteLog(0, "#", "Error in POP3CollectorForm::StoreMessage the sender " + std::string(sender) +
                                                " could not be entered as unknown");
            if (settings_->AutoSendRegRequests() && slot.run && slot.run->requested.insert(sender).second) {
                // A queue that cannot queue asks the user, with events running.
                const platform::AliveGuard alive(this);
                queueMail(MessageType::RegistrationRequest, slot.account, message.From, message.Subject);
                if (!alive || !slot.run) return true;
            }
            MiscFuncs::WriteMessageLog(message.From, "Downloaded for storage", decision.reason);
            break;
        }
        case FilterVerdict::ServiceMessage: return HandleServiceMessage(slot, message);
        case FilterVerdict::RegistrationReply: return HandleRegistrationReply(slot, message);
        case FilterVerdict::DeleteFromServer:
        case FilterVerdict::LeaveOnServer: return false;
    }
    if (slot.run) ++slot.run->newCount;
    return true;
}

bool POP3CollectorForm::saveIn(AccountSlot& slot, std::string_view folder, const std::string& sender,
                               CMessage& message) {
    const std::filesystem::path path = MessageKeys::FolderPath(slot.account, folder);
    if (path.empty() || !slot.run) {
        MiscFuncs::WriteLog(0, "#", "Error in POP3CollectorForm::StoreMessage no folder for " + slot.account);
        if (slot.run) ++slot.run->unstored;
        return false;
    }
    CMessages& store = lists_.messages;
    const auto keyOf = [&](std::string_view name) { return MessageKeys::MakeKey(slot.account, folder, name); };
    const auto inUse = [&](std::string_view name) { return store.Find(keyOf(name)) != nullptr; };
    const MessageFiles::StoredFile stored =
        MessageFiles::StoreMessageFile(path, sender, message, &slot.run->batch, inUse);
    if (stored.Name.empty()) {
        ++slot.run->unstored;
        return false;
    }
    // A message stored by a session that died before its QUIT is found again; the
    // index may already hold it too.
    if (!stored.AlreadyStored || !store.Find(keyOf(stored.Name))) store.AddMessage(slot.account, stored.Name, folder);
    return true;
}

bool POP3CollectorForm::HandleServiceMessage(AccountSlot& slot, CMessage& message) {
    std::string displayName;
    const std::string sender = MiscFuncs::ParseAddress(message.From, displayName);
    const std::string_view body = bodyOf(message);
    // Only a returned copy that we signed names whom our request went to.
    const std::optional<std::string> recipient =
        isServiceMailbox(sender) && body.find(kRegRequestMarker) != std::string_view::npos
            ? RegistrationReplies::SignedBouncedRecipient(body, InstallationSecret::Key())
            : std::nullopt;
    if (recipient) {
        // "Automatically delete bounced registration requests" unchecked: the bounce
        // is stored in the inbox for the user to read; its recipient is blocked all the same.
        const bool deleteBounce = settings_->AutoDeleteBounced();
        if (deleteBounce)
            MiscFuncs::WriteMessageLog(message.From, "inspected and deleted from server",
                                       "Bounced registration request");
        // Anyone can write a bounce: one must never block a sender the user approved.
        if (lists_.senders.StatusOf(*recipient) == SenderStatus::Approved)
            MiscFuncs::WriteLog(1, "!", "Registration request bounce ignored for the approved sender " + std::string(*recipient));
        else if (lists_.senders.ChangeStatus("", *recipient, SenderStatus::Blocked,
                                             "Registration request message bounced back") == StatusChange::Failed) {
            // Kept on the server: the next session tries again.
            MiscFuncs::WriteLog(0, "#", "Error in POP3CollectorForm::HandleServiceMessage the sender " +
                                            std::string(*recipient) + " could not be blocked");
            if (slot.run) ++slot.run->unstored;
            return false;
        }
        if (deleteBounce) return true;
        if (!saveIn(slot, MessageKeys::kInBox, sender, message)) return false;
        MiscFuncs::WriteMessageLog(message.From, "inspected and ccepted", "Bounced registration request");
        if (slot.run) ++slot.run->newCount;
        return true;
    }
    if (!saveIn(slot, MessageKeys::kInBox, sender, message)) return false;
    MiscFuncs::WriteMessageLog(message.From, "inspected and ccepted", "Unknown service message");
    if (slot.run) ++slot.run->newCount;
    return true;
}

bool POP3CollectorForm::HandleRegistrationReply(AccountSlot& slot, CMessage& message) {
    const RegistrationReplies::RegistrationReply reply = RegistrationReplies::ParseReplyBody(bodyOf(message));
    std::string displayName;
    const std::string address = MiscFuncs::ParseAddress(reply.from, displayName);
    // An empty sender would pass the code "0"; it is no sender either way.
    if (!MiscFuncs::IsValidEmail(address) || !MiscFuncs::VerifyRegCode(reply.from, slot.account, reply.code)) {
        MiscFuncs::WriteLog(1, "!", "Received incorect RegCode from " + std::string(address));
        return true;
    }
    // The code follows a published rule: only the token of our link tells a sender
    // who went through the approval page from anyone who wrote such a reply.
    const bool tokenHolds =
        OwnMailSignature::TokenHolds(InstallationSecret::Key(), reply.token, reply.from, slot.account);
    if (!tokenHolds) MiscFuncs::WriteLog(1, "!", "Registration reply without a valid token from " + address);
    if (settings_->ShowRegDialogs()) {
        if (lists_.senders.StatusOf(address) == SenderStatus::Approved) return true;
        std::string error;
        if (!RegistrationReplies::WriteRequestFile(slot.account, reply, &error).empty()) return true;
        MiscFuncs::WriteLog(0, "#", "Error in POP3CollectorForm::HandleRegistrationReply " + error);
        if (slot.run) ++slot.run->unstored;
        return false;
    }
    if (!tokenHolds) return awaitApproval(address, reply);
    if (lists_.senders.ChangeStatus(reply.name, address, SenderStatus::Approved, reply.reason) ==
        StatusChange::Failed) {
        // Kept on the server: the next session tries again.
        MiscFuncs::WriteLog(0, "#", "Error in POP3CollectorForm::HandleRegistrationReply the sender " +
                                        std::string(address) + " could not be approved");
        if (slot.run) ++slot.run->unstored;
        return false;
    }
    MiscFuncs::WriteLog(3, "i", "Registration: Sending confirmation to " + address);
    queueMail(MessageType::Confirmation, MiscFuncs::TrimBlanks(slot.account), reply.from, "Thank you for registering");
    return true;
}

// A reply we cannot trust goes to the user's Waiting approval list; he decides, and
// nobody is thanked meanwhile. A sender he approved or blocked stays as he is.
bool POP3CollectorForm::awaitApproval(const std::string& address, const RegistrationReplies::RegistrationReply& reply) {
    const SenderStatus status = lists_.senders.StatusOf(address);
    if (status == SenderStatus::Approved || status == SenderStatus::Blocked) return true;
    if (lists_.senders.ChangeStatus(reply.name, address, SenderStatus::WaitingAuth, reply.reason) ==
        StatusChange::Failed) {
        MiscFuncs::WriteLog(0, "#", "Error in POP3CollectorForm::HandleRegistrationReply the sender " + address +
                                        " could not be listed as waiting for approval");
        return false;
    }
    return true;
}

void POP3CollectorForm::queueMail(MessageType type, std::string_view account, std::string_view recipient,
                                  std::string_view subject) {
    if (!hooks_.addNewMessage) {
        MiscFuncs::WriteLog(0, "#", "Error in POP3CollectorForm::StoreMessage no outgoing queue for " +
                                        std::string(account));
        return;
    }
    hooks_.addNewMessage(type, account, recipient, subject);
}

double POP3CollectorForm::senderDate(const CMessage& message) const {
    switch (settings_->UseMessageDate()) {
        case MessageDateSource::DateHeader: return message.SendDateTime();
        case MessageDateSource::Received: return message.ReceivedDateTime();
        case MessageDateSource::Default: break;
    }
    return MiscFuncs::NowDate();
}
