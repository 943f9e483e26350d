#include "core/Scramble.h"

#include <gtest/gtest.h>

#include <string>

#include "ByteText.h"

namespace {

using namespace MiscFuncs;

using testing_support::bytes;

TEST(ScrambleTest, HexWithChecksumOfAbc) {
    std::string checksum;
    EXPECT_EQ(HexWithChecksum("abc", checksum), "616263");
    EXPECT_EQ(checksum, "024E");
    EXPECT_EQ(HexWithChecksum("", checksum), "");
    EXPECT_EQ(checksum, "0000");
    // 255 * (1 + ... + 300) mod 32767 = 0x2F01: the sum wraps many times.
    EXPECT_EQ(HexWithChecksum(std::string(300, '\xff'), checksum).size(), 600u);
    EXPECT_EQ(checksum, "2F01");
}

TEST(ScrambleTest, KnownScrambledTexts) {
    EXPECT_EQ(ScrambleText(""), "0000");
    EXPECT_EQ(ScrambleText("abc"), "00DE2D2125");
    EXPECT_EQ(ScrambleText("Password1"), "0F08E92D6565751561396C");
    EXPECT_EQ(ScrambleText(bytes({0, 0x80, 0xff})), "0301A8AA57");
}

TEST(ScrambleTest, ScrambleBytesRotatesWithinEightBits) {
    EXPECT_EQ(ScrambleBytes(bytes({0x81}), 1, 0, 0), bytes({0x03}));
    EXPECT_EQ(ScrambleBytes(bytes({0x81}), 9, 0, 0), bytes({0x03}));   // taken modulo 8
    EXPECT_EQ(ScrambleBytes(bytes({0x81}), 255, 0, 0), bytes({0xC0}));
    EXPECT_EQ(ScrambleBytes(bytes({0x81}), 8, 0, 0), bytes({0x81}));
    EXPECT_EQ(ScrambleBytes(bytes({0x81}), -7, 0, 0), bytes({0x03}));
    EXPECT_EQ(ScrambleBytes(bytes({0x00}), 3, 0xF0, 0x01), bytes({0x86}));  // first key, rotate, last key
}

TEST(ScrambleTest, EveryTextComesBackWithTrue) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    const std::string texts[] = {"", "a", "secret pass", std::string(3, '\0'), all,
                                 std::string(40000, '\xe9')};  // positions beyond the modulus
    for (const std::string& text : texts) {
        std::string plain = "stale";
        EXPECT_TRUE(UnscrambleText(ScrambleText(text), plain)) << text.size();
        EXPECT_EQ(plain, text);
    }
    for (int c = 0; c < 256; ++c) {
        std::string plain;
        EXPECT_TRUE(UnscrambleText(ScrambleText(std::string(1, static_cast<char>(c))), plain)) << c;
        EXPECT_EQ(plain, std::string(1, static_cast<char>(c)));
    }
}

TEST(ScrambleTest, AnyChangedDataDigitIsCaught) {
    std::string text;
    for (int i = 0; i < 128; ++i) text += static_cast<char>((i * 71 + 5) % 256);
    const std::string good = ScrambleText(text);
    for (std::size_t at = 4; at < good.size(); ++at) {
        for (char digit : {'0', '7', 'F'}) {
            if (good[at] == digit) continue;
            std::string bad = good;
            bad[at] = digit;
            std::string plain;
            EXPECT_FALSE(UnscrambleText(bad, plain)) << "digit " << at << " -> " << digit;
        }
    }
}

TEST(ScrambleTest, LowerCaseDigitsGiveThePlainTextButFalse) {
    std::string plain;
    EXPECT_FALSE(UnscrambleText("0f08e92d6565751561396c", plain));
    EXPECT_EQ(plain, "Password1");
    EXPECT_TRUE(UnscrambleText("0F08e92d6565751561396c", plain));  // only the checksum is compared
    EXPECT_EQ(plain, "Password1");
}

// What damaged texts give back: never a crash, never bytes beyond what was read.
TEST(ScrambleTest, DamagedTextsAreReadAsFarAsTheyGo) {
    struct Case { std::string text; bool ok; std::string plain; };
    const std::string abc = ScrambleText("abc");  // "00DE" "2D2125"
    const Case cases[] = {
        {"", false, ""},
        {"00D", false, ""},
        {"0000", true, ""},
        {"0000" "2", true, ""},                            // one digit rounds to no byte, so nothing is checked
        {abc.substr(0, abc.size() - 1), false, "ab"},      // five digits: rounds down to two bytes
        {"0000" "2D2125" "2", false, "abc" + bytes({0xaa})},  // seven digits: rounds up to four
        {"00DE" "2D21" "G5", false, "ab" + bytes({0x2a})},    // "G5" reads as 0
        {"00DE" "2D21" "2G", false, "ab" + bytes({0xaa})},    // "2G" reads as 2
        {"XYZW" "2D2125", false, "abc"},
        {bytes({0, 0, 0, 0, 0, 0}), false, bytes({0x2a})},
    };
    for (const Case& c : cases) {
        std::string plain = "stale";
        EXPECT_EQ(UnscrambleText(c.text, plain), c.ok) << c.text;
        EXPECT_EQ(plain, c.plain) << c.text;
    }
}

TEST(VerifyRegCodeTest, CodeBindsSenderToAccount) {
    // "AB" / "CD": 3*'A' + 2*'C' + 3*'B' = 195 + 134 + 198.
    struct Case { const char* from; const char* account; const char* code; bool ok; };
    const Case cases[] = {
        {"ab", "cd", "527", true},
        {"aB", "Cd", "527", true},     // letter case ignored
        {"abX", "cd", "527", true},    // only the shorter length counts
        {"ab", "cdXYZ", "527", true},
        {"cd", "ab", "527", false},    // the roles differ
        {"ab", "cd", "0527", false},   // compared exactly
        {"ab", "cd", " 527", false},
        {"ab", "cd", "+527", false},
        {"ab", "cd", "", false},
        {"bob@example.com", "", "0", true},
        {"", "me@example.com", "0", true},
        {"bob@example.com", "", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(VerifyRegCode(c.from, c.account, c.code), c.ok) << c.from << " / " << c.account << " / " << c.code;
}

TEST(VerifyRegCodeTest, LongAddressesTakeSeventySteps) {
    const std::string a35(35, 'A'), b35(35, 'B');
    EXPECT_TRUE(VerifyRegCode(a35, b35, "11313"));   // 69 steps: 35 of from, 34 of account
    const std::string a40(40, 'A'), b40(40, 'B');
    EXPECT_TRUE(VerifyRegCode(a40, b40, "11445"));   // 70 steps: 35 of each
    const std::string high(40, '\xff');
    EXPECT_TRUE(VerifyRegCode(high, high, "44625"));  // the largest sum, beyond 16 bits
}

}  // namespace
