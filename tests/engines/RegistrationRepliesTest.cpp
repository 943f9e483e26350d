// Reading registration replies and bounces, and the reply files left for the pop-up.
#include "protocol/RegistrationReplies.h"

#include <gtest/gtest.h>

#include <set>

#include "CollectorFixture.h"
#include "core/Dates.h"

using namespace testing_support;
using namespace RegistrationReplies;

TEST(RegistrationReplyBodyTest, KeysAndValuesAsThePageWritesThem) {
    const RegistrationReply r = ParseReplyBody(
        "AuthRequestName: \"Bob Smith\"\r\n"
        "\r\n"
        "   \r\n"
        "a line without a key\r\n"
        "authrequestreason: lower-case keys are other keys\r\n"
        "AuthRequestReason: first\r\n"
        "AuthRequestReason: we met at the \"fair\"\r\n"
        "AuthRequestCode: 12345\n"
        "..AuthRequestFrom is dot-stuffed: ignored\r\n"
        "AuthRequestFrom: Bob <bob@there.test>\r\n"
        "AuthRequestTime:\r\n"
        "Other: x\r\n");
    EXPECT_EQ(r.name, "Bob Smith");
    EXPECT_EQ(r.reason, "we met at the fair");
    EXPECT_EQ(r.code, "12345");
    EXPECT_EQ(r.from, "Bob <bob@there.test>");
    EXPECT_EQ(r.time, "");
}

TEST(RegistrationReplyBodyTest, TheValueStartsTwoCharactersAfterTheColon) {
    EXPECT_EQ(ParseReplyBody("AuthRequestCode:12\r\n").code, "2");
    EXPECT_EQ(ParseReplyBody("AuthRequestCode: 12").code, "12");
    EXPECT_EQ(ParseReplyBody(".AuthRequestCode: 7\r\n").code, "") << "an un-stuffed \".\" stays part of the key";
    EXPECT_EQ(ParseReplyBody("..AuthRequestCode: 7\r\n").code, "") << "\"..\" un-stuffs to \".AuthRequestCode\"";
}

TEST(RegistrationReplyBodyTest, TheRecipientOfABouncedRequest) {
    EXPECT_EQ(BouncedRecipient("Returned:\r\nX-GLP-RCPT:  stranger@there.test \r\nX-GLP-MESSAGE: REGREQUEST\r\n"),
              "stranger@there.test");
    EXPECT_EQ(BouncedRecipient("X-GLP-RCPT: a@b.test"), "a@b.test");
    EXPECT_EQ(BouncedRecipient("X-GLP-MESSAGE: REGREQUEST\r\n"), std::nullopt);
    EXPECT_EQ(BouncedRecipient("X-GLP-RCPT:   \r\nX-GLP-MESSAGE: REGREQUEST\r\n"), std::nullopt);
}

class RequestFileTest : public CollectorTest {
protected:
    void SetUp() override {
        CollectorTest::SetUp();
        addAccount(kMe);
        addAccount("second@home.test");
    }
    static RegistrationReply reply(const std::string& from, const std::string& name = "Bob [the] builder") {
        return {name, "we met", "123", from, "12/08/2026 07:52"};
    }
};

TEST_F(RequestFileTest, RepliesInOneSecondGetNamesOfTheirOwn) {
    std::set<std::string> names;
    for (int i = 0; i < 150; ++i) {
        std::string error;
        const std::filesystem::path file = WriteRequestFile(" " + kMe + " ", reply("bob@there.test"), &error);
        ASSERT_FALSE(file.empty()) << error;
        EXPECT_EQ(file.parent_path(), folder(kMe, "InBox"));
        const std::string name = file.filename().string();
        EXPECT_EQ(name.rfind(MiscFuncs::DateStampNow(), 0), 0u) << name;
        EXPECT_TRUE(name.ends_with(".rrm")) << name;
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 150u) << "more replies than random numbers still get names of their own";
}

TEST_F(RequestFileTest, TheFileHoldsTheFourKeysInTheSettingsFormat) {
    const std::filesystem::path file = WriteRequestFile(kMe, reply("Bob <bob@there.test>"));
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(ReadFile(file),
              "[RegRequest]\r\nAuthRequestName=Bob {the} builder\r\nAuthRequestReason=we met\r\n"
              "AuthRequestFrom=Bob <bob@there.test>\r\nAuthRequestTime=12/08/2026 07:52\r\n");
    CIniFile ini(file.string());
    EXPECT_EQ(ini.Value("RegRequest", "AuthRequestFrom"), "Bob <bob@there.test>");
}

TEST_F(RequestFileTest, AFolderThatRefusesTheFileIsReported) {
    ASSERT_TRUE(makeReadOnly(folder(kMe, "InBox"))) << "no read-only folders here";
    std::string error;
    EXPECT_TRUE(WriteRequestFile(kMe, reply("bob@there.test"), &error).empty());
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(WriteRequestFile("../escape", reply("bob@there.test"), &error).empty());
}

TEST_F(RequestFileTest, ASenderWaitingForApprovalHidesNoLaterReply) {
    MiscFuncs::SetClock([] { return MiscFuncs::LocalTime{2026, 12, 8, 7, 0, 0}; });
    ASSERT_FALSE(WriteRequestFile(kMe, reply("Waiting <waiting@there.test>")).empty());
    MiscFuncs::SetClock([] { return MiscFuncs::LocalTime{2026, 12, 8, 8, 0, 0}; });
    ASSERT_FALSE(WriteRequestFile(kMe, reply("fresh@there.test", "Fresh")).empty());
    ASSERT_FALSE(WriteRequestFile("second@home.test", reply("other@there.test", "Other")).empty());
    const std::vector<std::string> accounts{kMe, "second@home.test"};
    const auto found = FindPendingRequest(accounts, [](const std::string& a) { return a == "waiting@there.test"; });
    ASSERT_TRUE(found);
    EXPECT_EQ(found->account, kMe);
    EXPECT_EQ(found->from, "fresh@there.test");
    EXPECT_EQ(found->name, "Fresh");
    EXPECT_EQ(found->reason, "we met");
    const auto none = FindPendingRequest(accounts, [](const std::string&) { return true; });
    EXPECT_FALSE(none);
}

TEST_F(RequestFileTest, TheAccountThatHoldsASendersMail) {
    openLists();
    WriteFile(folder("second@home.test", "WaitingAuth") / "bob@there.test 1.eml",
              "From: bob@there.test\r\nSubject: s\r\n\r\nb\r\n");
    ASSERT_TRUE(store->AddMessage("second@home.test", "bob@there.test 1.eml", "MailDir\\WaitingAuth"));
    EXPECT_EQ(AccountHoldingSender(*store, "Bob <BOB@there.test>"), "second@home.test");
    EXPECT_EQ(AccountHoldingSender(*store, "nobody@there.test"), "");
}
