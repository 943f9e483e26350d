// What the SMTP client puts on the wire: the data block, header values, envelope
// addresses, quoted-printable bodies and the EHLO name.
#include "protocol/SmtpText.h"

#include <gtest/gtest.h>

#include <string>

using namespace SmtpText;

TEST(SmtpText, DataBlockNormalisesLineEndsAndStuffsDots) {
    struct Case { std::string in, out; };
    const Case cases[] = {
        {"a\r\nb\r\n", "a\r\nb\r\n.\r\n"},
        {"no end", "no end\r\n.\r\n"},
        {"", ".\r\n"},
        {".lead\r\n..two\r\nmid.dle\r\n", "..lead\r\n...two\r\nmid.dle\r\n.\r\n"},
        // A lone "." line, bare or disguised with lone CR or LF, never ends the data.
        {"x\r\n.\r\ny", "x\r\n..\r\ny\r\n.\r\n"},
        {"x\n.\ny", "x\r\n..\r\ny\r\n.\r\n"},
        {"x\r.\rMAIL FROM:<a@b>\r", "x\r\n..\r\nMAIL FROM:<a@b>\r\n.\r\n"},
        {"x\n\r.\r\n", "x\r\n\r\n..\r\n.\r\n"},
        {std::string("nul\0byte", 8), "nulbyte\r\n.\r\n"},
        {std::string("a\n\0.\r\n", 6), "a\r\n..\r\n.\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(DataBlock(c.in), c.out) << c.in;
}

TEST(SmtpText, HeaderValuesCarryNoLineBreaksOrControls) {
    EXPECT_EQ(HeaderValue("Hi\r\nBcc: victim@example.test"), "Hi  Bcc: victim@example.test");
    EXPECT_EQ(HeaderValue(std::string("a\0b\x1b[0m\tc\x7f", 10)), "a b [0m\tc ");
    EXPECT_EQ(HeaderValue(std::string(5000, 'x')).size(), kMaxHeaderValue);
    EXPECT_EQ(QuotedString("Jo \"The Boss\" \\ Smith\r\n"), "Jo \\\"The Boss\\\" \\\\ Smith  ");
}

TEST(SmtpText, EnvelopeAddresses) {
    for (const char* ok : {"a@example.test", "first.last+tag@sub.example.test", "postmaster"}) {
        EXPECT_TRUE(IsEnvelopeAddress(ok)) << ok;
    }
    for (const char* bad : {"", "a b@example.test", "a@example.test>\r\nRCPT TO:<b@x", "<a@b>", "a\x80@b"}) {
        EXPECT_FALSE(IsEnvelopeAddress(bad)) << bad;
    }
    EXPECT_FALSE(IsEnvelopeAddress(std::string(251, 'a') + "@b.c"));
}

TEST(SmtpText, BodiesThatCannotGo7BitAreQuotedPrintable) {
    EXPECT_FALSE(NeedsEncoding("plain\r\n" + std::string(998, 'x') + "\r\n"));
    EXPECT_TRUE(NeedsEncoding(std::string(999, 'x')));
    EXPECT_TRUE(NeedsEncoding("caf\xe9"));
    EXPECT_EQ(QuotedPrintable("a=b caf\xe9 \r\ntrailing \t\nend"), "a=3Db caf=E9=20\r\ntrailing =09\r\nend");
    const std::string encoded = QuotedPrintable(std::string(200, 'x') + "=" + std::string(100, 'y'));
    std::size_t start = 0;
    while (start < encoded.size()) {
        std::size_t end = encoded.find("\r\n", start);
        if (end == std::string::npos) end = encoded.size();
        EXPECT_LE(end - start, kQuotedPrintableLine);
        if (end < encoded.size()) {
            EXPECT_EQ(encoded[end - 1], '=') << "soft breaks only";
        }
        start = end + 2;
    }
    EXPECT_NE(encoded.find("=3D"), std::string::npos);
}

TEST(SmtpText, EhloNameIsADomainOrTheAddressLiteral) {
    struct Case { const char* host; const char* address; const char* name; };
    const Case cases[] = {
        {"mail.example.test", "127.0.0.1", "mail.example.test"},
        {"buildbox", "127.0.0.1", "[127.0.0.1]"},
        {"10.0.0.7", "127.0.0.2", "[127.0.0.2]"},
        {"under_score.example.test", "127.0.0.1", "[127.0.0.1]"},
        {"-dash.example.test", "127.0.0.1", "[127.0.0.1]"},
        {"dot..example.test", "127.0.0.1", "[127.0.0.1]"},
        {"", "::1", "[IPv6:::1]"},
        {"", "", "[127.0.0.1]"},
    };
    for (const Case& c : cases) EXPECT_EQ(EhloDomain(c.host, c.address), c.name) << c.host;
    EXPECT_EQ(EhloDomain(std::string(64, 'a') + ".test", "127.0.0.1"), "[127.0.0.1]");
    EXPECT_EQ(MessageIdDomain("buildbox", "127.0.0.1"), "buildbox");
    EXPECT_EQ(MessageIdDomain("bad>host", "127.0.0.1"), "[127.0.0.1]");
}

TEST(SmtpText, ServerTextIsCleanedForLogs) {
    EXPECT_EQ(CleanServerText("550 no\r\n550 \x1b[31mred\0", 100), "550 no\r\n550  [31mred");
    EXPECT_EQ(CleanServerText(std::string(10, 'x'), 4), "xxxx");
}
