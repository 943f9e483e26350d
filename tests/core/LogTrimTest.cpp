#include "core/LogTrim.h"

#include <cstdio>
#include <string>

#include "NumberedLines.h"
#include "TempFolder.h"
#include "core/ProgramFiles.h"
#include "core/ProgramSettings.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;
namespace fs = std::filesystem;

class LogTrimTest : public testing_support::TempFolderTest {
protected:
    fs::path log() const { return dir() / "msglog.txt"; }
    fs::path temp() const { return dir() / "tmplog.txt"; }

    // Lines "line 00001 ..." of 38 characters each, with CR LF: 40 bytes a line.
    static std::string numberedLines(int first, int last) {
        return testing_support::NumberedLines(first, last, "of the program log");
    }
};

// Each kept line takes its text and its CR LF of the limit: 40 bytes here.
TEST_F(LogTrimTest, TheDefaultLimitKeepsTheNewestLinesThatFit) {
    for (const int lines : {1000, 20000}) {
        SCOPED_TRACE(lines);
        WriteFile(log(), numberedLines(1, lines));
        ASSERT_TRUE(LogTrim::TrimLogFile(log(), ProgramSettings()));
        // 32768 / 40: the newest 819 lines.
        EXPECT_EQ(ReadFile(log()), numberedLines(lines - 818, lines));
        EXPECT_FALSE(fs::exists(ProgramFiles::TrimTempPath()));
    }
}

TEST_F(LogTrimTest, ALogWithinTheLimitIsUntouched) {
    for (const std::string& content : {std::string(32768, 'x'), std::string("lf only\nline\n"), std::string()}) {
        WriteFile(log(), content);
        ASSERT_TRUE(LogTrim::TrimLogFileTo(log(), 32768, temp()));
        EXPECT_EQ(ReadFile(log()), content);
    }
    fs::remove(log());
    EXPECT_TRUE(LogTrim::TrimLogFileTo(log(), 10, temp()));  // no log: nothing to do
    EXPECT_FALSE(fs::exists(log()));
}

TEST_F(LogTrimTest, CutFallsOnLineBoundariesWhateverTheLineEnds) {
    // 14 bytes: lines of 4, 2, 2 and 2 characters with LF, CR LF, CR and no line end.
    const std::string content = "aaaa\nbb\r\ncc\rdd";
    struct Case { std::int64_t limit; const char* kept; };
    // Written with CR LF they take 6, 4, 4 and 4 bytes.
    const Case cases[] = {
        {13, "bb\r\ncc\r\ndd\r\n"},  // 12 fit, 18 would not
        {12, "bb\r\ncc\r\ndd\r\n"},
        {11, "cc\r\ndd\r\n"},
        {5, "dd\r\n"},
        {3, ""},                       // not even the last line fits
    };
    for (const Case& c : cases) {
        WriteFile(log(), content);
        ASSERT_TRUE(LogTrim::TrimLogFileTo(log(), c.limit, temp())) << c.limit;
        EXPECT_EQ(ReadFile(log()), c.kept) << c.limit;
    }
}

TEST_F(LogTrimTest, ALineEndSplitAcrossReadsStaysOneLineEnd) {
    // The CR of the long line is the last byte of the first read.
    const std::string longLine(65533, 'a');
    WriteFile(log(), "x\n" + longLine + "\r\nend\r\n");  // 65542 bytes, 65543 written with CR LF
    ASSERT_TRUE(LogTrim::TrimLogFileTo(log(), 65541, temp()));
    EXPECT_EQ(ReadFile(log()), longLine + "\r\nend\r\n");

    WriteFile(log(), longLine + "\r\ntail1\r\ntail2\r\n");
    ASSERT_TRUE(LogTrim::TrimLogFileTo(log(), 16, temp()));
    EXPECT_EQ(ReadFile(log()), "tail1\r\ntail2\r\n");
}

TEST_F(LogTrimTest, MaxLogSizeSetsTheLimitInKilobytes) {
    WriteFile(ProgramFiles::OptionsIniPath(), "[options]\r\nMaxLogSize=1\r\n");
    WriteFile(log(), numberedLines(1, 100));  // 4000 bytes
    ASSERT_TRUE(LogTrim::TrimLogFile(log(), ProgramSettings()));
    // 1024 / 40: the newest 25 lines.
    EXPECT_EQ(ReadFile(log()), numberedLines(76, 100));
}

TEST_F(LogTrimTest, AFailedReplacementLeavesTheLogWhole) {
    const std::string content = numberedLines(1, 1000);

    // The temporary file cannot be created.
    WriteFile(log(), content);
    const fs::path blocked = dir() / "blocked";
    ASSERT_TRUE(makeReadOnly(blocked));
    EXPECT_FALSE(LogTrim::TrimLogFileTo(log(), 32768, blocked / "tmplog.txt"));
    EXPECT_EQ(ReadFile(log()), content);

    // The temporary file is written but cannot be renamed over the log.
    const fs::path lockedLog = dir() / "locked" / "msglog.txt";
    WriteFile(lockedLog, content);
    ASSERT_TRUE(makeReadOnly(lockedLog.parent_path()));
    EXPECT_FALSE(LogTrim::TrimLogFileTo(lockedLog, 32768, temp()));
    EXPECT_EQ(ReadFile(lockedLog), content);
    EXPECT_FALSE(fs::exists(temp()));
    EXPECT_NE(programLog().find("Error in MainForm::TrimLogFile "), std::string::npos);
}

}  // namespace
