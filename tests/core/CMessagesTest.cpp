#include "core/CMessages.h"

#include <sys/time.h>

#include "MessageStoreFixture.h"
#include "core/Dates.h"

namespace {

namespace fs = std::filesystem;
using testing_support::WriteFile;

class CMessagesTest : public testing_support::MessageStoreTest {
protected:
    void SetUp() override {
        MessageStoreTest::SetUp();
        addAccounts({"me@home.org"});
        messages_.Change.Subscribe([this] { ++changes_; });
    }
    CMessages messages_{CMessages::Start::Empty};
    int changes_ = 0;
};

const std::string kAccount = "me@home.org";
const std::string kInBoxKey = "me@home.org\\MailDir\\InBox\\";
const std::string kWaitingKey = "me@home.org\\MailDir\\WaitingAuth\\";

TEST_F(CMessagesTest, AddMessageMakesOneCleanEntry) {
    putMessage(kAccount, "InBox", "ann@x.com 1@x.eml", "Ann <ann@x.com>", "tab\there");
    ASSERT_TRUE(messages_.AddMessage(kAccount, "ann@x.com 1@x.eml", "MailDir\\InBox"));
    EXPECT_EQ(changes_, 1);
    const MessageIndexEntry* e = messages_.Find("ME@HOME.ORG\\maildir\\inbox\\ANN@X.COM 1@X.EML");
    ASSERT_NE(e, nullptr);
    const auto date = MiscFuncs::DateOf({2002, 12, 10, 13, 45, 12});
    EXPECT_EQ(e->Text(), "Ann <ann@x.com>\ttabhere\t12/10/02 13:45\t" + kInBoxKey + "ann@x.com 1@x.eml\t" +
                           std::to_string(MiscFuncs::DateToMinutes(date)));
    EXPECT_EQ(e->Key(), kInBoxKey + "ann@x.com 1@x.eml");
    EXPECT_EQ(e->Sender(), "ann@x.com");
    EXPECT_EQ(e->Minutes(), MiscFuncs::DateToMinutes(date));
}

TEST(MessageIndexEntryTest, FieldsNeverHoldSeparatorsOrLineBreaks) {
    const std::string text = MessageIndexEntry::MakeText("a\rb\tc", "d\ne\r\n", "01/02/03 04:05", "k\\MailDir\\InBox\\f.eml", -7);
    EXPECT_EQ(text, "a bc\td e  \t01/02/03 04:05\tk\\MailDir\\InBox\\f.eml\t-7");
    const std::string cut = MessageIndexEntry::MakeText(std::string(5000, 'f'), "s", "d", "k", 1);
    EXPECT_EQ(cut.find('\t'), MessageIndexEntry::kMaxDisplayField);
}

TEST_F(CMessagesTest, DateSourceFollowsUseMessageDate) {
    WriteFile(folder(kAccount, "InBox") / "a@x.com r.eml",
              "Date: 10 Dec 2002 13:45:00\r\nReceived: by mx; 11 Dec 2002 08:00:00\r\n\r\nb\r\n");
    const fs::path file = folder(kAccount, "InBox") / "a@x.com r.eml";
    const timeval times[2] = {{1'000'000'000, 0}, {1'000'000'000, 0}};  // 2001-09-09 01:46:40 UTC
    ASSERT_EQ(::utimes(file.c_str(), times), 0);
    const auto minutesWith = [&](const char* how) {
        setOption("UseMessageDate", how);
        CMessages m(CMessages::Start::Empty);
        EXPECT_TRUE(m.AddMessage(kAccount, "a@x.com r.eml", "MailDir\\InBox"));
        return m.Find(kInBoxKey + "a@x.com r.eml")->Minutes();
    };
    EXPECT_EQ(minutesWith("1"), MiscFuncs::DateToMinutes(MiscFuncs::DateOf({2002, 12, 10, 13, 45, 0})));
    EXPECT_EQ(minutesWith("2"), MiscFuncs::DateToMinutes(MiscFuncs::DateOf({2002, 12, 11, 8, 0, 0})));
    const std::int32_t byFile = minutesWith("");
    const auto fileDay = MiscFuncs::MinutesToDate(byFile);
    EXPECT_NEAR(fileDay, MiscFuncs::DateOf({2001, 9, 9, 1, 46, 40}), 1.0) << "local time, within a day of UTC";
}

TEST_F(CMessagesTest, AddMessageErrorsAreLoggedAndAddNothing) {
    putMessage(kAccount, "InBox", "a@x.com 1.eml", "a@x.com", "s");
    ASSERT_TRUE(messages_.AddMessage(kAccount, "a@x.com 1.eml", "MailDir\\InBox"));
    EXPECT_FALSE(messages_.AddMessage(kAccount, "A@X.COM 1.eml", "MailDir\\InBox")) << "the same key";
    EXPECT_FALSE(messages_.AddMessage(kAccount, "missing.eml", "MailDir\\InBox"));
    EXPECT_FALSE(messages_.AddMessage(kAccount, "a@x.com 1.eml", "MailDir\\OutBox"));
    EXPECT_FALSE(messages_.AddMessage(kAccount, "..\\..\\x.eml", "MailDir\\InBox"));
    EXPECT_FALSE(messages_.AddMessage("..", "a@x.com 1.eml", "MailDir\\InBox"));
    EXPECT_EQ(messages_.Count(), 1u);
    EXPECT_EQ(changes_, 1);
    const std::string log = programLog();
    EXPECT_NE(log.find("Error in Messages::addMessageThis key is already associated"), std::string::npos);
    EXPECT_NE(log.find("Error in Messages::addMessageFile not found"), std::string::npos);
}

TEST_F(CMessagesTest, MoveMessageMovesFileThenEntry) {
    putMessage(kAccount, "WaitingAuth", "a@x.com 1.eml", "a@x.com", "first");
    putMessage(kAccount, "WaitingAuth", "b@x.com 2.eml", "b@x.com", "second");
    messages_.AddMessage(kAccount, "a@x.com 1.eml", "MailDir\\WaitingAuth");
    messages_.AddMessage(kAccount, "b@x.com 2.eml", "MailDir\\WaitingAuth");
    changes_ = 0;
    ASSERT_TRUE(messages_.MoveMessage(kWaitingKey + "A@X.COM 1.eml", "maildir\\inbox"));
    EXPECT_EQ(changes_, 1);
    EXPECT_FALSE(fs::exists(folder(kAccount, "WaitingAuth") / "a@x.com 1.eml"));
    EXPECT_TRUE(fs::exists(folder(kAccount, "InBox") / "a@x.com 1.eml"));
    EXPECT_EQ(keysOf(messages_), (std::vector<std::string>{kWaitingKey + "b@x.com 2.eml", kInBoxKey + "a@x.com 1.eml"}));
    const MessageIndexEntry* e = messages_.Find(kInBoxKey + "a@x.com 1.eml");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Subject(), "first");
    EXPECT_EQ(e->Key(), kInBoxKey + "a@x.com 1.eml");
    // The folder it is already in: nothing to do.
    EXPECT_TRUE(messages_.MoveMessage(kInBoxKey + "a@x.com 1.eml", "MailDir\\InBox"));
    EXPECT_EQ(changes_, 1);
}

