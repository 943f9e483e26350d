#pragma once
// Cutting a log (glplog.txt, msglog.txt) to its maximum size at shut-down, keeping
// its newest lines.
//
// The newest lines that fit in the limit are kept, each counted with the CR LF it is
// written with: the cut falls on a line boundary, and the kept text is at most the
// limit. Lines end at CR LF, LF or CR; the kept lines are written with CR LF. A last
// line longer than the limit leaves the log empty.
//
// The log is read as a stream (twice to find the cut, once to copy the tail),
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
