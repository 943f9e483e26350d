// The program's own mails: their bodies from the user's texts, the approval link,
// the header block and MIME layout, and what a stranger's From and Subject can do.
#include "engines/OwnMails.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/CIniFile.h"
#include "core/Digest.h"
#include "core/ProgramFiles.h"
#include "core/ProgramSettings.h"
#include "core/Prompt.h"
#include "core/InstallationSecret.h"
#include "core/Scramble.h"
#include "protocol/OwnMailSignature.h"
#include "core/TempFolder.h"

namespace {

constexpr const char* kAccount = "me@example.test";
constexpr const char* kRecipient = "Ann <ann@example.test>";

class OwnMailsTest : public testing_support::TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        Prompt::SetPrompt([this](const Prompt::Request& r) {
            prompts.push_back(r);
            return Prompt::Answer::OK;
        });
    }
    void TearDown() override {
        Prompt::SetPrompt(nullptr);
        TempFolderTest::TearDown();
    }
    void option(std::string_view key, std::string_view value) {
        CIniFile(ProgramFiles::OptionsIniPath().string()).Value("options", key, value);
    }
    void texts(std::string_view t1, std::string_view t2, std::string_view t3) {
        option("msg_RegRequest_Text1", MiscFuncs::ScrambleText(t1));
        option("msg_RegRequest_Text2", MiscFuncs::ScrambleText(t2));
        option("msg_RegRequest_Text3", MiscFuncs::ScrambleText(t3));
    }
    std::vector<Prompt::Request> prompts;
};

