#include "core/MessageKey.h"

#include <gtest/gtest.h>

#include <string>

#include "TempFolder.h"
#include "core/CaselessText.h"

namespace {

namespace fs = std::filesystem;
using namespace MessageKeys;

TEST(MessageKeyTest, SplitAcceptsOnlyTheThreeFoldersAndSafeNames) {
    struct Case {
        const char* key;
        bool ok;
    };
    const Case cases[] = {
        {"me@home.org\\MailDir\\InBox\\a@x.com 1.eml", true},
        {"me@home.org\\maildir\\WAITINGAUTH\\a@x.com 1.EML", true},
        {"me@home.org\\MailDir\\Recycled\\x.eml", true},
        {"me@home.org\\MailDir\\OutBox\\x.eml", false},
        {"me@home.org\\MailDir\\InBox\\x.rrm", false},
        {"me@home.org\\MailDir\\InBox\\.eml", false},
        {"me@home.org\\MailDir\\InBox\\sub\\x.eml", false},
        {"me@home.org\\MailDir\\InBox\\..\\x.eml", false},
        {"..\\MailDir\\InBox\\x.eml", false},
        {"a/b\\MailDir\\InBox\\x.eml", false},
        {"me@home.org\\MailDir\\InBox\\x/y.eml", false},
        {"me@home.org\\MailDir\\InBox\\x\ty.eml", false},
        {"\\MailDir\\InBox\\x.eml", false},
        {"me@home.org\\InBox\\x.eml", false},
        {"", false},
    };
    for (const Case& c : cases) {
        KeyParts parts;
        EXPECT_EQ(SplitKey(c.key, parts), c.ok) << c.key;
        EXPECT_EQ(PathOfKey(c.key).empty(), !c.ok) << c.key;
    }
    KeyParts parts;
    ASSERT_TRUE(SplitKeyOfAccount("ME@home.org\\MailDir\\inbox\\f.eml", "me@HOME.org", parts));
    EXPECT_EQ(parts.account, "ME@home.org");
    EXPECT_EQ(parts.canonical, kInBox);
    EXPECT_EQ(parts.file, "f.eml");
    EXPECT_FALSE(SplitKeyOfAccount("me@home.org.au\\MailDir\\InBox\\f.eml", "me@home.org", parts));
    EXPECT_FALSE(SplitKeyOfAccount("other@home.org\\MailDir\\InBox\\f.eml", "me@home.org", parts));
}

class MessageKeyPathTest : public testing_support::TempFolderTest {};

TEST_F(MessageKeyPathTest, PathsUseTheFoldersOwnSpelling) {
    EXPECT_EQ(PathOfKey("me@home.org\\maildir\\waitingauth\\a b.eml"),
              dir() / "accounts" / "me@home.org" / "MailDir" / "WaitingAuth" / "a b.eml");
    EXPECT_EQ(KeyInFolder("me@home.org\\MailDir\\InBox\\f.eml", "maildir\\recycled"),
              "me@home.org\\MailDir\\Recycled\\f.eml");
    EXPECT_EQ(KeyInFolder("me@home.org\\MailDir\\InBox\\f.eml", "MailDir\\OutBox"), "");
    EXPECT_EQ(FolderPath("me@home.org", "MailDir\\OutBox"), dir() / "accounts" / "me@home.org" / "MailDir" / "OutBox");
    EXPECT_TRUE(FolderPath("..", "MailDir\\InBox").empty());
}

// The word-at-a-time comparison and hash must agree with a byte-by-byte reading at
// every length and at every position of a difference, tails included.
TEST(CaselessTextTest, AgreesWithBytewiseComparisonAtEveryLength) {
    const MiscFuncs::CaseInsensitiveEqual equal;
    const MiscFuncs::CaseInsensitiveHash hash;
    for (std::size_t size = 0; size <= 40; ++size) {
        std::string lower, upper;
        for (std::size_t i = 0; i < size; ++i) {
            lower += static_cast<char>('a' + i % 26);
            upper += static_cast<char>('A' + i % 26);
        }
        EXPECT_TRUE(equal(lower, upper)) << size;
        EXPECT_EQ(hash(lower), hash(upper)) << size;
        for (std::size_t at = 0; at < size; ++at) {
            std::string other = lower;
            other[at] = '@';  // '@' and '`' sit beside the letters: neither folds
            EXPECT_FALSE(equal(lower, other)) << size << " at " << at;
            other[at] = static_cast<char>(lower[at] ^ 0x20 ^ 0x80);
            EXPECT_FALSE(equal(lower, other)) << size << " at " << at;
        }
    }
    EXPECT_FALSE(equal("[\\]^_", "{|}~\x7f")) << "only letters fold";
    EXPECT_FALSE(equal("abc", "abcd"));
    EXPECT_NE(hash("me@home.org\\MailDir\\InBox\\a.eml"), hash("me@home.org\\MailDir\\InBox\\b.eml"));
}

}  // namespace
