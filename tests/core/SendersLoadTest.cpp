#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SendersFixture.h"
#include "core/CIniFile.h"
#include "core/Dates.h"
#include "core/IniStore.h"

namespace {

namespace fs = std::filesystem;
using testing_support::kAccount;
using testing_support::ReadFile;
using testing_support::WriteFile;

class SendersLoadTest : public testing_support::SendersTest {
protected:
    std::string value(const std::string& section, const std::string& key) const {
        return CIniFile(sendersIni().string()).Value(section, key);
    }

    // A parked request in the account's OutBox; its path as the queue records it.
    fs::path park(const std::string& account = kAccount, const std::string& name = "46000D5.emr") {
        const fs::path p = folder(account, "OutBox") / name;
        WriteFile(p, "[Message]\r\nSubject=x\r\nMessageType=0\r\nRecipient=ann@x.com\r\nBadRelayAttempts=5\r\n");
        return p;
    }
    // Answers every question with answer and records the questions.
    void answer(Prompt::Answer a) {
        Prompt::SetPrompt([this, a](const Prompt::Request& r) {
            questions.push_back(r);
            return a;
        });
    }
    std::vector<Prompt::Request> questions;
};

TEST_F(SendersLoadTest, ListsEverySenderWithItsStoredFields) {
    writeSenders("; written by hand\r\n[ann@x.com]\r\nName=Ann\r\nAccessLevel=3\r\nModificationDate=46000.5\r\n"
                 "AuthReason=Approved by user\r\n\r\n[Bob@X.com]\r\naccesslevel = 0\r\nMODIFICATIONDATE=46000,5\r\n"
                 "[cy@x.com]\r\nAccessLevel=1\r\n[dee@x.com]\r\nAccessLevel=2\r\nModificationDate=46360D25\r\n");
    CSenders& senders = open();
    const std::string minutes = std::to_string(MiscFuncs::DateToMinutes(46000.5));
    const SenderEntry* ann = senders.List(SenderStatus::Approved).Find("ann@x.com");
    ASSERT_NE(ann, nullptr);
    EXPECT_EQ(ann->Text, "ann@x.com (Ann)\tApproved by user\t12/09/25 12:00\tann@x.com\t" + minutes);
    const SenderEntry* bob = senders.List(SenderStatus::Blocked).Find("bob@x.com");
    ASSERT_NE(bob, nullptr) << "a decimal comma reads as well as a point";
    EXPECT_EQ(bob->Text, "bob@x.com\t\t12/09/25 12:00\tbob@x.com\t" + minutes);
    const SenderEntry* cy = senders.List(SenderStatus::Unknown).Find("cy@x.com");
    ASSERT_NE(cy, nullptr);
    EXPECT_EQ(cy->DateText(), "01/01/03 00:00") << "no ModificationDate";
    EXPECT_EQ(cy->Minutes, MiscFuncs::DateToMinutes(37622));
    ASSERT_NE(senders.List(SenderStatus::WaitingAuth).Find("dee@x.com"), nullptr);
    EXPECT_EQ(senders.List(SenderStatus::WaitingAuth).Find("dee@x.com")->DateText(), "12/04/26 06:00");
    EXPECT_TRUE(logHas("4 senders have been loaded successfuly"));
}

TEST_F(SendersLoadTest, DamagedSendersAreSkippedOneByOne) {
    writeSenders("[ann@x.com]\r\nAccessLevel=3\r\n"
                 "[bad@x.com]\r\nAccessLevel=3\r\nModificationDate=yesterday\r\n"
                 "[not an address]\r\nAccessLevel=3\r\n"
                 "[ann@x.com]\r\nAccessLevel=0\r\n"  // a second section: the first one's keys count
                 "[cy@x.com]\r\nAccessLevel=3\r\nModificationDate=46000.5\r\n");
    CSenders& senders = open();
    EXPECT_EQ(keysOf(senders.List(SenderStatus::Approved)), (std::vector<std::string>{"ann@x.com", "cy@x.com"}));
    EXPECT_TRUE(senders.List(SenderStatus::Blocked).Empty());
    EXPECT_EQ(senders.StatusOf("ann@x.com"), SenderStatus::Approved) << "the lists agree with the file";
    EXPECT_TRUE(logHas("Error in CSenders::LoadAllSenders Type mismatch: ModificationDate \"yesterday\" of bad@x.com"));
    EXPECT_TRUE(logHas("Somehow invalid email address appeared: not an address"));
    EXPECT_TRUE(logHas("2 senders have been loaded successfuly"));
}

TEST_F(SendersLoadTest, ASenderWithoutStatusBecomesUnknown) {
    writeSenders("[ann@x.com]\r\nAccessLevel=5\r\nName=Ann\r\nModificationDate=40000\r\n");
    CSenders& senders = open();
    EXPECT_TRUE(logHas("Sender ann@x.comsome how does not have any status"));
    const SenderEntry* e = senders.List(SenderStatus::Unknown).Find("ann@x.com");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->DateText(), "12/08/26 07:52") << "listed once, as changed now";
    EXPECT_EQ(value("ann@x.com", "AccessLevel"), "1");
    EXPECT_EQ(value("ann@x.com", "Name"), "Ann");
    EXPECT_EQ(senders.List(SenderStatus::Unknown).Count(), 1u);
}

