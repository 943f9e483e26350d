#include "core/MailAccount.h"

#include <filesystem>
#include <limits>
#include <system_error>
#include <utility>

#include "core/Log.h"
#include "core/MiscUtils.h"
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
    return a;
}

std::vector<MailAccount> LoadAccounts(const CIniFile& ini) {
    std::vector<MailAccount> out;
    for (const std::string& section : ini.AllSectionsArray()) {
        if (MiscFuncs::IsBlank(section)) break;
        out.push_back(LoadAccount(ini, section));
    }
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
    const bool renamed = a.LoadedSection != a.EMailAddress && !MiscFuncs::IsBlank(a.LoadedSection);
    CIniFile::Batch batch(ini);
    if (renamed) moveKeys(ini, a.LoadedSection, a.EMailAddress);
    writeCommonKeys(ini, a.EMailAddress, a);
    ini.Value(a.EMailAddress, "AccountEnabled", a.AccountEnabled);
    ini.Value(a.EMailAddress, "LeaveMessagesOnServer", a.LeaveMessagesOnServer);
    if (!batch.Commit()) return false;
    if (renamed) moveAccountFolder(a.LoadedSection, a.EMailAddress);
    return true;
}

bool SaveWizardAccount(CIniFile& ini, const MailAccount& a) {
    CIniFile::Batch batch(ini);
    writeCommonKeys(ini, a.EMailAddress, a);
    ini.Value(a.EMailAddress, "AccountEnabled", "1");
    if (a.ClientKind > 0) ini.Value(a.EMailAddress, "RegFileNo", a.RegFileNo);
    return batch.Commit();
}

}  // namespace Accounts
