#include "engines/OutBoxMessage.h"

#include <fcntl.h>
#include <stdio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "core/CIniFile.h"
#include "core/Dates.h"
#include "core/IniDocument.h"
#include "core/MiscUtils.h"
#include "core/ProgramSettings.h"
#include "core/Scramble.h"
#include "core/SeriesFile.h"

namespace fs = std::filesystem;

namespace OutBox {
namespace {

constexpr int kMaxStoredAttempts = 1000000;

void setError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
}

// The value as CIniFile would store it: square brackets as braces (the file's rule,
// so that no value reads back as a section header), then the document's cleaning.
std::string storedValue(std::string_view value) {
    std::string out(value);
    std::replace(out.begin(), out.end(), '[', '{');
    std::replace(out.begin(), out.end(), ']', '}');
    return out;
}

// A base name is taken when it exists as a queued or as a parked file, so that
// parking or putting back one file never meets another of the same name.
bool baseTaken(const fs::path& folder, const std::string& base) {
    std::error_code ec;
    return fs::exists(folder / (base + std::string(kQueuedExtension)), ec) ||
           fs::exists(folder / (base + std::string(kParkedExtension)), ec);
}

// The queued names of one stamp; a name is free only when its parked name is too.
MiscFuncs::FileSeries queuedSeries(std::string_view stamp) {
    const std::string base(stamp);
    return {base, [base](int n) { return MiscFuncs::SeriesName(base, n) + std::string(kQueuedExtension); },
            [base](const fs::path& folder, int n) { return baseTaken(folder, MiscFuncs::SeriesName(base, n)); }};
}

std::string stemOf(const fs::path& queued) {
    const std::string name = queued.filename().string();
    return IsQueuedName(name) ? name.substr(0, name.size() - kQueuedExtension.size()) : name;
}

// rename(2) that refuses an existing target. Where the file system cannot say so
// atomically, the target is checked first: this program is the folder's one writer.
bool renameNoReplace(const fs::path& from, const fs::path& to, int& failure) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    failure = errno;
    if (failure != EINVAL && failure != ENOSYS) return false;
    std::error_code ec;
    if (fs::exists(to, ec) || ec) {
        failure = EEXIST;
        return false;
    }
    if (::rename(from.c_str(), to.c_str()) == 0) return true;
    failure = errno;
    return false;
}

}  // namespace

fs::path FolderOf(std::string_view account) { return MiscFuncs::AccountMailFolder(account, "OutBox"); }

std::string FileText(MessageType type, std::string_view recipient, std::string_view subject) {
    IniStore::IniDocument doc;
    doc.Set(kSection, kSubjectKey, storedValue(MiscFuncs::ScrambleText(subject.substr(0, kMaxFieldLength))));
    doc.Set(kSection, kMessageTypeKey, std::to_string(static_cast<std::int16_t>(type)));
    doc.Set(kSection, kRecipientKey, storedValue(recipient.substr(0, kMaxFieldLength)));
    return doc.Serialize();
}

fs::path Queue(MessageType type, std::string_view account, std::string_view recipient, std::string_view subject,
               std::string* error) {
    return MiscFuncs::CreateInAccountFolder(account, "OutBox", queuedSeries(MiscFuncs::DateStampNow()),
                                            FileText(type, recipient, subject), error);
}

fs::path CreateUnique(const fs::path& folder, std::string_view stamp, std::string_view text, std::string* error) {
    return MiscFuncs::CreateInSeries(folder, queuedSeries(stamp), text, error);
}

bool IsQueuedName(std::string_view name) {
    return name.size() >= kQueuedExtension.size() &&
           MiscFuncs::EqualsIgnoreCase(name.substr(name.size() - kQueuedExtension.size()), kQueuedExtension);
}

fs::path ParkedName(const fs::path& queued) {
    return queued.parent_path() / (stemOf(queued) + std::string(kParkedExtension));
}

fs::path Park(const fs::path& queued, std::string* error) {
    const fs::path folder = queued.parent_path();
    const std::string stem = stemOf(queued);
    for (int n = 1; n <= kMaxNamesPerStamp; ++n) {
        const std::string base = MiscFuncs::SeriesName(stem, n);
        // A variant must be free as a queued name too (the first is the file's own).
        if (n > 1 && baseTaken(folder, base)) continue;
        const fs::path target = folder / (base + std::string(kParkedExtension));
        int failure = 0;
        if (renameNoReplace(queued, target, failure)) return target;
        if (failure != EEXIST) {
            setError(error, "Cannot rename " + queued.string() + " to " + target.string() + ": " +
                                std::strerror(failure));
            return {};
        }
    }
    setError(error, "Every parked name for " + queued.string() + " is taken");
    return {};
}

Contents Read(const CIniFile& file) {
    Contents mail;
    MiscFuncs::UnscrambleText(file.Value(kSection, kSubjectKey), mail.subject);
    const std::string type = file.Value(kSection, kMessageTypeKey);
    if (MiscFuncs::TrimBlanks(type) == "1") mail.type = MessageType::Confirmation;
    mail.recipient = file.Value(kSection, kRecipientKey);
    const auto attempts = NumberOfSetting(file.Value(kSection, kBadRelayAttemptsKey));
    if (attempts) mail.badRelayAttempts = static_cast<int>(std::clamp<std::int64_t>(*attempts, 0, kMaxStoredAttempts));
    return mail;
}

}  // namespace OutBox
