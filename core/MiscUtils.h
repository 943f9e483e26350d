#pragma once
// Small program-wide helpers: the one way folders are listed (SafeDir), the blank and
// flag tests of settings values, short paths, GUID texts and a few one-liners.

#include <deque>
#include <string>
#include <string_view>

namespace MiscFuncs {

// What SafeDir lists: plain files, or plain files and folders.
enum DirAttributes : int { kDirNormal = 0, kDirFolders = 16 };

using DirList = std::deque<std::string>;

// Lists a folder one name per call. With a non-blank pattern (a path whose last
// component may hold "*" and "?", letter case ignored, "[" an ordinary character)
// the caller's list is refilled with every matching bare name, sorted; then the
// first name is taken off the list and returned, "" when the list is empty. With a
// blank pattern it only hands out the next name. Failures log and return "".
std::string SafeDir(DirList& list, std::string_view pattern, int attributes = kDirNormal);

// True when the text is empty once NUL characters are removed and blanks trimmed.
bool IsBlank(std::string_view text);
// True when the text, trimmed of blanks, is exactly "1".
bool IsFlagSet(std::string_view text);
// The path itself when it names an existing file or folder, else "".
std::string GetShortPath(std::string_view path);
// 32 upper-case hexadecimal digits; "00000000" when no identifier can be made.
std::string NewGuidString();
// (width - length) "0" characters; "" when length >= width.
std::string ZeroFill(long width, long length);
// a when a < b, else b / a when a > b, else b.
template <typename T> T MinOf(T a, T b) { return a < b ? a : b; }
template <typename T> T MaxOf(T a, T b) { return a > b ? a : b; }
std::string DeletionNoticeText(std::string_view days);

// Leading and trailing blanks (spaces only) removed.
std::string_view TrimBlanks(std::string_view text);
// Leading and trailing blanks and TABs removed.
std::string_view TrimBlanksAndTabs(std::string_view text);
// ASCII lower and upper case of 8-bit text; other bytes unchanged.
std::string LowerCase(std::string_view text);
std::string UpperCase(std::string_view text);
// ASCII case-insensitive equality.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace MiscFuncs
