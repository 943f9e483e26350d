#include "core/Scramble.h"

#include <algorithm>

#include "core/MiscUtils.h"

namespace MiscFuncs {
namespace {

constexpr std::uint8_t kScrambleFirstKey = 0xE4;
constexpr std::uint8_t kScrambleLastKey = 0x3B;
constexpr int kScrambleRotation = 2;
constexpr int kUnscrambleRotation = 6;
constexpr std::uint32_t kChecksumModulus = 32767;
constexpr long kMaxRegCodeSteps = 70;

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::string checksumText(std::uint32_t sum) {
    std::string text(4, '0');
    for (int i = 3; i >= 0; --i, sum >>= 4) text[i] = kHexDigits[sum & 0x0F];
    return text;
}

// Adds code * position to the running checksum; position counts from 1.
std::uint32_t addToChecksum(std::uint32_t sum, unsigned char code, std::size_t position) {
    const std::uint64_t weight = position % kChecksumModulus;
    return static_cast<std::uint32_t>((sum + code * weight) % kChecksumModulus);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The value of a one- or two-character pair, read up to its first non-hex character.
unsigned char pairValue(std::string_view pair) {
    int value = 0;
    for (char c : pair) {
        const int digit = hexValue(c);
        if (digit < 0) break;
        value = value * 16 + digit;
    }
    return static_cast<unsigned char>(value);
}

// round(length / 2) with halves going to the even number: a trailing single digit
// counts as a byte only when that makes the count even.
std::size_t pairCount(std::size_t dataLength) {
    const std::size_t whole = dataLength / 2;
    if (dataLength % 2 == 0) return whole;
    return whole % 2 == 0 ? whole : whole + 1;
}

}  // namespace

std::string ScrambleBytes(std::string_view text, int rotation, std::uint8_t firstKey, std::uint8_t lastKey) {
    const int s = ((rotation % 8) + 8) % 8;
    std::string out(text.size(), '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned x = static_cast<unsigned char>(text[i]) ^ firstKey;
        const unsigned rotated = ((x << s) | (x >> (8 - s))) & 0xFF;
        out[i] = static_cast<char>(rotated ^ lastKey);
    }
    return out;
}

std::string HexWithChecksum(std::string_view text, std::string& checksum) {
    std::string hex;
    hex.reserve(2 * text.size());
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto code = static_cast<unsigned char>(text[i]);
        hex += kHexDigits[code >> 4];
        hex += kHexDigits[code & 0x0F];
        sum = addToChecksum(sum, code, i + 1);
    }
    checksum = checksumText(sum);
    return hex;
}

std::string ScrambleText(std::string_view plain) {
    const std::string scrambled = ScrambleBytes(plain, kScrambleRotation, kScrambleFirstKey, kScrambleLastKey);
    std::string checksum;
    std::string hex = HexWithChecksum(scrambled, checksum);
    return checksum + hex;
}

bool UnscrambleText(std::string_view scrambled, std::string& plain) {
    plain.clear();
    if (scrambled.size() < 4) return false;
    const std::string_view stored = scrambled.substr(0, 4);
    const std::string_view data = scrambled.substr(4);
    const std::size_t count = pairCount(data.size());
    std::string bytes(count, '\0');
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char code = pairValue(data.substr(2 * i, 2));
        bytes[i] = static_cast<char>(code);
        sum = addToChecksum(sum, code, i + 1);
    }
    plain = ScrambleBytes(bytes, kUnscrambleRotation, kScrambleLastKey, kScrambleFirstKey);
    return stored == checksumText(sum);
}

std::string RegCode(std::string_view from, std::string_view account) {
    const std::string upperFrom = UpperCase(from);
    const std::string upperAccount = UpperCase(account);
    const long shorter = static_cast<long>(std::min(upperFrom.size(), upperAccount.size()));
    const long steps = std::min(2 * shorter - 1, kMaxRegCodeSteps);
    long sum = 0;
    for (long k = 1; k <= steps; ++k) {
        // Odd steps walk the sender's address, even steps the account's.
        const std::size_t index = static_cast<std::size_t>((k - 1) / 2);
        if (k % 2 == 1)
            sum += 3 * static_cast<unsigned char>(upperFrom[index]);
        else
            sum += 2 * static_cast<unsigned char>(upperAccount[index]);
    }
    return std::to_string(sum);
}

bool VerifyRegCode(std::string_view from, std::string_view account, std::string_view code) {
    return code == RegCode(from, account);
}

}  // namespace MiscFuncs
