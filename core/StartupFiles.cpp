#include "core/StartupFiles.h"

#include <filesystem>
#include <system_error>

#include "core/AtomicFile.h"
#include "core/Log.h"
#include "core/MailAccount.h"
#include "core/MiscUtils.h"
#include "core/ProductInfo.h"
#include "core/ProgramFiles.h"
#include "core/ProgramSettings.h"
#include "core/Prompt.h"

namespace fs = std::filesystem;

namespace Startup {
namespace {

std::string exeName() { return std::string(ProgramFiles::kExecutableName); }

// Creates the folder when it is missing; false when it was missing (created or not).
bool ensureFolder(const fs::path& folder) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return true;
    fs::create_directory(folder, ec);
    if (ec) MiscFuncs::WriteLog(0, "#", "Error in MainForm::CheckAccountFolders " + folder.string() + ": " + ec.message());
    return false;
}

bool checkOneAccount(const std::string& account, const ProgramSettings& settings) {
    MiscFuncs::WriteLog(4, "i", "Checking account directory structure:" + account);
    if (!Accounts::IsSafeFolderName(account)) {
        MiscFuncs::WriteLog(0, "!", "Account name cannot be a folder name: " + account);
        return false;
    }
    const fs::path base = ProgramFiles::InAccountsFolder(account);
    const fs::path mailDir = base / "MailDir";
    bool intact = true;
    for (const fs::path& f : {base, mailDir, mailDir / "InBox", mailDir / "OutBox"}) intact = ensureFolder(f) && intact;
    const std::size_t unsent = CountOutBoxMessages(account);
    if (unsent > static_cast<std::size_t>(settings.MaxUnsentMessages()))
        Prompt::Ask(UnsentMessagesText(unsent, account), "Possible misconfiguration...", Prompt::Buttons::OK,
                    Prompt::Kind::Critical);
    for (const fs::path& f : {mailDir / "WaitingAuth", mailDir / "Recycled"}) intact = ensureFolder(f) && intact;
    return intact;
}

}  // namespace

std::string LoadingLogText() { return exeName() + " " + ProductInfo::VersionText() + " is loading"; }
std::string ClosingUnconfiguredLogText() { return exeName() + " is closing due to unconfigured accounts"; }
std::string LoadedLogText() { return exeName() + " has been loaded successfuly"; }
std::string ClosedLogText() { return exeName() + " closed"; }

std::string RuinedFoldersText() {
    return "Directory structure of application data have been ruined!\r\n"
           "It is recomended to download all messages and reinstall the application";
}

bool NeedsSetupWizard(std::string_view allSectionsText) { return MiscFuncs::TrimBlanks(allSectionsText).size() < 4; }

bool ClosesUnconfigured(std::string_view allSectionsText) {
    return MiscFuncs::TrimBlanks(allSectionsText).size() <= 2;
}

bool NeedsSetupWizard(const CIniFile& accounts) { return NeedsSetupWizard(accounts.AllSectionsString()); }
bool ClosesUnconfigured(const CIniFile& accounts) { return ClosesUnconfigured(accounts.AllSectionsString()); }

bool EnsureAccountsFolder() {
    std::error_code ec;
    const fs::path folder = ProgramFiles::AccountsFolder();
    if (fs::is_directory(folder, ec)) return true;
    fs::create_directories(folder, ec);
    if (!ec) return true;
    MiscFuncs::WriteLog(0, "#", "Error in MainForm::Load " + ec.message());
    return false;
}

bool CheckAccountFolders(const CIniFile& accounts, const ProgramSettings& settings) {
    bool intact = true;
    for (const std::string& account : accounts.AllSectionsArray())
        if (!MiscFuncs::IsBlank(account)) intact = checkOneAccount(account, settings) && intact;
    return intact;
}

std::string UnsentMessagesText(std::size_t count, std::string_view account) {
    return "You have " + std::to_string(count) + " unsent registration requests and confirmations from " +
           std::string(account) + "\r\nPlease check settings of your SMTP server";
}

std::size_t CountOutBoxMessages(std::string_view account) {
    if (!Accounts::IsSafeFolderName(account)) return 0;
    const fs::path outBox = ProgramFiles::InAccountsFolder(account) / "MailDir" / "OutBox";
    MiscFuncs::DirList list;
    std::size_t count = 0;
    for (std::string name = MiscFuncs::SafeDir(list, (outBox / "*.eml").string()); !name.empty();
         name = MiscFuncs::SafeDir(list, ""))
        ++count;
    return count;
}

bool WriteRunningMarker() {
    std::string error;
    const std::string line = MiscFuncs::LogTimestamp() + "\r\n";
    if (MiscFuncs::WriteFileAtomic(ProgramFiles::RunningMarkerPath(), line, MiscFuncs::Replace::Allow, nullptr, &error))
        return true;
    MiscFuncs::WriteLog(0, "#", "Error in MainForm::Load " + error);
    return false;
}

bool RunningMarkerExists() {
    std::error_code ec;
    return fs::exists(ProgramFiles::RunningMarkerPath(), ec);
}

bool DeleteRunningMarker() {
    const fs::path marker = ProgramFiles::RunningMarkerPath();
    std::error_code ec;
    fs::remove(marker, ec);
    if (!ec) return true;
    MiscFuncs::WriteLog(1, "#", "Failed to delete file " + marker.string());
    return false;
}

}  // namespace Startup
