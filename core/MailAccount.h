#pragma once
// MailAccount and accounts.ini: one section per POP3/SMTP account, named by the
// account's e-mail address, in the program folder.
//
// Keys of a section, in the order the options dialog writes them: DisplayName,
// POP3CollectorInterval, POP3Server, POP3UserName, POP3Password, POP3ServerPort,
// POP3UseSPA, SMTPServer, SMTPServerPort, SMTPRequiresAuth, SMTPAuthType,
// SMTPAuthUserName, SMTPAuthPassword, AccountTested, AccountEnabled,
// LeaveMessagesOnServer; then RegFileNo, the number of the mail-client undo files,
// which only the setup wizard writes; then POP3Security and SMTPSecurity (below).
// Passwords are stored as ScrambledText (Scramble.h)
// and held in plain in memory; numbers are decimal text.
//
// Each account has a folder accounts\<address> in the program folder. A section name
// that cannot be one folder name (it holds "/" or "\", or is "." or "..") is never
// used as a path.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/CIniFile.h"

struct MailAccount {
    std::string DisplayName;
    std::string EMailAddress;   // the section the record is saved under
    std::string LoadedSection;  // the section it was loaded from ("NewAccount<n>" for a new one)
    std::int16_t AccountEnabled = 0;
    std::string POP3Server;
    std::string POP3UserName;
    std::string POP3Password;  // plain
    std::string POP3ServerPort;
    std::int16_t POP3UseSPA = 0;
    std::string SMTPServer;
    std::string SMTPServerPort;
    std::int16_t SMTPRequiresAuth = 0;
    std::int16_t SMTPAuthType = 0;
    std::string SMTPAuthUserName;
    std::string SMTPAuthPassword;  // plain
    std::int16_t POP3CollectorInterval = 0;
    std::int16_t AccountTested = 0;
    std::string ClientKeyPath;  // the setup wizard's mail-client registry key
    std::int16_t ClientKind = 0;  // 0 entered by hand, 1 Outlook Express, 2 Outlook
    std::int16_t RegFileNo = 0;
    std::int16_t LeaveMessagesOnServer = 0;
    // How the connections to the provider are secured (Accounts::Security).
    std::int16_t POP3Security = 0;
    std::int16_t SMTPSecurity = 0;
};

