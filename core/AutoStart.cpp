#include "core/AutoStart.h"

#include <cstdlib>
#include <system_error>

#include "core/AtomicFile.h"
#include "core/Log.h"
#include "core/Registry.h"
#include "core/RegistryStore.h"

namespace fs = std::filesystem;

namespace AutoStart {
namespace {

// Characters that make the Exec argument need quotes.
constexpr std::string_view kReserved = " \t\"'\\><~|&;$*?#()`";

// One Exec argument: quoted when needed, with the quoting escapes, then the string
// escape of the key's value type (a backslash doubles) and the field-code escape.
std::string execArgument(std::string_view path) {
    std::string arg;
    const bool quote = path.find_first_of(kReserved) != std::string_view::npos;
    if (quote) arg += '"';
    for (char c : path) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) arg += '\\';
        arg += c;
    }
    if (quote) arg += '"';
    std::string out;
    for (char c : arg) {
        if (c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out;
}

bool setRunValue(bool on, std::string_view exePath) {
    if (!on) {
        Registry::DeleteValue(kRunKey, kRunValueName);
        return RunValue().empty();
    }
    if (exePath.empty()) return false;
    // The Run key always exists on a real system; the stand-in starts without it.
    if (!Registry::Store().CreateKey(kRunKey)) return false;
    return Registry::SetStringValue(kRunKey, kRunValueName, exePath);
}

bool setDesktopFile(bool on, std::string_view exePath, const fs::path& file, std::string_view dataFolder) {
    std::error_code ec;
    if (!on) {
        fs::remove(file, ec);
        return !ec;
    }
    const std::string text = DesktopEntryText(exePath, dataFolder);
    if (text.empty()) return false;
    fs::create_directories(file.parent_path(), ec);
    std::string error;
    if (MiscFuncs::WriteFileAtomic(file, text, MiscFuncs::Replace::Allow, nullptr, &error)) return true;
    MiscFuncs::WriteLog(0, "#", "Error in AutoStart::SetStartWithWindows " + error);
    return false;
}

}  // namespace

fs::path DefaultDesktopFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && fs::path(config).is_absolute()) return fs::path(config) / "autostart" / std::string(kDesktopFileName);
    const char* home = std::getenv("HOME");
    if (home && *home) return fs::path(home) / ".config" / "autostart" / std::string(kDesktopFileName);
    return {};
}

std::string DesktopEntryText(std::string_view exePath, std::string_view dataFolder) {
    constexpr std::string_view kBreaks("\r\n\0", 3);
    if (exePath.empty() || exePath.find_first_of(kBreaks) != std::string_view::npos ||
        dataFolder.find_first_of(kBreaks) != std::string_view::npos)
        return "";
    const std::string home = dataFolder.empty() ? "" : " --home " + execArgument(dataFolder);
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Glimmerpost\n"
           "Exec=" + execArgument(exePath) + home + "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool SetStartWithWindows(bool on, std::string_view exePath, const fs::path& desktopFile,
                         std::string_view dataFolder) {
    bool ok = setRunValue(on, exePath);
    if (!desktopFile.empty()) ok = setDesktopFile(on, exePath, desktopFile, dataFolder) && ok;
    return ok;
}

std::string RunValue() {
    const Registry::RegistryValues values = Registry::EnumRegistryValues(kRunKey);
    const Registry::RegistryItem* item = values.Find(kRunValueName);
    return item ? item->text : std::string();
}

}  // namespace AutoStart
