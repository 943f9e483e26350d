// Any bytes as a settings file: every listed section and key must be found again,
// a rewrite must read back the same, and a write must read back as it was stored,
// both in memory and from the file on disk.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "core/CIniFile.h"
#include "core/Environment.h"
#include "core/IniDocument.h"
#include "core/Log.h"

using IniStore::IniDocument;

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

std::vector<std::string_view> names(std::string_view raw) {
    std::vector<std::string_view> out;
    while (!raw.empty()) {
        const std::size_t nul = raw.find('\0');
        out.push_back(raw.substr(0, nul));
        raw.remove_prefix(nul + 1);
    }
    return out;
}

// The two documents list the same names and values in the same order.
void checkSame(const IniDocument& a, const IniDocument& b) {
    const std::string sections = a.SectionList();
    check(sections == b.SectionList());
    for (std::string_view s : names(sections)) {
        check(a.HasSection(s) && b.HasSection(s));
        const std::string keys = a.KeyList(s);
        check(keys == b.KeyList(s));
        for (std::string_view k : names(keys)) {
            const std::string* va = a.Find(s, k);
            const std::string* vb = b.Find(s, k);
            check(va && vb && *va == *vb);
        }
    }
}

const std::filesystem::path& scratchFile() {
    static const std::filesystem::path file = [] {
        std::string tmpl = (std::filesystem::exists("/dev/shm") ? std::string("/dev/shm") : std::string("/tmp")) +
                           "/glp-fuzz-ini-XXXXXX";
        if (!mkdtemp(tmpl.data())) __builtin_trap();
        MiscFuncs::SetProgramFolder(tmpl);
        MiscFuncs::SetLogLevel(-1);
        return std::filesystem::path(tmpl) / "fuzz.ini";
    }();
    return file;
}

std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void checkFile(std::string_view bytes, std::string_view section, std::string_view key, std::string_view value) {
    const auto& path = scratchFile();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    CIniFile ini(path.string());
    const IniDocument parsed = IniDocument::Parse(bytes);
    for (const std::string& s : ini.AllSectionsArray())
        for (const std::string& k : ini.AllSectionKeysArray(s)) check(ini.FindValue(s, k).has_value());
    if (!ini.Value(section, key, value)) return;
    const IniDocument onDisk = IniDocument::Parse(readFile(path));
    for (const std::string& s : ini.AllSectionsArray())
        for (const std::string& k : ini.AllSectionKeysArray(s)) {
            const std::string* stored = onDisk.Find(s, k);
            check(stored && *stored == ini.Value(s, k));
        }
    check(onDisk.SectionCount() >= parsed.SectionCount());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    IniDocument doc = IniDocument::Parse(bytes);
    checkSame(doc, IniDocument::Parse(doc.Serialize()));

    // The last bytes name a section, a key and a value to write.
    const std::string_view tail = bytes.substr(size > 24 ? size - 24 : 0);
    const std::string_view section = tail.substr(0, 6), key = tail.substr(std::min<std::size_t>(6, tail.size()), 6);
    const std::string_view value = tail.substr(std::min<std::size_t>(12, tail.size()));
    const std::string before = doc.Serialize();
    const IniStore::EditResult r = doc.Set(section, key, value);
    if (r == IniStore::EditResult::Refused) {
        check(doc.Serialize() == before);
    } else {
        const std::string* stored = doc.Find(section, key);
        check(stored && *stored == IniDocument::CleanText(value));
        checkSame(doc, IniDocument::Parse(doc.Serialize()));
        check(doc.RemoveKey(section, key) == IniStore::EditResult::Changed);
        check(doc.Find(section, key) == nullptr);
        check(doc.RemoveSection(section) == IniStore::EditResult::Changed && !doc.HasSection(section));
    }
    checkFile(bytes, section, key, value);
    return 0;
}
