// Any bytes as senders.ini: the sender list's text reader must agree with the
// settings file about every sender it reports, since the lists come from the one
// and every later status question from the other.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/IniDocument.h"
#include "core/KeyedList.h"
#include "core/SenderFile.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

struct Owned {
    std::string address, fields[5];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr std::string_view kKeys[5] = {"Name", "ModificationDate", "AuthReason", "AccessLevel",
                                                  "UnsentRegRequest"};
    const std::string original(reinterpret_cast<const char*>(data), size);
    std::string bytes = original;
    std::vector<Owned> records;
    SenderFile::Parse(bytes, [&](const SenderFile::SenderRecord& r) {
        records.push_back({std::string(r.address),
                           {std::string(r.name), std::string(r.modificationDate), std::string(r.authReason),
                            std::string(r.accessLevel), std::string(r.unsentRegRequest)}});
    });
    check(bytes.size() == original.size());
    const IniStore::IniDocument doc = IniStore::IniDocument::Parse(original);
    std::unordered_map<std::string, int, MiscFuncs::CaseInsensitiveHash, MiscFuncs::CaseInsensitiveEqual> sections;
    for (const Owned& r : records) ++sections[r.address];
    check(sections.size() == doc.SectionCount());
    std::unordered_map<std::string, bool, MiscFuncs::CaseInsensitiveHash, MiscFuncs::CaseInsensitiveEqual> done;
    for (const Owned& r : records) {
        check(r.address.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
        check(doc.HasSection(r.address));
        if (done[r.address]) continue;  // the first section's keys win in both
        done[r.address] = true;
        const bool merged = sections[r.address] > 1;
        for (int i = 0; i < 5; ++i) {
            const std::string* stored = doc.Find(r.address, kKeys[i]);
            if (!r.fields[i].empty()) check(stored && *stored == r.fields[i]);
            else if (!merged) check(!stored || stored->empty());
        }
    }
    return 0;
}
