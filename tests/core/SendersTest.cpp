#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SendersFixture.h"
#include "core/CIniFile.h"
#include "core/Dates.h"
#include "core/CMessage.h"
#include "core/MessageFiles.h"

namespace {

namespace fs = std::filesystem;
using testing_support::kAccount;
using testing_support::ReadFile;

class CSendersTest : public testing_support::SendersTest {};

const MiscFuncs::DateValue kNow = MiscFuncs::DateOf({2026, 12, 8, 7, 52, 6});

TEST_F(CSendersTest, StatusChangeMovesOnlyThatSendersHeldMail) {
    hold("bob@x.co 1@x.eml");
    hold("BOB@X.CO 2@x.eml");
    hold("bob@x.com 3@x.eml");
    hold("bob@x.co.eml", "WaitingAuth", "bob@x.co");  // no blank in the name: known by its From
    hold("bob@x.co~1.eml", "WaitingAuth", "carol@x.co");
    hold("bob@x.co 4@x.eml", "InBox");
    CSenders& senders = openAttached();
    ASSERT_TRUE(senders.SetStatus("", "bob@x.co", SenderStatus::Approved, "Approved by user"));
    EXPECT_TRUE(stored("InBox", "bob@x.co 1@x.eml"));
    EXPECT_TRUE(stored("InBox", "BOB@X.CO 2@x.eml"));
    EXPECT_TRUE(stored("WaitingAuth", "bob@x.com 3@x.eml"));
    EXPECT_TRUE(stored("InBox", "bob@x.co.eml"));
    EXPECT_TRUE(stored("WaitingAuth", "bob@x.co~1.eml"));

    ASSERT_TRUE(senders.SetStatus("", "bob@x.com", SenderStatus::Blocked, ""));
    EXPECT_TRUE(stored("Recycled", "bob@x.com 3@x.eml"));
    ASSERT_TRUE(senders.SetStatus("", "bob@x.co", SenderStatus::Blocked, ""));
    EXPECT_TRUE(stored("InBox", "bob@x.co 1@x.eml")) << "blocking moves held mail only";
    EXPECT_TRUE(stored("InBox", "bob@x.co 4@x.eml"));
    EXPECT_EQ(changes, 3);
}

// A status that senders.ini cannot take changes nothing: the next start would read
// the old status, so moving his mail or listing him now would contradict it.
TEST_F(CSendersTest, AStatusChangeThatCannotBeWrittenChangesNothing) {
    hold("bob@x.co 1@x.eml");
    CSenders& senders = openAttached();
    ASSERT_TRUE(senders.SetStatus("", "bob@x.co", SenderStatus::Unknown, "first"));
    const std::string before = ReadFile(sendersIni());
    ASSERT_TRUE(makeFileReadOnly(sendersIni())) << "no read-only files here";
    changes = 0;
    for (const SenderStatus status : {SenderStatus::Approved, SenderStatus::Blocked}) {
        EXPECT_EQ(senders.ChangeStatus("", "bob@x.co", status, "then"), StatusChange::Failed);
        EXPECT_FALSE(senders.SetStatus("", "bob@x.co", status, "then"));
        EXPECT_EQ(senders.StatusOf("bob@x.co"), SenderStatus::Unknown);
        EXPECT_TRUE(stored("WaitingAuth", "bob@x.co 1@x.eml"));
        EXPECT_EQ(keysOf(senders.List(SenderStatus::Unknown)), std::vector<std::string>{"bob@x.co"});
        EXPECT_TRUE(keysOf(senders.List(status)).empty());
    }
    {  // a bulk update fails as a whole
        CSenders::BulkUpdate bulk(senders);
        senders.SetStatus("", "bob@x.co", SenderStatus::Approved, "bulk");
        senders.SetStatus("", "new@x.co", SenderStatus::Blocked, "bulk");
        EXPECT_FALSE(bulk.Commit());
    }
    EXPECT_TRUE(stored("WaitingAuth", "bob@x.co 1@x.eml"));
    EXPECT_EQ(senders.StatusOf("new@x.co"), SenderStatus::NotListed);
    EXPECT_TRUE(keysOf(senders.List(SenderStatus::Blocked)).empty());
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(ReadFile(sendersIni()), before);
    EXPECT_NE(programLog().find("Error in CSenders::SetStatus the status of bob@x.co could not be written"),
              std::string::npos);
}

// A name cut to fit the file system has lost the address: the message store knows
// the file by its From, and approval releases it all the same.
TEST_F(CSendersTest, ASenderTooLongForAWholeFileNameFindsHisFiles) {
    const std::string address = std::string(210, 'l') + "@" + std::string(15, 'd') + ".example";
    ASSERT_EQ(address.size(), 234u);
    CMessage message;
    ASSERT_TRUE(message.CreateFromText("From: Long <" + address + ">\r\nMessage-ID: <id@x>\r\n\r\nbody\r\n"));
    const MessageFiles::StoredFile file =
        MessageFiles::StoreMessageFile(folder(kAccount, "WaitingAuth"), address, message);
    ASSERT_FALSE(file.Name.empty());
    ASSERT_EQ(file.Name.find(address), std::string::npos) << "the name is cut";
    ASSERT_TRUE(store.AddMessage(kAccount, file.Name, "MailDir\\WaitingAuth"));
    CSenders& senders = openAttached();
    EXPECT_EQ(senders.MessagesStoredAwaitingAuth(address), 1u);
    ASSERT_TRUE(senders.SetStatus("", address, SenderStatus::Approved, "ok"));
    EXPECT_TRUE(stored("InBox", file.Name));
}

TEST_F(CSendersTest, SetStatusWritesTheSectionAndListsTheSender) {
    CSenders& senders = openAttached();
    ASSERT_TRUE(senders.SetStatus("Bob Smith", "Bob <Bob@X.com>", SenderStatus::Approved, "Approved by user"));
    EXPECT_EQ(ReadFile(sendersIni()), "[bob@x.com]\r\nModificationDate=" + MiscFuncs::DayNumberText(kNow) +
                                          "\r\nAccessLevel=3\r\nRegistrationRequestSent=\r\nName=Bob Smith\r\n"
                                          "AuthReason=Approved by user\r\n");
    EXPECT_EQ(senders.StatusOf("BOB@x.COM"), SenderStatus::Approved);
    EXPECT_EQ(senders.NameOf("bob@x.com"), "Bob Smith");
    EXPECT_EQ(senders.ReasonOf("bob@x.com"), "Approved by user");
    const SenderEntry* e = senders.List(SenderStatus::Approved).Find("bob@x.com");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Text, "bob@x.com (Bob Smith)\tApproved by user\t12/08/26 07:52\tbob@x.com\t" +
                           std::to_string(MiscFuncs::DateToMinutes(kNow)));
    EXPECT_EQ(changes, 1);
}

