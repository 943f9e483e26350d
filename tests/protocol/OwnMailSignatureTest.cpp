// The keyed marks of the program's own traffic: the mails' signature, read from header
// fields as fields, and the approval token.
#include "protocol/OwnMailSignature.h"

#include <gtest/gtest.h>

#include <string>

using namespace OwnMailSignature;

namespace {

const std::string kKey = std::string("k3y\0bytes", 9) + std::string(23, '\x7f');

std::string SignedHead(const std::string& body, const std::string& key = kKey) {
    std::string head =
        "From: \"Me\" <Me@Home.test>\r\nTo:Ann <ann@there.test>\r\nSubject: RE:hi\r\n"
        "Message-ID: <ABC@host.test>\r\nX-GLP-RCPT: ann@there.test\r\nX-GLP-MESSAGE: REGREQUEST\r\n";
    head += "X-GLP-SIGNATURE: " + Sign(key, "REGREQUEST", "<ABC@host.test>", "\"Me\" <Me@Home.test>", "ann@there.test", body) +
            "\r\n";
    return head;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

}  // namespace

TEST(OwnMailSignatureTest, FieldsAreReadAsFieldsNotAsText) {
    const std::string head =
        "Subject: one\r\n X-GLP-MESSAGE: REGREQUEST\r\nx-glp-message :  TEST \r\nX-Other: a\r\n\tb\r\n"
        "X-GLP-MESSAGE: REGREQUEST\r\n\r\nX-GLP-MESSAGE: BODY\r\n";
    EXPECT_EQ(FieldValues(head, "X-GLP-MESSAGE"), (std::vector<std::string>{"TEST", "REGREQUEST"}));
    EXPECT_EQ(FieldValue(head, "subject"), "one X-GLP-MESSAGE: REGREQUEST") << "a folded line continues its field";
    EXPECT_EQ(FieldValue(head, "X-Other"), "a\tb");
    EXPECT_EQ(FieldValue(head, "Missing"), std::nullopt);
    EXPECT_TRUE(HasRequestMarker(head));
    EXPECT_FALSE(HasRequestMarker("Subject: hi\r\n X-GLP-MESSAGE: REGREQUEST\r\n"));
    EXPECT_FALSE(HasRequestMarker("X-Note: X-GLP-MESSAGE: REGREQUEST\r\n"));
    EXPECT_FALSE(HasRequestMarker("\r\nX-GLP-MESSAGE: REGREQUEST\r\n")) << "past the header block";
}

TEST(OwnMailSignatureTest, ASignatureHoldsOnlyForTheMailItWasMadeFor) {
    const std::string body = "the body\r\n";
    const std::string head = SignedHead(body);
    EXPECT_TRUE(Verify(kKey, head));
    EXPECT_TRUE(Verify(kKey, head, std::string_view(body)));
    const struct {
        const char* what;
        std::string head;
        std::string body;
    } broken[] = {
        {"another body", head, "my own body\r\n"},
        {"another From", Replaced(head, "From: \"Me\" <Me@Home.test>", "From: eve@there.test"), body},
        {"another recipient", Replaced(head, "X-GLP-RCPT: ann@there.test", "X-GLP-RCPT: eve@there.test"), body},
        {"another Message-ID", Replaced(head, "<ABC@host.test>", "<ABD@host.test>"), body},
        {"another kind", Replaced(head, "X-GLP-MESSAGE: REGREQUEST", "X-GLP-MESSAGE: TEST"), body},
        {"a second recipient field", head + "X-GLP-RCPT: eve@there.test\r\n", body},
        {"a second signature", head + head.substr(head.find("X-GLP-SIGNATURE")), body},
        {"no signature", head.substr(0, head.find("X-GLP-SIGNATURE")), body},
        {"another key", SignedHead(body, "other"), body},
    };
    for (const auto& b : broken) EXPECT_FALSE(Verify(kKey, b.head, std::string_view(b.body))) << b.what;
    EXPECT_FALSE(Verify("", SignedHead(body, ""))) << "nothing verifies under an empty key";
    // Letter case of the addresses and the field names does not matter; the rest does.
    EXPECT_TRUE(Verify(kKey, Replaced(head, "X-GLP-RCPT: ann@there.test", "x-glp-rcpt: ANN@there.test")));
}

TEST(OwnMailSignatureTest, TheTokenBindsSenderAndAccount) {
    const std::string token = ApprovalToken(kKey, "Ann <Ann@There.test>", "me@home.test");
    EXPECT_TRUE(IsTokenForm(token));
    EXPECT_EQ(token, ApprovalToken(kKey, "ann@there.test", "ME@home.test"));
    EXPECT_TRUE(TokenHolds(kKey, token, "ann@there.test", "me@home.test"));
    EXPECT_FALSE(TokenHolds(kKey, token, "eve@there.test", "me@home.test"));
    EXPECT_FALSE(TokenHolds(kKey, token, "ann@there.test", "second@home.test"));
    EXPECT_FALSE(TokenHolds("other", token, "ann@there.test", "me@home.test"));
    EXPECT_FALSE(TokenHolds("", ApprovalToken("", "a@b.test", "c@d.test"), "a@b.test", "c@d.test"));
    for (std::size_t i = 0; i < token.size(); ++i) {
        std::string changed = token;
        changed[i] = changed[i] == '0' ? '1' : '0';
        EXPECT_FALSE(TokenHolds(kKey, changed, "ann@there.test", "me@home.test")) << i;
    }
    for (const std::string& bad : {std::string(""), token.substr(1), token + "0", std::string(32, 'A'), std::string(32, 'g')})
        EXPECT_FALSE(IsTokenForm(bad)) << bad;
}
