#include "core/LogTrim.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "core/AtomicFile.h"
#include "core/Log.h"
#include "core/ProgramFiles.h"
#include "core/ProgramSettings.h"

namespace fs = std::filesystem;

namespace LogTrim {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

// Closes a descriptor when it goes out of scope.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

void logError(const std::string& what) {
    MiscFuncs::WriteLog(0, "#", "Error in MainForm::TrimLogFile " + what + ": " + std::strerror(errno));
}

// Reads on until the next chunk; 0 at the end, -1 on an error.
ssize_t readChunk(int fd, char* buf) {
    for (;;) {
        const ssize_t n = ::read(fd, buf, kChunk);
        if (n >= 0 || errno != EINTR) return n;
    }
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Calls line(start, length) for every line of the file from its start: the line's
// offset and its length without its line end (CR LF, LF or CR). A last line without
// a line end counts too.
template <typename LineFn>
bool forEachLine(int fd, LineFn line) {
    if (::lseek(fd, 0, SEEK_SET) < 0) return false;
    char buf[kChunk];
    std::int64_t offset = 0, lineStart = 0, lineLength = 0;
    bool afterCR = false;
    for (ssize_t n; (n = readChunk(fd, buf)) != 0; offset += n) {
        if (n < 0) return false;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buf[i];
            if (c == '\n' && afterCR) {
                afterCR = false;
            } else if (c == '\n' || c == '\r') {
                if (!line(lineStart, lineLength)) return true;
                lineLength = 0;
                afterCR = c == '\r';
            } else {
                afterCR = false;
                ++lineLength;
                continue;
            }
            lineStart = offset + i + 1;
        }
    }
    if (lineLength > 0) line(lineStart, lineLength);
    return true;
}

// The offset of the first kept line; fileLength when none is kept. Each kept line is
// written with CR LF, so a line takes its length and two bytes of the limit: the
// first pass adds up what the whole log would take, the second drops lines from the
// front until the rest fits.
bool findCut(int fd, std::int64_t fileLength, std::int64_t limit, std::int64_t& cut) {
    std::int64_t total = 0;
    if (!forEachLine(fd, [&](std::int64_t, std::int64_t length) {
            total += length + 2;
            return true;
        }))
        return false;
    cut = fileLength;
    std::int64_t dropped = 0;
    return forEachLine(fd, [&](std::int64_t start, std::int64_t length) {
        if (total - dropped <= limit) {
            cut = start;
            return false;
        }
        dropped += length + 2;
        return true;
    });
}

// Second pass: copies from the cut to the end, every line ended by CR LF.
bool copyTail(int in, std::int64_t cut, int out) {
    if (::lseek(in, cut, SEEK_SET) < 0) return false;
    char buf[kChunk];
    std::string converted;
    bool afterCR = false, lineOpen = false;
    for (ssize_t n; (n = readChunk(in, buf)) != 0;) {
        if (n < 0) return false;
        converted.clear();
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buf[i];
            if (c == '\n' && afterCR) {
                afterCR = false;
                continue;
            }
            if (c == '\n' || c == '\r') {
                converted += "\r\n";
                afterCR = c == '\r';
                lineOpen = false;
            } else {
                converted += c;
                afterCR = false;
                lineOpen = true;
            }
        }
        if (!writeAll(out, converted.data(), converted.size())) return false;
    }
    return !lineOpen || writeAll(out, "\r\n", 2);
}

bool writeTail(int in, std::int64_t cut, const fs::path& temp, mode_t mode) {
    Fd out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (out.fd < 0) {
        logError("cannot create " + temp.string());
        return false;
    }
    if (!copyTail(in, cut, out.fd) || ::fsync(out.fd) != 0) {
        logError("cannot write " + temp.string());
        return false;
    }
    const int fd = out.fd;
    out.fd = -1;
    if (::close(fd) == 0) return true;
    logError("cannot write " + temp.string());
    return false;
}

}  // namespace

bool TrimLogFileTo(const fs::path& log, std::int64_t limitBytes, const fs::path& temp) {
    Fd in(::open(log.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0) {
        if (errno == ENOENT) return true;  // no log, nothing to cut
        logError("cannot open " + log.string());
        return false;
    }
    struct stat st {};
    if (::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        logError("cannot read " + log.string());
        return false;
    }
    if (st.st_size <= limitBytes) return true;
    std::int64_t cut = 0;
    if (!findCut(in.fd, st.st_size, limitBytes, cut)) {
        logError("cannot read " + log.string());
        return false;
    }
    std::error_code ec;
    if (fs::equivalent(log, temp, ec)) return false;
    bool replaced = writeTail(in.fd, cut, temp, st.st_mode & 07777);
    if (replaced && ::rename(temp.c_str(), log.c_str()) != 0) {
        logError("cannot replace " + log.string());
        replaced = false;
    }
    if (!replaced) {
        fs::remove(temp, ec);
        return false;
    }
    MiscFuncs::SyncFolderOf(log);
    return true;
}

bool TrimLogFile(const fs::path& log, const ProgramSettings& settings) {
    return TrimLogFileTo(log, settings.MaxLogSizeBytes(), ProgramFiles::TrimTempPath());
}

}  // namespace LogTrim