// The header block: the lines before the first empty one.
std::vector<std::string> HeaderLines(const std::string& message) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = message.find("\r\n"); end != std::string::npos; end = message.find("\r\n", start)) {
        if (end == start) break;
        lines.push_back(message.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

OwnMails::MailHead Head(MessageType kind) {
    return {kind, "Me Myself", kAccount, kRecipient, "Lunch?", "0123456789ABCDEF0123456789ABCDEF",
            "host.example.test", "----=_FEDCBA9876543210FEDCBA9876543210_2"};
}

}  // namespace

TEST_F(OwnMailsTest, RegistrationRequestBodies) {
    texts("First text", "Second text", "Third text");
    GeneratedMail m;
    OwnMails::Generate(MessageType::RegistrationRequest, kRecipient, kAccount, m);
    EXPECT_TRUE(prompts.empty());
    const std::string link = OwnMails::ApprovalLink(kRecipient, kAccount);
    EXPECT_EQ(m.TextBody, "You recently sent an email to me@example.test\r\n\r\nFirst text\r\n\r\n"
                          "Please copy the following link to address line in your browser\r\n\r\n" +
                              link + "\r\n\r\nSecond text\r\n\r\nThird text");
    const std::string& html = m.HtmlBody;
    EXPECT_TRUE(html.starts_with(
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">"
        "<title>Email registration request</title></head><body bgColor=#FFFFFF><center><table border=0 "
        "cellspacing=0  bgcolor=\"purple\" width=590 bgcolor=#FFFFFF>"));
    EXPECT_NE(html.find("<b>Glimmerpost Registration</b></font></td><td align=\"right\">"), std::string::npos);
    EXPECT_NE(html.find("<font size=\"2\" face=\"verdana\">You recently sent an email to <a href=\"mailto:"
                        "me@example.test\">me@example.test</a> \r\n<br>\r\n<br>First text\r\n<br>\r\n<br>"
                        "<table><tr><td><a href=\"" + link + "\"><img src = \"http://www.glimmerpost.example/files/"
                        "regbtn.gif\" border=\"0\" width=\"196\" height=\"128\" alt=\"Click here to Register\">"
                        "</a></td><td>Click <a href=\"" + link + "\">this link </a> or button to the left to "
                        "request approval.</td></tr></table>\r\n<br>Second text\r\n<br>\r\n<br>Third text"),
              std::string::npos) << html;
    EXPECT_TRUE(html.ends_with("Third text</td></tr></table></td></tr></table></td></tr><table></center></body><html>"));
    for (std::size_t i = html.find("\r\n"); i != std::string::npos; i = html.find("\r\n", i + 2)) {
        EXPECT_EQ(html.substr(i + 2, 4), "<br>") << "every line after the first starts with <br>";
    }
}

TEST_F(OwnMailsTest, ApprovalLinkCarriesRecipientAndAccountScrambledAndTheToken) {
    const std::string link = OwnMails::ApprovalLink(kRecipient, kAccount);
    const std::string prefix = "http://www.glimmerpost.example/r.asp?d=";
    ASSERT_TRUE(link.starts_with(prefix));
    const std::size_t amp = link.find("&t=");
    ASSERT_NE(amp, std::string::npos) << link;
    std::string plain;
    ASSERT_TRUE(MiscFuncs::UnscrambleText(link.substr(prefix.size(), amp - prefix.size()), plain));
    EXPECT_EQ(plain, "Ann <ann@example.test>:me@example.test");
    EXPECT_TRUE(OwnMailSignature::TokenHolds(InstallationSecret::Key(), link.substr(amp + 3), kRecipient, kAccount));

    // The setting names the service; the button picture comes from there too.
    option("ApprovalServiceAddress", "https://approve.example.test/");
    EXPECT_TRUE(OwnMails::ApprovalLink(kRecipient, kAccount).starts_with("https://approve.example.test/r.asp?d="));
    texts("a", "b", "c");
    GeneratedMail m;
    OwnMails::Generate(MessageType::RegistrationRequest, kRecipient, kAccount, m);
    EXPECT_NE(m.HtmlBody.find("<img src = \"https://approve.example.test/files/regbtn.gif\""), std::string::npos);
}

// The installation's secret: made once, private, and the same at every read.
TEST_F(OwnMailsTest, TheSecretIsMadeOncePrivate) {
    InstallationSecret::Forget();
    const std::string key = InstallationSecret::Key();
    EXPECT_EQ(key.size(), InstallationSecret::kSecretBytes);
    const auto perms = std::filesystem::status(InstallationSecret::FilePath()).permissions();
    EXPECT_EQ(perms & std::filesystem::perms::all, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    InstallationSecret::Forget();
    EXPECT_EQ(InstallationSecret::Key(), key) << "read back, not made again";
    std::filesystem::permissions(InstallationSecret::FilePath(), std::filesystem::perms::others_read,
                                 std::filesystem::perm_options::add);
    InstallationSecret::Forget();
    EXPECT_EQ(InstallationSecret::Key(), key);
    EXPECT_EQ(std::filesystem::status(InstallationSecret::FilePath()).permissions() & std::filesystem::perms::others_all,
              std::filesystem::perms::none) << "made private again";
    const std::string text = testing_support::ReadFile(InstallationSecret::FilePath());
    EXPECT_EQ(text.find(key), std::string::npos) << "stored as hex digits";
    EXPECT_EQ(testing_support::ReadFile(dir() / "glplog.txt").find(text.substr(0, 64)), std::string::npos) << "never logged";
    InstallationSecret::Forget();
}

// Every own mail carries our signature over its fields and its body as sent.
TEST_F(OwnMailsTest, OwnMailsAreSignedOverTheirFieldsAndBody) {
    for (MessageType kind : {MessageType::RegistrationRequest, MessageType::Confirmation, MessageType::Test}) {
        OwnMails::MailHead head = Head(kind);
        head.signingKey = "the key";
        GeneratedMail m;
        m.TextBody = "text body";
        m.HtmlBody = "html body";
        const std::string sent = OwnMails::ComposeMessage(head, m);
        const std::string_view headers = OwnMailSignature::HeaderBlockOf(sent);
        EXPECT_TRUE(OwnMailSignature::Verify("the key", headers, OwnMailSignature::BodyOf(sent)))
            << static_cast<int>(kind) << sent;
        EXPECT_FALSE(OwnMailSignature::Verify("another key", headers));
        head.signingKey.clear();
        EXPECT_EQ(OwnMails::ComposeMessage(head, m).find("X-GLP-SIGNATURE"), std::string::npos);
    }
}

// With nothing stored the request and the confirmation say who asks and why, and
// nobody is asked to edit them.
TEST_F(OwnMailsTest, AFreshInstallationsMailsCarryTheDefaultTexts) {
    GeneratedMail request;
    OwnMails::Generate(MessageType::RegistrationRequest, kRecipient, kAccount, request);
    EXPECT_TRUE(prompts.empty());
    EXPECT_NE(request.TextBody.find(std::string(DefaultMessageText(MessageText::RegRequest1))), std::string::npos);
    EXPECT_NE(request.TextBody.find(std::string(DefaultMessageText(MessageText::RegRequest3))), std::string::npos);
    GeneratedMail confirmation;
    OwnMails::Generate(MessageType::Confirmation, kRecipient, kAccount, confirmation);
    EXPECT_NE(confirmation.TextBody.find(std::string(DefaultMessageText(MessageText::Conf1))), std::string::npos);
}

TEST_F(OwnMailsTest, RequestTextsLoadOnlyWhenNotGivenAndWarnWhenUnreadable) {
    option("msg_RegRequest_Text1", MiscFuncs::ScrambleText("One"));
    option("msg_RegRequest_Text2", "damaged");
    GeneratedMail m;
    OwnMails::Generate(MessageType::RegistrationRequest, kRecipient, kAccount, m);
    ASSERT_EQ(prompts.size(), 1u);
    EXPECT_EQ(prompts[0].text, "Please edit registration messages!");
    EXPECT_EQ(prompts[0].caption, "glimmerpost");
    EXPECT_EQ(prompts[0].kind, Prompt::Kind::Exclamation);
    EXPECT_EQ(m.UserText1, "One");
    EXPECT_NE(m.TextBody.find("One"), std::string::npos) << "built all the same";

    GeneratedMail preset;
    preset.UserText2 = "Being edited";
    OwnMails::Generate(MessageType::RegistrationRequest, kRecipient, kAccount, preset);
    EXPECT_EQ(prompts.size(), 1u);
    EXPECT_EQ(preset.UserText1, "");
    EXPECT_NE(preset.TextBody.find("Being edited"), std::string::npos);
}

TEST_F(OwnMailsTest, DeletionNoticeOnlyWhenAsked) {
    texts("a", "b", "c");
    option("AutoDeleteUnregisteredInterval", "7");
    const std::string note =
        "Please note that if you will not register within 7 day(s), all of your messages will be automaticaly deleted";
    for (const char* flag : {"1", "0", ""}) {
        SCOPED_TRACE(flag);
        option("msg_RegRequest_SendAutoDelNote", flag);
        GeneratedMail m;
        OwnMails::Generate(MessageType::RegistrationRequest, kRecipient, kAccount, m);
        const bool wanted = std::string(flag) == "1";
        EXPECT_EQ(m.TextBody.ends_with("c\r\n\r\n" + note), wanted);
        EXPECT_EQ(m.HtmlBody.find("c\r\n<br>\r\n<br>" + note + "</td>") != std::string::npos, wanted);
        EXPECT_EQ(m.TextBody.find("register within") != std::string::npos, wanted);
    }
}

TEST_F(OwnMailsTest, ConfirmationAndTestBodies) {
    option("msg_Conf_Text1", MiscFuncs::ScrambleText("Thank you"));
    GeneratedMail c;
    c.UserText1 = "ignored";
    OwnMails::Generate(MessageType::Confirmation, kRecipient, kAccount, c);
    EXPECT_EQ(c.TextBody, "Messages to me@example.test are accepted:\r\n\r\nThank you");
    EXPECT_NE(c.HtmlBody.find("<font size=\"2\" face=\"verdana\">Messages to <a href=\"mailto:me@example.test\">"
                              "me@example.test</a> are accepted:\r\n<br>\r\n<br>Thank you</td></tr></table>"),
              std::string::npos);
    EXPECT_TRUE(c.ImagePart.empty());

    // The editor's second text of the confirmation follows the first.
    option("msg_Conf_Text2", MiscFuncs::ScrambleText("Write any time."));
    GeneratedMail c2;
    OwnMails::Generate(MessageType::Confirmation, kRecipient, kAccount, c2);
    EXPECT_EQ(c2.TextBody, "Messages to me@example.test are accepted:\r\n\r\nThank you\r\n\r\nWrite any time.");
    EXPECT_NE(c2.HtmlBody.find("are accepted:\r\n<br>\r\n<br>Thank you\r\n<br>\r\n<br>Write any time.</td>"),
              std::string::npos);

    GeneratedMail t;
    OwnMails::Generate(MessageType::Test, kAccount, kAccount, t);
    EXPECT_EQ(t.TextBody, "This is a test message with signature of Glimmerpost:" +
                              MiscFuncs::ScrambleText(std::to_string(OwnMails::ProgramMajorVersion())));
    EXPECT_EQ(t.HtmlBody, "");
    EXPECT_TRUE(prompts.empty());
}

TEST_F(OwnMailsTest, TestMailIsOneTextPartWithoutMimeVersion) {
    GeneratedMail m;
    m.TextBody = "signed";
    OwnMails::MailHead head = Head(MessageType::Test);
    head.displayName = kAccount;
    head.recipient = kAccount;
    head.subject = "Glimmerpost test message";
    EXPECT_EQ(OwnMails::ComposeMessage(head, m),
              "From: \"me@example.test\" <me@example.test>\r\nTo:me@example.test\r\nReply-To: me@example.test\r\n"
              "Subject: Glimmerpost test message\r\n"
              "Message-ID: <0123456789ABCDEF0123456789ABCDEF@host.example.test>\r\n"
              "X-GLP-RCPT: me@example.test\r\nX-GLP-MESSAGE: TEST\r\n"
              "Content-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
              "signed\r\n\r\n");
}

TEST_F(OwnMailsTest, RequestIsMultipartAlternative) {
    GeneratedMail m;
    m.TextBody = "text";
    m.HtmlBody = "<p>html</p>";
    const std::string b = "----=_FEDCBA9876543210FEDCBA9876543210_2";
    EXPECT_EQ(OwnMails::ComposeMessage(Head(MessageType::RegistrationRequest), m),
              "From: \"Me Myself\" <me@example.test>\r\nTo:Ann <ann@example.test>\r\nReply-To: me@example.test\r\n"
              "Subject: RE:Lunch?\r\nMessage-ID: <0123456789ABCDEF0123456789ABCDEF@host.example.test>\r\n"
              "X-GLP-RCPT: ann@example.test\r\nX-GLP-MESSAGE: REGREQUEST\r\n"
              "MIME-Version: 1.0\r\nContent-Type: multipart/alternative;\r\n\tboundary=\"" + b + "\"\r\n\r\n"
              "This is a multi-part Message in MIME format.\r\n\r\n--" + b + "\r\n"
              "Content-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
              "text\r\n\r\n--" + b + "\r\n"
              "Content-Type: text/html;\r\n\tcharset=\"us-ascii\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
              "<p>html</p>\r\n\r\n--" + b + "--\r\n\r\n");
    const std::string confirmation = OwnMails::ComposeMessage(Head(MessageType::Confirmation), m);
    EXPECT_NE(confirmation.find("\r\nSubject: Lunch?\r\n"), std::string::npos);
    EXPECT_NE(confirmation.find("\r\nX-GLP-MESSAGE: CONFIRMATION\r\n"), std::string::npos);
    EXPECT_TRUE(OwnMails::NewBoundary().starts_with("----=_"));
    EXPECT_NE(OwnMails::NewBoundary(), OwnMails::NewBoundary());
}

TEST_F(OwnMailsTest, StrangersTextCannotAddHeaderLines) {
    OwnMails::MailHead head = Head(MessageType::RegistrationRequest);
    head.recipient = "Evil <evil@example.test>\r\nBcc: victim@example.test";
    head.subject = "Hi\r\nBcc: other@example.test\n\r\n.\r\nMAIL FROM:<x@example.test>";
    head.displayName = "Me \"quoted\"\r\nX-Injected: 1";
    GeneratedMail m;
    const std::vector<std::string> lines = HeaderLines(OwnMails::ComposeMessage(head, m));
    ASSERT_EQ(lines.size(), 10u);
    for (const std::string& line : lines) {
        EXPECT_FALSE(line.starts_with("Bcc:") || line.starts_with("X-Injected")) << line;
        EXPECT_EQ(line.find('\r'), std::string::npos);
        EXPECT_EQ(line.find('\n'), std::string::npos);
    }
    EXPECT_EQ(lines[0], "From: \"Me \\\"quoted\\\"  X-Injected: 1\" <me@example.test>");
    EXPECT_EQ(lines[3], "Subject: RE:Hi  Bcc: other@example.test   .  MAIL FROM:<x@example.test>");
    EXPECT_EQ(lines[5], "X-GLP-RCPT: evil@example.test");
}

TEST_F(OwnMailsTest, PartsThatCannotGo7BitAreQuotedPrintable) {
    GeneratedMail m;
    m.TextBody = std::string(1200, 'x');
    m.HtmlBody = "caf\xe9";
    const std::string message = OwnMails::ComposeMessage(Head(MessageType::Confirmation), m);
    EXPECT_NE(message.find("Content-Type: text/plain;\r\n\tcharset=\"us-ascii\"\r\n"
                           "Content-Transfer-Encoding: quoted-printable\r\n\r\nxxx"), std::string::npos);
    EXPECT_NE(message.find("Content-Type: text/html;\r\n\tcharset=\"iso-8859-1\"\r\n"
                           "Content-Transfer-Encoding: quoted-printable\r\n\r\ncaf=E9\r\n"), std::string::npos);
}

TEST_F(OwnMailsTest, ButtonImagePartIsA196By128Gif) {
    const std::string part = OwnMails::ButtonImagePart();
    const std::string head =
        "Content-Type: image/gif;\r\n        name=\"register2.gif\"\r\nContent-Transfer-Encoding: base64\r\n"
        "Content-Disposition: attachment;\r\n        filename=\"register2.gif\"\r\n\r\n";
    ASSERT_TRUE(part.starts_with(head));
    std::string base64;
    std::size_t start = head.size();
    while (start < part.size()) {
        std::size_t end = part.find("\r\n", start);
        if (end == std::string::npos) end = part.size();
        EXPECT_LE(end - start, 76u);
        base64 += part.substr(start, end - start);
        start = end + 2;
    }
    const std::string gif = MiscFuncs::Base64Decode(base64);
    ASSERT_GE(gif.size(), 10u);
    EXPECT_EQ(gif.substr(0, 6), "GIF89a");
    EXPECT_EQ(static_cast<unsigned char>(gif[6]) | static_cast<unsigned char>(gif[7]) << 8, 196);
    EXPECT_EQ(static_cast<unsigned char>(gif[8]) | static_cast<unsigned char>(gif[9]) << 8, 128);
    EXPECT_EQ(gif.back(), ';');
}