TEST_F(CMessagesTest, MoveOntoAnExistingNameIsRefusedAndLosesNothing) {
    putMessage(kAccount, "WaitingAuth", "a@x.com 1.eml", "a@x.com", "waiting");
    putMessage(kAccount, "InBox", "a@x.com 1.eml", "a@x.com", "inbox");
    messages_.AddMessage(kAccount, "a@x.com 1.eml", "MailDir\\WaitingAuth");
    // Only the file is in the way: the index does not know the InBox copy.
    EXPECT_FALSE(messages_.MoveMessage(kWaitingKey + "a@x.com 1.eml", "MailDir\\InBox"));
    EXPECT_NE(testing_support::ReadFile(folder(kAccount, "InBox") / "a@x.com 1.eml").find("inbox"), std::string::npos);
    EXPECT_NE(testing_support::ReadFile(folder(kAccount, "WaitingAuth") / "a@x.com 1.eml").find("waiting"),
              std::string::npos);
    EXPECT_NE(messages_.Find(kWaitingKey + "a@x.com 1.eml"), nullptr);
    EXPECT_EQ(messages_.Count(), 1u);
    // Both indexed: refused before the file system is asked.
    messages_.AddMessage(kAccount, "a@x.com 1.eml", "MailDir\\InBox");
    EXPECT_FALSE(messages_.MoveMessage(kWaitingKey + "a@x.com 1.eml", "MailDir\\InBox"));
    EXPECT_EQ(messages_.Count(), 2u);
    EXPECT_NE(programLog().find("Error in Messages::MoveMessage"), std::string::npos);
}

