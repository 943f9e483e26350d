// The addresses the feedback and recommendation forms open: every value escaped
// whole, so that what the user typed reaches the page unchanged.
#include <gtest/gtest.h>

#include <string>

#include "core/FormAddresses.h"
#include "core/ProductInfo.h"

namespace {

struct EscapeCase {
    std::string text, escaped;
};

class UrlEscapeTable : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(UrlEscapeTable, EscapesEveryReservedByte) {
    EXPECT_EQ(BrowserHelpers::UrlEscape(GetParam().text), GetParam().escaped);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UrlEscapeTable,
    ::testing::Values(EscapeCase{"", ""}, EscapeCase{"Abc-1.2_x~", "Abc-1.2_x~"},
                      EscapeCase{"a b/c?d e", "a%20b%2Fc%3Fd%20e"},  // the escaping goes on past "?"
                      EscapeCase{"x&y=1#z+w%", "x%26y%3D1%23z%2Bw%25"},
                      EscapeCase{"line\r\nnext\n", "line%0D%0Anext%0A"},
                      EscapeCase{"DA", "DA"}, EscapeCase{"caf\xC3\xA9", "caf%C3%A9"},
                      EscapeCase{std::string("\0\x7f\xff", 3), "%00%7F%FF"},
                      EscapeCase{",~:$\"<>", "%2C~%3A%24%22%3C%3E"}));

TEST(FormAddresses, PagesCarryTheirFieldsInOrder) {
    EXPECT_EQ(BrowserHelpers::PageWithQuery(BrowserHelpers::FeedbackPage(),
                                            {{"prod", "Glimmerpost"}, {"email", "me@x.com"}, {"body", "a&b=c"}}),
              std::string(ProductInfo::kSiteAddress) + "zshared/feedback.asp?prod=Glimmerpost&email=me%40x.com&body=a%26b%3Dc");
    EXPECT_EQ(BrowserHelpers::PageWithQuery(BrowserHelpers::TellAFriendPage(),
                                            {{"prod", "G"}, {"email1", "a@x.com"}, {"email2", ""}, {"email3", ""},
                                             {"fromemail", ""}, {"fromname", "Me"}, {"body", "hi"}}),
              std::string(ProductInfo::kSiteAddress) +
                  "zshared/tellafriend.asp?prod=G&email1=a%40x.com&email2=&email3=&fromemail=&fromname=Me&body=hi");
}

TEST(FormAddresses, BodiesNameTheVersionAndTheBrowser) {
    const std::string v = ProductInfo::FullVersionText();
    EXPECT_EQ(BrowserHelpers::FeedbackBody("Hello", false, "/usr/bin/firefox-esr"),
              "V" + v + "\r\nHello\r\n\r\nOther Browser: ...bin/firefox-esr");
    EXPECT_EQ(BrowserHelpers::FeedbackBody("Hello", false, "/bin/b"), "V" + v + "\r\nHello\r\n\r\nOther Browser: .../bin/b");
    EXPECT_EQ(BrowserHelpers::FeedbackBody("Hi", true, ""), "V" + v + "\r\nHi\r\n\r\nInternet Explorer Browser ");
    EXPECT_EQ(BrowserHelpers::TellAFriendBody("Try it"), "Try it\r\n\r\nv" + v);
    ProductInfo::SetProductIdentity("Glimmerpost");
    const std::string text = BrowserHelpers::TellAFriendText("Glimmerpost");
    EXPECT_NE(text.find("I found Glimmerpost.  It has been working great."), std::string::npos);
    EXPECT_TRUE(text.ends_with("yourself  at " + ProductInfo::HomePage() + " "));
}

}  // namespace
