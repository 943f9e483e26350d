#include "core/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <set>
#include <system_error>

#include "core/Log.h"

namespace fs = std::filesystem;

namespace MiscFuncs {
namespace {

bool syncPath(const fs::path& p, bool folder) {
    const int fd = ::open(p.c_str(), (folder ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
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

// Reads from fd until the end of the file or until out holds limit bytes.
bool readUpTo(int fd, std::string& out, std::size_t limit) {
    char buf[65536];
    while (out.size() < limit) {
        const std::size_t want = std::min(sizeof buf, limit - out.size());
        const ssize_t n = ::read(fd, buf, want);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

void fail(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
}

void describe(std::string* error, const char* reason) {
    if (error) *error = reason;
}

std::int64_t nanos(const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec; }

FileStamp stampFrom(const struct stat& st) {
    return FileStamp{true, st.st_dev, st.st_ino, st.st_size, nanos(st.st_mtim), nanos(st.st_ctim)};
}

// The mode a new file gets from open(2): 0666 less the process's umask, read from
// /proc so that the umask is never changed, not even for a moment.
mode_t umaskedMode() {
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

// The mode the new file gets; false (with *error) when the existing target is refused.
bool targetMode(const fs::path& path, const WriteOptions& options, mode_t& mode, std::string* error) {
    mode = options.newFileMode ? *options.newFileMode : umaskedMode();
    struct stat old {};
    const bool looksAtTarget = options.keepMode || options.refuseReadOnlyTarget;
    if (options.replace == Replace::Never || !looksAtTarget || ::stat(path.c_str(), &old) != 0) return true;
    if (options.refuseReadOnlyTarget && ::access(path.c_str(), W_OK) != 0) {
        fail(error, "cannot replace the read-only file " + path.string());
        return false;
    }
    if (options.keepMode) mode = old.st_mode & 07777;
    return true;
}

bool makeFolder(const fs::path& path, std::string* error) {
    std::error_code ec;
    fs::create_directories(FolderOf(path), ec);
    if (!ec) return true;
    if (error) *error = "cannot create the folder of " + path.string() + ": " + ec.message();
    return false;
}

// Creates, fills and closes the temporary file beside path; its name, or "" when it
// could not be completed (it is removed then).
std::string writeTemp(const fs::path& path, std::string_view bytes, mode_t mode, bool sync, std::string* error) {
    std::string tmp = (FolderOf(path) / ("." + path.filename().string().substr(0, 200) + ".XXXXXX")).string();
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) {
        fail(error, "cannot create a temporary file for " + path.string());
        return "";
    }
    bool ok = writeAll(fd, bytes);
    if (!ok) fail(error, "cannot write " + path.string());
    // A mode that cannot be set (a file system without permissions) leaves mkstemp's
    // 0600: narrower than asked, never wider.
    if (ok) ::fchmod(fd, mode);
    // A file whose sync is deferred starts on its way to the disk now, so that the
    // batch's syncs later find little left to wait for. Only a hint: the sync decides.
    if (ok && !sync) ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    if (ok && sync && ::fsync(fd) != 0) {
        fail(error, "cannot sync " + path.string());
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        fail(error, "cannot close " + path.string());
        ok = false;
    }
    if (ok) return tmp;
    ::unlink(tmp.c_str());
    return "";
}

// Puts the complete temporary file in the target's place; it is gone afterwards.
bool placeTemp(const std::string& tmp, const fs::path& path, Replace replace, std::string* error) {
    if (replace == Replace::Never) {
        // link() refuses an existing target, so no other writer's file is replaced.
        const bool ok = ::link(tmp.c_str(), path.c_str()) == 0;
        if (!ok) fail(error, "cannot create " + path.string());
        ::unlink(tmp.c_str());
        return ok;
    }
    if (::rename(tmp.c_str(), path.c_str()) == 0) return true;
    fail(error, "cannot replace " + path.string());
    ::unlink(tmp.c_str());
    return false;
}

bool syncFolderAfterWrite(const fs::path& path, bool required, std::string* error) {
    if (SyncFolderOf(path)) return true;
    if (required) {
        fail(error, "cannot sync the folder of " + path.string());
        return false;
    }
    WriteLog(1, "!", "Could not sync folder " + FolderOf(path).string() + ": " + std::strerror(errno));
    return true;
}

ReadStatus tooLarge(std::string* error) {
    describe(error, std::strerror(EFBIG));
    return ReadStatus::TooLarge;
}

ReadStatus readOpenFile(int fd, std::string& out, std::size_t maxBytes, FileStamp& stamp, std::string* error) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        describe(error, std::strerror(errno));
        return ReadStatus::Failed;
    }
    stamp = stampFrom(st);
    if (!S_ISREG(st.st_mode)) {
        describe(error, "not a regular file");
        return ReadStatus::NotAFile;
    }
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) return tooLarge(error);
    out.reserve(static_cast<std::size_t>(st.st_size));
    // One byte more than the cap tells a file that grew while it was read.
    const std::size_t limit = maxBytes == std::numeric_limits<std::size_t>::max() ? maxBytes : maxBytes + 1;
    if (!readUpTo(fd, out, limit)) {
        describe(error, std::strerror(errno));
        return ReadStatus::Failed;
    }
    return out.size() > maxBytes ? tooLarge(error) : ReadStatus::Read;
}

}  // namespace

bool WriteFileAtomic(const fs::path& path, std::string_view bytes, Replace replace, SyncBatch* batch,
                     std::string* error) {
    WriteOptions options;
    options.replace = replace;
    options.batch = batch;
    options.newFileMode = 0644;
    options.keepMode = false;
    options.refuseReadOnlyTarget = false;
    options.requireFolderSync = true;
    return WriteFileAtomic(path, bytes, options, error);
}

bool WriteFileAtomic(const fs::path& path, std::string_view bytes, const WriteOptions& options,
                     std::string* error) {
    mode_t mode = 0;
    if (options.createFolder && !makeFolder(path, error)) return false;
    if (!targetMode(path, options, mode, error)) return false;
    const std::string tmp = writeTemp(path, bytes, mode, options.batch == nullptr, error);
    if (tmp.empty() || !placeTemp(tmp, path, options.replace, error)) return false;
    if (!options.batch) return syncFolderAfterWrite(path, options.requireFolderSync, error);
    options.batch->AddFile(path);
    return true;
}

bool ReadWholeFile(const fs::path& path, std::string& out, std::size_t maxBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    out.clear();
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))  // one allocation, not a doubling series
        out.reserve(std::min(static_cast<std::size_t>(st.st_size), maxBytes));
    const bool ok = readUpTo(fd, out, maxBytes);
    ::close(fd);
    return ok;
}

bool StampOf(const fs::path& path, FileStamp& stamp, std::string* error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        stamp = stampFrom(st);
        return true;
    }
    stamp = FileStamp{};
    if (errno == ENOENT || errno == ENOTDIR) return true;
    describe(error, std::strerror(errno));
    return false;
}

