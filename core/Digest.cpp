#include "core/Digest.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace MiscFuncs {
namespace {

constexpr std::size_t kBlockSize = 64;

// RFC 1321, 3.4: the per-step additive constants, floor(abs(sin(i + 1)) * 2^32).
constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

// Left-rotation amounts, four per round.
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

std::uint32_t loadLE(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// The round function and message-word index of step i (RFC 1321, 3.4).
std::uint32_t roundMix(int i, std::uint32_t b, std::uint32_t c, std::uint32_t d, int& word) {
    switch (i / 16) {
        case 0: word = i; return (b & c) | (~b & d);
        case 1: word = (5 * i + 1) % 16; return (b & d) | (c & ~d);
        case 2: word = (3 * i + 5) % 16; return b ^ c ^ d;
        default: word = (7 * i) % 16; return c ^ (b | ~d);
    }
}

void MD5Transform(std::array<std::uint32_t, 4>& state, const std::uint8_t* block) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = loadLE(block + 4 * i);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        int word = 0;
        const std::uint32_t f = roundMix(i, b, c, d, word);
        const std::uint32_t sum = a + f + kSine[i] + x[word];
        a = d;
        d = c;
        c = b;
        b = b + std::rotl(sum, kShift[i / 16][i % 4]);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

const std::uint8_t* bytesOf(std::string_view s) { return reinterpret_cast<const std::uint8_t*>(s.data()); }

// The key as one 64-byte block: hashed when longer, NUL-padded when shorter.
std::array<std::uint8_t, kBlockSize> hmacKeyBlock(std::string_view key) {
    std::array<std::uint8_t, kBlockSize> block{};
    if (key.size() > kBlockSize) {
        const MD5Bytes digest = MD5Digest(key);
        std::memcpy(block.data(), digest.data(), digest.size());
    } else if (!key.empty()) {
        std::memcpy(block.data(), key.data(), key.size());
    }
    return block;
}

std::string xorPad(const std::array<std::uint8_t, kBlockSize>& key, std::uint8_t pad) {
    std::string out(kBlockSize, '\0');
    for (std::size_t i = 0; i < kBlockSize; ++i) out[i] = static_cast<char>(key[i] ^ pad);
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Decodes one group of four into three bytes. Returns the place (1 to 4) of its first
// "=", 0 when it has none, or -1 when it holds a character outside the alphabet.
int decodeGroup(std::string_view group, std::uint8_t out[3]) {
    std::uint32_t bits = 0;
    int place = 0;
    for (int i = 0; i < 4; ++i) {
        if (group[i] == '=') {
            place = i + 1;
            break;
        }
        const int v = base64Value(static_cast<unsigned char>(group[i]));
        if (v < 0) return -1;
        bits |= std::uint32_t(v) << (18 - 6 * i);
    }
    out[0] = static_cast<std::uint8_t>(bits >> 16);
    out[1] = static_cast<std::uint8_t>(bits >> 8);
    out[2] = static_cast<std::uint8_t>(bits);
    return place;
}

}  // namespace

void MD5Init(MD5Context& context) {
    context.state = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    context.byteCount = 0;
}

void MD5Update(MD5Context& context, std::string_view data) {
    const std::uint8_t* p = bytesOf(data);
    std::size_t left = data.size();
    std::size_t filled = context.byteCount % kBlockSize;
    context.byteCount += left;
    while (left > 0) {
        const std::size_t take = std::min(left, kBlockSize - filled);
        std::memcpy(context.block.data() + filled, p, take);
        p += take;
        left -= take;
        filled += take;
        if (filled == kBlockSize) {
            MD5Transform(context.state, context.block.data());
            filled = 0;
        }
    }
}

MD5Bytes MD5Final(MD5Context& context) {
    const std::uint64_t bitCount = context.byteCount * 8;
    const std::size_t filled = context.byteCount % kBlockSize;
    const std::size_t padLength = (filled < 56 ? 56 : 120) - filled;
    std::string tail(padLength + 8, '\0');
    tail[0] = '\x80';
    for (int i = 0; i < 8; ++i) tail[padLength + i] = static_cast<char>(bitCount >> (8 * i));
    MD5Update(context, tail);
    MD5Bytes digest{};
    for (int w = 0; w < 4; ++w)
        for (int i = 0; i < 4; ++i) digest[4 * w + i] = static_cast<std::uint8_t>(context.state[w] >> (8 * i));
    return digest;
}

std::string MD5DigestHex(const MD5Bytes& digest, bool upperCase) {
    const char* digits = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * digest.size());
    for (std::uint8_t b : digest) {
        hex += digits[b >> 4];
        hex += digits[b & 0x0F];
    }
    return hex;
}

MD5Bytes MD5Digest(std::string_view data) {
    MD5Context context;
    MD5Init(context);
    MD5Update(context, data);
    return MD5Final(context);
}

MD5Bytes HmacMD5Digest(std::string_view key, std::string_view message) {
    const auto keyBlock = hmacKeyBlock(key);
    MD5Context inner;
    MD5Init(inner);
    MD5Update(inner, xorPad(keyBlock, 0x36));
    MD5Update(inner, message);
    const MD5Bytes innerDigest = MD5Final(inner);
    MD5Context outer;
    MD5Init(outer);
    MD5Update(outer, xorPad(keyBlock, 0x5C));
    MD5Update(outer, std::string_view(reinterpret_cast<const char*>(innerDigest.data()), innerDigest.size()));
    return MD5Final(outer);
}

std::string MD5Hex(std::string_view text) { return MD5DigestHex(MD5Digest(text), true); }

std::string HmacMD5(std::string_view key, std::string_view message) {
    return MD5DigestHex(HmacMD5Digest(key, message), false);
}

std::string HexToBinary(std::string_view hex) {
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int high = hexValue(hex[i]);
        const int low = high < 0 ? -1 : hexValue(hex[i + 1]);
        const int value = high < 0 ? 0 : (low < 0 ? high : high * 16 + low);
        out += static_cast<char>(value);
    }
    return out;
}

std::string Base64Encode(std::string_view bytes) {
    const std::uint8_t* p = bytesOf(bytes);
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t bits = std::uint32_t(p[i]) << 16;
        if (n > 1) bits |= std::uint32_t(p[i + 1]) << 8;
        if (n > 2) bits |= p[i + 2];
        out += kBase64Alphabet[(bits >> 18) & 63];
        out += kBase64Alphabet[(bits >> 12) & 63];
        out += n > 1 ? kBase64Alphabet[(bits >> 6) & 63] : '=';
        out += n > 2 ? kBase64Alphabet[bits & 63] : '=';
    }
    return out;
}

std::string Base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) return "";
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t at = 0; at < text.size(); at += 4) {
        std::uint8_t bytes[3];
        const int place = decodeGroup(text.substr(at, 4), bytes);
        // Padding belongs to the last group and stands for one or two missing bytes;
        // anything else would hand back bytes the sender never encoded.
        if (place < 0 || place == 1 || place == 2) return "";
        if (place > 0 && at + 4 < text.size()) return "";
        const std::size_t keep = place == 3 ? 1 : place == 4 ? 2 : 3;
        out.append(reinterpret_cast<const char*>(bytes), keep);
    }
    return out;
}

}  // namespace MiscFuncs