TEST_F(CSendersTest, AnUnchangedStatusWithoutDateChangesNothing) {
    CSenders& senders = openAttached();
    senders.SetStatus("", "ann@x.com", SenderStatus::Unknown, "");
    const auto before = stampOf(sendersIni());
    changes = 0;
    EXPECT_FALSE(senders.SetStatus("Ann", "ann@x.com", SenderStatus::Unknown, "again"));
    EXPECT_EQ(stampOf(sendersIni()), before);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(senders.NameOf("ann@x.com"), "");

    // With a date the same status is written again, and the entry shows that date.
    const MiscFuncs::DateValue date = MiscFuncs::DateOf({2025, 3, 4, 5, 6, 7});
    EXPECT_TRUE(senders.SetStatus("", "ann@x.com", SenderStatus::Unknown, "", date));
    EXPECT_EQ(CIniFile(sendersIni().string()).Value("ann@x.com", "ModificationDate"), MiscFuncs::DayNumberText(date));
    const SenderEntry* e = senders.List(SenderStatus::Unknown).Find("ann@x.com");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->DateText(), "03/04/25 05:06:07") << "the locale's default text (C locale here)";
    EXPECT_EQ(e->Minutes, MiscFuncs::DateToMinutes(date));
    EXPECT_EQ(changes, 1);
}

TEST_F(CSendersTest, ASenderIsInOneListOnly) {
    CSenders& senders = openAttached();
    senders.SetStatus("Ann", "ann@x.com", SenderStatus::Unknown, "");
    // The old status is found from the bare address, whatever form the caller used.
    senders.SetStatus("", "\"Ann\" <ANN@x.com>", SenderStatus::WaitingAuth, "Registered");
    senders.SetStatus("", " Ann@X.com ", SenderStatus::Approved, "");
    for (SenderStatus s : {SenderStatus::Blocked, SenderStatus::Unknown, SenderStatus::WaitingAuth})
        EXPECT_FALSE(senders.List(s).Contains("ann@x.com")) << static_cast<int>(s);
    const SenderEntry* e = senders.List(SenderStatus::Approved).Find("ann@x.com");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Display(), "ann@x.com") << "an empty name lists the bare address";
    EXPECT_EQ(senders.NameOf("ann@x.com"), "Ann") << "the stored name stays";
    EXPECT_EQ(CIniFile(sendersIni().string()).AllSectionsArray(), std::vector<std::string>{"ann@x.com"});

    // Not listed: written with an empty AccessLevel, in no list.
    EXPECT_TRUE(senders.SetStatus("", "ann@x.com", SenderStatus::NotListed, ""));
    for (const SenderList& list : senders.Lists()) EXPECT_FALSE(list.Contains("ann@x.com"));
    EXPECT_EQ(senders.StatusOf("ann@x.com"), SenderStatus::NotListed);
    EXPECT_FALSE(senders.SetStatus("", "<>", SenderStatus::Approved, "")) << "no address";
    EXPECT_FALSE(senders.SetStatus("", "a\tb@x.com", SenderStatus::Approved, "")) << "no address either";
    EXPECT_TRUE(senders.SetStatus("", "tab@x.com\t", SenderStatus::Approved, ""));
    EXPECT_TRUE(senders.List(SenderStatus::Approved).Contains("tab@x.com"));
    EXPECT_EQ(senders.StatusOf("tab@x.com"), SenderStatus::Approved);
}

