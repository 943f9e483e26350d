#pragma once
// A fresh temporary program folder for one test, removed afterwards, with the clock
// pinned to 2026-12-08 07:52:06 unless the test sets another.

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

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

// Makes a folder refuse new entries, also for root (the immutable flag, where the file
// system has it). Returns false when neither way works, so the caller can skip.
inline bool SetFolderReadOnly(const std::filesystem::path& folder, bool readOnly) {
    if (::geteuid() != 0) return ::chmod(folder.c_str(), readOnly ? 0555 : 0755) == 0;
    return SetImmutable(folder, true, readOnly);
}

// Makes a file refuse writes, also for root, in the same ways.
inline bool SetFileReadOnly(const std::filesystem::path& file, bool readOnly) {
    if (::geteuid() != 0) return ::chmod(file.c_str(), readOnly ? 0444 : 0644) == 0;
    return SetImmutable(file, false, readOnly);
}

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "glp-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
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
        std::error_code ec;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    const std::filesystem::path& dir() const { return dir_; }
    // A read-only folder that TearDown makes writable again; false when unsupported.
    bool makeReadOnly(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        if (!SetFolderReadOnly(folder, true)) return false;
        readOnlyFolders_.push_back(folder);
        return true;
    }
    // A read-only existing file that TearDown makes writable again; false when unsupported.
    bool makeFileReadOnly(const std::filesystem::path& file) {
        if (!SetFileReadOnly(file, true)) return false;
        readOnlyFiles_.push_back(file);
        return true;
    }
    std::string programLog() const { return ReadFile(dir_ / MiscFuncs::kProgramLogName); }

private:
    std::filesystem::path dir_;
    std::vector<std::filesystem::path> readOnlyFolders_;
    std::vector<std::filesystem::path> readOnlyFiles_;
};

}  // namespace testing_support
