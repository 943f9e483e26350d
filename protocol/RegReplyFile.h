#pragma once
// RegReplyFile: the file that a checked registration reply leaves for the registration
// pop-up, one per reply awaiting the user's decision, in the InBox of the account
// that received the reply (accounts\<account>\MailDir\InBox, the name trimmed). It is
// a settings file in the INI form of CIniFile:
//
//     [RegRequest]
//     AuthRequestName=<the name the sender gave>
//     AuthRequestReason=<why he writes to the user>
//     AuthRequestFrom=<his address as the reply gave it; may carry a display name>
//     AuthRequestTime=<the time of his confirmation, as text; not interpreted>
//
// The keys are written in this order; the check code is not stored. The name is the
// time stamp (MiscFuncs::DateStamp), a random number from 1 to 100 and ".rrm"; when
// that name is taken, "_0002", "_0003", ... go before the extension. A file is created
// whole and never replaces another one. The message store does not index these files
// (it indexes ".eml" files only).
//
// Text from strangers is stored as the INI layer stores every value (CR, LF and NUL
// as blanks, square brackets as braces) and cut to kMaxFieldLength bytes, so it can
// never start a line of its own. Reading is bounded the same way, and a file larger
// than kMaxFileSize is not read at all.
//
// A file is damaged when it cannot be read, is too large, has no [RegRequest]
// section, no AuthRequestFrom key, or an AuthRequestFrom without a valid address.
// A missing name, reason or time reads as "".

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace RegReplyFile {

inline constexpr std::string_view kSection = "RegRequest";
inline constexpr std::string_view kNameKey = "AuthRequestName";
inline constexpr std::string_view kReasonKey = "AuthRequestReason";
inline constexpr std::string_view kFromKey = "AuthRequestFrom";
inline constexpr std::string_view kTimeKey = "AuthRequestTime";

inline constexpr std::string_view kExtension = ".rrm";

inline constexpr std::size_t kMaxFieldLength = 2000;
inline constexpr std::uintmax_t kMaxFileSize = 64 * 1024;

// What one reply file holds. address is not stored: it is the bare, lower-case
// address of `from` (MiscFuncs::ParseAddress), filled in by Read.
struct Contents {
    std::string name;
    std::string reason;
    std::string from;
    std::string time;
    std::string address;
};

// At most max bytes of the text, never ending inside a UTF-8 sequence.
std::string CutText(std::string_view text, std::size_t max);

// The InBox folder of an account; empty when the trimmed name is blank or cannot be
// one folder name.
std::filesystem::path FolderOf(std::string_view account);

// True when the name ends in ".rrm", letter case ignored.
bool IsReplyFileName(std::string_view name);

// The file's text: [RegRequest] with the four keys in their order, each value cut to
// kMaxFieldLength bytes.
std::string FileText(const Contents& contents);

// Writes a new reply file in the account's InBox (creating the folder when it is
// missing) under a free name for the current time and the random number (1 to 100;
// other values are brought into that range). Returns the new file, or an empty path
// with *error saying why.
std::filesystem::path Write(std::string_view account, const Contents& contents, int random,
                            std::string* error = nullptr);
// The same with a random number of its own (from MiscFuncs::NewGuidBytes).
std::filesystem::path Write(std::string_view account, const Contents& contents, std::string* error = nullptr);

enum class ReadStatus { Ok, Gone, Damaged };

struct ReadOutcome {
    ReadStatus status = ReadStatus::Gone;
    Contents contents;
    std::string why;  // for Damaged: what is wrong, for the log
};

// Reads a reply file through CIniFile. Gone when the file no longer exists.
ReadOutcome Read(const std::filesystem::path& file);

}  // namespace RegReplyFile
