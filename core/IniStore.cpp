#include "core/IniStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>
#include <unordered_map>

#include "core/Log.h"

namespace fs = std::filesystem;

namespace IniStore {
namespace {

std::int64_t nanos(const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }

FileStamp stampOf(const struct stat& st) {
    return FileStamp{true, st.st_dev, st.st_ino, st.st_size, nanos(st.st_mtim), nanos(st.st_ctim)};
}

void logReadError(const fs::path& path, const std::string& what) {
    MiscFuncs::WriteLog(0, "#", "Error in CIniFile::ReadString " + path.string() + ": " + what);
}

void logWriteError(const fs::path& path, const std::string& what) {
    MiscFuncs::WriteLog(0, "#", "Error in CIniFile::WriteString " + path.string() + ": " + what);
}

std::string errnoText() { return std::strerror(errno); }

// A name from a stranger, made fit for one log line.
std::string forLog(std::string_view name) {
    constexpr std::size_t kMaxShown = 200;
    return IniDocument::CleanText(name.substr(0, kMaxShown));
}

// The mode a new file gets from open(2): 0666 less the process's umask, read from
// /proc so that the umask is never changed, not even for a moment.
mode_t newFileMode() {
    static const mode_t mode = [] {
        std::ifstream in("/proc/self/status");
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("Umask:", 0) == 0)
                return static_cast<mode_t>(0666 & ~std::strtoul(line.c_str() + 6, nullptr, 8));
        return static_cast<mode_t>(0600);
    }();
    return mode;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Fills and closes the temporary file; the error text, or "" when it is on disk.
std::string writeTemp(int fd, mode_t mode, std::string_view bytes) {
    std::string problem;
    if (::fchmod(fd, mode) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0) problem = errnoText();
    if (::close(fd) != 0 && problem.empty()) problem = errnoText();
    return problem;
}

// Reads the whole file behind fd, at most limit bytes (one more tells it is longer).
bool readAll(int fd, std::string& out, std::size_t limit) {
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buf, static_cast<std::size_t>(n));
        if (out.size() > limit) return true;
    }
}

// Makes the rename itself durable. A failure here is only logged: the new file is
// in place and complete either way.
void syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0)
        MiscFuncs::WriteLog(1, "!", "Could not sync folder " + folder.string() + ": " + errnoText());
    if (fd >= 0) ::close(fd);
}

}  // namespace

bool StampOf(const fs::path& path, FileStamp& out) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0) {
        out = stampOf(st);
        return true;
    }
    out = FileStamp{};
    return errno == ENOENT || errno == ENOTDIR;
}

SharedIni::SharedIni(fs::path path) : path_(std::move(path)) {}

const IniDocument& SharedIni::Read() {
    Refresh();
    return doc_;
}

void SharedIni::Refresh() {
    if (depth_ > 0 && loaded_) return;
    FileStamp now;
    if (!StampOf(path_, now)) {
        if (loaded_ && !readable_ && !stamp_.exists) return;  // logged already
        logReadError(path_, errnoText());
        doc_ = IniDocument();
        stamp_ = FileStamp{};
        loaded_ = true;
        readable_ = false;
        return;
    }
    if (loaded_ && now == stamp_) return;
    Load();
}

bool SharedIni::Load() {
    doc_ = IniDocument();
    loaded_ = true;
    readable_ = false;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        readable_ = errno == ENOENT;  // a missing file is an empty one
        stamp_ = FileStamp{};
        if (!readable_) {
            logReadError(path_, errnoText());
            StampOf(path_, stamp_);
        }
        return readable_;
    }
    struct stat st {};
    std::string bytes;
    std::string problem;
    const bool statOk = ::fstat(fd, &st) == 0;
    if (!statOk) problem = errnoText();
    else if (!S_ISREG(st.st_mode)) problem = "not a regular file";
    else if (static_cast<std::uintmax_t>(st.st_size) > kMaxFileSize) problem = "larger than the settings-file limit";
    else if (!readAll(fd, bytes, kMaxFileSize)) problem = errnoText();
    else if (bytes.size() > kMaxFileSize) problem = "larger than the settings-file limit";
    ::close(fd);
    // An unreadable file keeps its stamp, so it is not tried (and logged) again
    // until it changes.
    stamp_ = statOk ? stampOf(st) : FileStamp{};
    if (!problem.empty()) {
        logReadError(path_, problem);
        return false;
    }
    doc_ = IniDocument::Parse(bytes);
    readable_ = true;
    return true;
}

