#pragma once
// ScrambledText: the reversible scrambling of stored passwords, message texts, rule
// patterns, queued subjects and link parameters, and the check of the code that a
// sender's registration reply carries. Neither is encryption: they keep a casual
// reader of the settings files from reading a value in plain, nothing more.
//
// A ScrambledText is upper-case hexadecimal: 4 digits of checksum, then 2 digits per
// scrambled byte, so a text of n characters gives 4 + 2n digits. Each byte c becomes
// rotl8(c XOR 0xE4, 2) XOR 0x3B. The checksum is sum(byte_i * i) mod 32767 over the
// scrambled bytes, i counting from 1. Texts are 8-bit codes, NUL included.
//
// Scrambled values are stored in accounts.ini, Rules.ini, the message texts and the
// OutBox files and travel in the approval link, so the format never changes.

#include <cstdint>
#include <string>
#include <string_view>

namespace MiscFuncs {

// Each byte c becomes rotl8(c XOR firstKey, rotation mod 8) XOR lastKey; the result
// has the length of the text. A negative rotation counts as its value mod 8.
std::string ScrambleBytes(std::string_view text, int rotation, std::uint8_t firstKey, std::uint8_t lastKey);

// Two upper-case hexadecimal digits per byte; checksum receives the 4-digit
// upper-case checksum of the bytes ("abc" gives "616263" and "024E").
std::string HexWithChecksum(std::string_view text, std::string& checksum);

// The ScrambledText of the plain text; "0000" for the empty text.
std::string ScrambleText(std::string_view plain);

// Turns a ScrambledText back into plain text. Returns true when the stored checksum
// matches, compared exactly (a checksum in lower-case digits does not). Any bytes are
// accepted and plain is always set; a damaged text gives false and:
//  - fewer than 4 characters: plain is "";
//  - otherwise the data after the checksum is read in pairs, round(length / 2) of them
//    with halves going to the even number, the last pair possibly a single digit (so
//    a stray last digit may go unread and the checksum still match);
//    each pair counts up to its first character that is no hex digit (0 when there is
//    none); lower-case digits read like upper-case ones;
//  - plain is what those bytes unscramble to: as long as the pairs read, never more.
// Callers use plain only when the result is true.
bool UnscrambleText(std::string_view scrambled, std::string& plain);

// True when code is the registration code that binds the sender address from to the
// account address: with B and A the ASCII upper case of from and account and L the
// shorter length, min(2L - 1, 70) steps add, in turn, 3 x the next code of B and
// 2 x the next code of A; the code is that sum in plain decimal. With an empty
// address no step is taken and only "0" matches.
bool VerifyRegCode(std::string_view from, std::string_view account, std::string_view code);
// The code itself, as the approval service writes it into its reply.
std::string RegCode(std::string_view from, std::string_view account);

}  // namespace MiscFuncs
