// The header cache: loading the index from msgcache.txt, rebuilding it from the
// folders, purging old Recycled messages and writing the caches back.
#include <algorithm>

#include "MessageStoreFixture.h"
#include "core/Dates.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

const std::string kMe = "me@home.org";
const std::string kWork = "work@job.com";

class MessageCacheTest : public testing_support::MessageStoreTest {
protected:
    void SetUp() override {
        MessageStoreTest::SetUp();
        addAccounts({kMe, kWork});
    }
    static std::string line(const std::string& account, const std::string& leaf, const std::string& file,
                            std::int32_t minutes, const std::string& subject = "subject") {
        return "Ann <ann@x.com>\t" + subject + "\t12/10/02 13:45\t" + account + "\\MailDir\\" + leaf + "\\" + file +
               "\t" + std::to_string(minutes) + "\r\n";
    }
    static std::int32_t daysAgo(double days) { return MiscFuncs::DateToMinutes(MiscFuncs::NowDate() - days); }
};

TEST_F(MessageCacheTest, RoundTripKeepsEntriesAndOrder) {
    putMessage(kMe, "InBox", "ann@x.com 1.eml", "Ann <ann@x.com>", "one");
    putMessage(kMe, "WaitingAuth", "bob@x.com 2.eml", "bob@x.com", "two");
    putMessage(kWork, "InBox", "cy@x.com 3.eml", "cy@x.com", "three");
    std::vector<std::string> before;
    {
        CMessages first;  // no caches yet: built from the folders
        ASSERT_EQ(first.Count(), 3u);
        putMessage(kMe, "InBox", "dan@x.com 4.eml", "dan@x.com", "four");
        first.AddMessage(kMe, "dan@x.com 4.eml", "MailDir\\InBox");
        first.MoveMessage(kMe + "\\MailDir\\WaitingAuth\\bob@x.com 2.eml", "MailDir\\InBox");
        before = keysOf(first);
    }
    // The caches keep each account's order; accounts follow accounts.ini.
    std::stable_partition(before.begin(), before.end(), [](const std::string& k) { return k.rfind(kMe, 0) == 0; });
    EXPECT_NE(programLog().find("Glimmerpost is creating cache for message headers for account " + kMe),
              std::string::npos);
    // Loading from the cache must not open the messages: change one on disk.
    putMessage(kMe, "InBox", "ann@x.com 1.eml", "Ann <ann@x.com>", "changed on disk");
    CMessages second;
    EXPECT_EQ(keysOf(second), before);
    EXPECT_EQ(second.Find(kMe + "\\MailDir\\InBox\\ann@x.com 1.eml")->Subject(), "one");
    EXPECT_EQ(second.SenderMessageCount("bob@x.com", kMe, "MailDir\\InBox"), 1u);
    EXPECT_NE(programLog().find("Glimmerpost is loading cached message headers for " + kWork), std::string::npos);
    EXPECT_NE(programLog().find("Glimmerpost is saving cached message headers"), std::string::npos);
}

TEST_F(MessageCacheTest, RecycledMessagesArePurgedAfterTheirDays) {
    const std::string recycled = kMe + "\\MailDir\\Recycled\\";
    for (const char* f : {"a@x.com old.eml", "a@x.com young.eml", "a@x.com zero.eml", "a@x.com neg.eml",
                          "a@x.com inbox.eml"})
        putMessage(kMe, std::string(f) == "a@x.com inbox.eml" ? "InBox" : "Recycled", f, "a@x.com", "s");
    WriteFile(cacheFile(kMe), line(kMe, "Recycled", "a@x.com old.eml", daysAgo(101)) +
                                  line(kMe, "Recycled", "a@x.com young.eml", daysAgo(99)) +
                                  line(kMe, "Recycled", "a@x.com zero.eml", 0) +
                                  line(kMe, "Recycled", "a@x.com neg.eml", -5000000) +
                                  line(kMe, "InBox", "a@x.com inbox.eml", daysAgo(500)));
    CMessages m;
    EXPECT_EQ(m.Find(recycled + "a@x.com old.eml"), nullptr);
    EXPECT_FALSE(fs::exists(folder(kMe, "Recycled") / "a@x.com old.eml"));
    for (const char* kept : {"a@x.com young.eml", "a@x.com zero.eml", "a@x.com neg.eml"}) {
        EXPECT_NE(m.Find(recycled + kept), nullptr) << kept;
        EXPECT_TRUE(fs::exists(folder(kMe, "Recycled") / kept)) << kept;
    }
    EXPECT_NE(m.Find(kMe + "\\MailDir\\InBox\\a@x.com inbox.eml"), nullptr) << "only Recycled is purged";
}

