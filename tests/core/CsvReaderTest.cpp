// The CSV record reader, the file reader around it and the guess of the e-mail column.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempFolder.h"
#include "core/CsvReader.h"

namespace {

using CsvImport::Record;

struct RecordCase {
    const char* what;
    std::string line;
    Record fields;
};

class CsvRecords : public ::testing::TestWithParam<RecordCase> {};

TEST_P(CsvRecords, SplitsTheLine) { EXPECT_EQ(CsvImport::ReadRecord(GetParam().line), GetParam().fields); }

INSTANTIATE_TEST_SUITE_P(
    Table, CsvRecords,
    ::testing::Values(
        RecordCase{"plain", "Bob,bob@x.com", {"Bob", "bob@x.com"}},
        RecordCase{"quoted comma", "\"Smith, Bob\",bob@x.com", {"Smith, Bob", "bob@x.com"}},
        RecordCase{"doubled quotes", "\"Bob \"\"the\"\" Man\",bob@x.com", {"Bob \"the\" Man", "bob@x.com"}},
        RecordCase{"blank after closing quote", "\"Smith, Bob\" ,bob@x.com,3", {"Smith, Bob", "bob@x.com", "3"}},
        RecordCase{"blanks and tab after closing quote", "\"a\" \t ,b", {"a", "b"}},
        RecordCase{"text after closing quote joins", "\"a\"b,c", {"ab", "c"}},
        RecordCase{"trailing comma", "Bob,bob@x.com,", {"Bob", "bob@x.com"}},
        RecordCase{"empty middle field", "a,,b", {"a", "", "b"}},
        RecordCase{"leading comma", ",b", {"", "b"}},
        RecordCase{"quoted empty last field counts", "a,\"\"", {"a", ""}},
        RecordCase{"empty line", "", {}},
        RecordCase{"one column", "bob@x.com", {"bob@x.com"}},
        RecordCase{"blanks before a quote are kept", "a, \"b\"", {"a", " b"}},
        RecordCase{"unclosed quote runs to the end", "\"a,b", {"a,b"}},
        RecordCase{"only a comma", ",", {""}}),
    [](const auto& info) {
        std::string name;
        for (char c : std::string(info.param.what)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

class CsvFileTest : public testing_support::TempFolderTest {
protected:
    std::string write(const std::string& bytes) {
        const auto path = dir() / "contacts.csv";
        testing_support::WriteFile(path, bytes);
        return path.string();
    }
    std::vector<Record> all(const std::string& path) {
        std::vector<Record> records;
        CsvImport::ReadPreview(path, records, 1000);
        return records;
    }
};

TEST_F(CsvFileTest, ByteOrderMarkCrLfAndEmptyLines) {
    const std::string path = write("\xEF\xBB\xBFName,E-mail\r\n\r\nBob,bob@x.com\r\n\n\"Ann\" ,ann@y.org");
    EXPECT_EQ(all(path), (std::vector<Record>{{"Name", "E-mail"}, {"Bob", "bob@x.com"}, {"Ann", "ann@y.org"}}));
    EXPECT_EQ(CsvImport::CountLines(path), 5u);
}

TEST_F(CsvFileTest, EveryLineEndEndsARecord) {
    struct Case {
        const char* what;
        std::string bytes;
        std::size_t lines;
    };
    const std::vector<Record> records = {{"Name", "E-mail"}, {"Bob", "bob@x.com"}, {"Ann", "ann@y.org"}};
    const std::vector<Case> cases = {
        {"CR alone (old Mac files)", "Name,E-mail\rBob,bob@x.com\rAnn,ann@y.org\r", 3},
        {"CR alone, no last line end", "Name,E-mail\rBob,bob@x.com\r\rAnn,ann@y.org", 4},
        {"mixed", "Name,E-mail\r\nBob,bob@x.com\nAnn,ann@y.org\r", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = write(c.bytes);
        EXPECT_EQ(all(path), records);
        EXPECT_EQ(CsvImport::CountLines(path), c.lines);
    }
}

TEST_F(CsvFileTest, OnlyTheFirstLineLosesAByteOrderMark) {
    EXPECT_EQ(all(write("a\n\xEF\xBB\xBF" "b\n")), (std::vector<Record>{{"a"}, {"\xEF\xBB\xBF" "b"}}));
}

TEST_F(CsvFileTest, PreviewStopsAtItsLimit) {
    std::string text;
    for (int i = 0; i < 25; ++i) text += "n" + std::to_string(i) + ",a" + std::to_string(i) + "@x.com\n";
    std::vector<Record> preview;
    EXPECT_EQ(CsvImport::ReadPreview(write(text), preview, CsvImport::kPreviewRows), 10u);
    EXPECT_EQ(preview.back(), (Record{"n9", "a9@x.com"}));
}

TEST_F(CsvFileTest, OverlongLinesAndNulBytesAreReported) {
    bool bad = false;
    std::vector<Record> preview;
    CsvImport::ReadPreview(write(std::string(CsvImport::kMaxLineBytes + 10, 'x') + ",y\nb,c\n"), preview, 10, &bad);
    EXPECT_TRUE(bad);
    ASSERT_EQ(preview.size(), 2u);
    EXPECT_EQ(preview[0].size(), 1u) << "the line is cut at the cap";
    EXPECT_EQ(preview[1], (Record{"b", "c"}));

    CsvImport::ReadPreview(write(std::string("a\0b,c\n", 6)), preview, 10, &bad);
    EXPECT_TRUE(bad);
    // Each faulty line is told as such, also one that keeps no field.
    CsvImport::CsvFile file;
    ASSERT_TRUE(file.Open(write(std::string(CsvImport::kMaxLineBytes + 1, ' ') + "\n" + std::string("a\0,b\n", 5) +
                                "c,d\n")));
    Record r;
    std::vector<CsvImport::LineFault> faults;
    while (file.ReadRecord(r)) faults.push_back(file.LastFault());
    EXPECT_EQ(faults, (std::vector<CsvImport::LineFault>{CsvImport::LineFault::Cut, CsvImport::LineFault::Unreadable,
                                                         CsvImport::LineFault::None}));
    CsvImport::ReadPreview(write("a,b\n"), preview, 10, &bad);
    EXPECT_FALSE(bad);
}

TEST_F(CsvFileTest, OnlyExistingRegularFilesOpen) {
    CsvImport::CsvFile file;
    EXPECT_FALSE(file.Open((dir() / "missing.csv").string()));
    EXPECT_FALSE(file.Open(dir().string()));
    EXPECT_FALSE(file.Open((dir() / "*.csv").string()));
    EXPECT_FALSE(file.Open(""));
    EXPECT_TRUE(file.Open(write("")));
    Record r;
    EXPECT_FALSE(file.ReadRecord(r));
    EXPECT_EQ(CsvImport::CountLines((dir() / "missing.csv").string()), 0u);
}

struct GuessCase {
    const char* what;
    std::vector<Record> preview;
    int column;
};

class EMailColumnGuess : public ::testing::TestWithParam<GuessCase> {};

TEST_P(EMailColumnGuess, PicksTheColumnWithMostAddresses) {
    EXPECT_EQ(CsvImport::GuessEMailColumn(GetParam().preview), GetParam().column);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EMailColumnGuess,
    ::testing::Values(
        GuessCase{"header above name and address", {{"Name", "E-mail"}, {"Bob", "bob@x.com"}, {"Ann", "ann@y.org"}}, 1},
        GuessCase{"no address at all", {{"a", "b"}, {"c", "d"}}, -1},
        GuessCase{"empty preview", {}, -1},
        GuessCase{"tie goes to the lower column", {{"a@x.com", "b@x.com"}, {"c@x.com", "d@x.com"}}, 0},
        GuessCase{"tie across rows goes to the lower column", {{"a@x.com", "n"}, {"n", "b@x.com"}}, 0},
        GuessCase{"the majority wins over the first row", {{"a@x.com", "n"}, {"n", "b@x.com"}, {"n", "c@x.com"}}, 1},
        GuessCase{"column only wide records reach", {{"n"}, {"n", "x", "a@x.com"}}, 2},
        GuessCase{"named and listed addresses count", {{"Bob", "Bob <bob@x.com>"}, {"Ann", " a@x.com; b@y.com"}}, 1},
        GuessCase{"one column", {{"a@x.com"}, {"b@x.com"}}, 0}),
    [](const auto& info) {
        std::string name;
        for (char c : std::string(info.param.what)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

}  // namespace
