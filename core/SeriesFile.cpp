#include "core/SeriesFile.h"

#include <cstdio>
#include <system_error>

#include "core/AtomicFile.h"
#include "core/MailAccount.h"
#include "core/MiscUtils.h"
#include "core/ProgramFiles.h"

namespace fs = std::filesystem;

namespace MiscFuncs {
namespace {

void setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

bool isTaken(const FileSeries& series, const fs::path& folder, int n) {
    if (series.taken) return series.taken(folder, n);
    std::error_code ec;
    return fs::exists(folder / series.fileName(n), ec);
}

}  // namespace

std::string SeriesName(std::string_view base, int n) {
    if (n <= 1) return std::string(base);
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%04d", n);
    return std::string(base) + suffix;
}

fs::path AccountMailFolder(std::string_view account, std::string_view box) {
    const std::string name(TrimBlanks(account));
    if (IsBlank(name) || !Accounts::IsSafeFolderName(name)) return {};
    return ProgramFiles::InAccountsFolder(name) / "MailDir" / std::string(box);
}

fs::path CreateInSeries(const fs::path& folder, const FileSeries& series, std::string_view text, std::string* error) {
    for (int n = 1; n <= kMaxNamesPerSeries; ++n) {
        if (isTaken(series, folder, n)) continue;
        const fs::path path = folder / series.fileName(n);
        std::string problem;
        if (WriteFileAtomic(path, text, Replace::Never, nullptr, &problem)) return path;
        // Taken between the check and the write: try the next name.
        if (!isTaken(series, folder, n)) {
            setError(error, problem);
            return {};
        }
    }
    setError(error, "Every name for the time stamp " + series.stamp + " is taken in " + folder.string());
    return {};
}

fs::path CreateInAccountFolder(std::string_view account, std::string_view box, const FileSeries& series,
                               std::string_view text, std::string* error) {
    const fs::path folder = AccountMailFolder(account, box);
    if (folder.empty()) {
        setError(error, "The account name \"" + std::string(account) + "\" cannot be a folder name");
        return {};
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        setError(error, "Cannot create the folder " + folder.string() + ": " + ec.message());
        return {};
    }
    return CreateInSeries(folder, series, text, error);
}

}  // namespace MiscFuncs
