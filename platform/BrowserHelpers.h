#pragma once
// The desktop's default web browser, as the feedback and recommendation forms need to
// know it, and opening their addresses in it.
//
// FindAssociatedProgram asks the desktop which program opens a kind of file; for the
// web ("htm", "html") that is the browser named by $BROWSER (its first entry found on
// the PATH) or else the desktop's opener, xdg-open. Replaceable, so tests choose the
// answer. No file is written to find out.

#include <QString>

#include <functional>
#include <string>
#include <string_view>

class QWidget;

namespace BrowserHelpers {

// The program's full path; empty when none is known.
std::string FindAssociatedProgram(std::string_view extension);
// True when the program for "htm" has a path longer than 10 characters.
bool HasDefaultBrowser();
// True when the browser's path, lower-cased, names Internet Explorer.
bool IsInternetExplorerDefault();

using AssociatedProgramFn = std::function<std::string(std::string_view extension)>;
// nullptr restores the lookup described above.
void SetAssociatedProgramFinder(AssociatedProgramFn finder);

// Opens the address in the default browser; a failure shows its box (no browser:
// "Could not find associated Browser"; an address too long for the browser, or one the
// desktop would not open: "Web Page not Opened") and returns false.
bool TheirBrowser2(std::string_view address);

}  // namespace BrowserHelpers
