#pragma once
// A fresh temporary program folder for one test, removed afterwards, with the clock
// pinned to 2026-12-08 07:52:06 unless the test sets another.

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/Environment.h"
#include "core/Log.h"

namespace testing_support {

inline std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteFile(const std::filesystem::path& p, std::string_view bytes) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Sets or clears the immutable flag, which binds root too, where the file system has it.
inline bool SetImmutable(const std::filesystem::path& p, bool folder, bool on) {
    const int fd = ::open(p.c_str(), folder ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

// Root is bound by permissions only once it stops being root. Where the immutable flag
// is refused (a container without the capability, a file system without flags), the
// test's folder is handed to an unprivileged user and the process takes that user's
// real and effective ids (the saved ones stay root's, to come back) until the last
// read-only path is writable again or the test ends. The real ids change too, as
// access() looks at those. The process keeps the right to read and search everything
// (peers' record folders outside the test's folder), never the right to write.
// GLP_TEST_NO_IMMUTABLE=1 takes this way even where the flag works.
inline constexpr ::uid_t kUnprivilegedId = 65534;  // nobody, nogroup

struct PrivilegeDrop {
    std::filesystem::path testFolder;  // handed over on the first drop
    int depth = 0;
};
inline PrivilegeDrop& CurrentPrivilegeDrop() {
    static PrivilegeDrop drop;
    return drop;
}

inline bool RunningAsRoot() { return ::getuid() == 0 || CurrentPrivilegeDrop().depth > 0; }
inline bool ImmutableWanted() {
    const char* no = std::getenv("GLP_TEST_NO_IMMUTABLE");
    return !(no && std::string_view(no) == "1");
}

// Takes the unprivileged user's ids (nested calls count); false when the
// system refuses.
// keepReading: still read and search everything (a read-only folder's test), else not.
inline bool DropPrivileges(bool keepReading = true) {
    PrivilegeDrop& d = CurrentPrivilegeDrop();
    if (d.depth > 0) return ++d.depth, true;
    if (!d.testFolder.empty()) {
        std::error_code ec;
        if (::lchown(d.testFolder.c_str(), kUnprivilegedId, kUnprivilegedId) != 0) return false;
        for (auto it = std::filesystem::recursive_directory_iterator(d.testFolder, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (::lchown(it->path().c_str(), kUnprivilegedId, kUnprivilegedId) != 0) return false;
        if (ec) return false;
    }
    if (::setresgid(kUnprivilegedId, kUnprivilegedId, 0) != 0) return false;
    ::prctl(PR_SET_KEEPCAPS, 1);
    if (::setresuid(kUnprivilegedId, kUnprivilegedId, 0) != 0) {
        ::prctl(PR_SET_KEEPCAPS, 0);
        ::setresgid(0, 0, 0);
        return false;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (keepReading && ::syscall(SYS_capget, &header, data) == 0) {
        data[0].effective = 1u << CAP_DAC_READ_SEARCH;
        data[1].effective = 0;
        ::syscall(SYS_capset, &header, data);
    }
    d.depth = 1;
    return true;
}

// Undoes one DropPrivileges; all of them when `all`.
inline void RestorePrivileges(bool all = false) {
    PrivilegeDrop& d = CurrentPrivilegeDrop();
    if (d.depth == 0) return;
    if (all) d.depth = 1;
    if (--d.depth > 0) return;
    ::setresuid(0, 0, 0);
    ::setresgid(0, 0, 0);
    ::prctl(PR_SET_KEEPCAPS, 0);
}

// Runs the rest of a scope without root's privileges, in the test's folder (reading
// included: a file the user may not read is refused).
class UnprivilegedScope {
public:
    UnprivilegedScope() : root_(RunningAsRoot()), ok_(!root_ || DropPrivileges(false)) {}
    ~UnprivilegedScope() {
        if (root_ && ok_) RestorePrivileges();
    }
    UnprivilegedScope(const UnprivilegedScope&) = delete;
    UnprivilegedScope& operator=(const UnprivilegedScope&) = delete;
    bool ok() const { return ok_; }

private:
    bool root_;
    bool ok_;
};

// Makes a path refuse writes (a folder: new entries), also for root: by the immutable
// flag where it is allowed, else by permissions without root's privileges. Returns
// false only when neither way works.
inline bool SetReadOnly(const std::filesystem::path& p, bool folder, bool readOnly) {
    const ::mode_t locked = folder ? 0555 : 0444, open = folder ? 0755 : 0644;
    if (!RunningAsRoot()) return ::chmod(p.c_str(), readOnly ? locked : open) == 0;
    if (readOnly) {
        if (CurrentPrivilegeDrop().depth == 0 && ImmutableWanted() && SetImmutable(p, folder, true)) return true;
        if (::chmod(p.c_str(), locked) != 0) return false;
        if (DropPrivileges()) return true;
        ::chmod(p.c_str(), open);
        return false;
    }
    if (CurrentPrivilegeDrop().depth > 0) {
        RestorePrivileges();
        return ::chmod(p.c_str(), open) == 0;
    }
    SetImmutable(p, folder, false);
    return ::chmod(p.c_str(), open) == 0;
}

inline bool SetFolderReadOnly(const std::filesystem::path& folder, bool readOnly) {
    return SetReadOnly(folder, true, readOnly);
}

inline bool SetFileReadOnly(const std::filesystem::path& file, bool readOnly) {
    return SetReadOnly(file, false, readOnly);
}

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "glp-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        CurrentPrivilegeDrop().testFolder = dir_;
        MiscFuncs::SetProgramFolder(dir_);
        MiscFuncs::SetClock([] { return MiscFuncs::LocalTime{2026, 12, 8, 7, 52, 6}; });
        MiscFuncs::SetLogLevel(0);
    }
    void TearDown() override {
        MiscFuncs::SetClock(nullptr);
        MiscFuncs::SetEventPump(nullptr);
        MiscFuncs::SetGuidSource(nullptr);
        MiscFuncs::SetLogLevel(0);
        for (const auto& f : readOnlyFolders_) SetFolderReadOnly(f, false);
        for (const auto& f : readOnlyFiles_) SetFileReadOnly(f, false);
        RestorePrivileges(true);
        CurrentPrivilegeDrop().testFolder.clear();
        std::error_code ec;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    const std::filesystem::path& dir() const { return dir_; }
    // A read-only folder that TearDown makes writable again; false when neither way works.
    bool makeReadOnly(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        if (!SetFolderReadOnly(folder, true)) return false;
        readOnlyFolders_.push_back(folder);
        return true;
    }
    // A read-only existing file that TearDown makes writable again; false when neither way works.
    bool makeFileReadOnly(const std::filesystem::path& file) {
        if (!SetFileReadOnly(file, true)) return false;
        readOnlyFiles_.push_back(file);
        return true;
    }
    std::string programLog() const { return ReadFile(dir_ / MiscFuncs::kProgramLogName); }
    bool logHas(const std::string& text) const { return programLog().find(text) != std::string::npos; }
    // How often the text stands in the program log (overlapping finds count).
    std::size_t logCount(const std::string& text) const {
        const std::string log = programLog();
        std::size_t n = 0;
        for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }

private:
    std::filesystem::path dir_;
    std::vector<std::filesystem::path> readOnlyFolders_;
    std::vector<std::filesystem::path> readOnlyFiles_;
};

}  // namespace testing_support
