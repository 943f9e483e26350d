#pragma once
// The program log (glplog.txt) and the message log (msglog.txt) in the program folder.
//
// Program-log line:  "mm-dd-yyyy hh:mm:ss  K text" CR LF, K being the kind
// ("i" information, "#" error, "!" warning). A line is written only when its level is
// at most LogLevel; LogLevel is 0 until start-up reads the settings.
// Message-log line:  "mm-dd-yyyy hh:mm:ss Message from <sender> <action> because <reason>" CR LF.
//
// Every text from a caller goes through OneLineText first, so a stranger's bytes can
// neither forge a line nor grow the file without bound.
//
// Each call opens, appends and closes, so other programs may read or trim the files
// between entries. Failures are swallowed: logging never disturbs its caller.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace MiscFuncs {

inline constexpr const char* kProgramLogName = "glplog.txt";
inline constexpr const char* kMessageLogName = "msglog.txt";

// The detail wanted in the program log (0 = start-up lines and failures only).
std::int16_t LogLevel();
void SetLogLevel(std::int16_t level);

// True when a line of this level would be written; lets callers skip building
// expensive texts.
inline bool LogWanted(std::int16_t level) { return level <= LogLevel(); }

// A logged text is cut here (a program-log text, each part of a message-log line).
inline constexpr std::size_t kMaxLogText = 1024;
// Marks the end of a text that was cut.
inline constexpr std::string_view kLogCutMark = "...";

// Text fit for one line: a line end at its end (LF, CR LF or CR) is dropped, a line break inside (CR LF
// or LF) becomes one blank, every other control byte but TAB (a bare CR, NUL, ESC,
// DEL ...) becomes "?", and a text longer than cap bytes is cut there and marked.
std::string OneLineText(std::string_view text, std::size_t cap = kMaxLogText);

void WriteLog(std::int16_t level, std::string_view kind, std::string_view text);
void WriteMessageLog(std::string_view sender, std::string_view action, std::string_view reason);

// "mm-dd-yyyy hh:mm:ss" of the current local time, the prefix of both logs.
std::string LogTimestamp();

}  // namespace MiscFuncs
