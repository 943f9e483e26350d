#pragma once
// Opening a stored message with the desktop's mail program. The handler of the
// file's type (message/rfc822 for a stored message) is looked up first, so that a
// desktop without a mail program can be told so; the file itself is then opened
// through its association, never by starting the handler found with arguments of
// our own. Replaceable, so that tests see the path instead of starting a program.

#include <filesystem>
#include <functional>
#include <string>

namespace platform {

enum class OpenFileResult {
    Opened,     // handed to the desktop's program
    NoHandler,  // no program is associated with the file's type
    Failed,     // a program is associated, but the desktop could not open the file
};

struct FileOpener {
    // The desktop's program for the file's type (a desktop entry or a path); "" for none.
    std::function<std::string(const std::filesystem::path&)> findHandler;
    // Opens the file through its association; false when that failed.
    std::function<bool(const std::filesystem::path&)> open;
};

// Finds the handler, then opens the file. A missing file counts as Failed.
OpenFileResult OpenWithDesktop(const std::filesystem::path& file);

// The desktop's default program for message/rfc822 (xdg-mime); "" when none is set or
// the query fails.
std::string DesktopHandlerOf(const std::filesystem::path& file);

// Replaces either part; an empty function restores the desktop's own.
void SetFileOpener(FileOpener opener);

}  // namespace platform
