#pragma once
// modClear: the clean-up tool run before Glimmerpost is removed. It imports, for every
// number n it finds, clracc<n>.reg (which deletes the mail program's account key) and
// then Account<n>.reg (the key as it was before Glimmerpost changed it), and deletes
// both files. It talks to the user through message boxes only (core/Prompt.h).
//
// It refuses to run on a data folder that does not exist (it never creates one) and
// while Glimmerpost runs on the same folder (the program's lock file is held; the
// tool holds it itself while it works, so Glimmerpost cannot start meanwhile).
// A pair is imported only when both files exist and pass the checks of
// core/MailClientFiles.h; the files of a pair that failed stay in place, and every
// failure is named in the last box instead of the success text.

#include <filesystem>
#include <string>
#include <vector>

namespace modClear {

enum ExitCode : int { kRestored = 0, kDeclined = 0, kRefused = 1, kIncomplete = 2 };

// Runs the tool over the data folder; returns the exit code.
int Main(const std::filesystem::path& folder);

// The failures found and the pairs restored by one run over the folder, without the
// boxes (the work of Main after its question).
struct Report {
    std::vector<int> restored;
    std::vector<std::string> failures;
};
Report RestoreAll(const std::filesystem::path& folder);

}  // namespace modClear