TEST_F(CSendersTest, EntryFieldsNeverHoldSeparators) {
    const SenderEntry e = SenderEntry::Make("a@x.com", "A\tB\r\nC", "why\tnot", "01/02/03 04:05", 37622);
    EXPECT_EQ(e.Text, "a@x.com (A B  C)\twhy not\t01/02/03 04:05\ta@x.com\t1578240");
    EXPECT_EQ(e.Address(), "a@x.com");
    EXPECT_EQ(e.Reason(), "why not");
}

TEST_F(CSendersTest, DeleteSenderRecyclesHeldMailAndKeepsTheFile) {
    hold("ann@x.com 1@x.eml");
    hold("ann@x.com 2@x.eml", "InBox");
    CSenders& senders = openAttached();
    senders.SetStatus("Ann", "ann@x.com", SenderStatus::WaitingAuth, "Registered");
    const std::string before = ReadFile(sendersIni());
    changes = 0;
    senders.DeleteSender("ANN@x.com");
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(senders.List(SenderStatus::WaitingAuth).Contains("ann@x.com"));
    EXPECT_TRUE(stored("Recycled", "ann@x.com 1@x.eml"));
    EXPECT_TRUE(stored("InBox", "ann@x.com 2@x.eml"));
    EXPECT_EQ(ReadFile(sendersIni()), before);
    EXPECT_EQ(senders.StatusOf("ann@x.com"), SenderStatus::WaitingAuth) << "the filter still finds it";
    EXPECT_TRUE(open().List(SenderStatus::WaitingAuth).Contains("ann@x.com")) << "listed again at the next start";
}

TEST_F(CSendersTest, MessagesStoredCountsWaitingThenInBox) {
    hold("ann@x.com 1@x.eml", "InBox");
    hold("ann@x.com 2@x.eml");
    hold("ann@x.com 3@x.eml", "Recycled");
    hold("ann@x.co 4@x.eml");
    CSenders& senders = openAttached();
    EXPECT_EQ(senders.MessagesStored("Ann@X.com"), 2u);
    EXPECT_EQ(senders.MessagesStoredAwaitingAuth("ann@x.com"), 1u);
    std::vector<std::string> files{"already there"};
    EXPECT_EQ(senders.MessagesStored("ann@x.com", &files), 3u) << "the collection's count afterwards";
    const fs::path mail = dir() / "accounts" / kAccount / "MailDir";
    EXPECT_EQ(files, (std::vector<std::string>{"already there", (mail / "WaitingAuth" / "ann@x.com 2@x.eml").string(),
                                               (mail / "InBox" / "ann@x.com 1@x.eml").string()}));
    EXPECT_EQ(senders.MessagesStored("nobody@x.com"), 0u);
    // The keys of the same files, in the same order.
    EXPECT_EQ(senders.MessageKeysStored(" Ann@X.com "),
              (std::vector<std::string>{std::string(kAccount) + "\\MailDir\\WaitingAuth\\ann@x.com 2@x.eml",
                                        std::string(kAccount) + "\\MailDir\\InBox\\ann@x.com 1@x.eml"}));
    EXPECT_TRUE(senders.MessageKeysStored("nobody@x.com").empty());
}

