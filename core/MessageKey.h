#pragma once
// Message keys: where a stored message lies, as the index, the header cache and
// the other parts of the program name it.
//
// A key is the message file's place below the accounts folder written with
// backslashes: account address, "\", folder, "\", file name, the folder being
// "MailDir\InBox", "MailDir\WaitingAuth" or "MailDir\Recycled". Keys are compared
// without regard to letter case. PathOfKey is the one place a key becomes a
// file-system path; it accepts only keys that SplitKey accepts, so a key read from
// a damaged cache can never point outside the account's three message folders.

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

namespace MessageKeys {

inline constexpr std::string_view kInBox = "MailDir\\InBox";
inline constexpr std::string_view kWaitingAuth = "MailDir\\WaitingAuth";
inline constexpr std::string_view kRecycled = "MailDir\\Recycled";
inline constexpr std::string_view kOutBox = "MailDir\\OutBox";  // the outgoing queue, never indexed
inline constexpr std::string_view kMailDir = "MailDir";
// Every folder an account has, in the order they are made: a new account gets all of
// them (Accounts::EnsureAccountFolders), and start-up reports any that went missing.
inline constexpr std::array<std::string_view, 4> kAccountFolders = {kInBox, kOutBox, kWaitingAuth, kRecycled};

// The parts of a key, as views into it.
struct KeyParts {
    std::string_view account;
    std::string_view folder;     // as written in the key
    std::string_view canonical;  // the folder in its own spelling
    std::string_view file;
};

// The folder's own spelling ("MailDir\InBox", ...) for any letter case of one of
// the three indexed folders; "" for anything else.
std::string_view CanonicalFolder(std::string_view folder);

// True for a name that can stand as one component of a path: not empty, not "."
// or "..", at most 255 bytes, and free of "/", "\" and control characters.
bool IsSafeName(std::string_view name);
// True for a message file name: a safe name ending in ".eml" (any letter case).
bool IsMessageFileName(std::string_view name);

// account & "\" & folder & "\" & file.
std::string MakeKey(std::string_view account, std::string_view folder, std::string_view file);

// Splits a key into account, folder and file name. False unless the account is a
// safe name, the folder one of the three indexed folders and the file a message
// file name.
bool SplitKey(std::string_view key, KeyParts& parts);

// SplitKey for a key that must belong to the given account (letter case ignored);
// the account itself is taken as checked.
bool SplitKeyOfAccount(std::string_view key, std::string_view account, KeyParts& parts);

// The key with its folder replaced by folder (one of the three); "" when either is
// not valid.
std::string KeyInFolder(std::string_view key, std::string_view folder);

// The file of a key: accounts folder / account / MailDir / <folder> / file, with
// the folder in its own spelling. An empty path for a key SplitKey refuses.
std::filesystem::path PathOfKey(std::string_view key);

// accounts folder / account / MailDir; an empty path when the account is not a
// safe name.
std::filesystem::path MailDirPath(std::string_view account);

// accounts folder / account / MailDir / <folder> for one of the three folders or
// the OutBox; an empty path when the account or folder is not valid.
std::filesystem::path FolderPath(std::string_view account, std::string_view folder);

}  // namespace MessageKeys
