// New files under the first free name of a series, in an account's mail folders.
#include "core/SeriesFile.h"

#include <string>

#include "TempFolder.h"
#include "core/ProgramFiles.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;
namespace fs = std::filesystem;

class SeriesFileTest : public testing_support::TempFolderTest {
protected:
    static MiscFuncs::FileSeries series(const std::string& base) {
        return {"STAMP", [base](int n) { return MiscFuncs::SeriesName(base, n) + ".x"; }, nullptr};
    }
};

TEST(SeriesName, TheFirstIsTheBaseThenFourDigitNumbers) {
    struct Case { int n; const char* name; };
    const Case cases[] = {{1, "37622D5"}, {0, "37622D5"}, {2, "37622D5_0002"}, {42, "37622D5_0042"},
                          {9999, "37622D5_9999"}};
    for (const Case& c : cases) EXPECT_EQ(MiscFuncs::SeriesName("37622D5", c.n), c.name) << c.n;
}

TEST_F(SeriesFileTest, TakesTheFirstFreeNameAndNeverReplacesAFile) {
    WriteFile(dir() / "s.x", "old");
    std::string error;
    const fs::path made = MiscFuncs::CreateInSeries(dir(), series("s"), "new", &error);
    EXPECT_EQ(made, dir() / "s_0002.x") << error;
    EXPECT_EQ(ReadFile(dir() / "s.x"), "old");
    EXPECT_EQ(ReadFile(made), "new");

    // The caller's own rule of what is taken counts, not only the file itself.
    MiscFuncs::FileSeries guarded = series("g");
    guarded.taken = [](const fs::path&, int n) { return n < 5; };
    EXPECT_EQ(MiscFuncs::CreateInSeries(dir(), guarded, "t"), dir() / "g_0005.x");
}

TEST_F(SeriesFileTest, FailuresSayWhyAndWriteNothing) {
    MiscFuncs::FileSeries full = series("f");
    full.taken = [](const fs::path&, int) { return true; };
    std::string error;
    EXPECT_TRUE(MiscFuncs::CreateInSeries(dir(), full, "t", &error).empty());
    EXPECT_EQ(error, "Every name for the time stamp STAMP is taken in " + dir().string());

    for (const char* account : {"", "  ", "..", "a/b"}) {
        error.clear();
        EXPECT_TRUE(MiscFuncs::CreateInAccountFolder(account, "OutBox", series("s"), "t", &error).empty());
        EXPECT_EQ(error, "The account name \"" + std::string(account) + "\" cannot be a folder name");
    }
    EXPECT_FALSE(fs::exists(ProgramFiles::AccountsFolder()));

    // A file where the account's MailDir should be: the folder cannot be made.
    WriteFile(ProgramFiles::InAccountsFolder("me@home.test") / "MailDir", "not a folder");
    error.clear();
    EXPECT_TRUE(MiscFuncs::CreateInAccountFolder("me@home.test", "InBox", series("s"), "t", &error).empty());
    EXPECT_EQ(error.rfind("Cannot create the folder " +
                              (ProgramFiles::InAccountsFolder("me@home.test") / "MailDir" / "InBox").string() + ": ",
                          0),
              0u)
        << error;
}

TEST_F(SeriesFileTest, TheAccountFolderIsMadeForATrimmedName) {
    const fs::path made = MiscFuncs::CreateInAccountFolder(" me@home.test ", "OutBox", series("s"), "t");
    const fs::path folder = ProgramFiles::InAccountsFolder("me@home.test") / "MailDir" / "OutBox";
    EXPECT_EQ(made, folder / "s.x");
    EXPECT_EQ(MiscFuncs::AccountMailFolder(" me@home.test ", "OutBox"), folder);
    EXPECT_EQ(ReadFile(made), "t");
}

}  // namespace