TEST_F(CMessagesTest, MoveOfUnknownKeyOrToABadFolderChangesNothing) {
    putMessage(kAccount, "WaitingAuth", "a@x.com 1.eml", "a@x.com", "s");
    messages_.AddMessage(kAccount, "a@x.com 1.eml", "MailDir\\WaitingAuth");
    changes_ = 0;
    EXPECT_FALSE(messages_.MoveMessage(kWaitingKey + "nobody.eml", "MailDir\\InBox"));
    EXPECT_FALSE(messages_.MoveMessage(kWaitingKey + "a@x.com 1.eml", "MailDir\\OutBox"));
    EXPECT_FALSE(messages_.MoveMessage(kWaitingKey + "a@x.com 1.eml", "..\\.."));
    EXPECT_TRUE(fs::exists(folder(kAccount, "WaitingAuth") / "a@x.com 1.eml"));
    EXPECT_EQ(changes_, 0);
    EXPECT_NE(programLog().find("Error in Messages::MoveMessageInvalid procedure call or argument"), std::string::npos);
}

TEST_F(CMessagesTest, RemoveMessageDeletesFileAndEntry) {
    putMessage(kAccount, "InBox", "a@x.com 1.eml", "a@x.com", "s");
    putMessage(kAccount, "InBox", "a@x.com 2.eml", "a@x.com", "s");
    messages_.AddMessage(kAccount, "a@x.com 1.eml", "MailDir\\InBox");
    messages_.AddMessage(kAccount, "a@x.com 2.eml", "MailDir\\InBox");
    changes_ = 0;
    ASSERT_TRUE(messages_.RemoveMessage(kInBoxKey + "A@x.com 1.eml"));
    EXPECT_FALSE(fs::exists(folder(kAccount, "InBox") / "a@x.com 1.eml"));
    EXPECT_EQ(messages_.Find(kInBoxKey + "a@x.com 1.eml"), nullptr);
    EXPECT_EQ(changes_, 1);
    EXPECT_FALSE(messages_.RemoveMessage(kInBoxKey + "a@x.com 1.eml")) << "no longer indexed";
    EXPECT_NE(programLog().find("Error in Messages::RemoveMessage"), std::string::npos);
    // A file already gone: the entry goes too.
    fs::remove(folder(kAccount, "InBox") / "a@x.com 2.eml");
    EXPECT_TRUE(messages_.RemoveMessage(kInBoxKey + "a@x.com 2.eml"));
    EXPECT_EQ(messages_.Count(), 0u);
    EXPECT_EQ(changes_, 2);
}

TEST_F(CMessagesTest, FileThatCannotBeDeletedKeepsItsEntry) {
    putMessage(kAccount, "InBox", "a@x.com 1.eml", "a@x.com", "s");
    messages_.AddMessage(kAccount, "a@x.com 1.eml", "MailDir\\InBox");
    ASSERT_TRUE(makeReadOnly(folder(kAccount, "InBox")));
    EXPECT_FALSE(messages_.RemoveMessage(kInBoxKey + "a@x.com 1.eml"));
    EXPECT_NE(messages_.Find(kInBoxKey + "a@x.com 1.eml"), nullptr);
    EXPECT_NE(programLog().find("Failed to delete file " + (folder(kAccount, "InBox") / "a@x.com 1.eml").string()),
              std::string::npos);
}

