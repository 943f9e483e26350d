// CIniFile against the disk: other writers, failed writes, batches.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "TempFolder.h"
#include "core/CIniFile.h"
#include "core/IniStore.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

class IniFileDiskTest : public testing_support::TempFolderTest {
protected:
    fs::path file() const { return dir() / "test.ini"; }

    // Rewrites the file in place, as an editor that keeps the inode does.
    void rewriteInPlace(std::string_view text) {
        std::FILE* f = std::fopen(file().c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
};

TEST_F(IniFileDiskTest, AnotherWritersChangeIsSeen) {
    WriteFile(file(), "[s]\r\nk=1\r\n");
    CIniFile ini(file().string());
    ASSERT_EQ(ini.Value("s", "k"), "1");

    // Same size, different modification time.
    const auto before = fs::last_write_time(file());
    rewriteInPlace("[s]\r\nk=2\r\n");
    fs::last_write_time(file(), before + std::chrono::seconds(5));
    EXPECT_EQ(ini.Value("s", "k"), "2");

    // Same size and the very same modification time, but a new file renamed over.
    const auto stamp = fs::last_write_time(file());
    WriteFile(dir() / "new.ini", "[s]\r\nk=3\r\n");
    fs::last_write_time(dir() / "new.ini", stamp);
    fs::rename(dir() / "new.ini", file());
    EXPECT_EQ(ini.Value("s", "k"), "3");

    fs::remove(file());
    EXPECT_EQ(ini.Value("s", "k"), "");
    EXPECT_EQ(ini.AllSectionsArray().size(), 0u);
    WriteFile(file(), "[t]\r\nk=4\r\n");
    EXPECT_EQ(ini.Value("t", "k"), "4");
}

TEST_F(IniFileDiskTest, AWriteBuildsOnAnotherWritersChange) {
    WriteFile(file(), "[s]\r\na=1\r\n");
    CIniFile ini(file().string());
    ASSERT_EQ(ini.Value("s", "a"), "1");
    WriteFile(file(), "[s]\r\na=1\r\nadded=elsewhere\r\n");
    ASSERT_TRUE(ini.Value("s", "b", "2"));
    EXPECT_EQ(ReadFile(file()), "[s]\r\na=1\r\nadded=elsewhere\r\nb=2\r\n");
}

TEST_F(IniFileDiskTest, AFullDiskFailsTheWriteAndKeepsTheOldFile) {
    const std::string old = "[s]\r\nk=old\r\n";
    WriteFile(file(), old);
    CIniFile ini(file().string());
    int changes = 0;
    ini.Change.Subscribe([&] { ++changes; });

    // A file-size limit makes write(2) fail as a full disk does, whoever runs the test.
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 512;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = ini.Value("s", "k", std::string(4000, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_FALSE(written);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(ReadFile(file()), old);
    EXPECT_EQ(ini.Value("s", "k"), "old");
    std::size_t names = 0;
    for (const auto& e : fs::directory_iterator(dir())) names += e.path().filename() != "glplog.txt";
    EXPECT_EQ(names, 1u);
    EXPECT_NE(programLog().find("Error in CIniFile::WriteString " + file().string()), std::string::npos);
}

TEST_F(IniFileDiskTest, WritesThatCannotReachTheDiskReportFailure) {
    CIniFile missingFolder((dir() / "nofolder" / "x.ini").string());
    EXPECT_FALSE(missingFolder.Value("s", "k", "v"));
    EXPECT_FALSE(fs::exists(dir() / "nofolder"));

    WriteFile(dir() / "plain", "x");
    CIniFile underAFile((dir() / "plain" / "x.ini").string());
    EXPECT_FALSE(underAFile.Value("s", "k", "v"));

    // Something that is not a file reads as empty and is never replaced.
    fs::create_directory(dir() / "folder.ini");
    CIniFile folder((dir() / "folder.ini").string());
    EXPECT_EQ(folder.Value("s", "k"), "");
    EXPECT_FALSE(folder.Value("s", "k", "v"));
    EXPECT_TRUE(fs::is_directory(dir() / "folder.ini"));
}

TEST_F(IniFileDiskTest, ReadOnlyFolderOrFileFailsTheWrite) {
    const std::string old = "[s]\r\nk=old\r\n";
    WriteFile(dir() / "ro" / "a.ini", old);
    WriteFile(file(), old);
    ASSERT_TRUE(makeReadOnly(dir() / "ro"));
    ASSERT_TRUE(makeFileReadOnly(file()));
    CIniFile inFolder((dir() / "ro" / "a.ini").string()), readOnly(file().string());
    EXPECT_FALSE(inFolder.Value("s", "k", "new"));
    EXPECT_FALSE(readOnly.Value("s", "k", "new"));
    testing_support::SetFolderReadOnly(dir() / "ro", false);
    EXPECT_EQ(ReadFile(dir() / "ro" / "a.ini"), old);
    EXPECT_EQ(ReadFile(file()), old);
    EXPECT_EQ(inFolder.Value("s", "k"), "old");
}

TEST_F(IniFileDiskTest, ABatchWritesOnceAndIsSeenAtOnce) {
    WriteFile(file(), "[keep]\r\nk=1\r\n");
    CIniFile ini(file().string()), reader(file().string());
    struct stat before {};
    ASSERT_EQ(::stat(file().c_str(), &before), 0);
    {
        CIniFile::Batch batch(ini);
        for (int i = 0; i < 3000; ++i) ASSERT_TRUE(ini.Value("s" + std::to_string(i), "AccessLevel", i % 4));
        {
            CIniFile::Batch inner(reader);
            reader.ClearSection("keep");
            EXPECT_TRUE(inner.Commit());
        }
        EXPECT_EQ(reader.Value("s2999", "AccessLevel"), "3");
        EXPECT_FALSE(reader.SectionExists("keep"));
        EXPECT_EQ(ReadFile(file()), "[keep]\r\nk=1\r\n");  // nothing written yet
        struct stat during {};
        ASSERT_EQ(::stat(file().c_str(), &during), 0);
        EXPECT_EQ(during.st_ino, before.st_ino);
        EXPECT_TRUE(batch.Commit());
        EXPECT_TRUE(batch.Commit());
    }
    struct stat after {};
    ASSERT_EQ(::stat(file().c_str(), &after), 0);
    {
        CIniFile::Batch nothingNew(ini);
        ini.ClearSection("never there");
        ini.Value("s1", "AccessLevel", "1");
    }
    struct stat unchanged {};
    ASSERT_EQ(::stat(file().c_str(), &unchanged), 0);
    EXPECT_EQ(unchanged.st_ino, after.st_ino);  // a batch that changed nothing writes nothing

    CIniFile fresh((dir() / "." / "test.ini").string());
    EXPECT_EQ(fresh.AllSectionsArray().size(), 3000u);
    EXPECT_EQ(fresh.Value("S1234", "accesslevel"), "2");
    EXPECT_EQ(ReadFile(file()).find("[keep]"), std::string::npos);
}

TEST_F(IniFileDiskTest, ABatchKeepsAChangeMadeMeanwhileByAnotherProgram) {
    WriteFile(file(), "[a]\r\nk=1\r\n");
    CIniFile ini(file().string());
    CIniFile::Batch batch(ini);
    ini.Value("a", "mine", "2");
    WriteFile(file(), "[a]\r\nk=1\r\ntheirs=3\r\n[b]\r\nx=4\r\n");
    EXPECT_EQ(ini.Value("a", "theirs"), "");  // the batch's copy rules until it ends
    ASSERT_TRUE(batch.Commit());
    EXPECT_EQ(ReadFile(file()), "[a]\r\nk=1\r\ntheirs=3\r\nmine=2\r\n[b]\r\nx=4\r\n");
}

TEST_F(IniFileDiskTest, AFailedBatchLeavesTheFileAsItWas) {
    WriteFile(file(), "[a]\r\nk=1\r\n");
    CIniFile ini(file().string());
    CIniFile::Batch batch(ini);
    ini.Value("a", "k", "2");
    fs::remove(file());
    fs::create_directory(file());  // the file's place is taken: the rename must fail
    EXPECT_FALSE(batch.Commit());
    fs::remove(file());
    WriteFile(file(), "[a]\r\nk=1\r\n");
    EXPECT_EQ(ini.Value("a", "k"), "1");
}

TEST_F(IniFileDiskTest, ABatchOnAFileThatCannotBeReadFailsAndWritesNothing) {
    // Larger than any reader takes (a sparse file costs nothing), or not a file at all.
    struct Case {
        const char* name;
        bool folder;
    };
    for (const Case& c : {Case{"too large", false}, Case{"a folder", true}}) {
        SCOPED_TRACE(c.name);
        fs::remove_all(file());
        if (c.folder) {
            fs::create_directory(file());
        } else {
            WriteFile(file(), "[a]\r\nk=1\r\n");
            fs::resize_file(file(), IniStore::kMaxFileSize + 1);
        }
        CIniFile ini(file().string());
        CIniFile::Batch batch(ini);
        EXPECT_FALSE(ini.Value("a", "k", "2"));
        EXPECT_FALSE(ini.ClearSection("a"));
        EXPECT_FALSE(batch.Commit()) << "every edit was refused: the batch is no success";
        EXPECT_FALSE(batch.Commit());
        if (c.folder) EXPECT_TRUE(fs::is_directory(file()));
        else EXPECT_EQ(fs::file_size(file()), IniStore::kMaxFileSize + 1);
    }
}

TEST_F(IniFileDiskTest, AWriteThatTheReadersWouldRefuseIsRefused) {
    WriteFile(file(), "[a]\r\nk=1\r\n");
    CIniFile ini(file().string());
    const std::string huge(IniStore::kMaxFileSize, 'x');
    EXPECT_FALSE(ini.Value("a", "big", huge));
    {
        CIniFile::Batch batch(ini);
        EXPECT_TRUE(ini.Value("a", "big", huge));  // only the copy so far
        EXPECT_FALSE(batch.Commit());
    }
    EXPECT_EQ(ReadFile(file()), "[a]\r\nk=1\r\n");
    EXPECT_EQ(ini.Value("a", "big"), "");
    // What fits is written, and reads back.
    const std::string most(IniStore::kMaxFileSize - 64, 'x');
    ASSERT_TRUE(ini.Value("a", "big", most));
    EXPECT_LE(fs::file_size(file()), IniStore::kMaxFileSize);
    EXPECT_EQ(CIniFile((dir() / "." / "test.ini").string()).Value("a", "big").size(), most.size());
}

}  // namespace
