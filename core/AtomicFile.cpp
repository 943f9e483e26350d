#include "core/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "core/MiscUtils.h"

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
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void fail(std::string* error, const std::string& what) {
    if (error) *error = what + ": " + std::strerror(errno);
}

fs::path folderOf(const fs::path& p) {
    fs::path f = p.parent_path();
    return f.empty() ? fs::path(".") : f;
}

}  // namespace

bool WriteFileAtomic(const fs::path& path, std::string_view bytes, Replace replace, SyncBatch* batch,
                     std::string* error) {
    std::string tmpl = (folderOf(path) / ("." + path.filename().string().substr(0, 200) + ".XXXXXX")).string();
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        fail(error, "cannot create a temporary file for " + path.string());
        return false;
    }
    const fs::path tmp = tmpl;
    bool ok = writeAll(fd, bytes);
    if (!ok) fail(error, "cannot write " + path.string());
    if (ok && !batch && ::fsync(fd) != 0) {
        fail(error, "cannot sync " + path.string());
        ok = false;
    }
    ::fchmod(fd, 0644);
    if (::close(fd) != 0 && ok) {
        fail(error, "cannot close " + path.string());
        ok = false;
    }
    if (ok) {
        if (replace == Replace::Never) {
            // link() refuses an existing target, so no other writer's file is replaced.
            ok = ::link(tmp.c_str(), path.c_str()) == 0;
            if (!ok) fail(error, "cannot create " + path.string());
            ::unlink(tmp.c_str());
        } else {
            ok = ::rename(tmp.c_str(), path.c_str()) == 0;
            if (!ok) fail(error, "cannot replace " + path.string());
        }
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    if (batch) {
        batch->AddFile(path);
        return true;
    }
    if (!SyncFolderOf(path)) {
        fail(error, "cannot sync the folder of " + path.string());
        return false;
    }
    return true;
}

bool ReadWholeFile(const fs::path& path, std::string& out, std::size_t maxBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    out.clear();
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))  // one allocation, not a doubling series
        out.reserve(std::min(static_cast<std::size_t>(st.st_size), maxBytes));
    char buf[65536];
    bool ok = true;
    while (out.size() < maxBytes) {
        const std::size_t want = std::min(sizeof buf, maxBytes - out.size());
        const ssize_t n = ::read(fd, buf, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ok;
}

bool SyncFolderOf(const fs::path& path) { return syncPath(folderOf(path), true); }

SyncBatch::~SyncBatch() { Commit(); }

void SyncBatch::AddFile(const fs::path& file) { files_.push_back(file); }

bool SyncBatch::Commit() {
    bool ok = true;
    std::set<fs::path> folders;
    for (const fs::path& f : files_) {
        ok = syncPath(f, false) && ok;
        folders.insert(folderOf(f));
    }
    for (const fs::path& d : folders) ok = syncPath(d, true) && ok;
    files_.clear();
    return ok;
}

}  // namespace MiscFuncs
