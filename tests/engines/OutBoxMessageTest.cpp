// The OutBox files: what AddNewMessage writes, their names, and parking.
#include "engines/OutBoxMessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/CIniFile.h"
#include "core/Dates.h"
#include "core/Log.h"
#include "core/Prompt.h"
#include "core/Scramble.h"
#include "engines/SMTPSpooler.h"
#include "platform/EventWait.h"
#include "core/TempFolder.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

class OutBoxTest : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        platform::InstallEventPump();
        Prompt::SetPrompt([this](const Prompt::Request& r) {
            prompts.push_back(r.text);
            return Prompt::DefaultAnswer(r);
        });
    }
    void TearDown() override {
        Prompt::SetPrompt(nullptr);
        TempFolderTest::TearDown();
    }
    static std::vector<std::string> namesIn(const fs::path& folder) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::string> prompts;
};

TEST_F(OutBoxTest, AddNewMessageWritesTheThreeKeysInOrderAndArmsTheTimer) {
    SMTPSpooler spooler;
    ASSERT_TRUE(spooler.AddNewMessage(MessageType::RegistrationRequest, " me@home.test ",
                                      "\"Bob\" <bob@far.test>", "Lunch [today]?"));
    const fs::path folder = dir() / "accounts" / "me@home.test" / "MailDir" / "OutBox";
    const fs::path file = folder / (MiscFuncs::DateStampNow() + ".eml");
    ASSERT_EQ(namesIn(folder), std::vector<std::string>{file.filename().string()});
    EXPECT_EQ(ReadFile(file), "[Message]\r\nSubject=" + MiscFuncs::ScrambleText("Lunch [today]?") +
                                  "\r\nMessageType=0\r\nRecipient=\"Bob\" <bob@far.test>\r\n");

    const CIniFile ini(file.string());
    const OutBox::Contents mail = OutBox::Read(ini);
    EXPECT_EQ(mail.subject, "Lunch [today]?");
    EXPECT_EQ(mail.type, MessageType::RegistrationRequest);
    EXPECT_EQ(mail.badRelayAttempts, 0);
    EXPECT_FALSE(ini.FindValue("Message", "BadRelayAttempts"));
    EXPECT_EQ(spooler.PollTimer().interval(), SMTPSpooler::kQueuedMs);
    EXPECT_TRUE(spooler.PollTimer().armed());
    EXPECT_TRUE(prompts.empty());
}

TEST_F(OutBoxTest, TwentyMailsInOneSecondGetTwentyNamesInQueueOrder) {
    SMTPSpooler spooler;
    for (int i = 1; i <= 20; ++i) {
        ASSERT_TRUE(spooler.AddNewMessage(MessageType::Confirmation, "me@home.test",
                                          "s" + std::to_string(i) + "@far.test", "Thank you for registering"));
    }
    const fs::path folder = OutBox::FolderOf("me@home.test");
    const std::vector<std::string> names = namesIn(folder);
    ASSERT_EQ(names.size(), 20u);
    const std::string stamp = MiscFuncs::DateStampNow();
    EXPECT_EQ(names.front(), stamp + ".eml");
    EXPECT_EQ(names[1], stamp + "_0002.eml");
    for (std::size_t i = 0; i < names.size(); ++i) {
        const OutBox::Contents mail = OutBox::Read(CIniFile((folder / names[i]).string()));
        EXPECT_EQ(mail.recipient, "s" + std::to_string(i + 1) + "@far.test") << names[i];
        EXPECT_EQ(mail.type, MessageType::Confirmation);
    }
}

TEST_F(OutBoxTest, ANameIsNeverTakenTwiceAcrossQueuedAndParkedFiles) {
    const fs::path folder = dir() / "box";
    WriteFile(folder / "37622D5.emr", "parked");
    const fs::path created = OutBox::CreateUnique(folder, "37622D5", "[Message]\r\n");
    EXPECT_EQ(created.filename(), "37622D5_0002.eml");
    EXPECT_EQ(ReadFile(folder / "37622D5.emr"), "parked");

    // Parking when the parked name is taken picks a free variant, never replacing.
    const fs::path queued = folder / "37622D6.eml";
    WriteFile(queued, "queued");
    WriteFile(folder / "37622D6.emr", "older");
    const fs::path parked = OutBox::Park(queued);
    EXPECT_EQ(parked.filename(), "37622D6_0002.emr");
    EXPECT_EQ(ReadFile(folder / "37622D6.emr"), "older");
    EXPECT_EQ(ReadFile(parked), "queued");
    EXPECT_FALSE(fs::exists(queued));
}