TEST_F(MessageCacheTest, RetentionComesFromTheOptions) {
    setOption("TTLForDeletedMessages", "10");
    putMessage(kMe, "Recycled", "a@x.com 1.eml", "a@x.com", "s");
    WriteFile(cacheFile(kMe), line(kMe, "Recycled", "a@x.com 1.eml", daysAgo(11)));
    CMessages m;
    EXPECT_EQ(m.Count(), 0u);
    EXPECT_FALSE(fs::exists(folder(kMe, "Recycled") / "a@x.com 1.eml"));
}

TEST_F(MessageCacheTest, NonNumericRetentionRescansAndPurgesNothing) {
    setOption("TTLForDeletedMessages", "ten");
    putMessage(kMe, "Recycled", "a@x.com 1.eml", "a@x.com", "s");
    WriteFile(cacheFile(kMe), line(kMe, "Recycled", "a@x.com 1.eml", daysAgo(400)));
    CMessages m;
    EXPECT_NE(m.Find(kMe + "\\MailDir\\Recycled\\a@x.com 1.eml"), nullptr);
    EXPECT_TRUE(fs::exists(folder(kMe, "Recycled") / "a@x.com 1.eml"));
    EXPECT_NE(programLog().find(";Debug line #3"), std::string::npos);
}

TEST_F(MessageCacheTest, MarkerFileForcesARescan) {
    putMessage(kMe, "InBox", "a@x.com 1.eml", "a@x.com", "on disk");
    WriteFile(cacheFile(kMe), line(kMe, "InBox", "ghost@x.com 9.eml", daysAgo(1)));
    markRunning();
    {
        CMessages m;
        EXPECT_EQ(keysOf(m), (std::vector<std::string>{kMe + "\\MailDir\\InBox\\a@x.com 1.eml"}));
    }
    // The rescan rewrote the cache right away.
    EXPECT_EQ(ReadFile(cacheFile(kMe)).find("ghost@x.com"), std::string::npos);
    EXPECT_NE(ReadFile(cacheFile(kMe)).find("on disk"), std::string::npos);
}

TEST_F(MessageCacheTest, NoGhostsAfterRemovingEverything) {
    putMessage(kMe, "InBox", "a@x.com 1.eml", "a@x.com", "s");
    putMessage(kWork, "InBox", "b@x.com 2.eml", "b@x.com", "s");
    {
        CMessages m;
        ASSERT_EQ(m.Count(), 2u);
    }
    {
        CMessages m;
        ASSERT_EQ(m.Count(), 2u);
        EXPECT_TRUE(m.RemoveMessage(kMe + "\\MailDir\\InBox\\a@x.com 1.eml"));
        EXPECT_TRUE(m.RemoveMessage(kWork + "\\MailDir\\InBox\\b@x.com 2.eml"));
    }
    EXPECT_EQ(ReadFile(cacheFile(kMe)), "");
    CMessages after;
    EXPECT_EQ(after.Count(), 0u);
}

TEST_F(MessageCacheTest, ResetCollectionDoesNotHideTheStoreAtTheNextStart) {
    putMessage(kMe, "InBox", "a@x.com 1.eml", "a@x.com", "s");
    putMessage(kWork, "InBox", "b@x.com 2.eml", "b@x.com", "s");
    {
        CMessages m;
        m.ResetCollection();
        EXPECT_EQ(m.Count(), 0u);
        m.LoadMessages(kWork);
    }
    EXPECT_FALSE(fs::exists(cacheFile(kMe)));
    EXPECT_NE(ReadFile(cacheFile(kWork)).find("b@x.com 2.eml"), std::string::npos);
    CMessages after;
    EXPECT_EQ(after.Count(), 2u);
}

