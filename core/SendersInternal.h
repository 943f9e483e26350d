#pragma once
// Names and small helpers that the sender list's two source files share.

#include "core/Utf8Cut.h"
#include <string>
#include <string_view>

#include "core/CSenders.h"

namespace SendersInternal {

inline constexpr std::string_view kName = "Name";
inline constexpr std::string_view kAccessLevel = "AccessLevel";
inline constexpr std::string_view kModificationDate = "ModificationDate";
inline constexpr std::string_view kAuthReason = "AuthReason";
inline constexpr std::string_view kRegistrationRequestSent = "RegistrationRequestSent";
inline constexpr std::string_view kUnsentRegRequest = "UnsentRegRequest";

// "0" to "3" for the listed statuses, "" for any other.
inline std::string_view LevelText(SenderStatus status) {
    switch (status) {
        case SenderStatus::Blocked: return "0";
        case SenderStatus::Unknown: return "1";
        case SenderStatus::WaitingAuth: return "2";
        case SenderStatus::Approved: return "3";
        default: return "";
    }
}

// The status of a stored AccessLevel: exactly "0" to "3", anything else NotListed.
inline SenderStatus StatusOfLevel(std::string_view level) {
    if (level.size() != 1 || level[0] < '0' || level[0] > '3') return SenderStatus::NotListed;
    return static_cast<SenderStatus>(level[0] - '0');
}

// Names and reasons are kept to this many bytes, in senders.ini and in the lists.
inline constexpr std::size_t kMaxSenderField = 1024;

// The text cut to kMaxSenderField bytes, without splitting a UTF-8 sequence.
inline std::string_view CappedField(std::string_view text) { return MiscFuncs::Utf8Prefix(text, kMaxSenderField); }

// The entry of a sender read from senders.ini: SenderEntry::Make with the address
// in lower case and the date text ListDateText(date).
SenderEntry EntryOfFile(std::string_view address, std::string_view name, std::string_view reason,
                        MiscFuncs::DateValue date);

}  // namespace SendersInternal