TEST_F(SendersLoadTest, ExpiredUnknownSendersGoAndTheirMailIsRecycledOnceTheStoreIsThere) {
    setOption("AutoDeleteUnregistered", "1");
    setOption("AutoDeleteUnregisteredInterval", "10");
    // Now is 46364.33.
    writeSenders("[old@x.com]\r\nAccessLevel=1\r\nModificationDate=46354.3\r\n"
                 "[new@x.com]\r\nAccessLevel=1\r\nModificationDate=46355.5\r\n"
                 "[blocked@x.com]\r\nAccessLevel=0\r\nModificationDate=40000\r\n"
                 "[waiting@x.com]\r\nAccessLevel=2\r\nModificationDate=40000\r\n"
                 "[approved@x.com]\r\nAccessLevel=3\r\n");
    hold("old@x.com 1@x.eml");
    CSenders& senders = open();
    EXPECT_FALSE(senders.List(SenderStatus::Unknown).Contains("old@x.com"));
    EXPECT_TRUE(senders.List(SenderStatus::Unknown).Contains("new@x.com"));
    for (const char* a : {"blocked@x.com", "waiting@x.com", "approved@x.com"})
        EXPECT_NE(senders.StatusOf(a), SenderStatus::NotListed) << a;
    EXPECT_EQ(senders.List(SenderStatus::Blocked).Count() + senders.List(SenderStatus::WaitingAuth).Count() +
                  senders.List(SenderStatus::Approved).Count(),
              3u);
    EXPECT_TRUE(stored("WaitingAuth", "old@x.com 1@x.eml")) << "no store yet";
    senders.AttachMessageStore(store);
    EXPECT_TRUE(stored("Recycled", "old@x.com 1@x.eml"));
    EXPECT_EQ(value("old@x.com", "AccessLevel"), "1") << "senders.ini keeps it";
}

TEST_F(SendersLoadTest, AnUnusableIntervalMeansFourDays) {
    setOption("AutoDeleteUnregistered", "1");
    writeSenders("[five@x.com]\r\nAccessLevel=1\r\nModificationDate=46359.3\r\n"
                 "[three@x.com]\r\nAccessLevel=1\r\nModificationDate=46361.3\r\n");
    for (const char* interval : {"", "abc", "0", "-3", "99999999"}) {
        setOption("AutoDeleteUnregisteredInterval", interval);
        CSenders& senders = open();
        EXPECT_EQ(keysOf(senders.List(SenderStatus::Unknown)), std::vector<std::string>{"three@x.com"})
            << "interval \"" << interval << "\"";
    }
    setOption("AutoDeleteUnregistered", "0");
    EXPECT_EQ(open().List(SenderStatus::Unknown).Count(), 2u) << "auto-delete off";
}

TEST_F(SendersLoadTest, RetryPutsTheParkedRequestBackInTheQueue) {
    // The account's address holds ".emr": only the file's extension changes.
    const std::string account = "me@mail.emr.org";
    const fs::path parked = park(account);
    WriteFile(folder(account, "OutBox") / "46000D5.eml", "a mail queued meanwhile");
    writeSenders("[ann@x.com]\r\nAccessLevel=1\r\nUnsentRegRequest=" + parked.string() + "\r\n");
    answer(Prompt::Answer::Retry);
    CSenders& senders = open();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].text,
              "Glimmerpost was not able to send registration request to ann@x.com\r\n"
              "Server refused this email address.\r\n Press \"Retry\" to retry sending registration request.\r\n"
              "Press \"Cancel\" to approve/reject sender manually.");
    EXPECT_EQ(questions[0].buttons, Prompt::Buttons::RetryCancel);
    EXPECT_EQ(questions[0].kind, Prompt::Kind::Question);
    const fs::path back = folder(account, "OutBox") / "46000D5 ~2.eml";
    EXPECT_FALSE(fs::exists(parked));
    ASSERT_TRUE(fs::exists(back));
    EXPECT_EQ(ReadFile(folder(account, "OutBox") / "46000D5.eml"), "a mail queued meanwhile");
    EXPECT_EQ(CIniFile(back.string()).Value("Message", "BadRelayAttempts"), "");
    EXPECT_EQ(CIniFile(back.string()).Value("Message", "Recipient"), "ann@x.com");
    EXPECT_EQ(value("ann@x.com", "UnsentRegRequest"), "");
    EXPECT_TRUE(senders.List(SenderStatus::Unknown).Contains("ann@x.com"));
}

