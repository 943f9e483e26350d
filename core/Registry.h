#pragma once
// Registry access for the setup wizard, the options dialog and the clean-up tool:
// key paths as one text ("HKEY_CURRENT_USER\Software\Vendor\Key"), keys opened and
// never created, typed values.
//
// The registry is the RegistryStore in one file: GLIMMERPOST_REGISTRY when set, else
// $XDG_CONFIG_HOME/glimmerpost/registry.reg (~/.config/glimmerpost/registry.reg when
// XDG_CONFIG_HOME is unset). SetRegistryFile points it elsewhere (tests).
//
// A malformed path (one not starting with "HKEY_", letter case ignored, or ending in
// "\") is reported with the "Incorrect Format:" box through the prompt seam and the
// operation does nothing. An unknown root name (root names are matched exactly), a
// missing key or a failed write is silent. The write operations return whether the
// registry was changed as asked; callers may ignore it.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/RegFile.h"

class RegistryStore;

namespace Registry {

using HKey = std::uint32_t;  // a predefined root key, 0 for none

// The predefined key of a root name spelled exactly as in the table, or 0.
HKey RootKeyFromName(std::string_view rootName);

// Splits "ROOT\sub\path" into the root's key and the sub-key path ("" for the root
// itself). False, after the "Incorrect Format:" box, for a malformed path; an unknown
// root gives true with root 0.
bool SplitKeyPath(std::string& keyPath, HKey& root);

// A string value: the text's 8-bit characters and a terminating NUL.
bool SetStringValue(std::string_view keyPath, std::string_view valueName, std::string_view text);
// A number value: 4 bytes.
bool SetDwordValue(std::string_view keyPath, std::string_view valueName, std::uint32_t value);
// A binary value: one byte per character.
bool SetBinaryValue(std::string_view keyPath, std::string_view valueName, std::string_view bytes);
bool DeleteValue(std::string_view keyPath, std::string_view valueName);
// Several values of one key in one write: all of them, or none when it fails.
bool SetValues(std::string_view keyPath, const std::vector<RegFile::RegValue>& values);

// The names of the key's direct sub-keys in enumeration order; empty when the key
// does not open.
std::vector<std::string> EnumRegistryKeys(std::string_view keyPath);

// One value as the listing gives it.
struct RegistryItem {
    std::uint32_t type = RegFile::kRegNone;
    std::string text;          // string kinds: the text without its terminator;
                               // binary and any other kind: all the bytes
    std::uint32_t number = 0;  // number values (also the first bytes of a short one)
};

// The key's values in enumeration order, looked up by value name ignoring case.
class RegistryValues {
public:
    struct Entry {
        std::string name;
        RegistryItem item;
    };
    // nullptr when the key has no value of that name.
    const RegistryItem* Find(std::string_view valueName) const;
    bool Contains(std::string_view valueName) const { return Find(valueName) != nullptr; }
    std::size_t Count() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
    std::vector<Entry>::const_iterator end() const { return entries_.end(); }
    void Add(std::string name, RegistryItem item);

private:
    std::vector<Entry> entries_;
};

RegistryValues EnumRegistryValues(std::string_view keyPath);

// The store behind the operations. The default location follows the environment.
std::filesystem::path DefaultRegistryFile();
std::filesystem::path RegistryFile();
// An empty path restores the default location.
void SetRegistryFile(const std::filesystem::path& file);
RegistryStore& Store();

// Stand-ins for the registry editor's export ("/e") and silent import ("-s").
bool ExportRegistryFile(const std::filesystem::path& file, std::string_view keyPath);
bool ImportRegistryFile(const std::filesystem::path& file);

}  // namespace Registry
