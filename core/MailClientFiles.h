#pragma once
// The saved mail-client account files and the rewrite of a mail program's account.
//
// For an account taken over from a mail program, two files in the program folder,
// numbered n (the account's RegFileNo, the lowest number for which neither file
// exists yet):
// - Account<n>.reg, the registry export of the account's client key;
// - clracc<n>.reg, exactly "REGEDIT4" CR LF "[-<client key>]" CR LF, which deletes the
//   key so that importing the export afterwards puts back the saved key as it was.
//
// Order of work, so that no account is ever changed without a way back: the export
// is made and checked first, then the undo file is written; only when both are in
// place may the account be rewritten. An undo file only ever deletes a key below one
// of the known accounts keys (MailClients::IsAccountKey), and the export it pairs with
// may only hold that key and keys below it; anything else is refused on writing and
// on reading.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/MailAccount.h"

namespace UndoFiles {

std::filesystem::path ExportFile(const std::filesystem::path& folder, int n);
std::filesystem::path UndoFile(const std::filesystem::path& folder, int n);

// The lowest n for which neither file exists in the folder.
int FreeNumber(const std::filesystem::path& folder);

// The undo file's text for a client key.
std::string UndoText(std::string_view keyPath);

// Saves the account's key as the pair n = FreeNumber(folder). The export names, in a
// comment line after its header ("; Glimmerpost registry file: <path>", "%", control
// bytes and DEL as %XX), the registry stand-in it was taken from. False, with a
// reason and neither file left behind, when the key is no account key, its undo file
// would not read back, the export failed or does not read back, or the undo file
// could not be written.
bool SaveAccountKey(const std::filesystem::path& folder, std::string_view keyPath, int& n, std::string& error);

// Removes both files of pair n (after a failed save of the settings that would have
// named them).
void DiscardPair(const std::filesystem::path& folder, int n);

// The key an undo file deletes, when the file is exactly the two lines and the key is
// an account key; nothing otherwise.
std::optional<std::string> ParseUndoText(std::string_view text);
std::optional<std::string> ReadUndoFile(const std::filesystem::path& file);

// Every n for which clracc<n>.reg exists (n in decimal without leading zeros),
// highest first.
std::vector<int> PairNumbers(const std::filesystem::path& folder);
// The same for Account<n>.reg.
std::vector<int> ExportNumbers(const std::filesystem::path& folder);

// The comment line, CR LF ended, that records the stand-in in an export.
std::string RecordLine(const std::filesystem::path& registry);
// The registry stand-in an export was saved from (its record line before the first
// key); nothing for an export without the record (one written before it was kept).
std::optional<std::filesystem::path> RecordedRegistry(std::string_view exportText);

// Puts back the account key saved as pair n: both files must exist and pass the
// checks above, the export's recorded stand-in (when it has one) must be the one in
// use and the key must be in it; then the undo file and the export are imported as
// one change, and both files are deleted. False with a reason when something failed
// or was refused; the files of a pair that was not restored stay in place.
bool RestorePair(const std::filesystem::path& folder, int n, std::string& error);

}  // namespace UndoFiles

namespace MailClients {

// Points the mail program's account at the local servers (values by client kind;
// texts of messaging-profile keys as UTF-16LE binary values), all values in one write
// of the registry. False, with the account left exactly as it was, when that write
// failed.
bool RewriteAccount(const MailAccount& account, int localPOP3Port, int localSMTPPort);

}  // namespace MailClients
