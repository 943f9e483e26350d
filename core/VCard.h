#pragma once
// A small vCard reader (versions 2.1, 3.0 and 4.0), enough to take names and e-mail
// addresses out of an exported address book.
//
// Cards run from "BEGIN:VCARD" to "END:VCARD"; lines end in LF or CR LF and a line
// that starts with a blank or a TAB continues the one before. Property names and
// parameters are matched without regard to case, with or without a group prefix
// ("item1.EMAIL"). Of each card it keeps FN (or, without FN, the given and family
// names of N) and every EMAIL value, in order. Values lose the escapes "\\", "\,",
// "\;" and "\n"; a value marked ENCODING=QUOTED-PRINTABLE is decoded. Texts are
// kept as the file's bytes.
//
// Anything that is not a vCard file (its first line that is not blank is not
// "BEGIN:VCARD") is refused. Lines are capped at kMaxLineBytes, files at
// kMaxFileBytes, cards at kMaxCards, addresses per card at kMaxEmails.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace VCard {

inline constexpr std::size_t kMaxLineBytes = 16 * 1024;
inline constexpr std::size_t kMaxFileBytes = 32 * 1024 * 1024;
inline constexpr std::size_t kMaxCards = 200000;
inline constexpr std::size_t kMaxEmails = 64;

struct Card {
    std::string fullName;
    std::vector<std::string> emails;
};

// False (cards left empty) when the text is not a vCard file.
bool Parse(std::string_view text, std::vector<Card>& cards);

// False when the path is not an existing regular file, is larger than the cap, cannot
// be read, or is not a vCard file.
bool ReadFile(const std::filesystem::path& path, std::vector<Card>& cards);

}  // namespace VCard
