#pragma once
// MailClients: the POP3 accounts the mail programs keep in the registry (Outlook
// Express and Outlook), where they live, and how they are read into MailAccount
// records for the setup wizard.
//
// Sources, read in this order (all under HKEY_CURRENT_USER):
// - Outlook Express: the main accounts key, then the accounts key of every identity;
//   sub-keys named "000...". A non-blank "NNTP Server" in the main key marks a news
//   account, which is skipped.
// - Outlook: the messaging profile "Outlook" (its texts are UTF-16LE binary values),
//   the OMI account manager (sub-keys "000..."), the version 8.0 key (every sub-key).
//
// The security towards the provider (POP3Security, SMTPSecurity) comes from the
// program's "POP3 Use SSL", "POP3 Secure Connection", "SMTP Use SSL" and "SMTP Secure
// Connection" values and the ports; the rewrite points the program at the plain local
// servers, and accounts.ini keeps the account's own security.
//
// Every account found is checked before it is offered: an address that is not a
// valid e-mail address (it would become a folder name) is skipped; an address seen
// before in this run (letter case ignored) is skipped; an address that accounts.ini
// already holds with a POP3 user name is skipped silently; one whose servers already
// point at localhost is offered only when the user says Yes. Detected texts lose CR,
// LF and NUL and are cut to kMaxDetectedText characters.
//
// Key paths of undo files: IsAccountKey tells whether a path names one account key
// strictly below one of the known accounts keys; nothing else may ever be deleted by
// an undo file.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/MailAccount.h"

class CIniFile;

namespace MailClients {

enum ClientKind : std::int16_t { kManual = 0, kOutlookExpress = 1, kOutlook = 2 };

inline constexpr std::size_t kMaxDetectedText = 255;
inline constexpr std::string_view kWizardCaption = "Glimmerpost setup wizard";

inline constexpr std::string_view kOutlookExpressKey =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts";
inline constexpr std::string_view kIdentitiesKey = "HKEY_CURRENT_USER\\Identities";
inline constexpr std::string_view kIdentityAccountsSubKey = "Software\\Microsoft\\Internet Account Manager\\Accounts";
inline constexpr std::string_view kOutlookProfileKey =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging "
    "Subsystem\\Profiles\\Outlook";
inline constexpr std::string_view kOutlookOmiKey =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\Outlook\\OMI Account Manager\\Accounts";
inline constexpr std::string_view kOutlook8Key =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\8.0\\Outlook\\Internet Account Manager\\Accounts";

// The value names one source uses for the fields of an account.
struct ValueNames {
    std::string_view email, pop3Server, displayName, pop3User, pop3Port, pop3UseSPA, smtpServer,
        smtpPort, smtpRequiresAuth, smtpAuthUser;
};
extern const ValueNames kOutlookExpressNames;
extern const ValueNames kProfileNames;
extern const ValueNames kOmiNames;
extern const ValueNames kOutlook8Names;

// Which kind of Outlook key a client key path is, for the rewrite.
enum class OutlookKeyKind { Omi, Version8, Profile };
OutlookKeyKind OutlookKeyKindOf(std::string_view keyPath);

// UTF-16LE bytes to 8-bit text, ending at the first zero character; characters above
// 255 become "?".
std::string FromUtf16Le(std::string_view bytes);
// The UTF-16LE bytes of the 8-bit text followed by one zero character.
std::string ToUtf16LeZ(std::string_view text);

// A text from a mail program's settings as it may be stored: CR, LF and NUL gone,
// blanks trimmed, at most kMaxDetectedText characters.
std::string CleanDetectedText(std::string_view text);

// True when the path names a key strictly below one of the known accounts keys
// (ignoring letter case), so that an undo file may delete it.
bool IsAccountKey(std::string_view keyPath);

struct Detection {
    std::vector<MailAccount> accounts;  // in the order found
    bool found = false;                 // at least one account taken
};

// Reads the accounts of one mail program, asks about the localhost ones, and shows
// the "You do not seem to have any POP3 accounts" box when none was taken. A registry
// file that cannot be read is named in a box of its own with the reason, and nothing
// is taken. `accounts` is accounts.ini.
Detection GetOutlookAccounts(const CIniFile& accounts);
Detection GetMSOutlookAccounts(const CIniFile& accounts);
Detection Detect(ClientKind kind, const CIniFile& accounts);

}  // namespace MailClients
