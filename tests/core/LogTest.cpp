#include "core/Log.h"

#include "TempFolder.h"

namespace {

using testing_support::ReadFile;

class LogTest : public testing_support::TempFolderTest {};

TEST_F(LogTest, LineFormatsAreExact) {
    MiscFuncs::WriteLog(0, "#", "x");
    MiscFuncs::WriteMessageLog("bob@example.com", "Accepted", "Sender is approved");
    EXPECT_EQ(programLog(), "12-08-2026 07:52:06  # x\r\n");
    EXPECT_EQ(ReadFile(dir() / "msglog.txt"),
              "12-08-2026 07:52:06 Message from bob@example.com Accepted because Sender is approved\r\n");
}

TEST_F(LogTest, LevelFilterComparesSigned) {
    struct Case { std::int16_t logLevel, lineLevel; bool written; };
    const Case cases[] = {{0, 0, true}, {0, 1, false}, {0, 4, false}, {4, 4, true},
                          {3, 4, false}, {-1, 0, false}, {2, -1, true}};
    for (const Case& c : cases) {
        std::filesystem::remove(dir() / "glplog.txt");
        MiscFuncs::SetLogLevel(c.logLevel);
        MiscFuncs::WriteLog(c.lineLevel, "i", "t");
        EXPECT_EQ(!programLog().empty(), c.written) << c.logLevel << " / " << c.lineLevel;
    }
}

TEST_F(LogTest, UnwritableFolderLosesTheEntryQuietly) {
    MiscFuncs::SetProgramFolder(dir() / "missing" / "folder");
    MiscFuncs::WriteLog(0, "i", "lost");  // must neither throw nor create anything
    MiscFuncs::WriteMessageLog("a", "b", "c");
    EXPECT_FALSE(std::filesystem::exists(dir() / "missing"));
}

TEST_F(LogTest, TextsAreWrittenUnchanged) {
    MiscFuncs::WriteLog(0, "#", "Error in SafeDir \r\nNo such file");
    EXPECT_EQ(programLog(), "12-08-2026 07:52:06  # Error in SafeDir \r\nNo such file\r\n");
}

}  // namespace
