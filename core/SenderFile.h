#pragma once
// SenderFile: senders.ini taken apart as plain text, for the sender list's start-up
// load, which reads the whole file once instead of asking the settings file for
// every key of every sender.
//
// The lines are read exactly as the settings files read them (core/IniDocument.h),
// so what the load puts in the lists is what CIniFile answers later:
// - the text is split at LF, a CR before the LF is dropped, any other CR and every
//   NUL counts as a blank; a UTF-8 byte-order mark at the start is skipped;
// - each line is trimmed of blanks and tabs;
// - "[name]" starts a section: the name is the text between the "[" and the last
//   "]", trimmed; lines before the first section are ignored;
// - "key=value" with a non-empty key that does not begin with ";" is a key; key and
//   value are trimmed; keys are matched ignoring letter case and the first of two
//   equal keys in one section wins; other keys and lines are ignored.
// A section that appears twice is reported twice; the caller decides (the settings
// file merges it into the first, whose keys win).

#include <functional>
#include <string>
#include <string_view>

namespace SenderFile {

// One section of senders.ini. The views point into the buffer given to Parse.
struct SenderRecord {
    std::string_view address;  // the section name, letter case as written
    std::string_view name;
    std::string_view modificationDate;
    std::string_view authReason;
    std::string_view accessLevel;
    std::string_view unsentRegRequest;
};

using RecordVisitor = std::function<void(const SenderRecord&)>;

// Calls visit for every section in file order. Stray CR and NUL bytes of the buffer
// are turned into blanks in place, so the views never hold them.
void Parse(std::string& bytes, const RecordVisitor& visit);

}  // namespace SenderFile
