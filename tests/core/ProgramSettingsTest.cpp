#include "core/ProgramSettings.h"

#include <string>

#include "TempFolder.h"
#include "core/ProgramFiles.h"
#include "core/Scramble.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

class ProgramSettingsTest : public testing_support::TempFolderTest {
protected:
    void store(const std::string& options) { WriteFile(ProgramFiles::OptionsIniPath(), "[options]\r\n" + options); }
};

TEST(NumberOfSettingTest, ReadsWholeNumbersAndRoundsFractions) {
    struct Case { const char* text; std::optional<std::int64_t> value; };
    const Case cases[] = {
        {"0", 0},        {"42", 42},      {" 7 ", 7},     {"\t-3", -3},  {"+5", 5},
        {"2.5", 2},      {"3.5", 4},      {"2.51", 3},    {"-2.5", -2},  {"1.49", 1},
        {".6", 1},       {"4.", 4},       {"", {}},       {"  ", {}},    {"-", {}},
        {"abc", {}},     {"4 days", {}},  {"1e3", {}},    {"0x10", {}},  {"1,5", {}},
        {"1.2.3", {}},   {"999999999999999999", 999999999999999999},     {"9999999999999999999", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(NumberOfSetting(c.text), c.value) << '"' << c.text << '"';
}

TEST_F(ProgramSettingsTest, EveryMissingKeyGivesItsDesignDefault) {
    const ProgramSettings s;  // no file at all
    EXPECT_TRUE(s.AutoApproveRecepients());
    EXPECT_TRUE(s.AutoDeleteBounced());
    EXPECT_FALSE(s.AutoDeleteUnregistered());
    EXPECT_FALSE(s.LimitMessagesFromUnknown());
    EXPECT_FALSE(s.AutoSendRegRequests());
    EXPECT_FALSE(s.AutoRejectSendersExceedingLimit());
    EXPECT_FALSE(s.SendAutoDelNote());
    EXPECT_FALSE(s.StartWithWindows());
    EXPECT_EQ(s.StartWithWindowsNumber(), std::nullopt);
    EXPECT_TRUE(s.UseConfirmations());
    EXPECT_FALSE(s.ShowRegDialogs());
    EXPECT_FALSE(s.NoAutoWildCardsInRules());
    EXPECT_EQ(s.AutoDeleteUnregisteredInterval(), 4);
    EXPECT_EQ(s.MaxMessagesCountFromUnknown(), 5);
    EXPECT_EQ(s.RegDialogShowInterval(), 1);
    EXPECT_EQ(s.LocalPOP3Port(), 3110);
    EXPECT_EQ(s.LocalSMTPPort(), 3025);
    EXPECT_EQ(s.ServerTimeoutMinutes(), 15);
    EXPECT_EQ(s.ServerTimeoutSeconds(), 900);
    EXPECT_EQ(s.LogLevel(), 0);
    EXPECT_EQ(s.MaxLogSizeKB(), 32);
    EXPECT_EQ(s.MaxLogSizeBytes(), 32768);
    EXPECT_EQ(s.MaxUnsentMessages(), 1);
    EXPECT_EQ(s.MaxRelayingDeniedAttempts(), 5);
    EXPECT_EQ(s.TTLForDeletedMessages(), 100);
    EXPECT_EQ(s.UseMessageDate(), MessageDateSource::Default);
    // A fresh installation's mails say who asks and why.
    std::string text = "left over";
    EXPECT_TRUE(s.ReadMessageText(MessageText::RegRequest1, text));
    EXPECT_EQ(text, DefaultMessageText(MessageText::RegRequest1));
    EXPECT_NE(text.find("mail filter"), std::string::npos) << text;
    EXPECT_NE(text.find("not read yet"), std::string::npos);
    EXPECT_TRUE(s.ReadMessageText(MessageText::RegRequest2, text));
    EXPECT_NE(text.find("your name"), std::string::npos);
    EXPECT_TRUE(s.ReadMessageText(MessageText::Conf1, text));
    EXPECT_NE(text.find("Thank you"), std::string::npos);
}

// Only a text never stored is the default: one the user emptied stays empty, and a
// damaged one still reads as damaged.
TEST_F(ProgramSettingsTest, MessageTextsTheUserWroteOrBrokeAreNotReplaced) {
    ProgramSettings s;
    ASSERT_TRUE(s.SetMessageText(MessageText::RegRequest1, ""));
    ASSERT_TRUE(s.SetText(OptionKeys::RegRequestText2, "damaged"));
    ASSERT_TRUE(s.SetMessageText(MessageText::Conf1, "Mine"));
    std::string text;
    EXPECT_TRUE(s.ReadMessageText(MessageText::RegRequest1, text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(s.ReadMessageText(MessageText::RegRequest2, text));
    EXPECT_TRUE(s.ReadMessageText(MessageText::Conf1, text));
    EXPECT_EQ(text, "Mine");
}

TEST_F(ProgramSettingsTest, BlankOrUnusableNumbersTakeTheDefaultsNotZero) {
    // Blank values are what the options dialog writes from empty fields.
    store("AutoDeleteUnregisteredInterval=\r\nPOP3ServerPort=\r\nSMTPServerPort= \r\nServerTimeouts=\r\n"
          "MaxLogSize=\r\nMaxRelayingDeniedAttempts=\r\nTTLForDeletedMessages=many\r\nLogLevel=verbose\r\n"
          "MaxUnsentMessages=-3\r\nMaxMessagesCountFromUnknown=0\r\nRegDialogShowInterval=x\r\n");
    const ProgramSettings s;
    EXPECT_EQ(s.AutoDeleteUnregisteredInterval(), 4);
    EXPECT_EQ(s.LocalPOP3Port(), 3110);
    EXPECT_EQ(s.LocalSMTPPort(), 3025);
    EXPECT_EQ(s.ServerTimeoutMinutes(), 15);
    EXPECT_EQ(s.MaxLogSizeKB(), 32);
    EXPECT_EQ(s.MaxRelayingDeniedAttempts(), 5);
    EXPECT_EQ(s.TTLForDeletedMessages(), 100);
    EXPECT_EQ(s.LogLevel(), 0);
    EXPECT_EQ(s.MaxUnsentMessages(), 1);
    EXPECT_EQ(s.MaxMessagesCountFromUnknown(), 5);
    EXPECT_EQ(s.RegDialogShowInterval(), 1);
}

TEST_F(ProgramSettingsTest, NumbersOutsideTheirLimitsFallBack) {
    struct Case { const char* line; int (*read)(const ProgramSettings&); int expected; };
    const Case cases[] = {
        {"POP3ServerPort=0", [](const ProgramSettings& s) { return s.LocalPOP3Port(); }, 3110},
        {"POP3ServerPort=65536", [](const ProgramSettings& s) { return s.LocalPOP3Port(); }, 3110},
        {"POP3ServerPort=65535", [](const ProgramSettings& s) { return s.LocalPOP3Port(); }, 65535},
        {"SMTPServerPort=-25", [](const ProgramSettings& s) { return s.LocalSMTPPort(); }, 3025},
        {"SMTPServerPort=2525", [](const ProgramSettings& s) { return s.LocalSMTPPort(); }, 2525},
        {"ServerTimeouts=0", [](const ProgramSettings& s) { return s.ServerTimeoutMinutes(); }, 15},
        {"ServerTimeouts=16", [](const ProgramSettings& s) { return s.ServerTimeoutMinutes(); }, 15},
        {"AutoDeleteUnregisteredInterval=0", [](const ProgramSettings& s) { return s.AutoDeleteUnregisteredInterval(); }, 4},
        {"AutoDeleteUnregisteredInterval=30", [](const ProgramSettings& s) { return s.AutoDeleteUnregisteredInterval(); }, 30},
        {"LogLevel=40000", [](const ProgramSettings& s) { return int(s.LogLevel()); }, 0},
        {"LogLevel=-1", [](const ProgramSettings& s) { return int(s.LogLevel()); }, -1},
        {"MaxLogSize=0", [](const ProgramSettings& s) { return s.MaxLogSizeKB(); }, 32},
        {"MaxLogSize=64", [](const ProgramSettings& s) { return s.MaxLogSizeKB(); }, 64},
        {"MaxUnsentMessages=0", [](const ProgramSettings& s) { return s.MaxUnsentMessages(); }, 1},
        {"MaxUnsentMessages=7", [](const ProgramSettings& s) { return s.MaxUnsentMessages(); }, 7},
        {"MaxRelayingDeniedAttempts=0", [](const ProgramSettings& s) { return s.MaxRelayingDeniedAttempts(); }, 1},
        {"TTLForDeletedMessages=-1", [](const ProgramSettings& s) { return s.TTLForDeletedMessages(); }, 100},
        {"TTLForDeletedMessages=0", [](const ProgramSettings& s) { return s.TTLForDeletedMessages(); }, 0},
        {"RegDialogShowInterval=0", [](const ProgramSettings& s) { return s.RegDialogShowInterval(); }, 0},
    };
    for (const Case& c : cases) {
        store(std::string(c.line) + "\r\n");
        EXPECT_EQ(c.read(ProgramSettings()), c.expected) << c.line;
    }
}

TEST_F(ProgramSettingsTest, SwitchesAreOnOnlyForOne) {
    for (const char* v : {"0", "", "yes", "2", "true"}) {
        store(std::string("AutoSendRegRequests=") + v + "\r\nShowRegDialogs=" + v + "\r\n");
        const ProgramSettings s;
        EXPECT_FALSE(s.AutoSendRegRequests()) << v;
        EXPECT_FALSE(s.ShowRegDialogs()) << v;
    }
    store("AutoSendRegRequests= 1 \r\nUseMessageDate=2\r\n");
    EXPECT_TRUE(ProgramSettings().AutoSendRegRequests());
    EXPECT_EQ(ProgramSettings().UseMessageDate(), MessageDateSource::Received);
}

// What the program always did stays the starting value: off only when stored as "0".
TEST_F(ProgramSettingsTest, TheSwitchesOfWhatTheProgramAlwaysDidAreOffOnlyForZero) {
    for (const char* v : {"", "1", " 1 ", "yes", "2"}) {
        store(std::string("AutoApproveRecepients=") + v + "\r\nAutoDeleteBounced=" + v + "\r\nUseConfirmations=" + v +
              "\r\n");
        const ProgramSettings s;
        EXPECT_TRUE(s.AutoApproveRecepients()) << v;
        EXPECT_TRUE(s.AutoDeleteBounced()) << v;
        EXPECT_TRUE(s.UseConfirmations()) << v;
    }
    store("AutoApproveRecepients= 0 \r\nAutoDeleteBounced=0\r\nUseConfirmations=0\r\n");
    const ProgramSettings s;
    EXPECT_FALSE(s.AutoApproveRecepients());
    EXPECT_FALSE(s.AutoDeleteBounced());
    EXPECT_FALSE(s.UseConfirmations());
}

TEST_F(ProgramSettingsTest, ServerTimeOutsIsFoundWhateverItsCase) {
    store("ServerTimeOuts=3\r\n");
    EXPECT_EQ(ProgramSettings().ServerTimeoutSeconds(), 180);
}

TEST_F(ProgramSettingsTest, StoredFormsRoundTrip) {
    ProgramSettings s;
    ASSERT_TRUE(s.SetFlag(OptionKeys::AutoDeleteUnregistered, true));
    ASSERT_TRUE(s.SetFlag(OptionKeys::NoAutoWildCardsInRules, true));
    ASSERT_TRUE(s.SetFlag(OptionKeys::UseConfirmations, false));
    ASSERT_TRUE(s.SetAutoDeleteUnregisteredInterval(9));
    ASSERT_TRUE(s.SetLocalPOP3Port(4110));
    ASSERT_TRUE(s.SetLocalSMTPPort(4025));
    ASSERT_TRUE(s.SetServerTimeoutMinutes(5));
    ASSERT_TRUE(s.SetMessageText(MessageText::Conf1, "Thank you, [name]!\r\nSecond line"));
    EXPECT_EQ(ReadFile(ProgramFiles::OptionsIniPath()),
              "[options]\r\nAutoDeleteUnregistered=1\r\nNoAutoWildCardsInRules=1\r\nUseConfirmations=0\r\n"
              "AutoDeleteUnregisteredInterval=9\r\nPOP3ServerPort=4110\r\nSMTPServerPort=4025\r\n"
              "ServerTimeouts=5\r\nmsg_Conf_Text1=" + MiscFuncs::ScrambleText("Thank you, [name]!\r\nSecond line") + "\r\n");

    const ProgramSettings again;
    EXPECT_TRUE(again.AutoDeleteUnregistered());
    EXPECT_TRUE(again.NoAutoWildCardsInRules());
    EXPECT_EQ(again.AutoDeleteUnregisteredInterval(), 9);
    EXPECT_EQ(again.LocalPOP3Port(), 4110);
    EXPECT_EQ(again.LocalSMTPPort(), 4025);
    EXPECT_EQ(again.ServerTimeoutMinutes(), 5);
    std::string text;
    ASSERT_TRUE(again.ReadMessageText(MessageText::Conf1, text));
    EXPECT_EQ(text, "Thank you, [name]!\r\nSecond line");
}

TEST_F(ProgramSettingsTest, ADamagedMessageTextReadsAsMissing) {
    std::string damaged = MiscFuncs::ScrambleText("Hello");
    damaged[5] = damaged[5] == 'A' ? 'B' : 'A';
    store("msg_RegRequest_Text2=" + damaged + "\r\n");
    std::string text = "x";
    EXPECT_FALSE(ProgramSettings().ReadMessageText(MessageText::RegRequest2, text));
    EXPECT_EQ(text, "");
}

TEST_F(ProgramSettingsTest, DialogSaveWritesEveryKeyInItsOrder) {
    DialogOptions o;
    o.autoDeleteUnregistered = true;
    o.autoDeleteUnregisteredInterval = "7";
    o.maxMessagesCountFromUnknown = "5";
    o.regDialogShowInterval = "2";
    o.messageTexts[static_cast<int>(MessageText::RegRequest1)] = "Hi";
    o.startWithWindows = true;
    o.smtpServerPort = "3025";
    o.pop3ServerPort = "3110";
    o.serverTimeouts = 10;
    ProgramSettings s;
    ASSERT_TRUE(SaveDialogOptions(s, o));
    const std::string empty = MiscFuncs::ScrambleText("");
    EXPECT_EQ(ReadFile(ProgramFiles::OptionsIniPath()),
              "[options]\r\nAutoApproveRecepients=0\r\nAutoDeleteBounced=0\r\nAutoDeleteUnregistered=1\r\n"
              "AutoDeleteUnregisteredInterval=7\r\nLimitMessagesFromUnknown=0\r\nMaxMessagesCountFromUnknown=5\r\n"
              "AutoSendRegRequests=0\r\nAutoRejectSendersExceedingLimit=0\r\nRegDialogShowInterval=2\r\n"
              "msg_RegRequest_Text1=" + MiscFuncs::ScrambleText("Hi") + "\r\nmsg_RegRequest_Text2=" + empty +
              "\r\nmsg_RegRequest_Text3=" + empty + "\r\nmsg_Conf_Text1=" + empty + "\r\nmsg_Conf_Text2=" + empty +
              "\r\nmsg_RegRequest_SendAutoDelNote=0\r\nStartWithWindows=1\r\nUseConfirmations=0\r\n"
              "ShowRegDialogs=0\r\nSMTPServerPort=3025\r\nPOP3ServerPort=3110\r\nServerTimeouts=10\r\n");

    const DialogOptions back = LoadDialogOptions(s);
    EXPECT_TRUE(back.autoDeleteUnregistered);
    EXPECT_TRUE(back.startWithWindows);
    EXPECT_EQ(back.autoDeleteUnregisteredInterval, "7");
    EXPECT_EQ(back.messageTexts[0], "Hi");
    EXPECT_EQ(back.serverTimeouts, 10);
}

TEST_F(ProgramSettingsTest, DialogLoadOfAnEmptyFileShowsTheStartingValues) {
    const DialogOptions o = LoadDialogOptions(ProgramSettings());
    EXPECT_TRUE(o.autoApproveRecepients);
    EXPECT_TRUE(o.autoDeleteBounced);
    EXPECT_TRUE(o.useConfirmations);
    EXPECT_FALSE(o.limitMessagesFromUnknown);
    EXPECT_EQ(o.autoDeleteUnregisteredInterval, "4");
    EXPECT_EQ(o.maxMessagesCountFromUnknown, "5");
    EXPECT_EQ(o.regDialogShowInterval, "1");
    EXPECT_EQ(o.pop3ServerPort, "3110");
    EXPECT_EQ(o.smtpServerPort, "3025");
    EXPECT_EQ(o.messageTexts[4], "");
    EXPECT_EQ(o.serverTimeouts, 15);
}

TEST_F(ProgramSettingsTest, NumberFieldsOutsideTheirLimitsAreRefused) {
    const DialogOptions good = LoadDialogOptions(ProgramSettings());
    EXPECT_FALSE(CheckDialogOptions(good).has_value());
    struct Case {
        std::string DialogOptions::*field;
        const char* text;
        std::optional<DialogOptionField> fault;
    };
    using F = DialogOptionField;
    const Case cases[] = {
        {&DialogOptions::autoDeleteUnregisteredInterval, "", F::AutoDeleteInterval},
        {&DialogOptions::autoDeleteUnregisteredInterval, "0", F::AutoDeleteInterval},
        {&DialogOptions::autoDeleteUnregisteredInterval, "100", F::AutoDeleteInterval},
        {&DialogOptions::autoDeleteUnregisteredInterval, " 99 ", std::nullopt},
        {&DialogOptions::maxMessagesCountFromUnknown, "-1", F::MaxMessages},
        {&DialogOptions::regDialogShowInterval, "0", std::nullopt},
        {&DialogOptions::regDialogShowInterval, "61", F::RegDialogInterval},
        {&DialogOptions::smtpServerPort, "65536", F::LocalSMTPPort},
        {&DialogOptions::smtpServerPort, "0", F::LocalSMTPPort},
        {&DialogOptions::smtpServerPort, "1", std::nullopt},
        {&DialogOptions::pop3ServerPort, "", F::LocalPOP3Port},
        {&DialogOptions::pop3ServerPort, "3025", F::LocalPOP3Port},  // the SMTP port already
        {&DialogOptions::pop3ServerPort, "65535", std::nullopt},
    };
    for (const Case& c : cases) {
        DialogOptions o = good;
        o.*(c.field) = c.text;
        const auto fault = CheckDialogOptions(o);
        ASSERT_EQ(fault.has_value(), c.fault.has_value()) << "\"" << c.text << "\"";
        if (fault) {
            EXPECT_EQ(fault->field, *c.fault) << c.text;
            EXPECT_FALSE(fault->message.empty());
        }
    }
}

}  // namespace
