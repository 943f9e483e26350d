#include "core/Registry.h"

#include <cstdlib>
#include <memory>

#include "core/Environment.h"
#include "core/MiscUtils.h"
#include "core/Prompt.h"
#include "core/RegistryStore.h"

namespace fs = std::filesystem;

namespace Registry {
namespace {

std::unique_ptr<RegistryStore> g_store;
fs::path g_file;  // empty: the default location

std::string envText(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

bool isMalformed(std::string_view path) {
    return path.size() < 5 || !MiscFuncs::EqualsIgnoreCase(path.substr(0, 5), "HKEY_") ||
           path.back() == '\\';
}

// The store's own path of an opened key: the root as the store spells it, then the
// sub-key path. Empty when the path does not name a key that may be opened.
std::string openPath(std::string_view keyPath) {
    std::string subKey(keyPath);
    HKey root = 0;
    if (!SplitKeyPath(subKey, root) || root == 0) return "";
    for (const RegFile::RootKey& r : RegFile::kRootKeys)
        if (r.handle == root) return subKey.empty() ? std::string(r.name) : std::string(r.name) + "\\" + subKey;
    return "";
}

bool setValue(std::string_view keyPath, std::string_view valueName, std::uint32_t type, std::string data) {
    const std::string path = openPath(keyPath);
    if (path.empty()) return false;
    RegFile::RegValue v{std::string(valueName), type, std::move(data)};
    return Store().SetValue(path, v);
}

std::uint32_t numberOf(std::string_view bytes) {
    std::uint32_t n = 0;
    for (std::size_t i = bytes.size() < 4 ? bytes.size() : 4; i-- > 0;)
        n = (n << 8) | static_cast<unsigned char>(bytes[i]);
    return n;
}

RegistryItem itemOf(const RegFile::RegValue& v) {
    RegistryItem item;
    item.type = v.type;
    if (v.type == RegFile::kRegDword) {
        item.number = numberOf(v.data);
        return item;
    }
    item.text = v.data;
    // Only a real terminator is cut: a string stored without one keeps its last character.
    const bool isString = v.type == RegFile::kRegSz || v.type == RegFile::kRegExpandSz;
    if (isString && !item.text.empty() && item.text.back() == '\0') item.text.pop_back();
    return item;
}

}  // namespace

HKey RootKeyFromName(std::string_view rootName) {
    for (const RegFile::RootKey& r : RegFile::kRootKeys)
        if (rootName == r.name) return r.handle;
    return 0;
}

bool SplitKeyPath(std::string& keyPath, HKey& root) {
    root = 0;
    if (isMalformed(keyPath)) {
        Prompt::Ask("Incorrect Format:\n\n" + keyPath, "", Prompt::Buttons::OK);
        return false;
    }
    const std::size_t cut = keyPath.find('\\');
    if (cut == std::string::npos) {
        root = RootKeyFromName(keyPath);
        keyPath.clear();
        return true;
    }
    root = RootKeyFromName(std::string_view(keyPath).substr(0, cut));
    keyPath.erase(0, cut + 1);
    return true;
}

bool SetStringValue(std::string_view keyPath, std::string_view valueName, std::string_view text) {
    std::string data(text);
    data += '\0';
    return setValue(keyPath, valueName, RegFile::kRegSz, std::move(data));
}

bool SetDwordValue(std::string_view keyPath, std::string_view valueName, std::uint32_t value) {
    return setValue(keyPath, valueName, RegFile::kRegDword, RegFile::DwordBytes(value));
}

bool SetBinaryValue(std::string_view keyPath, std::string_view valueName, std::string_view bytes) {
    return setValue(keyPath, valueName, RegFile::kRegBinary, std::string(bytes));
}

bool SetValues(std::string_view keyPath, const std::vector<RegFile::RegValue>& values) {
    const std::string path = openPath(keyPath);
    return !path.empty() && Store().SetValues(path, values);
}

bool DeleteValue(std::string_view keyPath, std::string_view valueName) {
    const std::string path = openPath(keyPath);
    return !path.empty() && Store().DeleteValue(path, valueName);
}

std::vector<std::string> EnumRegistryKeys(std::string_view keyPath) {
    std::vector<std::string> names;
    const std::string path = openPath(keyPath);
    if (!path.empty()) Store().ListSubKeys(path, names);
    return names;
}

const RegistryItem* RegistryValues::Find(std::string_view valueName) const {
    for (const Entry& e : entries_)
        if (MiscFuncs::EqualsIgnoreCase(e.name, valueName)) return &e.item;
    return nullptr;
}

void RegistryValues::Add(std::string name, RegistryItem item) {
    entries_.push_back(Entry{std::move(name), std::move(item)});
}

RegistryValues EnumRegistryValues(std::string_view keyPath) {
    RegistryValues result;
    const std::string path = openPath(keyPath);
    std::vector<RegFile::RegValue> values;
    if (path.empty() || !Store().ListValues(path, values)) return result;
    for (const RegFile::RegValue& v : values) result.Add(v.name, itemOf(v));
    return result;
}

fs::path DefaultRegistryFile() {
    const std::string explicitFile = envText("GLIMMERPOST_REGISTRY");
    if (!explicitFile.empty()) return explicitFile;
    const fs::path xdg = envText("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.is_absolute()) return xdg / "glimmerpost" / "registry.reg";
    const std::string home = envText("HOME");
    if (!home.empty()) return fs::path(home) / ".config" / "glimmerpost" / "registry.reg";
    return MiscFuncs::ProgramFolder() / "registry.reg";
}

fs::path RegistryFile() { return g_file.empty() ? DefaultRegistryFile() : g_file; }

void SetRegistryFile(const fs::path& file) {
    g_file = file;
    g_store.reset();
}

RegistryStore& Store() {
    const fs::path file = RegistryFile();
    if (!g_store || g_store->File() != file) g_store = std::make_unique<RegistryStore>(file);
    return *g_store;
}

bool ExportRegistryFile(const fs::path& file, std::string_view keyPath) {
    return Store().ExportKey(keyPath, file);
}

bool ImportRegistryFile(const fs::path& file) { return Store().ImportFile(file); }

}  // namespace Registry