TEST_F(SendersLoadTest, CancelBlocksTheSenderAndDeletesTheRequest) {
    const fs::path parked = park();
    hold("ann@x.com 1@x.eml");
    // Written as the folder, a backslash and the name.
    const std::string recorded = parked.parent_path().string() + "\\" + parked.filename().string();
    writeSenders("[ann@x.com]\r\nAccessLevel=1\r\nUnsentRegRequest=" + recorded +
                 "\r\n[bob@x.com]\r\nAccessLevel=3\r\n");
    answer(Prompt::Answer::Cancel);
    const auto before = stampOf(sendersIni());
    CSenders& senders = open();
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_FALSE(fs::exists(parked));
    EXPECT_TRUE(senders.List(SenderStatus::Blocked).Contains("ann@x.com"));
    EXPECT_FALSE(senders.List(SenderStatus::Unknown).Contains("ann@x.com")) << "listed as blocked only";
    EXPECT_EQ(value("ann@x.com", "AccessLevel"), "0");
    EXPECT_EQ(value("ann@x.com", "UnsentRegRequest"), "");
    EXPECT_NE(stampOf(sendersIni()), before);
    senders.AttachMessageStore(store);
    EXPECT_TRUE(stored("Recycled", "ann@x.com 1@x.eml"));
}

TEST_F(SendersLoadTest, APathThatIsNoParkedRequestIsNeitherAskedAboutNorTouched) {
    const fs::path precious = dir() / "precious.emr";
    WriteFile(precious, "keep me");
    const fs::path outside = park(kAccount, "46000D6.emr");
    const fs::path link = folder(kAccount, "OutBox") / "46000D7.emr";
    fs::create_symlink(precious, link);
    writeSenders("[a@x.com]\r\nAccessLevel=1\r\nUnsentRegRequest=" + precious.string() +
                 "\r\n[b@x.com]\r\nAccessLevel=1\r\nUnsentRegRequest=" + folder(kAccount, "OutBox").string() +
                 "/../OutBox/missing.emr\r\n[c@x.com]\r\nAccessLevel=1\r\nUnsentRegRequest=" + link.string() +
                 "\r\n[d@x.com]\r\nAccessLevel=1\r\nUnsentRegRequest=" + outside.string() + ".txt\r\n");
    answer(Prompt::Answer::Cancel);
    CSenders& senders = open();
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(ReadFile(precious), "keep me");
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_EQ(senders.List(SenderStatus::Unknown).Count(), 4u);
    for (const char* a : {"a@x.com", "b@x.com", "c@x.com", "d@x.com"}) EXPECT_EQ(value(a, "UnsentRegRequest"), "") << a;
    EXPECT_TRUE(logHas("no parked registration request at "));
}

TEST_F(SendersLoadTest, AMissingFileLoadsNothingAndAsksNothing) {
    answer(Prompt::Answer::OK);
    EXPECT_TRUE(open().List(SenderStatus::Unknown).Empty());
    EXPECT_FALSE(fs::exists(sendersIni()));
    EXPECT_TRUE(questions.empty());
}

// A file that cannot be read at start-up is not taken for an empty list: the user is
// told, every change is refused as a failure, and the file is never written over.
TEST_F(SendersLoadTest, AnUnreadableFileIsToldAndNeverWrittenOver) {
    struct Case {
        const char* name;
        const char* why;  // in the notice
    };
    for (const Case& c : {Case{"too large", "larger than 64 MiB"}, Case{"a folder", "sender list"}}) {
        SCOPED_TRACE(c.name);
        senders_.reset();
        fs::remove_all(sendersIni());
        questions.clear();
        if (std::string(c.name) == "a folder") {
            fs::create_directories(sendersIni());
        } else {
            writeSenders("[ann@x.com]\r\nAccessLevel=3\r\n");
            fs::resize_file(sendersIni(), IniStore::kMaxFileSize + 1);
        }
        answer(Prompt::Answer::OK);
        CSenders& senders = openAttached();
        ASSERT_EQ(questions.size(), 1u);
        EXPECT_NE(questions[0].text.find("could not read the sender list " + sendersIni().string()), std::string::npos)
            << questions[0].text;
        EXPECT_NE(questions[0].text.find(c.why), std::string::npos) << questions[0].text;
        EXPECT_EQ(questions[0].kind, Prompt::Kind::Critical);
        for (const SenderList& list : senders.Lists()) EXPECT_TRUE(list.Empty());
        EXPECT_TRUE(logHas("Error in CSenders::LoadAllSenders"));

        changes = 0;
        EXPECT_EQ(senders.ChangeStatus("", "bob@x.com", SenderStatus::Approved, "Manualy registered by user"),
                  StatusChange::Failed);
        std::size_t approved = 0;
        {
            CSenders::BulkUpdate bulk(senders);
            approved = senders.SetStatusMany({{"", "cy@x.com", SenderStatus::Approved, "x", 0},
                                              {"", "di@x.com", SenderStatus::Blocked, "y", 0}});
            EXPECT_FALSE(bulk.Commit()) << "refused edits are no success";
        }
        EXPECT_EQ(approved, 0u);
        EXPECT_EQ(changes, 0);
        for (const SenderList& list : senders.Lists()) EXPECT_TRUE(list.Empty());
        if (std::string(c.name) == "a folder") EXPECT_TRUE(fs::is_directory(sendersIni()));
        else EXPECT_EQ(fs::file_size(sendersIni()), IniStore::kMaxFileSize + 1);
    }
}

}  // namespace