TEST_F(OutBoxTest, ParkingChangesOnlyTheFinalExtension) {
    struct Case {
        const char* queued;
        const char* parked;
    } cases[] = {
        {"/p/accounts/a.emr.eml/MailDir/OutBox/37622D5.eml", "/p/accounts/a.emr.eml/MailDir/OutBox/37622D5.emr"},
        {"/p/x.eml/37622D5.EML", "/p/x.eml/37622D5.emr"},
        {"/p/37622D5.eml.eml", "/p/37622D5.eml.emr"},
    };
    for (const Case& c : cases) EXPECT_EQ(OutBox::ParkedName(c.queued).string(), c.parked) << c.queued;

    const fs::path folder = dir() / "odd.eml";
    WriteFile(folder / "1.eml", "x");
    EXPECT_EQ(OutBox::Park(folder / "1.eml"), folder / "1.emr");
    EXPECT_TRUE(fs::exists(folder / "1.emr"));
}

TEST_F(OutBoxTest, ReadTakesOnlyAStoredOneAsConfirmationAndCountsBlankAttemptsAsNone) {
    struct Case {
        const char* type;  // nullptr: key missing
        const char* attempts;
        MessageType kind;
        int count;
    } cases[] = {
        {nullptr, nullptr, MessageType::RegistrationRequest, 0},
        {" 1 ", "", MessageType::Confirmation, 0},
        {"2", "3", MessageType::RegistrationRequest, 3},
        {"0", "many", MessageType::RegistrationRequest, 0},
    };
    int n = 0;
    for (const Case& c : cases) {
        CIniFile ini((dir() / (std::to_string(++n) + ".eml")).string());
        ini.Value("Message", "Recipient", "bob@far.test");
        if (c.type) ini.Value("Message", "MessageType", c.type);
        if (c.attempts) ini.Value("Message", "BadRelayAttempts", c.attempts);
        const OutBox::Contents mail = OutBox::Read(ini);
        EXPECT_EQ(mail.type, c.kind) << n;
        EXPECT_EQ(mail.badRelayAttempts, c.count) << n;
    }
}

TEST_F(OutBoxTest, LineBreaksAndNulFromAStrangerStayInsideTheirValue) {
    static const char from[] = "eve@far.test\r\nBcc: victim@near.test\0X";
    const std::string text = OutBox::FileText(MessageType::RegistrationRequest, std::string(from, sizeof from - 1),
                                              "Hi\nMessageType=1");
    WriteFile(dir() / "m.eml", text);
    const CIniFile ini((dir() / "m.eml").string());
    EXPECT_EQ(ini.AllSectionKeysArray("Message"),
              (std::vector<std::string>{"Subject", "MessageType", "Recipient"}));
    const OutBox::Contents mail = OutBox::Read(ini);
    EXPECT_EQ(mail.recipient, "eve@far.test  Bcc: victim@near.test X");
    EXPECT_EQ(mail.type, MessageType::RegistrationRequest);
    EXPECT_EQ(mail.subject, "Hi\nMessageType=1");  // scrambled, so whole and harmless
}

TEST_F(OutBoxTest, AMailThatCannotBeQueuedIsReportedAndLeavesTheTimerAlone) {
    MiscFuncs::SetLogLevel(0);  // the default: the failure is logged all the same
    SMTPSpooler spooler;
    const fs::path folder = OutBox::FolderOf("me@home.test");
    ASSERT_TRUE(makeReadOnly(folder)) << "no read-only folders here";
    EXPECT_FALSE(spooler.AddNewMessage(MessageType::RegistrationRequest, "me@home.test", "bob@far.test", "Hi"));
    EXPECT_FALSE(spooler.AddNewMessage(MessageType::RegistrationRequest, "../escape", "bob@far.test", "Hi"));
    ASSERT_EQ(prompts.size(), 2u);
    for (const std::string& text : prompts) EXPECT_EQ(text.rfind("Error in SMTPSpoller::AddNewMessage \r\n", 0), 0u);
    EXPECT_TRUE(logHas("# Error in SMTPSpoller::AddNewMessage the mail of me@home.test to bob@far.test could not be "
                       "queued: "))
        << programLog();
    EXPECT_TRUE(namesIn(folder).empty());
    EXPECT_FALSE(fs::exists(dir() / "escape"));
    EXPECT_EQ(spooler.PollTimer().interval(), SMTPSpooler::kFirstRunMs);
}

}  // namespace