TEST_F(MessageCacheTest, DamagedCacheRebuildsThatAccountOnly) {
    putMessage(kMe, "InBox", "a@x.com 1.eml", "a@x.com", "s");
    putMessage(kMe, "InBox", "a@x.com 2.eml", "a@x.com", "s");
    putMessage(kWork, "InBox", "b@x.com 3.eml", "b@x.com", "from disk");
    WriteFile(cacheFile(kWork), line(kWork, "InBox", "b@x.com 3.eml", 100, "from cache"));
    const std::string good = line(kMe, "InBox", "a@x.com 1.eml", 100);
    const std::string damaged[] = {
        line(kMe, "InBox", "a@x.com 2.eml", 100).substr(0, 40),                         // cut short
        "no tabs at all\r\n",                                                             // no fields
        "x\ty\tz\ta@x.com 2.eml\t100\r\n",                                              // key without account
        line(kWork, "InBox", "b@x.com 3.eml", 100),                                     // another account's key
        line(kMe, "InBox", "..\\..\\..\\glimmerpost.ini", 100),                          // escapes the folders
        line(kMe, "OutBox", "a@x.com 2.eml", 100),                                      // not an indexed folder
        line(kMe, "InBox", "a@x.com 2.eml", 100).replace(3, 0, "\t"),                    // six fields
        "a\tb\tc\t" + kMe + "\\MailDir\\InBox\\a@x.com 2.eml\tsoon\r\n",                // time not a number
        "a\tb\tc\t" + kMe + "\\MailDir\\InBox\\a@x.com 2.eml\t99999999999\r\n",         // time out of range
        line(kMe, "InBox", "A@X.COM 1.eml", 100),                                       // the key twice
        line(kMe, "InBox", "a@x.com 2.eml", 100, std::string(20000, 's')),               // over-long line
        line(kMe, "InBox", "a@x.com 2.eml", 100, "lone\nlf"),                           // a line break inside
        "\r\n",                                                                           // an empty line
        line(kMe, "Recycled", "a@x.com 9.eml", daysAgo(200)) + line(kMe, "Recycled", "a@x.com 9.eml", 5),
    };
    for (const std::string& bad : damaged) {
        WriteFile(cacheFile(kMe), good + bad);
        fs::remove(dir() / "glplog.txt");
        {
            CMessages m;
            EXPECT_EQ(keysOf(m), (std::vector<std::string>{kMe + "\\MailDir\\InBox\\a@x.com 1.eml",
                                                           kMe + "\\MailDir\\InBox\\a@x.com 2.eml",
                                                           kWork + "\\MailDir\\InBox\\b@x.com 3.eml"}))
                << bad;
            EXPECT_EQ(m.Find(kWork + "\\MailDir\\InBox\\b@x.com 3.eml")->Subject(), "from cache") << bad;
        }
        const std::string log = programLog();
        EXPECT_NE(log.find("Error in CMessages::LoadCached "), std::string::npos) << bad;
        EXPECT_NE(log.find(";Debug line #"), std::string::npos) << bad;
        EXPECT_NE(log.find("Glimmerpost is creating cache for message headers for account " + kMe), std::string::npos);
    }
    EXPECT_TRUE(fs::exists(dir() / "glimmerpost.ini")) << "a hostile key deleted nothing";
}

TEST_F(MessageCacheTest, UnlistableFolderDropsTheCacheInsteadOfWritingItShort) {
    putMessage(kMe, "WaitingAuth", "a@x.com 1.eml", "a@x.com", "s");
    WriteFile(folder(kMe, "InBox"), "a file where the folder should be");
    WriteFile(cacheFile(kMe), line(kMe, "InBox", "a@x.com 2.eml", 100));
    markRunning();
    {
        CMessages m;
        EXPECT_EQ(m.Count(), 1u);
    }
    EXPECT_NE(programLog().find("Error in Messages::LoadMessages"), std::string::npos);
    EXPECT_FALSE(fs::exists(cacheFile(kMe))) << "the next start scans the account again";
}

TEST_F(MessageCacheTest, CacheFilesAreWrittenForEveryAccountWithAFolder) {
    putMessage(kMe, "InBox", "a@x.com 1.eml", "a@x.com", "s");
    { CMessages m; }
    const std::string text = ReadFile(cacheFile(kMe));
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\t'), 4);
    EXPECT_FALSE(fs::exists(cacheFile(kWork))) << "an account without folders gets no cache";
}

}  // namespace
