#pragma once
// Starting the program with the user's session.
//
// The program's own record of the choice is the string value "Glimmerpost" under
// HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run in the registry
// stand-in (core/Registry.h), holding the executable's full path; it is set when the
// choice is on and deleted when it is off. On this platform the session starts
// programs from XDG autostart entries, so the same call also writes or removes the
// desktop entry glimmerpost.desktop (Desktop Entry Specification 1.5) whose Exec line
// starts the executable.

#include <filesystem>
#include <string>
#include <string_view>

namespace AutoStart {

inline constexpr std::string_view kRunKey = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::string_view kRunValueName = "Glimmerpost";
inline constexpr std::string_view kDesktopFileName = "glimmerpost.desktop";

// $XDG_CONFIG_HOME/autostart/glimmerpost.desktop, or ~/.config/autostart/... when
// XDG_CONFIG_HOME is unset or not absolute; "" when neither can be found.
std::filesystem::path DefaultDesktopFile();

// The text of the desktop entry that starts exePath, with "--home" and dataFolder
// when a data folder is given (one that is not the default); "" when a path cannot
// be put on one Exec line (the executable is empty, or either holds a line break or
// a NUL).
std::string DesktopEntryText(std::string_view exePath, std::string_view dataFolder = {});

// Sets (on) or deletes (off) the Run value and writes or removes the desktop entry at
// desktopFile (skipped when it is empty). True when both are as asked afterwards.
bool SetStartWithWindows(bool on, std::string_view exePath, const std::filesystem::path& desktopFile,
                         std::string_view dataFolder = {});

// The executable path the Run value holds; "" when there is none.
std::string RunValue();

}  // namespace AutoStart
