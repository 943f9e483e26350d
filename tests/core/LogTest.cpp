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

TEST(OneLineText, KeepsOneLineAndCutsLongText) {
    struct Case { std::string_view text; std::size_t cap; std::string_view expected; };
    const Case cases[] = {
        {"plain text", 100, "plain text"},
        {"tab\tkept", 100, "tab\tkept"},
        {"ends with a line end\r\n", 100, "ends with a line end"},
        {"ends with a bare LF\n", 100, "ends with a bare LF"},
        {"ends with a bare CR\r", 100, "ends with a bare CR"},
        {"250-one\r\n250-two\n250 three", 100, "250-one 250-two 250 three"},
        {"a\r\n12-01-2026 00:00:00  i forged", 100, "a 12-01-2026 00:00:00  i forged"},
        {"bare\rCR", 100, "bare?CR"},
        {std::string_view("nul\0esc\x1b del\x7f", 13), 100, "nul?esc? del?"},
        {"8-bit \xe9\xff stays", 100, "8-bit \xe9\xff stays"},
        {"abcdef", 6, "abcdef"},
        {"abcdefg", 6, "abcdef..."},
        {"abcdefg\r\n", 7, "abcdefg"},
        {"", 10, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MiscFuncs::OneLineText(c.text, c.cap), c.expected) << c.text;
}

TEST_F(LogTest, BothLogsWriteEveryTextAsOneBoundedLine) {
    MiscFuncs::WriteLog(0, "#", "Error in SafeDir \r\n12-08-2026 07:52:06  i forged\x01");
    MiscFuncs::WriteLog(0, "!", std::string(5000, 'x'));
    MiscFuncs::WriteMessageLog("evil\r\n12-08-2026 07:52:06 Message from a", "Accepted\x1b",
                               std::string(3000, 'r'));
    const std::string longText(MiscFuncs::kMaxLogText, 'x');
    EXPECT_EQ(programLog(), "12-08-2026 07:52:06  # Error in SafeDir  12-08-2026 07:52:06  i forged?\r\n"
                            "12-08-2026 07:52:06  ! " + longText + "...\r\n");
    EXPECT_EQ(ReadFile(dir() / "msglog.txt"),
              "12-08-2026 07:52:06 Message from evil 12-08-2026 07:52:06 Message from a Accepted? because " +
                  std::string(MiscFuncs::kMaxLogText, 'r') + "...\r\n");
}

}  // namespace
