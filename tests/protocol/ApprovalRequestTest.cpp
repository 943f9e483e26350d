// The approval link and the registration reply as both sides read them.
#include "protocol/ApprovalRequest.h"

#include <gtest/gtest.h>

#include "core/Scramble.h"
#include "protocol/RegistrationReplies.h"

using namespace ApprovalRequest;

namespace {
const std::string kToken = "00112233445566778899aabbccddeeff";
}

TEST(ApprovalRequestTest, FormTexts) {
    const struct {
        const char* text;
        std::optional<Fields> fields;
    } cases[] = {
        {"", Fields{}},
        {"a=1&b=x+y%20z&c=", Fields{{"a", "1"}, {"b", "x y z"}, {"c", ""}}},
        {"a&&b=2&", Fields{{"a", ""}, {"b", "2"}}},
        {"n=%00%0D%0A%ff", Fields{{"n", std::string("\0\r\n\xff", 4)}}},
        {"a=%4", std::nullopt},
        {"a=%G0", std::nullopt},
        {"a=%", std::nullopt},
        {"a=1&a=2", std::nullopt},
        {"=1", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseUrlEncoded(c.text), c.fields) << c.text;
    std::string many;
    for (int i = 0; i <= static_cast<int>(kMaxFields); ++i) many += "f" + std::to_string(i) + "=1&";
    EXPECT_EQ(ParseUrlEncoded(many), std::nullopt);
    EXPECT_EQ(ParseUrlEncoded("a=" + std::string(kMaxQueryBytes, 'x')), std::nullopt);
    EXPECT_EQ(ParseUrlEncoded("v=" + UrlEncode(std::string("a b&c=d\r\n\0", 10))),
              (Fields{{"v", std::string("a b&c=d\r\n\0", 10)}}));
}

TEST(ApprovalRequestTest, TheLinkNamesItsTargetAndNothingElseReads) {
    const std::string link = Link(ServiceBase(" http://approve.test/ "), "Ann <ann@there.test>", "me@home.test", kToken);
    ASSERT_TRUE(link.starts_with("http://approve.test/r.asp?d=")) << link;
    const std::optional<Fields> query = ParseUrlEncoded(link.substr(link.find('?') + 1));
    ASSERT_TRUE(query);
    const std::optional<Target> target = ReadTarget(query->at("d"), query->at("t"));
    ASSERT_TRUE(target);
    EXPECT_EQ(target->recipient, "Ann <ann@there.test>");
    EXPECT_EQ(target->sender, "ann@there.test");
    EXPECT_EQ(target->account, "me@home.test");
    EXPECT_EQ(target->token, kToken);
    EXPECT_EQ(ServiceBase(""), "http://www.glimmerpost.example");
    EXPECT_EQ(ButtonAddress("http://approve.test"), "http://approve.test/files/regbtn.gif");

    std::string tampered = query->at("d");
    tampered[8] = tampered[8] == 'A' ? 'B' : 'A';
    const struct {
        const char* what;
        std::string d, t;
    } bad[] = {
        {"a tampered d", tampered, kToken},
        {"no token", query->at("d"), ""},
        {"a short token", query->at("d"), kToken.substr(2)},
        {"no account", MiscFuncs::ScrambleText("ann@there.test"), kToken},
        {"an account with a name", MiscFuncs::ScrambleText("ann@there.test:Me <me@home.test>"), kToken},
        {"a line break", MiscFuncs::ScrambleText("ann@there.test\r\nBcc: x@y.test:me@home.test"), kToken},
        {"no sender", MiscFuncs::ScrambleText(":me@home.test"), kToken},
        {"not scrambled", "ann@there.test:me@home.test", kToken},
    };
    for (const auto& b : bad) EXPECT_EQ(ReadTarget(b.d, b.t), std::nullopt) << b.what;
}

TEST(ApprovalRequestTest, TheReplyReadsBackAsItsKeysWhateverTheSenderTyped) {
    const Target target{"\"Ann\" <ann@there.test>", "ann@there.test", "me@home.test", kToken};
    const std::string body = ReplyBody(target, std::string("Ann\r\nAuthRequestCode: 1\0x", 25),
                                       "because\r\n\r\n\"quoted\"\ttab", "2026-12-11 02:00:00 UTC");
    const RegistrationReplies::RegistrationReply reply = RegistrationReplies::ParseReplyBody(body);
    EXPECT_EQ(reply.name, "Ann AuthRequestCode: 1 x");
    EXPECT_EQ(reply.reason, "because quoted tab");
    EXPECT_EQ(reply.from, "Ann <ann@there.test>");
    EXPECT_TRUE(MiscFuncs::VerifyRegCode(reply.from, "me@home.test", reply.code)) << body;
    EXPECT_EQ(reply.token, kToken);
    EXPECT_EQ(reply.time, "2026-12-11 02:00:00 UTC");
    EXPECT_EQ(CleanValue(std::string(500, 'n'), kMaxNameLength).size(), kMaxNameLength);
    EXPECT_EQ(HtmlEscape("<a href=\"x\">&'"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;");
}
