// The address import: splitting address texts, collecting a CSV file and approving
// what was found in one write of senders.ini, with blocked senders left blocked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SendersFixture.h"
#include "core/AddressImport.h"
#include "core/CsvReader.h"

namespace {

using AddressImport::FoundAddress;

struct SplitCase {
    const char* what;
    std::string text;
    std::vector<std::pair<std::string, std::string>> found;  // address, display name
};

class SplitAddresses : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitAddresses, FindsEachValidPart) {
    std::vector<std::pair<std::string, std::string>> got;
    for (const FoundAddress& a : AddressImport::SplitAddresses(GetParam().text)) got.emplace_back(a.address, a.displayName);
    EXPECT_EQ(got, GetParam().found);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitAddresses,
    ::testing::Values(SplitCase{"bare", "bob@x.com", {{"bob@x.com", ""}}},
                      SplitCase{"semicolon and blank", "a@x.com; b@y.com", {{"a@x.com", ""}, {"b@y.com", ""}}},
                      SplitCase{"comma", "a@x.com,b@y.com", {{"a@x.com", ""}, {"b@y.com", ""}}},
                      SplitCase{"named", "Bob <Bob@X.com>", {{"bob@x.com", "Bob"}}},
                      SplitCase{"named and bare", "\"Bob\" <bob@x.com>; ann@y.org",
                                {{"bob@x.com", "Bob"}, {"ann@y.org", ""}}},
                      SplitCase{"padded", "   bob@x.com   ", {{"bob@x.com", ""}}},
                      SplitCase{"invalid parts skipped", "E-mail;;bob@;, x@y.com", {{"x@y.com", ""}}},
                      SplitCase{"empty", "", {}}),
    [](const auto& info) {
        std::string name;
        for (char c : std::string(info.param.what)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

class CsvImportTest : public testing_support::SendersTest {
protected:
    std::string csv(const std::string& bytes) {
        const auto path = dir() / "contacts.csv";
        testing_support::WriteFile(path, bytes);
        return path.string();
    }
    std::vector<SenderUpdate> collect(const std::string& path, AddressImport::CsvColumns columns) {
        std::vector<SenderUpdate> out;
        EXPECT_EQ(AddressImport::CollectCsv(path, columns, out, {}), AddressImport::Outcome::Done);
        return out;
    }
    static std::vector<std::pair<std::string, std::string>> namesAndAddresses(const std::vector<SenderUpdate>& u) {
        std::vector<std::pair<std::string, std::string>> out;
        for (const SenderUpdate& x : u) out.emplace_back(x.name, x.address);
        return out;
    }
};

TEST_F(CsvImportTest, HeaderSkippedShortRecordsAndListedAddresses) {
    const std::string path = csv(
        "Name,E-mail,Phone\r\n"
        "\"Smith, Bob\" ,bob@x.com,1\r\n"
        "Ann,\"ann@y.org; Ann Two <ann2@y.org>\"\r\n"
        "Short\r\n"
        ",carl@z.net\r\n");
    const auto out = collect(path, {1, 0, true});
    EXPECT_EQ(namesAndAddresses(out), (std::vector<std::pair<std::string, std::string>>{
                                          {"Smith, Bob", "bob@x.com"},
                                          {"Ann", "ann@y.org"},
                                          {"Ann", "ann2@y.org"},
                                          {"", "carl@z.net"}}));
    for (const SenderUpdate& u : out) {
        EXPECT_EQ(u.status, SenderStatus::Approved);
        EXPECT_EQ(u.reason, "Imported from address book");
    }
    // Without skipping, the header row holds no address and adds nothing.
    EXPECT_EQ(collect(path, {1, 0, false}).size(), 4u);
    // A name column beyond every record reads as "".
    EXPECT_EQ(collect(path, {1, 7, true}).front().name, "");
}

TEST_F(CsvImportTest, ACutOrUnreadableLineIsSkippedAndCounted) {
    // Cut at the cap, this line would end in victim@example.co, an address that is
    // not in the file.
    std::string cut = "Mallory,";
    cut += std::string(CsvImport::kMaxLineBytes - cut.size() - std::string(",victim@example.co").size(), 'x');
    cut += ",victim@example.com";
    ASSERT_EQ(cut.size(), CsvImport::kMaxLineBytes + 1);
    const std::string path = csv("Name,E-mail\nBob,bob@x.com\n" + cut + "\n" + std::string("Nul,n\0ul@x.com\n", 15) +
                                 std::string(CsvImport::kMaxLineBytes + 5, ' ') + "\nAnn,ann@y.org\n");
    std::vector<SenderUpdate> out;
    AddressImport::Skipped skipped;
    ASSERT_EQ(AddressImport::CollectCsv(path, {1, 0, true}, out, {}, &skipped), AddressImport::Outcome::Done);
    EXPECT_EQ(namesAndAddresses(out),
              (std::vector<std::pair<std::string, std::string>>{{"Bob", "bob@x.com"}, {"Ann", "ann@y.org"}}));
    EXPECT_EQ(skipped.cut, 2u);
    EXPECT_EQ(skipped.unreadable, 1u);
    AddressImport::Totals totals;
    totals.approved = 2;
    totals.skipped = skipped;
    EXPECT_EQ(AddressImport::ImportedText(totals),
              "2 senders have been successfuly imported\r\n"
              "2 lines were not imported: they are longer than 65536 bytes\r\n"
              "1 line was not imported: it holds a NUL byte and could not be read");
}

TEST_F(CsvImportTest, AFileOfLinesEndingInCrAloneIsReadAsRecords) {
    const auto out = collect(csv("Name,E-mail\rBob,bob@x.com\rAnn,ann@y.org\r"), {1, 0, true});
    EXPECT_EQ(namesAndAddresses(out),
              (std::vector<std::pair<std::string, std::string>>{{"Bob", "bob@x.com"}, {"Ann", "ann@y.org"}}));
}

TEST_F(CsvImportTest, NamesAndAddressesAreCappedWhereTheyComeIn) {
    const std::string longName(60 * 1024, 'n');
    const std::string longAddress = std::string(300, 'a') + "@x.com";
    const std::string path = csv(longName + ",bob@x.com\n" + "Al," + longAddress + "\n");
    const auto out = collect(path, {1, 0, false});
    ASSERT_EQ(out.size(), 1u) << "an address no mail system takes is none";
    EXPECT_EQ(out[0].address, "bob@x.com");
    CSenders& senders = openAttached();
    EXPECT_EQ(AddressImport::Apply(senders, out).approved, 1u);
    EXPECT_EQ(senders.NameOf("bob@x.com"), longName.substr(0, 1024));
    // A name is never cut inside a UTF-8 sequence.
    std::string accented(1023, 'n');
    accented += "\xC3\xA9";  // an e with an acute accent across the cap
    ASSERT_TRUE(senders.SetStatus(accented, "cy@x.com", SenderStatus::Approved, ""));
    EXPECT_EQ(senders.NameOf("cy@x.com"), std::string(1023, 'n'));
}

TEST_F(CsvImportTest, OneColumnTakesNamesFromTheAddresses) {
    const auto out = collect(csv("bob@x.com\nAnn <ann@y.org>\n\nnot an address\n"), {0, 0, false});
    EXPECT_EQ(namesAndAddresses(out),
              (std::vector<std::pair<std::string, std::string>>{{"", "bob@x.com"}, {"Ann", "ann@y.org"}}));
}

TEST_F(CsvImportTest, StepsPerLineAndStopsWhenAsked) {
    const std::string path = csv("a,a@x.com\nb,b@x.com\n\nc,c@x.com\n");
    std::vector<std::size_t> steps;
    std::vector<SenderUpdate> out;
    EXPECT_EQ(AddressImport::CollectCsv(path, {1, 0, false}, out,
                                        [&](std::size_t line) {
                                            steps.push_back(line);
                                            return line < 2;
                                        }),
              AddressImport::Outcome::Stopped);
    EXPECT_EQ(steps, (std::vector<std::size_t>{1, 2}));
    EXPECT_EQ(out.size(), 2u);
    EXPECT_EQ(AddressImport::CollectCsv(path, {-1, 0, false}, out, {}), AddressImport::Outcome::Unreadable);
    EXPECT_EQ(AddressImport::CollectCsv((dir() / "none.csv").string(), {1, 0, false}, out, {}),
              AddressImport::Outcome::Unreadable);
}

TEST_F(CsvImportTest, ApplyApprovesOnceKeepsBlockedAndWritesOnce) {
    writeSenders("[blocked@x.com]\r\nAccessLevel=0\r\n[waiting@x.com]\r\nAccessLevel=2\r\n");
    CSenders& senders = openAttached();
    std::vector<SenderUpdate> approvals;
    AddressImport::Collect("blocked@x.com; waiting@x.com", "W", AddressImport::kReasonAddressBook, approvals);
    AddressImport::Collect("new@y.org, new@y.org", "N", AddressImport::kReasonSent, approvals);
    const auto before = stampOf(sendersIni());

    const AddressImport::Totals totals = AddressImport::Apply(senders, approvals);
    EXPECT_EQ(totals.approved, 3u) << "an address met twice counts twice";
    EXPECT_EQ(totals.keptBlocked, 1u);
    EXPECT_TRUE(totals.written);
    EXPECT_EQ(changes, 1) << "one change event for the whole import";
    EXPECT_FALSE(stampOf(sendersIni()) == before);

    EXPECT_EQ(senders.StatusOf("blocked@x.com"), SenderStatus::Blocked);
    EXPECT_EQ(senders.StatusOf("waiting@x.com"), SenderStatus::Approved);
    EXPECT_EQ(senders.NameOf("waiting@x.com"), "W");
    EXPECT_EQ(senders.StatusOf("new@y.org"), SenderStatus::Approved);
    EXPECT_EQ(senders.ReasonOf("new@y.org"), "Imported from sent messages");
    // What was written is what a fresh load reads.
    CSenders reloaded;
    EXPECT_EQ(reloaded.StatusOf("new@y.org"), SenderStatus::Approved);
    EXPECT_EQ(reloaded.StatusOf("blocked@x.com"), SenderStatus::Blocked);

    EXPECT_EQ(AddressImport::ImportedText(totals),
              "3 senders have been successfuly imported\r\n"
              "1 addresses belong to senders you have blocked; they stay blocked");
    EXPECT_EQ(AddressImport::ImportedText({2, 0, true}), "2 senders have been successfuly imported");
}

TEST_F(CsvImportTest, AFailedWriteIsReported) {
    writeSenders("[old@x.com]\r\nAccessLevel=3\r\n");
    CSenders& senders = openAttached();
    ASSERT_TRUE(testing_support::SetFolderReadOnly(sendersIni().parent_path(), true));
    ASSERT_TRUE(testing_support::SetFileReadOnly(sendersIni(), true));
    std::vector<SenderUpdate> approvals;
    AddressImport::Collect("new@y.org", "", AddressImport::kReasonAddressBook, approvals);
    const AddressImport::Totals totals = AddressImport::Apply(senders, approvals);
    testing_support::SetFileReadOnly(sendersIni(), false);
    testing_support::SetFolderReadOnly(sendersIni().parent_path(), false);
    EXPECT_FALSE(totals.written);
    EXPECT_EQ(testing_support::ReadFile(sendersIni()), "[old@x.com]\r\nAccessLevel=3\r\n");
}

}  // namespace
