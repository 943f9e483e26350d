#pragma once
// Message digests and Base64 for SMTP authentication (AUTH CRAM-MD5, LOGIN, PLAIN).
//
// MD5 follows RFC 1321 and HMAC-MD5 RFC 2104 with a 64-byte block. Base64 uses the
// alphabet of RFC 2045 / RFC 4648 ("A"-"Z", "a"-"z", "0"-"9", "+", "/", "=" padding).
// Every text is a string of 8-bit codes: a text of n characters is n bytes, into the
// digests and out of the decoder, NUL and codes above 127 included.
//
// None of these operations fails; malformed Base64 decodes to "".

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace MiscFuncs {

using MD5Bytes = std::array<std::uint8_t, 16>;

// One MD5 computation in progress: start with MD5Init, feed with MD5Update, end with
// MD5Final. Each caller keeps its own context, so digests may interleave.
struct MD5Context {
    std::array<std::uint32_t, 4> state{};
    std::uint64_t byteCount = 0;
    std::array<std::uint8_t, 64> block{};
};

void MD5Init(MD5Context& context);
void MD5Update(MD5Context& context, std::string_view data);
// Pads, finishes and returns the digest; the context must be initialised again
// before it is reused.
MD5Bytes MD5Final(MD5Context& context);

// The 16 bytes as 32 hexadecimal digits, in byte order (the state words A, B, C, D,
// each least significant byte first).
std::string MD5DigestHex(const MD5Bytes& digest, bool upperCase);

// The raw digests.
MD5Bytes MD5Digest(std::string_view data);
MD5Bytes HmacMD5Digest(std::string_view key, std::string_view message);

// MD5 of the text as 32 upper-case hexadecimal digits.
std::string MD5Hex(std::string_view text);
// HMAC-MD5 of the message under the key as 32 lower-case hexadecimal digits. A key
// longer than 64 bytes is replaced by its digest.
std::string HmacMD5(std::string_view key, std::string_view message);

// One character per pair of hexadecimal digits (either case). A pair is read up to
// its first character that is no hex digit (0 when there is none); an odd last digit
// is ignored.
std::string HexToBinary(std::string_view hex);

// Standard Base64 of the bytes, padded with "=" to a multiple of four characters, on
// one line.
std::string Base64Encode(std::string_view bytes);

// The bytes encoded in the text, or "" when the text is not well-formed Base64: its
// length is not a multiple of four, it holds a character outside the alphabet (line
// breaks and blanks included), or it holds "=" anywhere but as the padding of its
// last group ("x===" and "====" are rejected too). Characters after the first "=" of
// the last group are not looked at.
std::string Base64Decode(std::string_view text);

}  // namespace MiscFuncs
