#pragma once
// Hash and equality of 8-bit texts that ignore ASCII letter case (other bytes are
// compared as they are). Both work on eight bytes at a time: the keys they serve,
// such as "account\MailDir\InBox\sender id.eml", are long and share long
// beginnings. The hash mixes its last bits well enough for tables that use only
// the low bits.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace MiscFuncs {

namespace caseless {

inline std::uint64_t load8(const char* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return w;
}

// The last n (1 to 7) bytes of a text of size bytes that ends at end, as one word
// holding every one of those bytes: the last eight bytes when the text is that long
// (some again), else overlapping four-byte halves or single bytes. Two texts of one
// size give equal words exactly when those bytes are equal.
inline std::uint64_t loadTail(const char* end, std::size_t n, std::size_t size) {
    if (size >= 8) return load8(end - 8);
    const char* p = end - n;
    if (n >= 4) {
        std::uint32_t a, b;
        std::memcpy(&a, p, 4);
        std::memcpy(&b, end - 4, 4);
        return a | (static_cast<std::uint64_t>(b) << 32);
    }
    const auto byte = [](char c) { return static_cast<std::uint64_t>(static_cast<unsigned char>(c)); };
    return byte(p[0]) | byte(p[n / 2]) << 8 | byte(p[n - 1]) << 16;
}

// Sets the 0x20 bit of every byte 'A'..'Z' of w; other bytes stay as they are.
inline std::uint64_t lower8(std::uint64_t w) {
    constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    const std::uint64_t low7 = w & ~highs;
    const std::uint64_t atLeastA = low7 + (0x80 - 'A') * ones;
    const std::uint64_t aboveZ = low7 + (0x80 - 'Z' - 1) * ones;
    const std::uint64_t upper = atLeastA & ~aboveZ & ~w & highs;
    return w | (upper >> 2);
}

inline std::uint64_t mix(std::uint64_t h, std::uint64_t w) {
    h = (h ^ w) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

}  // namespace caseless

struct CaseInsensitiveHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
        std::uint64_t h = 0x243F6A8885A308D3ull ^ text.size();
        const char* p = text.data();
        std::size_t n = text.size();
        for (; n >= 8; p += 8, n -= 8) h = caseless::mix(h, caseless::lower8(caseless::load8(p)));
        if (n) h = caseless::mix(h, caseless::lower8(caseless::loadTail(p + n, n, text.size())));
        h = (h ^ (h >> 33)) * 0xFF51AFD7ED558CCDull;  // the table uses the low bits
        return static_cast<std::size_t>(h ^ (h >> 33));
    }
};

struct CaseInsensitiveEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept {
        if (a.size() != b.size()) return false;
        const char *p = a.data(), *q = b.data();
        std::size_t n = a.size();
        for (; n >= 8; p += 8, q += 8, n -= 8)
            if (caseless::lower8(caseless::load8(p)) != caseless::lower8(caseless::load8(q))) return false;
        return n == 0 || caseless::lower8(caseless::loadTail(p + n, n, a.size())) ==
                             caseless::lower8(caseless::loadTail(q + n, n, a.size()));
    }
};

}  // namespace MiscFuncs
