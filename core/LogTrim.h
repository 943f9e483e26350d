#pragma once
// Cutting a log (glplog.txt, msglog.txt) to its maximum size at shut-down, keeping
// its newest lines.
//
// With L the file's length in bytes and S the running sum of the line lengths read
// so far (line ends not counted, the current line included), a line is dropped while
// L - S is at least the limit; that line and every later one are kept. So the cut
// falls on a line boundary and the kept text is about the limit. Lines end at CR LF,
// LF or CR; the kept lines are written with CR LF.
//
// The log is read twice as a stream (once to find the cut, once to copy the tail),
// so its size does not matter. The tail goes to tmplog.txt in the program folder,
// which is synced and renamed over the log: at any moment the log is either the old
// one, whole, or the trimmed one. On failure the old log stays and tmplog.txt is
// removed.

#include <cstdint>
#include <filesystem>

class ProgramSettings;

namespace LogTrim {

// Cuts the log to limitBytes through temp. True when the log is within the limit
// afterwards (also when it was already, or does not exist).
bool TrimLogFileTo(const std::filesystem::path& log, std::int64_t limitBytes, const std::filesystem::path& temp);

// Cuts the log to [options] MaxLogSize kilobytes (32 when blank) through tmplog.txt.
bool TrimLogFile(const std::filesystem::path& log, const ProgramSettings& settings);

}  // namespace LogTrim
