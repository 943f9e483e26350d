#pragma once
// A fresh temporary program folder for one test, removed afterwards, with the clock
// pinned to 2026-12-08 07:52:06 unless the test sets another.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

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
        std::error_code ec;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    const std::filesystem::path& dir() const { return dir_; }
    std::string programLog() const { return ReadFile(dir_ / MiscFuncs::kProgramLogName); }

private:
    std::filesystem::path dir_;
};

}  // namespace testing_support
