#pragma once
// The text format of registry export files ("REGEDIT4"), as the registry editor reads
// and writes them: 8-bit text, CR LF line ends.
//
//   REGEDIT4
//   <blank line>
//   [HKEY_CURRENT_USER\Software\Key]          a key (created with its parents on import)
//   @="default value"                          the key's default (unnamed) value
//   "Name"="text with \\ and \" escaped"       a string value
//   "Port"=dword:00000c26                      a 32-bit number value
//   "Data"=hex:01,02,ff,\                      binary; "\" at the end continues the
//     03,04                                    value on the next line, indented by two
//   "Path"=hex(2):25,00                        any other type, its number in hex
//   "Old"=-                                    (import only) delete the value
//   [-HKEY_CURRENT_USER\Software\Gone]         (import only) delete a key and its sub-keys
//
// Every key section ends with a blank line. A hex line is broken after the first byte
// that takes it past 76 columns (80 with the "\", unless the value's name alone is
// longer). Lines starting with ";" are comments.
// Formatting is canonical: parsing a formatted text and formatting it again gives the
// same bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace RegFile {

// Value types, numbered as the registry numbers them.
enum : std::uint32_t {
    kRegNone = 0,
    kRegSz = 1,         // 8-bit text with a terminating NUL
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,      // 4 bytes, little-endian
    kRegMultiSz = 7,
};

// Limits of the registry itself, and caps on what a file may make us hold.
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;
inline constexpr std::size_t kMaxValueDataSize = 1u << 20;
inline constexpr std::size_t kMaxKeyDepth = 512;
inline constexpr std::size_t kMaxFileSize = 64u << 20;

inline constexpr std::string_view kHeader = "REGEDIT4";
// A UTF-8 byte-order mark before the header is skipped (editors add one); a file in
// UTF-16 is refused with a reason of its own.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xef\xbb\xbf";

struct RootKey {
    std::string_view name;
    std::uint32_t handle;
};
inline constexpr std::array<RootKey, 7> kRootKeys{{
    {"HKEY_CLASSES_ROOT", 0x80000000u},
    {"HKEY_CURRENT_USER", 0x80000001u},
    {"HKEY_LOCAL_MACHINE", 0x80000002u},
    {"HKEY_USERS", 0x80000003u},
    {"HKEY_PERFORMANCE_DATA", 0x80000004u},
    {"HKEY_CURRENT_CONFIG", 0x80000005u},
    {"HKEY_DYN_DATA", 0x80000006u},
}};

// Index into kRootKeys of a root name matched ignoring case, or -1.
int RootIndex(std::string_view name);

struct RegValue {
    std::string name;   // "" is the default value
    std::uint32_t type = kRegNone;
    std::string data;   // the raw bytes
};

// True when a name may be stored: not too long, and no character the file format
// cannot carry (CR, LF, NUL; and "\" in a key name).
bool IsValidKeyName(std::string_view name);
bool IsValidValueName(std::string_view name);

// Splits "ROOT\a\b" into its components, the root spelled as in kRootKeys.
// False for an unknown root, an empty or invalid component, or too deep a path.
bool SplitPath(std::string_view path, std::vector<std::string>& parts);

// One line (or continued value) of a file, in file order.
struct Statement {
    enum class Op { Key, DeleteKey, SetValue, DeleteValue };
    Op op = Op::Key;
    std::vector<std::string> key;   // path components, root first
    RegValue value;                 // SetValue: the value; DeleteValue: its name
};

// Parses a whole file. On failure returns false with a description naming the line;
// nothing of a malformed file is to be applied. Values under a deleted key are skipped.
bool Parse(std::string_view text, std::vector<Statement>& out, std::string& error);

// "[path]" CR LF.
std::string FormatKeyLine(std::string_view path);
// The value's line, continuation lines included, ending with CR LF.
std::string FormatValue(const RegValue& value);

// Little-endian bytes of a number value.
std::string DwordBytes(std::uint32_t n);

}  // namespace RegFile
