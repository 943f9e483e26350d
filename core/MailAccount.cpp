#include "core/MailAccount.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <limits>
#include <map>
#include <system_error>
#include <utility>

#include "core/Address.h"
#include "core/Log.h"
#include "core/MailClientFiles.h"
#include "core/MessageKey.h"
#include "core/MiscUtils.h"
#include "core/Numbers.h"
#include "core/ProgramFiles.h"
#include "core/ProgramSettings.h"
#include "core/Scramble.h"

namespace fs = std::filesystem;

namespace Accounts {
namespace {

std::int16_t numberOf(const CIniFile& ini, std::string_view section, std::string_view key) {
    const auto n = NumberOfSetting(ini.Value(section, key));
    if (!n || *n < std::numeric_limits<std::int16_t>::min() || *n > std::numeric_limits<std::int16_t>::max())
        return 0;
    return static_cast<std::int16_t>(*n);
}

std::string passwordOf(const CIniFile& ini, std::string_view section, std::string_view key) {
    std::string plain;
    if (!MiscFuncs::UnscrambleText(ini.Value(section, key), plain)) return "";
    return plain;
}

std::string lowerTrimmed(std::string_view s) { return MiscFuncs::LowerCase(MiscFuncs::TrimBlanks(s)); }

// The keys both saves share, up to AccountEnabled (exclusive), in their order.
void writeCommonKeys(CIniFile& ini, const std::string& s, const MailAccount& a) {
    ini.Value(s, "DisplayName", a.DisplayName);
    ini.Value(s, "POP3CollectorInterval", a.POP3CollectorInterval);
    ini.Value(s, "POP3Server", a.POP3Server);
    ini.Value(s, "POP3UserName", a.POP3UserName);
    ini.Value(s, "POP3Password", MiscFuncs::ScrambleText(a.POP3Password));
    ini.Value(s, "POP3ServerPort", a.POP3ServerPort);
    ini.Value(s, "POP3UseSPA", a.POP3UseSPA);
    ini.Value(s, "SMTPServer", a.SMTPServer);
    ini.Value(s, "SMTPServerPort", a.SMTPServerPort);
    ini.Value(s, "SMTPRequiresAuth", a.SMTPRequiresAuth);
    ini.Value(s, "SMTPAuthType", a.SMTPAuthType);
    ini.Value(s, "SMTPAuthUserName", a.SMTPAuthUserName);
    ini.Value(s, "SMTPAuthPassword", MiscFuncs::ScrambleText(a.SMTPAuthPassword));
    ini.Value(s, "AccountTested", a.AccountTested);
}

// The security keys follow the keys of the account's own table.
void writeSecurity(CIniFile& ini, const std::string& s, const MailAccount& a) {
    ini.Value(s, "POP3Security", a.POP3Security);
    ini.Value(s, "SMTPSecurity", a.SMTPSecurity);
}

// Every key of the old section goes to the new one before the old one is cleared: the
// keys the dialogs never write (RegFileNo, UnAuthSenderMaxMessageCount) would be lost.
void moveKeys(CIniFile& ini, std::string_view from, std::string_view to) {
    std::vector<std::pair<std::string, std::string>> keys;
    for (std::string& key : ini.AllSectionKeysArray(from)) {
        std::string value = ini.Value(from, key);
        keys.emplace_back(std::move(key), std::move(value));
    }
    ini.ClearSection(from);
    for (const auto& [key, value] : keys) ini.Value(to, key, value);
}

void moveAccountFolder(std::string_view from, std::string_view to) {
    const std::string f(MiscFuncs::TrimBlanks(from)), t(MiscFuncs::TrimBlanks(to));
    if (f == t || !IsSafeFolderName(f) || !IsSafeFolderName(t)) return;
    const fs::path source = ProgramFiles::InAccountsFolder(f);
    std::error_code ec;
    if (!fs::is_directory(source, ec)) return;  // a new account has no folder yet
    fs::rename(source, ProgramFiles::InAccountsFolder(t), ec);
    if (ec) MiscFuncs::WriteLog(1, "#", "Error in Accounts::RenameAccount " + f + " -> " + t + ": " + ec.message());
}

}  // namespace

MailAccount NewAccount(int index) {
    MailAccount a;
    a.EMailAddress = std::string(kNewAccountAddress);
    a.LoadedSection = "NewAccount" + std::to_string(index);
    a.POP3CollectorInterval = 10;
    a.POP3ServerPort = "110";
    a.SMTPServerPort = "25";
    return a;
}

bool IsSafeFolderName(std::string_view name) {
    const std::string_view n = MiscFuncs::TrimBlanks(name);
    if (n.empty() || n == "." || n == "..") return false;
    return n.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

std::optional<int> ServerPort(std::string_view stored, int blankPort) {
    const std::string_view text = MiscFuncs::TrimBlanks(stored);
    if (text.empty()) return blankPort;
    const auto port = MiscFuncs::DigitsNumber(text, 5, 1, 65535);
    if (!port) return std::nullopt;
    return static_cast<int>(*port);
}

std::int16_t SecurityOf(std::string_view stored, std::string_view port, int tlsPort) {
    const std::string_view text = MiscFuncs::TrimBlanks(stored);
    if (text == "0") return kPlain;
    if (text == "1") return kStartTls;
    if (text == "2") return kImplicitTls;
    const auto number = MiscFuncs::DigitsNumber(MiscFuncs::TrimBlanks(port), 5);
    return number && *number == tlsPort ? kImplicitTls : kPlain;
}

std::string PortForSecurity(std::string_view port, std::int16_t security, int plainPort, int tlsPort) {
    const std::string text(MiscFuncs::TrimBlanks(port));
    const auto number = MiscFuncs::DigitsNumber(text, 5);
    if (security == kImplicitTls && (text.empty() || (number && *number == plainPort))) return std::to_string(tlsPort);
    if (security != kImplicitTls && number && *number == tlsPort) return std::to_string(plainPort);
    return std::string(port);
}

MailAccount LoadAccount(const CIniFile& ini, std::string_view section) {
    MailAccount a;
    a.EMailAddress = a.LoadedSection = std::string(section);
    a.DisplayName = ini.Value(section, "DisplayName");
    a.POP3CollectorInterval = numberOf(ini, section, "POP3CollectorInterval");
    a.POP3Server = ini.Value(section, "POP3Server");
    a.POP3UserName = ini.Value(section, "POP3UserName");
    a.POP3Password = passwordOf(ini, section, "POP3Password");
    a.POP3ServerPort = ini.Value(section, "POP3ServerPort");
    a.POP3UseSPA = numberOf(ini, section, "POP3UseSPA");
    a.SMTPServer = ini.Value(section, "SMTPServer");
    a.SMTPServerPort = ini.Value(section, "SMTPServerPort");
    a.SMTPRequiresAuth = numberOf(ini, section, "SMTPRequiresAuth");
    a.SMTPAuthType = numberOf(ini, section, "SMTPAuthType");
    a.SMTPAuthUserName = ini.Value(section, "SMTPAuthUserName");
    a.SMTPAuthPassword = passwordOf(ini, section, "SMTPAuthPassword");
    a.AccountTested = numberOf(ini, section, "AccountTested");
    a.AccountEnabled = numberOf(ini, section, "AccountEnabled");
    a.LeaveMessagesOnServer = numberOf(ini, section, "LeaveMessagesOnServer");
    a.RegFileNo = numberOf(ini, section, "RegFileNo");
    a.POP3Security = SecurityOf(ini.Value(section, "POP3Security"), a.POP3ServerPort, kPop3TlsPort);
    a.SMTPSecurity = SecurityOf(ini.Value(section, "SMTPSecurity"), a.SMTPServerPort, kSmtpTlsPort);
    return a;
}

CIniFile ProgramAccounts() { return CIniFile(ProgramFiles::AccountsIniPath().string()); }

std::optional<MailAccount> FindAccount(const CIniFile& ini, std::string_view section) {
    if (!ini.SectionExists(section)) return std::nullopt;
    return LoadAccount(ini, section);
}

bool POP3PasswordMatches(const CIniFile& ini, std::string_view section, std::string_view plain) {
    return MiscFuncs::ScrambleText(plain) == ini.Value(section, "POP3Password");
}

std::optional<std::int64_t> UnknownSenderLimit(const CIniFile& ini, std::string_view section) {
    return NumberOfSetting(ini.Value(section, "UnAuthSenderMaxMessageCount"));
}

std::vector<std::string> AccountNames(const CIniFile& ini) {
    std::vector<std::string> names;
    // A blank name (a "[ ]" left by hand) is no account, and the accounts after it
    // are still accounts.
    for (std::string& section : ini.AllSectionsArray())
        if (!MiscFuncs::IsBlank(section)) names.push_back(std::move(section));
    return names;
}

std::vector<MailAccount> LoadAccounts(const CIniFile& ini) {
    std::vector<MailAccount> out;
    for (const std::string& section : AccountNames(ini)) out.push_back(LoadAccount(ini, section));
    return out;
}

std::vector<MailAccount> EnabledAccounts(const CIniFile& ini) {
    std::vector<MailAccount> out;
    for (MailAccount& a : LoadAccounts(ini))
        if (a.AccountEnabled == 1) out.push_back(std::move(a));
    return out;
}

std::optional<std::string> FindAccountSection(const CIniFile& ini, std::string_view address) {
    const std::string wanted = lowerTrimmed(address);
    if (wanted.empty()) return std::nullopt;
    for (const std::string& section : ini.AllSectionsArray())
        if (lowerTrimmed(section) == wanted) return section;
    return std::nullopt;
}

std::optional<int> RegFileNoOf(const CIniFile& ini, std::string_view section) {
    const auto stored = ini.FindValue(section, "RegFileNo");
    if (!stored) return std::nullopt;
    const auto n = NumberOfSetting(*stored);
    if (!n || *n < 0 || *n > std::numeric_limits<std::int16_t>::max()) return std::nullopt;
    return static_cast<int>(*n);
}

bool RenameAccount(CIniFile& ini, std::string_view from, std::string_view to) {
    if (from == to) return true;
    CIniFile::Batch batch(ini);
    moveKeys(ini, from, to);
    if (!batch.Commit()) return false;
    moveAccountFolder(from, to);
    return true;
}

bool SaveAccount(CIniFile& ini, const MailAccount& a) {
    if (!ProtectAccountsFile(ini.IniFile())) return false;
    const bool renamed = a.LoadedSection != a.EMailAddress && !MiscFuncs::IsBlank(a.LoadedSection);
    CIniFile::Batch batch(ini);
    if (renamed) moveKeys(ini, a.LoadedSection, a.EMailAddress);
    writeCommonKeys(ini, a.EMailAddress, a);
    ini.Value(a.EMailAddress, "AccountEnabled", a.AccountEnabled);
    ini.Value(a.EMailAddress, "LeaveMessagesOnServer", a.LeaveMessagesOnServer);
    writeSecurity(ini, a.EMailAddress, a);
    if (!batch.Commit()) return false;
    if (renamed) moveAccountFolder(a.LoadedSection, a.EMailAddress);
    return true;
}

bool SaveWizardAccount(CIniFile& ini, const MailAccount& a) {
    if (!ProtectAccountsFile(ini.IniFile())) return false;
    CIniFile::Batch batch(ini);
    writeCommonKeys(ini, a.EMailAddress, a);
    ini.Value(a.EMailAddress, "AccountEnabled", "1");
    if (a.ClientKind > 0) ini.Value(a.EMailAddress, "RegFileNo", a.RegFileNo);
    writeSecurity(ini, a.EMailAddress, a);
    return batch.Commit();
}

namespace {

using KeyValues = std::vector<std::pair<std::string, std::string>>;

constexpr std::string_view kWrittenKeys[] = {
    "DisplayName",   "POP3CollectorInterval", "POP3Server",       "POP3UserName",     "POP3Password",
    "POP3ServerPort", "POP3UseSPA",           "SMTPServer",       "SMTPServerPort",   "SMTPRequiresAuth",
    "SMTPAuthType",  "SMTPAuthUserName",      "SMTPAuthPassword", "AccountTested",    "AccountEnabled",
    "LeaveMessagesOnServer", "POP3Security", "SMTPSecurity"};

bool isWrittenKey(std::string_view key) {
    const std::string k = MiscFuncs::LowerCase(key);
    for (std::string_view w : kWrittenKeys)
        if (MiscFuncs::LowerCase(w) == k) return true;
    return false;
}

bool isRenamed(const MailAccount& a) { return a.LoadedSection != a.EMailAddress; }

bool folderExists(std::string_view name) {
    if (!IsSafeFolderName(name)) return false;
    std::error_code ec;
    return fs::exists(ProgramFiles::InAccountsFolder(std::string(MiscFuncs::TrimBlanks(name))), ec);
}

// Moves the folders of the renamed records: first each to a temporary name, then
// each to its new name, so that a swap or a chain never finds its target taken.
bool moveRenamedFolders(const std::vector<MailAccount>& records) {
    struct Move {
        fs::path temp, target;
        std::string from, to;
    };
    std::vector<Move> moves;
    bool moved = false;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const MailAccount& a = records[i];
        const std::string f(MiscFuncs::TrimBlanks(a.LoadedSection)), t(MiscFuncs::TrimBlanks(a.EMailAddress));
        if (!isRenamed(a) || f == t || !IsSafeFolderName(f) || !IsSafeFolderName(t)) continue;
        const fs::path source = ProgramFiles::InAccountsFolder(f);
        std::error_code ec;
        if (!fs::is_directory(source, ec)) continue;  // a new account has no folder yet
        Move m{ProgramFiles::AccountsFolder() / (".rename-" + std::to_string(i) + "-" + std::to_string(::getpid())),
               ProgramFiles::InAccountsFolder(t), f, t};
        fs::rename(source, m.temp, ec);
        if (ec) {
            MiscFuncs::WriteLog(1, "#", "Error in Accounts::SaveAccountList " + f + " -> " + t + ": " + ec.message());
            continue;
        }
        moves.push_back(std::move(m));
    }
    for (const Move& m : moves) {
        std::error_code ec;
        if (fs::exists(m.target, ec)) ec = std::make_error_code(std::errc::file_exists);
        else fs::rename(m.temp, m.target, ec);
        if (!ec) {
            moved = true;
            continue;
        }
        MiscFuncs::WriteLog(1, "#", "Error in Accounts::SaveAccountList " + m.from + " -> " + m.to + ": " + ec.message());
        std::error_code back;
        fs::rename(m.temp, ProgramFiles::InAccountsFolder(m.from), back);  // keep the messages where they were
    }
    return moved;
}

// A RegFileNo that can name a file: decimal digits only, blanks around ignored.
std::optional<int> plainNumber(std::string_view text) {
    const auto n = MiscFuncs::DigitsNumber(MiscFuncs::TrimBlanks(text), 5);
    if (!n) return std::nullopt;
    return static_cast<int>(*n);
}

}  // namespace

std::optional<AccountListFault> CheckAccountList(const CIniFile& ini, const std::vector<MailAccount>& records) {
    std::map<std::string, int> seen;
    std::map<std::string, int> loadedFrom;
    for (std::size_t i = 0; i < records.size(); ++i) loadedFrom.emplace(lowerTrimmed(records[i].LoadedSection), int(i));
    for (std::size_t i = 0; i < records.size(); ++i) {
        const MailAccount& a = records[i];
        const int at = static_cast<int>(i);
        const std::string address(MiscFuncs::TrimBlanks(a.EMailAddress));
        if (address == kNewAccountAddress || !MiscFuncs::IsValidEmail(address) || !IsSafeFolderName(address))
            return AccountListFault{at, "Account " + std::to_string(i + 1) + " has no valid e-mail address (\"" +
                                            address + "\"). Please enter its e-mail address or delete it."};
        const std::string key = lowerTrimmed(address);
        if (!seen.emplace(key, at).second)
            return AccountListFault{at, "The e-mail address " + address + " is used by two accounts."};
        if (!isRenamed(a) || loadedFrom.count(key)) continue;
        if (ini.SectionExists(address) || folderExists(address))
            return AccountListFault{at, "Account " + address +
                                            " can not be renamed: settings or a mail folder of that address "
                                            "already exist."};
    }
    return std::nullopt;
}

bool EnsureAccountFolders(std::string_view address) {
    if (!IsSafeFolderName(address)) return false;
    const std::string account(MiscFuncs::TrimBlanks(address));
    bool ok = true;
    for (std::string_view folder : MessageKeys::kAccountFolders) {
        const fs::path path = MessageKeys::FolderPath(account, folder);
        std::error_code ec;
        if (!path.empty()) fs::create_directories(path, ec);
        if (path.empty() || ec) {
            MiscFuncs::WriteLog(0, "#", "Error in Accounts::EnsureAccountFolders " +
                                            (path.empty() ? account : path.string()) + ": " + ec.message());
            ok = false;
        }
    }
    return ok;
}

bool ProtectAccountsFile(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ok = ::fchmod(fd, 0600) == 0;
    ::close(fd);
    return ok;
}

bool SaveAccountList(CIniFile& ini, const std::vector<MailAccount>& records, std::string* error, bool* renamed) {
    if (renamed) *renamed = false;
    if (const auto fault = CheckAccountList(ini, records)) {
        if (error) *error = fault->message;
        return false;
    }
    if (!ProtectAccountsFile(ini.IniFile())) {
        if (error) *error = "Could not write " + ini.IniFile();
        return false;
    }
    // A record that keeps its name is rewritten in place, so the file keeps its order
    // and whatever else it holds (a blank "[ ]" section, hand-made ones) stays where it
    // was. A renamed one takes the keys of its old section along; all old sections are
    // read before any is cleared, so a swap or a chain loses nothing.
    std::vector<KeyValues> kept(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::string& from = records[i].LoadedSection;
        if (!isRenamed(records[i]) || MiscFuncs::IsBlank(from)) continue;
        for (std::string& key : ini.AllSectionKeysArray(from))
            if (!isWrittenKey(key)) kept[i].emplace_back(key, ini.Value(from, key));
    }
    CIniFile::Batch batch(ini);
    for (const MailAccount& a : records) {
        if (!isRenamed(a)) continue;
        if (!MiscFuncs::IsBlank(a.LoadedSection)) ini.ClearSection(a.LoadedSection);
        ini.ClearSection(MiscFuncs::TrimBlanks(a.EMailAddress));
    }
    bool anyRenamed = false;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const MailAccount& a = records[i];
        const std::string section(MiscFuncs::TrimBlanks(a.EMailAddress));
        anyRenamed = anyRenamed || isRenamed(a);
        writeCommonKeys(ini, section, a);
        ini.Value(section, "AccountEnabled", a.AccountEnabled);
        ini.Value(section, "LeaveMessagesOnServer", a.LeaveMessagesOnServer);
        writeSecurity(ini, section, a);
        for (const auto& [key, value] : kept[i]) ini.Value(section, key, value);
    }
    if (!batch.Commit()) {
        if (error) *error = "Could not write " + ini.IniFile();
        return false;
    }
    const bool moved = anyRenamed && moveRenamedFolders(records);
    if (renamed) *renamed = moved;
    return true;
}