bool SharedIni::Write(const IniEdit& edit) {
    Refresh();
    if (!readable_) {
        logWriteError(path_, "the file cannot be read, so it is not replaced");
        return false;
    }
    const EditResult result = doc_.Apply(edit);
    if (result == EditResult::Refused) {
        logWriteError(path_, "no valid name for section \"" + forLog(edit.section) + "\" key \"" +
                                 forLog(edit.key.value_or("")) + "\"");
        return false;
    }
    if (depth_ > 0) {
        pending_.push_back(edit);
        batchChanged_ = batchChanged_ || result == EditResult::Changed;
        return true;
    }
    if (result == EditResult::Unchanged) return true;
    if (Save()) return true;
    Drop();
    return false;
}

bool SharedIni::Save() {
    struct stat old {};
    const bool exists = ::stat(path_.c_str(), &old) == 0;
    // rename(2) would replace a file that the user made read-only; the platform's
    // profile service refuses to, and so does this.
    if (exists && ::access(path_.c_str(), W_OK) != 0) {
        logWriteError(path_, errnoText());
        return false;
    }
    std::string tmp = path_.string() + ".glptmp-XXXXXX";
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) {
        logWriteError(path_, errnoText());
        return false;
    }
    std::string problem = writeTemp(fd, exists ? (old.st_mode & 07777) : newFileMode(), doc_.Serialize());
    if (problem.empty() && ::rename(tmp.c_str(), path_.c_str()) != 0) problem = errnoText();
    if (!problem.empty()) {
        logWriteError(path_, problem);
        ::unlink(tmp.c_str());
        return false;
    }
    syncFolder(path_.parent_path());
    if (!StampOf(path_, stamp_)) stamp_ = FileStamp{};
    return true;
}

void SharedIni::BeginUpdate() {
    if (depth_++ > 0) return;
    Refresh();
    pending_.clear();
    batchChanged_ = false;
}

bool SharedIni::EndUpdate() {
    if (depth_ == 0) return true;
    if (--depth_ > 0) return true;
    return Commit();
}

bool SharedIni::Commit() {
    bool changed = batchChanged_;
    FileStamp now;
    if (!pending_.empty() && StampOf(path_, now) && now != stamp_) {
        // Another program wrote the file during the batch: build on its contents.
        if (!Load()) {
            pending_.clear();
            Drop();
            return false;
        }
        changed = false;
        for (const IniEdit& e : pending_) changed = doc_.Apply(e) == EditResult::Changed || changed;
    }
    pending_.clear();
    if (!changed || Save()) return true;
    Drop();
    return false;
}

void SharedIni::Drop() {
    doc_ = IniDocument();
    loaded_ = false;
}

std::shared_ptr<SharedIni> Open(const fs::path& path) {
    if (path.empty()) return nullptr;
    static std::unordered_map<std::string, std::weak_ptr<SharedIni>> registry;
    static std::size_t sweepAt = 64;
    std::error_code ec;
    fs::path full = fs::absolute(path, ec);
    if (ec) full = path;
    fs::path resolved = fs::weakly_canonical(full, ec);
    if (ec) resolved = full.lexically_normal();
    std::weak_ptr<SharedIni>& slot = registry[resolved.string()];
    if (auto alive = slot.lock()) return alive;
    auto made = std::make_shared<SharedIni>(resolved);
    slot = made;
    if (registry.size() >= sweepAt) {
        // Files opened once (queued mails, reply files) must not pile up here.
        std::erase_if(registry, [](const auto& kv) { return kv.second.expired(); });
        sweepAt = std::max<std::size_t>(64, registry.size() * 2);
    }
    return made;
}

}  // namespace IniStore
