#pragma once
// The names of the program's own files and folders, all under the program folder.
// Stored files and the other program (ClearGLP) rely on these names: never change them.

#include <filesystem>
#include <string_view>

#include "core/Environment.h"

namespace ProgramFiles {

inline constexpr std::string_view kExecutableName = "glimmerpost";
inline constexpr std::string_view kOptionsIni = "glimmerpost.ini";  // named after the executable
inline constexpr std::string_view kAccountsIni = "accounts.ini";
inline constexpr std::string_view kAliasesIni = "aliases.ini";
inline constexpr std::string_view kResourcesIni = "resources.ini";
inline constexpr std::string_view kAccountsFolder = "accounts";
inline constexpr std::string_view kSendersIni = "senders.ini";  // in the accounts folder
inline constexpr std::string_view kDomainsIni = "Domains.ini";  // in the accounts folder
inline constexpr std::string_view kRulesIni = "Rules.ini";      // in the accounts folder
inline constexpr std::string_view kRunningMarker = "glpcs.flg";
inline constexpr std::string_view kMessageCache = "msgcache.txt";  // in each account's MailDir
inline constexpr std::string_view kProgramLog = "glplog.txt";
inline constexpr std::string_view kMessageLog = "msglog.txt";
inline constexpr std::string_view kTrimTemp = "tmplog.txt";

inline std::filesystem::path InProgramFolder(std::string_view name) {
    return MiscFuncs::ProgramFolder() / std::filesystem::path(std::string(name));
}
inline std::filesystem::path AccountsFolder() { return InProgramFolder(kAccountsFolder); }
inline std::filesystem::path InAccountsFolder(std::string_view name) {
    return AccountsFolder() / std::filesystem::path(std::string(name));
}
inline std::filesystem::path OptionsIniPath() { return InProgramFolder(kOptionsIni); }
inline std::filesystem::path AccountsIniPath() { return InProgramFolder(kAccountsIni); }
inline std::filesystem::path AliasesIniPath() { return InProgramFolder(kAliasesIni); }
inline std::filesystem::path ResourcesIniPath() { return InProgramFolder(kResourcesIni); }
inline std::filesystem::path SendersIniPath() { return InAccountsFolder(kSendersIni); }
inline std::filesystem::path DomainsIniPath() { return InAccountsFolder(kDomainsIni); }
inline std::filesystem::path RulesIniPath() { return InAccountsFolder(kRulesIni); }
inline std::filesystem::path RunningMarkerPath() { return InProgramFolder(kRunningMarker); }
inline std::filesystem::path ProgramLogPath() { return InProgramFolder(kProgramLog); }
inline std::filesystem::path MessageLogPath() { return InProgramFolder(kMessageLog); }
inline std::filesystem::path TrimTempPath() { return InProgramFolder(kTrimTemp); }

}  // namespace ProgramFiles
