#pragma once
// Naming and saving stored message files (the ".eml" files of the account folders).
//
// A stored message is named: the sender's bare address, one blank, the message's
// cleaned Message-ID, ".eml". The sender list finds a sender's files by that
// prefix (address and blank), so every name keeps it. Beyond that a name is made
// safe for the file system and unique in its folder:
// - "/", "\", "*", "?", NUL and other control characters become "_";
// - a name that would pass 255 bytes is cut, and a short hash of the cut text is
//   put in its place, so two long names that differ only at the end stay apart;
// - a message without a Message-ID (or one that cleans to nothing, or whose
//   Message-ID the parser had to make up from the clock) is named by a hash of its
//   bytes, so the same message always gets the same name;
// - an existing file is never replaced: when the name is taken by other bytes the
//   name gets " ~2" ... " ~99" before ".eml", then " ~h" and a hash of the bytes.
// Finding the same bytes already stored under one of those names is not an error:
// the message is stored once and that name is returned, so collecting a message
// again after a crash leaves no duplicate.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

class CMessage;

namespace MiscFuncs {
class SyncBatch;
}

namespace MessageFiles {

inline constexpr std::size_t kMaxFileNameBytes = 255;

struct StoredFile {
    std::string Name;            // the file name in the folder; "" when nothing was stored
    bool AlreadyStored = false;  // the same bytes were already there under Name
};

// Tells whether a file name is taken in a way the folder cannot show, for example
// by an index entry whose key differs from it only in letter case.
using NameInUse = std::function<bool(std::string_view fileName)>;

// The first name tried for the message: address, blank, Message-ID (or the hash of
// the bytes), ".eml", cleaned and cut as described above.
std::string MessageFileName(std::string_view senderAddress, const CMessage& message);

// Saves message.MessageText() in folder (created when missing) under a new name,
// never over an existing file. The syncs go to batch when one is given. On failure
// returns an empty Name, appends "Failed to save message to <path>" CR LF to
// message.ErrorText and logs the reason.
StoredFile StoreMessageFile(const std::filesystem::path& folder, std::string_view senderAddress,
                            CMessage& message, MiscFuncs::SyncBatch* batch = nullptr,
                            const NameInUse& inUse = {});

}  // namespace MessageFiles
