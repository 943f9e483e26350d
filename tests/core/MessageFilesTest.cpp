#include "core/MessageFiles.h"

#include <filesystem>
#include <string>

#include "TempFolder.h"
#include "core/AtomicFile.h"
#include "core/CMessage.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;

class MessageFilesTest : public testing_support::TempFolderTest {
protected:
    fs::path inbox() const { return dir() / "accounts" / "me@home.org" / "MailDir" / "InBox"; }
};

CMessage messageWith(const std::string& headers, const std::string& body = "Hello\r\n") {
    CMessage m;
    EXPECT_TRUE(m.CreateFromText(headers + "\r\n\r\n" + body));
    return m;
}

TEST_F(MessageFilesTest, NamesAreSafeAndKeepTheSenderPrefix) {
    struct Case {
        const char* sender;
        const char* messageId;  // the header value
        const char* expected;
    };
    const Case cases[] = {
        {"ann@x.com", "<abc.123@x.com>", "ann@x.com abc.123@x.com.eml"},
        {"ann@x.com", "<a*b?c@x>", "ann@x.com a_b_c@x.eml"},
        {"ann@x.com", "<a\x01" "b\x7f" "c@x>", "ann@x.com a_b_c@x.eml"},
        {"a/b\\c@x.com", "<id@x>", "a_b_c@x.com id@x.eml"},
        {"ann@x.com", "<ab/c:d.e>", "ann@x.com abcd.e.eml"},
    };
    for (const Case& c : cases) {
        const CMessage m = messageWith(std::string("From: x\r\nMessage-ID: ") + c.messageId);
        EXPECT_EQ(MessageFiles::MessageFileName(c.sender, m), c.expected) << c.messageId;
    }
}

TEST_F(MessageFilesTest, MessagesWithoutUsableIdAreNamedByTheirBytes) {
    const CMessage none = messageWith("From: a@x.com\r\nSubject: one");
    const CMessage blankId = messageWith("From: a@x.com\r\nMessage-ID: <>\r\nSubject: one");
    const CMessage junkId = messageWith("From: a@x.com\r\nMessage-ID: <\x01\x02>\r\nSubject: one");
    const CMessage other = messageWith("From: a@x.com\r\nSubject: two");
    const std::string name = MessageFiles::MessageFileName("a@x.com", none);
    EXPECT_EQ(name.rfind("a@x.com ", 0), 0u);
    EXPECT_EQ(name.size(), std::string("a@x.com ").size() + 16 + 4);
    EXPECT_EQ(MessageFiles::MessageFileName("a@x.com", none), name) << "the same bytes, the same name";
    EXPECT_NE(MessageFiles::MessageFileName("a@x.com", other), name);
    // The parser's clock stamp for a blank Message-ID does not name the message.
    EXPECT_EQ(MessageFiles::MessageFileName("a@x.com", blankId).find('D'), std::string::npos);
    EXPECT_EQ(MessageFiles::MessageFileName("a@x.com", junkId).size(), name.size());
    // A Message-ID that really is digits stays.
    EXPECT_EQ(MessageFiles::MessageFileName("a@x.com", messageWith("Message-ID: <12345>")), "a@x.com 12345.eml");
}

TEST_F(MessageFilesTest, LongNamesAreCutWithAHashOfTheCut) {
    const std::string longId(400, 'q');
    CMessage a = messageWith("Message-ID: <" + longId + "A>");
    const CMessage b = messageWith("Message-ID: <" + longId + "B>");
    const std::string nameA = MessageFiles::MessageFileName("ann@x.com", a);
    const std::string nameB = MessageFiles::MessageFileName("ann@x.com", b);
    EXPECT_LE(nameA.size() + 19, MessageFiles::kMaxFileNameBytes) << "room is left for a suffix";
    EXPECT_EQ(nameA.rfind("ann@x.com qqq", 0), 0u);
    EXPECT_NE(nameA, nameB);
    // Stored twice under different bytes, the suffixed name still fits.
    ASSERT_FALSE(MessageFiles::StoreMessageFile(inbox(), "ann@x.com", a).Name.empty());
    CMessage sameName = messageWith("Message-ID: <" + longId + "A>", "other body\r\n");
    const auto second = MessageFiles::StoreMessageFile(inbox(), "ann@x.com", sameName);
    ASSERT_FALSE(second.Name.empty());
    EXPECT_LE(second.Name.size(), MessageFiles::kMaxFileNameBytes);
}

