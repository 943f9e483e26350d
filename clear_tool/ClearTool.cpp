#include "clear_tool/ClearTool.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "core/Log.h"
#include "core/MailClientFiles.h"
#include "core/Prompt.h"
#include "platform/SingleInstance.h"

namespace fs = std::filesystem;

namespace modClear {
namespace {

constexpr std::string_view kDeleteFailed = "Failed to delete file ";

// Holds Glimmerpost's lock on the folder (platform/SingleInstance.h) for the tool's run.
class FolderLock {
public:
    explicit FolderLock(const fs::path& folder) {
        const std::string path = (folder / platform::SingleInstance::kLockFileName).string();
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0 || ::flock(fd_, LOCK_EX | LOCK_NB) != 0) busy_ = errno == EWOULDBLOCK;
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    // Another process (Glimmerpost) holds the lock.
    bool Busy() const { return busy_; }

private:
    int fd_ = -1;
    bool busy_ = false;
};

// Every n of an Account<n>.reg without its clracc<n>.reg, highest first.
std::vector<int> lonelyExports(const fs::path& folder) {
    std::vector<int> numbers;
    std::error_code ec;
    for (int n : UndoFiles::ExportNumbers(folder))
        if (!fs::exists(UndoFiles::UndoFile(folder, n), ec)) numbers.push_back(n);
    return numbers;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find("\r\n", from);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(from, end - from));
        from = end + 2;
    }
    return lines;
}

bool refuse(const std::string& text) {
    Prompt::Ask(text, "ClearGLP", Prompt::Buttons::OK, Prompt::Kind::Critical);
    return false;
}

}  // namespace

Report RestoreAll(const fs::path& folder) {
    Report report;
    for (int n : UndoFiles::PairNumbers(folder)) {
        std::string error;
        if (UndoFiles::RestorePair(folder, n, error)) {
            report.restored.push_back(n);
            continue;
        }
        MiscFuncs::WriteLog(0, "#", "Error in modClear.Main: " + error);
        for (std::string& line : linesOf(error)) {
            if (line.compare(0, kDeleteFailed.size(), kDeleteFailed) == 0)
                Prompt::Ask(line, "ClearGLP", Prompt::Buttons::OK, Prompt::Kind::None);
            report.failures.push_back(std::move(line));
        }
    }
    for (int n : lonelyExports(folder))
        report.failures.push_back("Missing file " + UndoFiles::UndoFile(folder, n).string() + ", " +
                                  UndoFiles::ExportFile(folder, n).filename().string() + " was not imported");
    return report;
}

int Main(const fs::path& folder) {
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec)) {
        refuse("The Glimmerpost data folder " + folder.string() + " does not exist.\r\nNothing has been changed.");
        return kRefused;
    }
    FolderLock lock(folder);
    if (lock.Busy()) {
        refuse("Glimmerpost is running.\r\nPlease close Glimmerpost and run ClearGLP again.");
        return kRefused;
    }
    const Prompt::Answer go = Prompt::Ask(
        "Caution!\r\nYou should run this only if you plan to uninstall Glimmerpost.\r\nProceed?", "ClearGLP",
        Prompt::Buttons::YesNo, Prompt::Kind::Question, 2);
    if (go != Prompt::Answer::Yes) return kDeclined;
    const Report report = RestoreAll(folder);
    if (report.failures.empty()) {
        Prompt::Ask("Glimmerpost has restored Registry settings\r\nYou can uninstall Glimmerpost now", "ClearGLP",
                    Prompt::Buttons::OK, Prompt::Kind::Information);
        return kRestored;
    }
    std::string text = "Glimmerpost could not restore all Registry settings:\r\n";
    for (const std::string& f : report.failures) text += f + "\r\n";
    text += "\r\nThe files named above have been kept. Do not uninstall Glimmerpost before these settings are "
            "restored.";
    Prompt::Ask(text, "ClearGLP", Prompt::Buttons::OK, Prompt::Kind::Critical);
    return kIncomplete;
}

}  // namespace modClear