TEST_F(CSendersTest, MovesWaitForTheMessageStore) {
    hold("ann@x.com 1@x.eml");
    hold("bob@x.com 2@x.eml");
    CSenders& senders = open();
    senders.SetStatus("", "ann@x.com", SenderStatus::Approved, "");
    senders.SetStatus("", "bob@x.com", SenderStatus::Approved, "");
    senders.SetStatus("", "bob@x.com", SenderStatus::Blocked, "");
    EXPECT_TRUE(stored("WaitingAuth", "ann@x.com 1@x.eml"));
    EXPECT_EQ(senders.MessagesStored("ann@x.com"), 0u);
    EXPECT_NE(programLog().find("Error in CSenders::MessagesStored"), std::string::npos);
    senders.AttachMessageStore(store);
    EXPECT_TRUE(stored("InBox", "ann@x.com 1@x.eml"));
    EXPECT_TRUE(stored("Recycled", "bob@x.com 2@x.eml")) << "the last move asked for wins";
    EXPECT_EQ(senders.MessagesStored("ann@x.com"), 1u);
}

TEST_F(CSendersTest, UnsentRegRequestGoesToTheBareAddress) {
    CSenders& senders = open();
    EXPECT_TRUE(senders.UnsentRegRequestFile("Ann <ANN@x.com>", "/p/OutBox/1.emr"));
    EXPECT_FALSE(senders.UnsentRegRequestFile("", "/p/OutBox/2.emr"));
    EXPECT_EQ(CIniFile(sendersIni().string()).Value("ann@x.com", "UnsentRegRequest"), "/p/OutBox/1.emr");
    EXPECT_EQ(changes, 0);
}

TEST_F(CSendersTest, StatusOfReadsOnlyTheFourLevels) {
    CSenders& senders = open();
    // Written after the load (which would list statusless senders as Unknown): a
    // change of the file is seen at the next question.
    writeSenders("[a@x.com]\r\nAccessLevel=0\r\n[b@x.com]\r\nAccessLevel=3\r\n[c@x.com]\r\nAccessLevel=5\r\n"
                 "[d@x.com]\r\nAccessLevel=\r\n[e@x.com]\r\nAccessLevel=22\r\n");
    EXPECT_EQ(senders.StatusOf("A@X.COM"), SenderStatus::Blocked);
    EXPECT_EQ(senders.StatusOf("b@x.com"), SenderStatus::Approved);
    for (const char* a : {"c@x.com", "d@x.com", "e@x.com", "f@x.com", ""})
        EXPECT_EQ(senders.StatusOf(a), SenderStatus::NotListed) << a;
}

TEST_F(CSendersTest, BulkStatusChangeWritesTheFileOnce) {
    std::vector<SenderUpdate> updates;
    for (int i = 0; i < 1000; ++i) {
        const std::string a = "s" + std::to_string(i) + "@x.com";
        if (i % 100 == 0) hold(a + " " + std::to_string(i) + "@x.eml");
        updates.push_back({"", a, SenderStatus::Approved, "Imported", 0});
    }
    CSenders& senders = openAttached();
    senders.SetStatus("", "first@x.com", SenderStatus::Unknown, "");
    const auto before = stampOf(sendersIni());
    changes = 0;
    {
        CSenders::BulkUpdate bulk(senders);
        EXPECT_EQ(senders.SetStatusMany(updates), 1000u);
        senders.DeleteSender("first@x.com");
        EXPECT_EQ(stampOf(sendersIni()), before) << "nothing written inside the bulk update";
        EXPECT_EQ(senders.StatusOf("s999@x.com"), SenderStatus::Approved) << "yet every reader sees it";
        EXPECT_EQ(changes, 0);
        EXPECT_TRUE(bulk.Commit());
    }
    EXPECT_NE(stampOf(sendersIni()), before);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(senders.List(SenderStatus::Approved).Count(), 1000u);
    EXPECT_TRUE(stored("InBox", "s500@x.com 500@x.eml"));
    EXPECT_EQ(CIniFile(sendersIni().string()).AllSectionsArray().size(), 1001u);

    // Changing every sender of a list, walking a copy of its addresses.
    {
        CSenders::BulkUpdate bulk(senders);
        for (const std::string& a : senders.AddressesOf(SenderStatus::Approved))
            senders.SetStatus("", a, SenderStatus::Blocked, "");
    }
    EXPECT_EQ(senders.List(SenderStatus::Approved).Count(), 0u);
    EXPECT_EQ(senders.List(SenderStatus::Blocked).Count(), 1000u);
}

TEST_F(CSendersTest, AListenerMayReleaseTheSenderList) {
    CSenders& senders = openAttached();
    senders.Change.Subscribe([this] { senders_.reset(); });
    EXPECT_TRUE(senders.SetStatus("", "ann@x.com", SenderStatus::Approved, ""));
    EXPECT_EQ(senders_, nullptr);
    EXPECT_EQ(CIniFile(sendersIni().string()).Value("ann@x.com", "AccessLevel"), "3");
}

}  // namespace
