#include "core/AtomicFile.h"

#include <sys/stat.h>

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
    static mode_t modeOf(const std::filesystem::path& p) {
        struct stat st {};
        return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    static mode_t processUmask() {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return mask;
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
    ASSERT_TRUE(makeReadOnly(dir() / "ro"));
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

TEST_F(AtomicFileTest, OptionsDecideTheModeOfTheFileWritten) {
    WriteOptions ownerOnly;
    ownerOnly.newFileMode = 0600;
    WriteOptions forced = ownerOnly;
    forced.keepMode = false;
    struct Case {
        const char* name;
        int oldMode;  // -1: no file before
        WriteOptions options;
        mode_t expected;
    } const cases[] = {
        {"new, umask", -1, WriteOptions{}, static_cast<mode_t>(0666 & ~processUmask())},
        {"new, given", -1, ownerOnly, 0600},
        {"replaced, kept", 0640, WriteOptions{}, 0640},
        {"replaced, kept over given", 0604, ownerOnly, 0604},
        {"replaced, forced", 0644, forced, 0600},
    };
    for (const Case& c : cases) {
        const auto file = dir() / c.name;
        if (c.oldMode >= 0) {
            WriteFile(file, "old");
            ASSERT_EQ(::chmod(file.c_str(), static_cast<mode_t>(c.oldMode)), 0);
        }
        std::string err;
        ASSERT_TRUE(WriteFileAtomic(file, "new", c.options, &err)) << c.name << ": " << err;
        EXPECT_EQ(ReadFile(file), "new") << c.name;
        EXPECT_EQ(modeOf(file), c.expected) << c.name;
    }
}

TEST_F(AtomicFileTest, AReadOnlyTargetIsRefusedAndKept) {
    WriteFile(dir() / "ro.ini", "old");
    ASSERT_TRUE(makeFileReadOnly(dir() / "ro.ini"));
    std::string err;
    EXPECT_FALSE(WriteFileAtomic(dir() / "ro.ini", "new", WriteOptions{}, &err));
    EXPECT_NE(err.find("read-only"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(dir() / "ro.ini"), "old");
    EXPECT_EQ(filesIn(dir()), 1u);
}

TEST_F(AtomicFileTest, CreateFolderMakesTheMissingFolders) {
    WriteOptions options;
    options.createFolder = true;
    const auto file = dir() / "a" / "b" / "c.reg";
    ASSERT_TRUE(WriteFileAtomic(file, "data", options));
    EXPECT_EQ(ReadFile(file), "data");

    WriteFile(dir() / "plain", "x");
    std::string err;
    EXPECT_FALSE(WriteFileAtomic(dir() / "plain" / "c.reg", "data", options, &err));
    EXPECT_FALSE(err.empty());
    EXPECT_FALSE(WriteFileAtomic(dir() / "none" / "c.reg", "data", WriteOptions{}));
    EXPECT_FALSE(std::filesystem::exists(dir() / "none"));
}

TEST_F(AtomicFileTest, TheStampChangesOnARewriteOfTheSameSize) {
    const auto file = dir() / "s.ini";
    FileStamp first, second, missing;
    ASSERT_TRUE(WriteFileAtomic(file, "aaaa", WriteOptions{}));
    ASSERT_TRUE(StampOf(file, first));
    ASSERT_TRUE(WriteFileAtomic(file, "bbbb", WriteOptions{}));
    ASSERT_TRUE(StampOf(file, second));
    EXPECT_TRUE(first.exists && second.exists);
    EXPECT_EQ(first.size, second.size);
    EXPECT_NE(first, second);

    EXPECT_TRUE(StampOf(dir() / "gone", missing));
    EXPECT_FALSE(missing.exists);
    EXPECT_TRUE(StampOf(file / "below", missing));  // below a file: missing too
    EXPECT_FALSE(missing.exists);
}

TEST_F(AtomicFileTest, TheStampedReaderTellsItsOutcomesApart) {
    WriteFile(dir() / "fits", std::string(100, 'f'));
    WriteFile(dir() / "big", std::string(101, 'b'));
    std::filesystem::create_directory(dir() / "folder");
    struct Case {
        const char* name;
        ReadStatus expected;
        std::size_t size;
        bool stamped;
    } const cases[] = {
        {"fits", ReadStatus::Read, 100, true},
        {"big", ReadStatus::TooLarge, 0, true},
        {"folder", ReadStatus::NotAFile, 0, true},
        {"nothing", ReadStatus::Missing, 0, false},
    };
    for (const Case& c : cases) {
        std::string out = "stale", err;
        FileStamp stamp, now;
        EXPECT_EQ(ReadWholeFileStamped(dir() / c.name, out, 100, stamp, &err), c.expected) << c.name;
        EXPECT_EQ(out.size(), c.size) << c.name;
        EXPECT_EQ(err.empty(), c.expected == ReadStatus::Read) << c.name;
        ASSERT_TRUE(StampOf(dir() / c.name, now));
        EXPECT_EQ(stamp.exists, c.stamped) << c.name;
        EXPECT_EQ(stamp, now) << c.name;
    }
}

TEST_F(AtomicFileTest, TheStampedReaderStampsAFileItMayNotRead) {
    WriteFile(dir() / "locked", "secret");
    // Permissions do not bind the superuser: as root, the read runs without its privileges.
    testing_support::UnprivilegedScope unprivileged;
    ASSERT_TRUE(unprivileged.ok());
    ASSERT_EQ(::chmod((dir() / "locked").c_str(), 0), 0);
    std::string out;
    FileStamp stamp;
    EXPECT_EQ(ReadWholeFileStamped(dir() / "locked", out, 100, stamp), ReadStatus::Failed);
    EXPECT_TRUE(stamp.exists);
}

}  // namespace
