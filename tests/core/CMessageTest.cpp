#include "core/CMessage.h"

#include "TempFolder.h"
#include "core/Dates.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

class CMessageTest : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        MiscFuncs::SetLogLevel(4);
    }
};

CMessage parse(const std::string& headers, const std::string& body = "body\r\n") {
    CMessage m;
    EXPECT_TRUE(m.CreateFromText(headers + "\r\n\r\n" + body));
    return m;
}

TEST_F(CMessageTest, SplitsHeaderBlockAndBody) {
    CMessage m = parse("From: A <a@x.com>\r\nSubject: hi", "line1\r\nline2\r\n");
    EXPECT_EQ(m.Headers, "From: A <a@x.com>\r\nSubject: hi");
    EXPECT_EQ(m.MessageBody(), "line1\r\nline2\r\n");
    EXPECT_EQ(m.From, "A <a@x.com>");
    EXPECT_EQ(m.Subject, "hi");
    EXPECT_EQ(m.Size(), static_cast<long>(m.MessageText().size()));
}

TEST_F(CMessageTest, HeaderLineRules) {
    struct Case { const char* headers; std::string CMessage::*field; const char* expected; };
    const Case cases[] = {
        {"Subject: a\r\nSubject: b", &CMessage::Subject, "b"},                       // last wins
        {"Subject: first\r\n second", &CMessage::Subject, "first second"},           // unfolded
        {"FROM: a@x.com", &CMessage::From, "a@x.com"},                               // name lower-cased
        {"From : a@x.com", &CMessage::From, ""},                                     // blank before colon
        {"Subject: s\r\nX Subject: t", &CMessage::Subject, "s"},                     // continuation line
        {"To:   b@y.com   ", &CMessage::MessageTo, "b@y.com"},                       // trimmed
        {"Reply-To: r@z\r\nReturn-Path: <p@q>", &CMessage::ReturnPath, "<p@q>"},
        {"Received: from a by b\r\n  ; Tue, 10 Dec 2002 13:45:12 +0100", &CMessage::Received,
         "; Tue, 10 Dec 2002 13:45:12 +0100"},
        {"Received: x; one\r\nReceived: y; two", &CMessage::Received, "x; one"},
        {"Received: no semicolon", &CMessage::Received, ""},
        {"Message-ID: <ab/c:d.e>", &CMessage::MessageID, "abcd.e"},
        {"In-Reply-To: <i>\r\nReferences: <r>", &CMessage::References, "<r>"},
    };
    for (const Case& c : cases) EXPECT_EQ(parse(c.headers).*c.field, c.expected) << c.headers;
}

// Mail programs fold long encoded names: the address then stands on a line of its own.
TEST_F(CMessageTest, FoldedFieldsAreUnfolded) {
    struct Case { const char* headers; std::string CMessage::*field; const char* expected; };
    const Case cases[] = {
        {"From: =?UTF-8?Q?Fr=C3=BCnd_mit_langem_Namen?=\r\n <friend@good.example>\r\nSubject: s", &CMessage::From,
         "=?UTF-8?Q?Fr=C3=BCnd_mit_langem_Namen?= <friend@good.example>"},
        {"From:\r\n\tfriend@good.example", &CMessage::From, "friend@good.example"},
        {"To: a@x.example,\r\n b@x.example,\r\n\tc@x.example", &CMessage::MessageTo,
         "a@x.example, b@x.example,\tc@x.example"},
        {"Subject: one\r\n two\r\nX Subject: t\r\n three", &CMessage::Subject, "one two"},
        {"Message-ID:\r\n <id@x>", &CMessage::MessageID, "id@x"},
    };
    for (const Case& c : cases) EXPECT_EQ(parse(c.headers).*c.field, c.expected) << c.headers;
}

TEST_F(CMessageTest, EmptyMessageIdBecomesTimeStamp) {
    MiscFuncs::SetClock([] { return MiscFuncs::LocalTime{2003, 1, 1, 12, 0, 0}; });
    EXPECT_EQ(parse("Message-ID: <>").MessageID, "37622D5");
    EXPECT_EQ(parse("Subject: none").MessageID, "");
}

TEST_F(CMessageTest, TextWithoutHeaderEndIsRejected) {
    CMessage m;
    m.Subject = "kept";
    EXPECT_FALSE(m.CreateFromText("From: a@x.com\nSubject: s\n\nbody\n"));  // LF only
    EXPECT_EQ(m.Subject, "kept");
    EXPECT_NE(programLog().find("Message:Invalid message format"), std::string::npos);
}

TEST_F(CMessageTest, LoadHeadersReadsOnlyTheHead) {
    WriteFile(dir() / "m.eml", "From: a@x.com\r\nSubject: s\r\n\r\nbody1\r\nbody2\r\n");
    CMessage m;
    ASSERT_TRUE(m.LoadHeadersFromFile(dir() / "m.eml"));
    EXPECT_EQ(m.From, "a@x.com");
    EXPECT_EQ(m.MessageBody(), "msg\r\n");
    EXPECT_FALSE(m.LoadHeadersFromFile(dir() / "missing.eml"));
    EXPECT_EQ(m.From, "a@x.com");
}

TEST_F(CMessageTest, HeadOfAFileWithoutHeaderEndIsBounded) {
    std::string endless;
    while (endless.size() < 3 * CMessage::kMaxHeaderFileBytes) endless += "X-Filler: 0123456789abcdef\r\n";
    WriteFile(dir() / "bad.eml", endless);
    CMessage m;
    EXPECT_TRUE(m.LoadHeadersFromFile(dir() / "bad.eml"));
    EXPECT_NE(programLog().find("Message:Invalid message format"), std::string::npos);
}

TEST_F(CMessageTest, SaveReplacesWholeFileAndReportsFailure) {
    WriteFile(dir() / "m.eml", std::string(5000, 'z'));
    CMessage m = parse("From: a@x.com");
    ASSERT_TRUE(m.SaveMessage(dir() / "m.eml"));
    EXPECT_EQ(ReadFile(dir() / "m.eml"), m.MessageText());
    ASSERT_TRUE(makeReadOnly(dir() / "ro"));
    EXPECT_FALSE(m.SaveMessage(dir() / "ro" / "m.eml"));
    EXPECT_EQ(m.ErrorText, "Failed to save message to " + (dir() / "ro" / "m.eml").string() + "\r\n");
}

TEST_F(CMessageTest, DatesFromDateAndReceived) {
    const double expected = 37600.0 + (13 * 3600 + 45 * 60 + 12) / 86400.0;  // 2002-12-10 13:45:12
    CMessage m = parse("Date: Tue, 10 Dec 2002 13:45:12 +0100\r\nReceived: by x; 10 Dec 2002 13:45:12");
    EXPECT_NEAR(m.SendDateTime(), expected, 1e-6);
    EXPECT_NEAR(m.ReceivedDateTime(), expected, 1e-6);
    CMessage noReceived = parse("Date: 10 Dec 2002 13:45:12");
    EXPECT_NEAR(noReceived.ReceivedDateTime(), expected, 1e-6);
    EXPECT_EQ(parse("Subject: x").SendDateTime(), 0);
}

}  // namespace
