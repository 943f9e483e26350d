// The reply file that the registration-reply handler leaves for the pop-up: its
// name, its text and reading it back.
#include "protocol/RegReplyFile.h"

#include <gtest/gtest.h>

#include "core/Dates.h"
#include "core/ProgramFiles.h"
#include "core/TempFolder.h"

namespace fs = std::filesystem;
using namespace testing_support;

namespace {

class RegReplyFileTest : public TempFolderTest {};

RegReplyFile::Contents bob() {
    return {"Bob \"B\" Stone", "We met in Oslo", "\"Bob Stone\" <Bob@Far.test>", "12/08/2026 07:50:00", ""};
}

TEST_F(RegReplyFileTest, TheFileIsNamedByStampAndRandomNumberAndNeverReplacesAnother) {
    const fs::path first = RegReplyFile::Write(" me@home.test ", bob(), 42);
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.parent_path(), ProgramFiles::AccountsFolder() / "me@home.test" / "MailDir" / "InBox");
    EXPECT_EQ(first.filename().string(), MiscFuncs::DateStampNow() + "42.rrm");
    EXPECT_EQ(MiscFuncs::DateStampNow().find('.'), std::string::npos);

    RegReplyFile::Contents other = bob();
    other.from = "ann@far.test";
    const fs::path second = RegReplyFile::Write("me@home.test", other, 42);
    EXPECT_EQ(second.filename().string(), MiscFuncs::DateStampNow() + "42_0002.rrm");
    EXPECT_EQ(RegReplyFile::Read(first).contents.address, "bob@far.test");
    EXPECT_EQ(RegReplyFile::Read(second).contents.address, "ann@far.test");

    for (int random : {0, 100, 101, -7}) {
        const std::string name = RegReplyFile::Write("me@home.test", bob(), random).filename().string();
        const std::string number = name.substr(MiscFuncs::DateStampNow().size());
        const int n = std::stoi(number);
        EXPECT_TRUE(n >= 1 && n <= 100) << random << " gave " << name;
    }
    std::string error;
    EXPECT_TRUE(RegReplyFile::Write("  ", bob(), 1, &error).empty());
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(RegReplyFile::Write("../me", bob(), 1).empty());
}

TEST_F(RegReplyFileTest, TheKeysAreWrittenInTheirOrderWithoutTheCode) {
    const fs::path file = RegReplyFile::Write("me@home.test", bob(), 1);
    EXPECT_EQ(ReadFile(file),
              "[RegRequest]\r\n"
              "AuthRequestName=Bob \"B\" Stone\r\n"
              "AuthRequestReason=We met in Oslo\r\n"
              "AuthRequestFrom=\"Bob Stone\" <Bob@Far.test>\r\n"
              "AuthRequestTime=12/08/2026 07:50:00\r\n");
}

TEST_F(RegReplyFileTest, TextFromStrangersCannotStartALineOrOutgrowItsCap) {
    RegReplyFile::Contents c = bob();
    c.name = "Bob\r\n[options]\r\nShowRegDialogs=0";
    c.reason = std::string(RegReplyFile::kMaxFieldLength + 500, 'r');
    const fs::path file = RegReplyFile::Write("me@home.test", c, 1);
    const std::string text = ReadFile(file);
    EXPECT_EQ(text.find("\n[options]"), std::string::npos);
    EXPECT_EQ(text.find("\nShowRegDialogs"), std::string::npos);

    const RegReplyFile::ReadOutcome read = RegReplyFile::Read(file);
    ASSERT_EQ(read.status, RegReplyFile::ReadStatus::Ok);
    EXPECT_EQ(read.contents.name.find('\n'), std::string::npos);
    EXPECT_NE(read.contents.name.find("{options}"), std::string::npos);
    EXPECT_EQ(read.contents.reason.size(), RegReplyFile::kMaxFieldLength);
    EXPECT_EQ(read.contents.from, "\"Bob Stone\" <Bob@Far.test>");
}

TEST_F(RegReplyFileTest, ReadingTellsAGoneFileFromADamagedOne) {
    const fs::path folder = RegReplyFile::FolderOf("me@home.test");
    EXPECT_EQ(RegReplyFile::Read(folder / "none.rrm").status, RegReplyFile::ReadStatus::Gone);
    fs::create_directories(folder / "dir.rrm");
    EXPECT_EQ(RegReplyFile::Read(folder / "dir.rrm").status, RegReplyFile::ReadStatus::Damaged);
    WriteFile(folder / "bare.rrm", "[RegRequest]\r\nAuthRequestFrom=ann@far.test\r\n");
    const RegReplyFile::ReadOutcome bare = RegReplyFile::Read(folder / "bare.rrm");
    ASSERT_EQ(bare.status, RegReplyFile::ReadStatus::Ok);
    EXPECT_EQ(bare.contents.name, "");
    EXPECT_EQ(bare.contents.reason, "");
}

TEST_F(RegReplyFileTest, ReplyFileNames) {
    for (const char* yes : {"46364D5.rrm", "x.RRM", "a.Rrm"}) EXPECT_TRUE(RegReplyFile::IsReplyFileName(yes)) << yes;
    for (const char* no : {".rrm", "x.rrm.eml", "x.rr", "rrm"}) EXPECT_FALSE(RegReplyFile::IsReplyFileName(no)) << no;
}

}  // namespace