MailClientRestore RestoreMailClient(const CIniFile& ini, std::string_view section, std::string* why) {
    const std::string stored = ini.Value(section, "RegFileNo");
    if (MiscFuncs::IsBlank(stored)) return MailClientRestore::NothingToRestore;
    const auto n = plainNumber(stored);
    std::string ignored;
    std::string& reason = why ? *why : ignored;
    if (!n) {
        reason = "RegFileNo of " + std::string(section) + " is not a number";
        MiscFuncs::WriteLog(1, "#", "Error in Accounts::RestoreMailClient: " + reason);
        return MailClientRestore::NotANumber;
    }
    const fs::path undo = ProgramFiles::InProgramFolder("clracc" + std::to_string(*n) + ".reg");
    const fs::path saved = ProgramFiles::InProgramFolder("Account" + std::to_string(*n) + ".reg");
    std::error_code ec1, ec2;
    if (!fs::is_regular_file(undo, ec1) || !fs::is_regular_file(saved, ec2)) {
        reason = "the undo files " + undo.filename().string() + " and " + saved.filename().string() +
                 " are not both there";
        MiscFuncs::WriteLog(1, "#", "Error in Accounts::RestoreMailClient: " + reason);
        return MailClientRestore::FilesMissing;
    }
    // Both files are checked before either is imported (only an account key of a mail
    // program may be deleted, the saved settings must put back only that key, and only
    // into the registry stand-in they were saved from).
    std::string error;
    if (UndoFiles::RestorePair(MiscFuncs::ProgramFolder(), *n, error)) return MailClientRestore::Restored;
    MiscFuncs::WriteLog(1, "#", "Error in Accounts::RestoreMailClient: " + error);
    reason = error;
    return error.rfind("Failed to delete file ", 0) == 0 ? MailClientRestore::Restored : MailClientRestore::ImportFailed;
}

bool DeleteAccount(CIniFile& ini, std::string_view loadedSection, MailClientRestore* restore, std::string* why) {
    const MailClientRestore r = RestoreMailClient(ini, loadedSection, why);
    if (restore) *restore = r;
    if (MiscFuncs::IsBlank(loadedSection) || !ini.SectionExists(loadedSection)) return true;
    return ini.ClearSection(loadedSection);
}

}  // namespace Accounts