namespace Accounts {

inline constexpr std::string_view kNewAccountAddress = "<New account>";

// A record as the account list adds it: "<New account>", placeholder section
// "NewAccount<index>", check interval 10, ports "110" and "25".
MailAccount NewAccount(int index);

// An account's server port as stored (POP3ServerPort, SMTPServerPort): a blank one is
// the protocol's own port (kSmtpPort, kPop3Port); else decimal digits, blanks around
// ignored, from 1 to 65535. Nothing for anything else.
inline constexpr int kSmtpPort = 25;
inline constexpr int kPop3Port = 110;
std::optional<int> ServerPort(std::string_view stored, int blankPort);

// The security of an account's connections to its provider, stored as
// POP3Security and SMTPSecurity: "0" plain, "1" STARTTLS (POP3: STLS after the
// greeting; SMTP: STARTTLS after EHLO), "2" TLS from the first byte. A key that is
// missing, blank or holds anything else reads as "2" when the port is the protocol's
// TLS port (995, 465) and as "0" otherwise, so accounts stored before keep working.
enum Security : std::int16_t { kPlain = 0, kStartTls = 1, kImplicitTls = 2 };
inline constexpr int kPop3TlsPort = 995;
inline constexpr int kSmtpTlsPort = 465;
// The security a stored value gives with the stored port, as above.
std::int16_t SecurityOf(std::string_view stored, std::string_view port, int tlsPort);
// The plain port and the TLS port of the choice in the dialogs: choosing TLS from the
// first byte while the port is the plain one proposes the TLS one, and back. The
// port text to show, unchanged when it is neither.
std::string PortForSecurity(std::string_view port, std::int16_t security, int plainPort, int tlsPort);

// True when the name can be used as one folder under accounts.
bool IsSafeFolderName(std::string_view name);

// The program's accounts.ini (ProgramFiles::AccountsIniPath at the time of the call).
// Its keys are read only through the functions here.
CIniFile ProgramAccounts();

// One section read into a record (numbers that do not convert read as 0, passwords
// that do not unscramble as "").
MailAccount LoadAccount(const CIniFile& accounts, std::string_view section);
// The record of the section of exactly this name (letter case ignored, as for every
// section); nothing when the file has no such section.
std::optional<MailAccount> FindAccount(const CIniFile& accounts, std::string_view section);
// Every account in section order; a blank section name is passed over.
std::vector<MailAccount> LoadAccounts(const CIniFile& accounts);
// The section names of those accounts.
std::vector<std::string> AccountNames(const CIniFile& accounts);
// Those whose AccountEnabled reads as the number 1.
std::vector<MailAccount> EnabledAccounts(const CIniFile& accounts);
// The section name of the account with this address, letter case and blanks around
// ignored; nothing when there is none.
std::optional<std::string> FindAccountSection(const CIniFile& accounts, std::string_view address);

// True when `plain` is the account's POP3 password: its ScrambledText is the stored
// value to the letter, so a stored value that does not unscramble admits nothing.
bool POP3PasswordMatches(const CIniFile& accounts, std::string_view section, std::string_view plain);

// The account's UnAuthSenderMaxMessageCount, read as a setting (NumberOfSetting);
// nothing when it is blank or no number.
std::optional<std::int64_t> UnknownSenderLimit(const CIniFile& accounts, std::string_view section);

// The RegFileNo stored in a section; nothing when the key is missing or no number.
std::optional<int> RegFileNoOf(const CIniFile& accounts, std::string_view section);

// Renames an account: every key of section `from` moves to section `to` (RegFileNo
// and the hand-edited keys included) and `from` is cleared, as one change of the
// file; then accounts\<from> is moved to accounts\<to> (both trimmed). A failed move
// is logged and leaves the messages in the old folder. False when the file could not
// be written (nothing is moved then).
bool RenameAccount(CIniFile& accounts, std::string_view from, std::string_view to);

// The options dialog's save of one record: renames it first when LoadedSection
// differs from EMailAddress, then writes the sixteen keys in their order into the
// section EMailAddress. RegFileNo is never written here, so an existing one stays,
// also across a rename. One change of the file; false when it could not be written.
bool SaveAccount(CIniFile& accounts, const MailAccount& account);

// The setup wizard's save: the keys in the same order without LeaveMessagesOnServer,
// AccountEnabled "1", and RegFileNo when ClientKind is above 0. Like every save of
// accounts here, it keeps the file readable by its owner only.
bool SaveWizardAccount(CIniFile& accounts, const MailAccount& account);

// Why a whole account list cannot be saved: the index of the first record at fault
// and the message for the user; nothing when it can be saved. Refused are: an
// address that is not valid (a "<New account>" never filled in among them); two
// records whose addresses differ only in letter case or blanks; a rename onto an
// address whose section or folder exists and is not the old name of a record of
// the list (a swap or a chain of renames is fine).
struct AccountListFault {
    int index = -1;
    std::string message;
};
std::optional<AccountListFault> CheckAccountList(const CIniFile& accounts, const std::vector<MailAccount>& records);

// The options dialog's save of the whole list, renames resolved as a whole: a record
// that keeps its section name is rewritten in place (its sixteen keys set, every
// other key and the section's place in the file kept); the old sections of renamed
// records are read, then cleared, and each renamed or new record is written at the
// end, in list order, with the sixteen keys and then the keys the dialogs never
// write (RegFileNo, UnAuthSenderMaxMessageCount) that its old section held; sections
// that no record was loaded from are left alone. One change of the file; the file
// is kept readable by its owner only. Then the folders of renamed accounts move
// through temporary names, so a swap needs no free name. Checks the list first;
// false, with the reason in *error, when it is refused or the file could not be
// written (nothing is moved then). *renamed tells whether any folder moved.
bool SaveAccountList(CIniFile& accounts, const std::vector<MailAccount>& records, std::string* error = nullptr,
                     bool* renamed = nullptr);

// Creates the mail folders of an account that lacks them (accounts\<address>\MailDir
// with every folder of MessageKeys::kAccountFolders: InBox, OutBox, WaitingAuth and
// Recycled). Every place that makes an account (the setup wizard, the options dialog)
// calls it, so that the account can collect at once and start-up finds nothing
// missing. False, logged, when a folder could not be made.
bool EnsureAccountFolders(std::string_view address);

// Makes the file readable and writable by its owner only, creating it empty when it
// is missing, so the scrambled passwords are never readable by others. False when
// that could not be done.
bool ProtectAccountsFile(const std::filesystem::path& file);

// Gives the mail program back its own settings for the account loaded from
// `section` (the undo files clracc<n>.reg and Account<n>.reg of the setup wizard,
// n being the section's RegFileNo): the first is imported, then the second, each
// with the registry stand-in's import and each deleted only once its import
// succeeded; neither is imported unless both can be read. A RegFileNo that is not a plain number, or a pair with a file missing,
// restores nothing and is logged.
// ImportFailed also stands for a pair refused because its key is not in the registry
// stand-in it was saved from (core/MailClientFiles.h); *why then says so.
enum class MailClientRestore { NothingToRestore, Restored, NotANumber, FilesMissing, ImportFailed };
MailClientRestore RestoreMailClient(const CIniFile& accounts, std::string_view section, std::string* why = nullptr);

// Deleting an account: restores the mail program's settings (above), then removes
// the section it was loaded from. The account's mail folder is kept, and so are the
// files of a pair that was not restored. False when the file could not be written.
bool DeleteAccount(CIniFile& accounts, std::string_view loadedSection, MailClientRestore* restore = nullptr,
                   std::string* why = nullptr);

}  // namespace Accounts
