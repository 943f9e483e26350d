#include "core/AtomicFile.h"

#include "TempFolder.h"

namespace {

using namespace MiscFuncs;
using testing_support::ReadFile;
using testing_support::WriteFile;

class AtomicFileTest : public testing_support::TempFolderTest {
protected:
    std::size_t filesIn(const std::filesystem::path& d) {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(d), {}));
    }
};

TEST_F(AtomicFileTest, ReplacesWholeFileAndLeavesNoTemporaryFile) {
    WriteFile(dir() / "a.ini", std::string(1000, 'x'));
    ASSERT_TRUE(WriteFileAtomic(dir() / "a.ini", "short"));
    EXPECT_EQ(ReadFile(dir() / "a.ini"), "short");
    EXPECT_EQ(filesIn(dir()), 1u);
}

TEST_F(AtomicFileTest, NeverModeRefusesAnExistingFile) {
    WriteFile(dir() / "m.eml", "old");
    std::string err;
    EXPECT_FALSE(WriteFileAtomic(dir() / "m.eml", "new", Replace::Never, nullptr, &err));
    EXPECT_EQ(ReadFile(dir() / "m.eml"), "old");
    EXPECT_FALSE(err.empty());
    EXPECT_TRUE(WriteFileAtomic(dir() / "n.eml", "new", Replace::Never));
    EXPECT_EQ(filesIn(dir()), 2u);
}

TEST_F(AtomicFileTest, FailureInReadOnlyFolderKeepsOldFile) {
    WriteFile(dir() / "ro" / "s.ini", "old");
    if (!makeReadOnly(dir() / "ro")) GTEST_SKIP() << "cannot make a read-only folder here";
    EXPECT_FALSE(WriteFileAtomic(dir() / "ro" / "s.ini", "new"));
    EXPECT_EQ(ReadFile(dir() / "ro" / "s.ini"), "old");
}

TEST_F(AtomicFileTest, MissingFolderFailsCleanly) {
    EXPECT_FALSE(WriteFileAtomic(dir() / "none" / "x", "data"));
}

TEST_F(AtomicFileTest, BatchDefersSyncsAndStillWrites) {
    SyncBatch batch;
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(WriteFileAtomic(dir() / std::to_string(i), "b", Replace::Never, &batch));
    EXPECT_FALSE(batch.Empty());
    EXPECT_TRUE(batch.Commit());
    EXPECT_TRUE(batch.Empty());
    EXPECT_EQ(ReadFile(dir() / "4"), "b");
}

TEST_F(AtomicFileTest, ReadWholeFileHonoursTheCap) {
    WriteFile(dir() / "big", std::string(200000, 'z'));
    std::string out;
    ASSERT_TRUE(ReadWholeFile(dir() / "big", out, 70000));
    EXPECT_EQ(out.size(), 70000u);
    ASSERT_TRUE(ReadWholeFile(dir() / "big", out));
    EXPECT_EQ(out.size(), 200000u);
    EXPECT_FALSE(ReadWholeFile(dir() / "nothing", out));
}

}  // namespace