ReadStatus ReadWholeFileStamped(const fs::path& path, std::string& out, std::size_t maxBytes, FileStamp& stamp,
                                std::string* error) {
    out.clear();
    stamp = FileStamp{};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int reason = errno;
        describe(error, std::strerror(reason));
        if (reason == ENOENT) return ReadStatus::Missing;
        StampOf(path, stamp);
        return ReadStatus::Failed;
    }
    const ReadStatus status = readOpenFile(fd, out, maxBytes, stamp, error);
    ::close(fd);
    if (status != ReadStatus::Read) out.clear();
    return status;
}

fs::path FolderOf(const fs::path& path) {
    fs::path folder = path.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

bool SyncFolderOf(const fs::path& path) { return syncPath(FolderOf(path), true); }

SyncBatch::~SyncBatch() { Commit(); }

void SyncBatch::AddFile(const fs::path& file) { files_.push_back(file); }

bool SyncBatch::Commit() {
    bool ok = true;
    std::set<fs::path> folders;
    for (const fs::path& f : files_) {
        ok = syncPath(f, false) && ok;
        folders.insert(FolderOf(f));
    }
    for (const fs::path& d : folders) ok = syncPath(d, true) && ok;
    files_.clear();
    return ok;
}

FolderLock::FolderLock(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {}
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace MiscFuncs
