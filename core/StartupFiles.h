#pragma once
// The file steps of the program's start-up and shut-down, for the main window that
// runs them: the log lines that frame a run, the first-run decision, the account
// folders, and the running marker glpcs.flg.
//
// The running marker is written as the last step of start-up and deleted at
// shut-down; finding it at start-up means the last run did not shut down, and the
// message store then rebuilds its index from the folders.

#include <string>
#include <string_view>

#include "core/CIniFile.h"

class ProgramSettings;

namespace Startup {

// The program-log lines (level 0, kind "i") that start-up and shut-down write.
std::string LoadingLogText();              // "glimmerpost 1.0 is loading"
std::string ClosingUnconfiguredLogText();  // "glimmerpost is closing due to unconfigured accounts"
std::string LoadedLogText();               // "glimmerpost has been loaded successfuly"
std::string ClosedLogText();               // "glimmerpost closed"

// The box shown when CheckAccountFolders had to create folders (critical, OK,
// titled with the window caption); start-up goes on after it.
std::string RuinedFoldersText();

// The first-run rule, on the raw section list of accounts.ini (AllSectionsString)
// trimmed of blanks: shorter than 4 characters runs the setup wizard; afterwards,
// not longer than 2 characters closes the program.
bool NeedsSetupWizard(std::string_view allSectionsText);
bool ClosesUnconfigured(std::string_view allSectionsText);
bool NeedsSetupWizard(const CIniFile& accounts);
bool ClosesUnconfigured(const CIniFile& accounts);

// Creates the accounts folder in the program folder when it is missing.
bool EnsureAccountsFolder();


// For every account (non-blank section of accounts.ini): logs (level 4)
// "Checking account directory structure:" and the account, creates whichever of
// accounts\<a>, MailDir, MailDir\InBox and MailDir\OutBox is missing, warns through
// the prompt seam ("Possible misconfiguration...") when the OutBox holds more .eml
// files than MaxUnsentMessages (at least 1), then creates MailDir\WaitingAuth and
// MailDir\Recycled when missing. An account name that cannot be a folder name is
// logged and skipped. True when nothing was missing.
bool CheckAccountFolders(const CIniFile& accounts, const ProgramSettings& settings);

// The text of the unsent-mail warning for one account.
std::string UnsentMessagesText(std::size_t count, std::string_view account);

// The number of queued mails (".eml", any letter case) in an account's OutBox.
std::size_t CountOutBoxMessages(std::string_view account);

// glpcs.flg: one line with the current date and time ("mm-dd-yyyy hh:mm:ss"),
// written atomically (created or replaced).
bool WriteRunningMarker();
bool RunningMarkerExists();
// True when the marker is gone afterwards; a failed deletion is logged.
bool DeleteRunningMarker();

}  // namespace Startup
