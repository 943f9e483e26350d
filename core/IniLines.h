#pragma once
// Single settings-file lines taken apart, for loaders that read a settings file as
// plain text (the sender list reads senders.ini line by line). The line is taken as
// it stands: it is not trimmed first, so " [a]" is no section line.

#include <string>
#include <string_view>

namespace MiscFuncs {

// When the first "=" is not the line's first character: the text before it,
// trimmed of blanks; otherwise "".
std::string KeyOfLine(std::string_view line);
// When the first "=" is not the line's first character: the text after it,
// trimmed of blanks; otherwise "".
std::string ValueOfLine(std::string_view line);
// When the line begins with "[", ends with "]" and has at least 3 characters: the
// text between them, untrimmed; otherwise "".
std::string SectionOfLine(std::string_view line);

}  // namespace MiscFuncs
