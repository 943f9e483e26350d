#pragma once
// New files under the first free name of a numbered series, as the account folders
// keep them: the OutBox's queued mails and the InBox's registration reply files. A
// file is written atomically (core/AtomicFile.h) and never over another one.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace MiscFuncs {

// Names tried in one series before a write gives up.
inline constexpr int kMaxNamesPerSeries = 9999;

// The n-th name of a series on base: base itself for the first, then base "_0002",
// base "_0003" and onward.
std::string SeriesName(std::string_view base, int n);

// accounts\<account>\MailDir\<box> in the program folder, the account's name trimmed;
// empty when that name is blank or cannot be one folder name.
std::filesystem::path AccountMailFolder(std::string_view account, std::string_view box);

struct FileSeries {
    std::string stamp;                            // names the series when every name is taken
    std::function<std::string(int n)> fileName;  // the n-th file name, n from 1
    // True when the n-th name may not be used; without it, when its file exists.
    std::function<bool(const std::filesystem::path& folder, int n)> taken;
};

// Writes text as a new file in folder under the first free name of the series; a name
// taken between the check and the write passes to the next one. The new path, or an
// empty one with *error saying why.
std::filesystem::path CreateInSeries(const std::filesystem::path& folder, const FileSeries& series,
                                     std::string_view text, std::string* error = nullptr);

// CreateInSeries in an account's mail folder (AccountMailFolder), which is made first
// when it is missing.
std::filesystem::path CreateInAccountFolder(std::string_view account, std::string_view box, const FileSeries& series,
                                            std::string_view text, std::string* error = nullptr);

}  // namespace MiscFuncs