TEST_F(MessageFilesTest, SameMessageTwiceIsStoredOnce) {
    CMessage m = messageWith("From: a@x.com\r\nMessage-ID: <m1@x>");
    const auto first = MessageFiles::StoreMessageFile(inbox(), "a@x.com", m);
    ASSERT_EQ(first.Name, "a@x.com m1@x.eml");
    EXPECT_FALSE(first.AlreadyStored);
    EXPECT_EQ(ReadFile(inbox() / first.Name), m.MessageText());
    const auto again = MessageFiles::StoreMessageFile(inbox(), "a@x.com", m);
    EXPECT_EQ(again.Name, first.Name);
    EXPECT_TRUE(again.AlreadyStored);
    EXPECT_EQ(std::distance(fs::directory_iterator(inbox()), fs::directory_iterator()), 1);
}

TEST_F(MessageFilesTest, DifferentMessageUnderTakenNameGetsANewName) {
    CMessage first = messageWith("Message-ID: <dup@x>", "first\r\n");
    CMessage second = messageWith("Message-ID: <dup@x>", "second\r\n");
    ASSERT_EQ(MessageFiles::StoreMessageFile(inbox(), "a@x.com", first).Name, "a@x.com dup@x.eml");
    const auto stored = MessageFiles::StoreMessageFile(inbox(), "a@x.com", second);
    EXPECT_EQ(stored.Name, "a@x.com dup@x ~2.eml");
    EXPECT_FALSE(stored.AlreadyStored);
    EXPECT_EQ(ReadFile(inbox() / "a@x.com dup@x.eml"), first.MessageText()) << "the first file is untouched";
    EXPECT_EQ(ReadFile(inbox() / stored.Name), second.MessageText());
    // Collecting the second again finds it under its suffixed name.
    EXPECT_TRUE(MessageFiles::StoreMessageFile(inbox(), "a@x.com", second).AlreadyStored);
}

TEST_F(MessageFilesTest, ANameKnownElsewhereIsSkipped) {
    CMessage m = messageWith("Message-ID: <Case@X>");
    const auto stored = MessageFiles::StoreMessageFile(
        inbox(), "a@x.com", m, nullptr, [](std::string_view name) { return name == "a@x.com Case@X.eml"; });
    EXPECT_EQ(stored.Name, "a@x.com Case@X ~2.eml");
}

TEST_F(MessageFilesTest, ManyCollisionsEndInAHashName) {
    for (int i = 0; i < 100; ++i) {
        CMessage m = messageWith("Message-ID: <same@x>", "body " + std::to_string(i) + "\r\n");
        const auto stored = MessageFiles::StoreMessageFile(inbox(), "a@x.com", m);
        ASSERT_FALSE(stored.Name.empty()) << i;
        if (i == 99) {
            EXPECT_EQ(stored.Name.find("a@x.com same@x ~h"), 0u) << stored.Name;
        }
    }
}

TEST_F(MessageFilesTest, FailedSaveIsReported) {
    ASSERT_TRUE(makeReadOnly(inbox()));
    CMessage m = messageWith("Message-ID: <ro@x>");
    MiscFuncs::SyncBatch batch;
    const auto stored = MessageFiles::StoreMessageFile(inbox(), "a@x.com", m, &batch);
    EXPECT_TRUE(stored.Name.empty());
    EXPECT_FALSE(stored.AlreadyStored);
    EXPECT_NE(m.ErrorText.find("Failed to save message to "), std::string::npos);
    EXPECT_NE(programLog().find("Error in MessageFiles::StoreMessageFile "), std::string::npos);
}

}  // namespace
