#include "core/RegistryFileIo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace fs = std::filesystem;

namespace RegistryFileIo {
namespace {

std::string failure(const fs::path& file) { return file.string() + ": " + std::strerror(errno); }

void fill(const struct stat& st, FileStamp& stamp) {
    stamp.exists = true;
    stamp.size = st.st_size;
    stamp.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.inode = st.st_ino;
    stamp.device = st.st_dev;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// False on a read error or when the file holds more than `cap` bytes.
bool readAll(int fd, std::size_t cap, std::string& out) {
    out.clear();
    char buf[65536];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (out.size() + static_cast<std::size_t>(n) > cap) {
            errno = EFBIG;
            return false;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
}

void syncFolder(const fs::path& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

fs::path FolderOf(const fs::path& file) {
    const fs::path dir = file.parent_path();
    return dir.empty() ? fs::path(".") : dir;
}

bool StampOf(const fs::path& file, FileStamp& stamp, std::string& error) {
    stamp = FileStamp{};
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0) {
        fill(st, stamp);
        return true;
    }
    if (errno == ENOENT) return true;
    error = failure(file);
    return false;
}

bool ReadWhole(const fs::path& file, std::size_t cap, std::string& out, FileStamp& stamp, std::string& error) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = failure(file);
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (ok) fill(st, stamp);
    ok = ok && readAll(fd, cap, out);
    if (!ok) error = failure(file);
    ::close(fd);
    return ok;
}

bool WriteAtomically(const fs::path& file, std::string_view bytes, std::string& error) {
    std::error_code ec;
    const fs::path dir = FolderOf(file);
    fs::create_directories(dir, ec);
    std::string tmp = file.string() + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        error = failure(file);
        return false;
    }
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    if (!ok) error = failure(file);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = failure(file);
    }
    if (ok && ::rename(tmp.c_str(), file.c_str()) != 0) {
        ok = false;
        error = failure(file);
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    syncFolder(dir);
    return true;
}

FolderLock::FolderLock(const fs::path& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {}
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace RegistryFileIo
