#include "core/Digest.h"

#include <gtest/gtest.h>

#include <string>

#include "ByteText.h"

namespace {

using namespace MiscFuncs;

using testing_support::bytes;

std::string allByteValues() {
    std::string s;
    for (int c = 0; c < 256; ++c) s += static_cast<char>(c);
    return s;
}

// RFC 1321, appendix A.5, plus lengths around the 56- and 64-byte padding boundaries.
TEST(MD5Test, KnownDigestsInUpperCase) {
    struct Case { std::string text; const char* hex; };
    const Case cases[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"a", "0CC175B9C0F1B6A831C399E269772661"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
        {std::string(55, 'a'), "EF1772B6DFF9A122358552954AD0DF65"},
        {std::string(56, 'a'), "3B0C8AC703F828B04C6C197006D17218"},
        {std::string(63, 'a'), "B06521F39153D618550606BE297466D5"},
        {std::string(64, 'a'), "014842D480B571495A4A0363793F7367"},
        {std::string(65, 'a'), "C743A45E0D2E6A95CB859ADAE0248435"},
        {std::string(120, 'a'), "5F61C0CCAD4CAC44C75FF505E1F1E537"},
    };
    for (const Case& c : cases) EXPECT_EQ(MD5Hex(c.text), c.hex) << c.text.size() << " bytes";
}

TEST(MD5Test, PiecewiseAndInterleavedUpdatesMatchOneShot) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += allByteValues()[(i * 37) % 256];
    const MD5Bytes whole = MD5Digest(text);
    for (std::size_t piece : {1u, 3u, 63u, 64u, 65u, 200u}) {
        MD5Context a, b;
        MD5Init(a);
        MD5Init(b);
        for (std::size_t at = 0; at < text.size(); at += piece) {
            MD5Update(a, std::string_view(text).substr(at, piece));
            MD5Update(b, "x");  // a second digest in progress must not disturb the first
        }
        EXPECT_EQ(MD5Final(a), whole) << "pieces of " << piece;
    }
    MD5Context million;
    MD5Init(million);
    for (int i = 0; i < 1000; ++i) MD5Update(million, std::string(1000, 'a'));
    EXPECT_EQ(MD5DigestHex(MD5Final(million), true), "7707D6AE4E027C70EEA2A935C2296F21");
}

TEST(MD5Test, DigestHexFollowsByteOrder) {
    MD5Bytes d{};
    for (int i = 0; i < 16; ++i) d[i] = static_cast<std::uint8_t>(i * 17);
    EXPECT_EQ(MD5DigestHex(d, true), "00112233445566778899AABBCCDDEEFF");
    EXPECT_EQ(MD5DigestHex(d, false), "00112233445566778899aabbccddeeff");
}

// RFC 2202, section 2; cases 6 and 7 have an 80-byte key, which is hashed first.
TEST(HmacMD5Test, Rfc2202VectorsInLowerCase) {
    struct Case { std::string key, data; const char* hex; };
    const Case cases[] = {
        {std::string(16, '\x0b'), "Hi There", "9294727a3638bb1c13f48ef8158bfc9d"},
        {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
        {std::string(16, '\xaa'), std::string(50, '\xdd'), "56be34521d144c88dbb8c733f0e8b3f6"},
        {bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25}),
         std::string(50, '\xcd'), "697eaf0aca3a3aea3a75164746ffaa79"},
        {std::string(16, '\x0c'), "Test With Truncation", "56461ef2342edc00f9bab995690efd4c"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "6f630fad67cda0ee1fb1f562db3aa53e"},
    };
    for (const Case& c : cases) EXPECT_EQ(HmacMD5(c.key, c.data), c.hex) << c.data;
}

TEST(HmacMD5Test, KeyLengthsAroundTheBlockSize) {
    std::string key65;
    for (int i = 0; i < 65; ++i) key65 += static_cast<char>(i);
    EXPECT_EQ(HmacMD5(key65, "msg"), "d7fd219d8c8d2f286d3abd5592fee480");
    const MD5Bytes d = MD5Digest(key65);
    EXPECT_EQ(HmacMD5(std::string(reinterpret_cast<const char*>(d.data()), d.size()), "msg"),
              HmacMD5(key65, "msg"));
    EXPECT_EQ(HmacMD5(std::string(64, 'k'), "msg"), "7350d7e9ec9d1235174e9ded54edfa8c");  // used unchanged
    EXPECT_EQ(MD5DigestHex(HmacMD5Digest("Jefe", "what do ya want for nothing?"), false),
              "750c783e6ab0b503eaa86e310a5db738");
}

TEST(HexToBinaryTest, PairsBecomeBytes) {
    struct Case { const char* hex; std::string out; };
    const Case cases[] = {
        {"", ""},
        {"616263", "abc"},
        {"00ff80Aa", bytes({0, 255, 128, 170})},
        {"414", "A"},          // odd last digit ignored
        {"1G", bytes({1})},    // read up to the first non-hex character
        {"G1", bytes({0})},
        {" 1", bytes({0})},
    };
    for (const Case& c : cases) EXPECT_EQ(HexToBinary(c.hex), c.out) << c.hex;
    EXPECT_EQ(HexToBinary(MD5DigestHex(MD5Digest("abc"), true)).size(), 16u);
}

// RFC 4648, section 10.
TEST(Base64Test, Rfc4648VectorsBothWays) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : cases) {
        EXPECT_EQ(Base64Encode(plain), encoded);
        EXPECT_EQ(Base64Decode(encoded), plain);
    }
}

TEST(Base64Test, EveryByteValueSurvivesOnOneLine) {
    std::string all = allByteValues() + allByteValues();
    for (std::size_t n : {0u, 1u, 2u, 3u, 57u, 58u, 512u}) {
        const std::string text = all.substr(0, n);
        const std::string encoded = Base64Encode(text);
        EXPECT_EQ(encoded.size(), (n + 2) / 3 * 4);
        EXPECT_EQ(encoded.find_first_of("\r\n"), std::string::npos);
        EXPECT_EQ(Base64Decode(encoded), text) << n;
    }
    EXPECT_EQ(Base64Encode(bytes({0xfb, 0xff})), "+/8=");
    EXPECT_EQ(Base64Decode("AA=="), std::string(1, '\0'));
    EXPECT_EQ(Base64Decode("PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+"),
              "<1896.697170952@postoffice.reston.mci.net>");  // the CRAM-MD5 challenge of RFC 2195
}

TEST(Base64Test, MalformedTextDecodesToNothing) {
    const char* cases[] = {
        "Zm9vY",            // length not a multiple of four
        "Zm9 YmFy",         // blank, length a multiple of four
        "Zm9v\r\nYm",       // line break inside
        "Zm9vYmF\n",
        "Zm9vYmF*",         // outside the alphabet, after a group already decoded
        "Zm9-",             // URL-safe alphabet is not ours
        "Zm9v\xc3\xa9" "Fy", // codes above 127
        "====",             // padding for three or four missing bytes
        "Z===",
        "Zg==Zm9v",         // padding before the last group
        "Zm8=Zm8=",
    };
    for (const char* c : cases) EXPECT_EQ(Base64Decode(c), "") << c;
    EXPECT_EQ(Base64Decode("Zg=x"), "f");  // the rest of the last group after "=" is not read
}

}  // namespace