TEST_F(CMessagesTest, SenderKeysFollowAddMoveAndRemove) {
    addAccounts({"other@home.org"});
    putMessage(kAccount, "WaitingAuth", "ann@x.com 1.eml", "x", "s");
    putMessage(kAccount, "InBox", "ann@x.com 2.eml", "x", "s");
    putMessage("other@home.org", "WaitingAuth", "ann@x.com 3.eml", "x", "s");
    putMessage(kAccount, "InBox", "bob@x.com 4.eml", "x", "s");
    putMessage(kAccount, "InBox", "noblank.eml", "Carl <Carl@X.com>", "s");
    EXPECT_EQ(messages_.SenderMessageCount("ann@x.com"), 0u);  // the table exists before the messages
    messages_.AddMessage(kAccount, "ann@x.com 1.eml", "MailDir\\WaitingAuth");
    messages_.AddMessage(kAccount, "ann@x.com 2.eml", "MailDir\\InBox");
    messages_.AddMessage("other@home.org", "ann@x.com 3.eml", "MailDir\\WaitingAuth");
    messages_.AddMessage(kAccount, "bob@x.com 4.eml", "MailDir\\InBox");
    messages_.AddMessage(kAccount, "noblank.eml", "MailDir\\InBox");
    EXPECT_EQ(messages_.SenderMessageCount("ANN@x.com"), 3u);
    EXPECT_EQ(messages_.SenderKeys("ann@x.com", "", "MailDir\\WaitingAuth").size(), 2u);
    EXPECT_EQ(messages_.SenderKeys("ann@x.com", kAccount, "MailDir\\WaitingAuth"),
              (std::vector<std::string>{kWaitingKey + "ann@x.com 1.eml"}));
    EXPECT_EQ(messages_.SenderMessageCount("carl@x.com"), 1u) << "a name without a blank falls back to From";
    EXPECT_EQ(messages_.SenderMessageCount("ann@x.co"), 0u);
    messages_.MoveMessage(kWaitingKey + "ann@x.com 1.eml", "MailDir\\Recycled");
    messages_.RemoveMessage(kInBoxKey + "ann@x.com 2.eml");
    EXPECT_EQ(messages_.SenderKeys("ann@x.com", kAccount),
              (std::vector<std::string>{"me@home.org\\MailDir\\Recycled\\ann@x.com 1.eml"}));
    messages_.RemoveMessage("me@home.org\\MailDir\\Recycled\\ann@x.com 1.eml");
    messages_.RemoveMessage("other@home.org\\MailDir\\WaitingAuth\\ann@x.com 3.eml");
    EXPECT_TRUE(messages_.SenderKeys("ann@x.com").empty());
    EXPECT_EQ(messages_.SenderMessageCount("bob@x.com"), 1u);
}

TEST_F(CMessagesTest, LoadMessagesIndexesTheThreeFoldersOnce) {
    putMessage(kAccount, "InBox", "b@x.com 2.eml", "b", "s");
    putMessage(kAccount, "InBox", "a@x.com 1.eml", "a", "s");
    putMessage(kAccount, "WaitingAuth", "c@x.com 3.EML", "c", "s");
    putMessage(kAccount, "Recycled", "d@x.com 4.eml", "d", "s");
    putMessage(kAccount, "OutBox", "e@x.com 5.eml", "e", "s");
    WriteFile(folder(kAccount, "InBox") / "reply.rrm", "x");
    ASSERT_TRUE(messages_.LoadMessages(kAccount));
    EXPECT_EQ(keysOf(messages_),
              (std::vector<std::string>{kWaitingKey + "c@x.com 3.EML", kInBoxKey + "a@x.com 1.eml",
                                        kInBoxKey + "b@x.com 2.eml", "me@home.org\\MailDir\\Recycled\\d@x.com 4.eml"}));
    EXPECT_EQ(changes_, 1);
    EXPECT_TRUE(messages_.LoadMessages(kAccount));
    EXPECT_EQ(messages_.Count(), 4u);
    EXPECT_EQ(changes_, 1) << "nothing new, no event";
    messages_.ResetCollection();
    EXPECT_EQ(messages_.Count(), 0u);
    EXPECT_EQ(messages_.SenderMessageCount("a@x.com"), 0u);
}

}  // namespace
