#pragma once
// OutBoxMessage: one mail of the outgoing queue, a small settings file in the OutBox
// folder of the sending account (accounts\<account>\MailDir\OutBox, the account's
// name trimmed), read and written in the INI form of CIniFile:
//
//     [Message]
//     Subject=<the subject as ScrambledText>
//     MessageType=<0 registration request, 1 confirmation>
//     Recipient=<as given; may be a whole From header with a display name>
//     BadRelayAttempts=<relay refusals so far; absent until the first>
//
// A queued file is named by the time stamp (MiscFuncs::DateStampNow) and ".eml". A
// stamp has one-second resolution, so a name that is taken (as ".eml" or as the
// parked ".emr") gets "_0002", "_0003", ... before the extension; names sort in the
// order the mails were queued within one second. A file is created whole and never
// replaces another one. A parked file (refused for relaying too often) is the same
// file with ".emr" in place of the final ".eml"; the queue no longer lists it, and the
// sender list puts it back or deletes it at the user's choice.
//
// Text from strangers (the recipient as received, the subject of his mail) is stored
// as the INI layer stores every value: CR, LF and NUL become blanks, so it can never
// start a line of its own, here or in a header of the mail that is sent later.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/SeriesFile.h"
#include "engines/OwnMails.h"

class CIniFile;

namespace OutBox {

inline constexpr std::string_view kSection = "Message";
inline constexpr std::string_view kSubjectKey = "Subject";
inline constexpr std::string_view kMessageTypeKey = "MessageType";
inline constexpr std::string_view kRecipientKey = "Recipient";
inline constexpr std::string_view kBadRelayAttemptsKey = "BadRelayAttempts";

inline constexpr std::string_view kQueuedExtension = ".eml";
inline constexpr std::string_view kParkedExtension = ".emr";

// Names tried for one stamp before queuing gives up.
inline constexpr int kMaxNamesPerStamp = MiscFuncs::kMaxNamesPerSeries;
// The recipient and the subject are cut to this many bytes.
inline constexpr std::size_t kMaxFieldLength = 2000;

// The OutBox folder of an account; empty when the trimmed name is blank or cannot
// be one folder name.
std::filesystem::path FolderOf(std::string_view account);

// The file's text: [Message] with Subject (scrambled), MessageType and Recipient.
std::string FileText(MessageType type, std::string_view recipient, std::string_view subject);

// Queues one mail in the account's OutBox, creating the folder when it is missing.
// Returns the new file, or an empty path with *error saying why.
std::filesystem::path Queue(MessageType type, std::string_view account, std::string_view recipient,
                            std::string_view subject, std::string* error = nullptr);

// Creates a file of this text under the first free name for the stamp; never
// replaces a file. The new path, or empty with *error.
std::filesystem::path CreateUnique(const std::filesystem::path& folder, std::string_view stamp,
                                   std::string_view text, std::string* error = nullptr);

// True when the name ends in ".eml", letter case ignored.
bool IsQueuedName(std::string_view name);
// The name with its final ".eml" (any letter case) replaced by ".emr"; other names
// get ".emr" appended. Only the file name changes, never the folders above it.
std::filesystem::path ParkedName(const std::filesystem::path& queued);

// Renames a queued file to its parked name, or, when that is taken, to the first free
// "_000n" variant; never over an existing file. The parked path, or empty with *error.
std::filesystem::path Park(const std::filesystem::path& queued, std::string* error = nullptr);

// What one queued file holds, as the queue reads it.
struct Contents {
    std::string subject;    // in plain
    MessageType type = MessageType::RegistrationRequest;  // 1 only for a stored "1"
    std::string recipient;  // as stored
    int badRelayAttempts = 0;  // blank or no number counts as 0
};
Contents Read(const CIniFile& file);

}  // namespace OutBox
