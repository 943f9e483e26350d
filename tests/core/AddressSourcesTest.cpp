// The stand-ins the address import reads: vCard files as contacts and address books,
// and a folder of sent messages; and what each of their items approves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TempFolder.h"
#include "core/AddressImport.h"
#include "core/MailProgramData.h"
#include "core/VCard.h"

namespace {

using testing_support::WriteFile;

struct CardCase {
    const char* what;
    std::string text;
    std::vector<std::pair<std::string, std::vector<std::string>>> cards;  // full name, addresses
};

class VCardParse : public ::testing::TestWithParam<CardCase> {};

TEST_P(VCardParse, ReadsNamesAndAddresses) {
    std::vector<VCard::Card> cards;
    ASSERT_TRUE(VCard::Parse(GetParam().text, cards));
    std::vector<std::pair<std::string, std::vector<std::string>>> got;
    for (const VCard::Card& c : cards) got.emplace_back(c.fullName, c.emails);
    EXPECT_EQ(got, GetParam().cards);
}

INSTANTIATE_TEST_SUITE_P(
    Table, VCardParse,
    ::testing::Values(
        CardCase{"version 3 with CRLF", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bob Smith\r\nEMAIL;TYPE=INTERNET:bob@x.com\r\n"
                                        "EMAIL:bob2@x.com\r\nEND:VCARD\r\n",
                 {{"Bob Smith", {"bob@x.com", "bob2@x.com"}}}},
        CardCase{"two cards, lower case, group prefix",
                 "begin:vcard\nfn:Ann\nitem1.EMAIL:ann@y.org\nend:vcard\nBEGIN:VCARD\nFN:Carl\nEND:VCARD\n",
                 {{"Ann", {"ann@y.org"}}, {"Carl", {}}}},
        CardCase{"name from N without FN", "BEGIN:VCARD\nN:Smith;Bob;;;\nEMAIL:b@x.com\nEND:VCARD\n",
                 {{"Bob Smith", {"b@x.com"}}}},
        CardCase{"folded line and escapes", "BEGIN:VCARD\nFN:Smith\\, \n Bob\nEMAIL:b@x.com\nEND:VCARD\n",
                 {{"Smith, Bob", {"b@x.com"}}}},
        CardCase{"quoted-printable name", "BEGIN:VCARD\nFN;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen\nEND:VCARD\n",
                 {{"J\xC3\xBCrgen", {}}}},
        CardCase{"byte-order mark and blank lines first", "\xEF\xBB\xBF\r\n\r\nBEGIN:VCARD\nFN:A\nEND:VCARD",
                 {{"A", {}}}},
        CardCase{"card without END is dropped", "BEGIN:VCARD\nFN:A\nEMAIL:a@x.com\n", {}},
        CardCase{"lines outside cards ignored", "BEGIN:VCARD\nFN:A\nEND:VCARD\nFN:stray\nEMAIL:s@x.com\n", {{"A", {}}}}),
    [](const auto& info) {
        std::string name;
        for (char c : std::string(info.param.what)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST(VCardParse, RefusesWhatIsNotAVCardFile) {
    std::vector<VCard::Card> cards;
    for (const char* text : {"", "\r\n  \r\n", "Name,E-mail\nBob,bob@x.com\n", "FN:A\nBEGIN:VCARD\n", "<html>"})
        EXPECT_FALSE(VCard::Parse(text, cards)) << text;
}

class AddressSourcesTest : public testing_support::TempFolderTest {};

TEST_F(AddressSourcesTest, ContactsOfferTheirFirstThreeAddresses) {
    std::vector<MailProgram::Contact> contacts;
    EXPECT_FALSE(MailProgram::ReadContacts(contacts)) << "no contacts file";
    WriteFile(MailProgram::ContactsFile(),
              "BEGIN:VCARD\nFN:Bob\nEMAIL:a@x.com\nEMAIL:b@x.com\nEMAIL:c@x.com\nEMAIL:d@x.com\nEND:VCARD\n"
              "BEGIN:VCARD\nFN:Nobody\nEMAIL:not valid\nEND:VCARD\n");
    ASSERT_TRUE(MailProgram::ReadContacts(contacts));
    ASSERT_EQ(contacts.size(), 2u);
    EXPECT_EQ(contacts[0].Email3Address, "c@x.com");

    std::vector<SenderUpdate> out;
    EXPECT_EQ(AddressImport::CollectContact(contacts[0], out), 3u);
    EXPECT_EQ(AddressImport::CollectContact(contacts[1], out), 0u);
    for (const SenderUpdate& u : out) {
        EXPECT_EQ(u.name, "Bob");
        EXPECT_EQ(u.reason, "Imported from address book");
    }
}

TEST_F(AddressSourcesTest, SentItemsApproveEveryRecipientWithItsName) {
    std::vector<std::filesystem::path> items;
    EXPECT_FALSE(MailProgram::ListSentItems(items)) << "no sent folder";
    const auto sent = MailProgram::SentItemsFolder();
    WriteFile(sent / "1.eml", "To: \"Bob B\" <bob@x.com>; ann@y.org\r\nCc: Carl <carl@z.net>, bad@\r\n"
                              "Bcc: dan@w.org\r\nSubject: hi\r\n\r\nbody\r\n");
    WriteFile(sent / "2.EML", "To: eve@v.com\r\n\r\n");
    WriteFile(sent / "notes.txt", "To: nobody@v.com\r\n\r\n");
    ASSERT_TRUE(MailProgram::ListSentItems(items));
    ASSERT_EQ(items.size(), 2u);

    std::vector<SenderUpdate> out;
    for (const auto& file : items) {
        MailProgram::SentItem item;
        ASSERT_TRUE(MailProgram::ReadSentItem(file, item)) << file;
        AddressImport::CollectSentItem(item, out);
    }
    std::vector<std::string> got;
    for (const SenderUpdate& u : out) got.push_back(u.name + "|" + u.address + "|" + u.reason);
    EXPECT_EQ(got, (std::vector<std::string>{"Bob B|bob@x.com|Imported from sent messages",
                                             "|ann@y.org|Imported from sent messages",
                                             "Carl|carl@z.net|Imported from sent messages",
                                             "|dan@w.org|Imported sent messages",
                                             "|eve@v.com|Imported from sent messages"}));
}

TEST_F(AddressSourcesTest, AddressBookReadsDefaultOrGivenVCardFilesOnly) {
    std::vector<AddressBook::WabEntry> entries;
    EXPECT_NE(AddressBook::WABImport(nullptr, entries), 0) << "no default address book";
    WriteFile(AddressBook::DefaultAddressBook(), "BEGIN:VCARD\nFN:Ann\nEMAIL:a@x.com\nEMAIL:b@y.org\nEND:VCARD\n");
    ASSERT_EQ(AddressBook::WABImport(nullptr, entries), 0);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].addresses, "a@x.com,b@y.org");
    std::vector<SenderUpdate> out;
    EXPECT_EQ(AddressImport::CollectWabEntry(entries[0], out), 2u);
    EXPECT_EQ(out[1].name, "Ann");

    WriteFile(dir() / "other.wab", std::string("\x9c\xcb\xcb\x8d\x13\x75\xd2\x11", 8));
    WriteFile(dir() / "book.vcf", "BEGIN:VCARD\nFN:Bob\nEMAIL:bob@x.com\nEND:VCARD\n");
    EXPECT_NE(AddressBook::WABImport((dir() / "other.wab").c_str(), entries), 0);
    EXPECT_TRUE(entries.empty());
    EXPECT_NE(AddressBook::WABImport(dir().c_str(), entries), 0) << "a folder";
    ASSERT_EQ(AddressBook::WABImport((dir() / "book.vcf").c_str(), entries), 0);
    EXPECT_EQ(entries[0].name, "Bob");
}

}  // namespace
