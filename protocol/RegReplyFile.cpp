#include "core/Utf8Cut.h"
#include "protocol/RegReplyFile.h"

#include <algorithm>
#include <array>
#include <system_error>

#include "core/Address.h"
#include "core/CIniFile.h"
#include "core/Dates.h"
#include "core/Environment.h"
#include "core/IniDocument.h"
#include "core/MiscUtils.h"
#include "core/SeriesFile.h"

namespace fs = std::filesystem;

namespace RegReplyFile {
namespace {

// The value as CIniFile would store it: square brackets as braces, so that no value
// reads back as a section header.
std::string storedValue(std::string_view value) {
    std::string out = CutText(value, kMaxFieldLength);
    std::replace(out.begin(), out.end(), '[', '{');
    std::replace(out.begin(), out.end(), ']', '}');
    return out;
}

int randomFromGuid() {
    std::array<std::uint8_t, 16> bytes{};
    if (!MiscFuncs::NewGuidBytes(bytes)) return 1;
    return 1 + static_cast<int>((static_cast<unsigned>(bytes[0]) << 8 | bytes[1]) % 100);
}

ReadOutcome damaged(std::string why) {
    ReadOutcome out;
    out.status = ReadStatus::Damaged;
    out.why = std::move(why);
    return out;
}

}  // namespace

std::string CutText(std::string_view text, std::size_t max) { return std::string(MiscFuncs::Utf8Prefix(text, max)); }

fs::path FolderOf(std::string_view account) { return MiscFuncs::AccountMailFolder(account, "InBox"); }

bool IsReplyFileName(std::string_view name) {
    return name.size() > kExtension.size() &&
           MiscFuncs::EqualsIgnoreCase(name.substr(name.size() - kExtension.size()), kExtension);
}

std::string FileText(const Contents& contents) {
    IniStore::IniDocument doc;
    doc.Set(kSection, kNameKey, storedValue(contents.name));
    doc.Set(kSection, kReasonKey, storedValue(contents.reason));
    doc.Set(kSection, kFromKey, storedValue(contents.from));
    doc.Set(kSection, kTimeKey, storedValue(contents.time));
    return doc.Serialize();
}

fs::path Write(std::string_view account, const Contents& contents, int random, std::string* error) {
    random = 1 + ((random - 1) % 100 + 100) % 100;
    const std::string stamp = MiscFuncs::DateStampNow();
    const std::string base = stamp + std::to_string(random);
    const MiscFuncs::FileSeries series{
        stamp, [&base](int n) { return MiscFuncs::SeriesName(base, n) + std::string(kExtension); }, nullptr};
    return MiscFuncs::CreateInAccountFolder(account, "InBox", series, FileText(contents), error);
}

fs::path Write(std::string_view account, const Contents& contents, std::string* error) {
    return Write(account, contents, randomFromGuid(), error);
}

ReadOutcome Read(const fs::path& file) {
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (!fs::exists(status)) return {};
    if (!fs::is_regular_file(status)) return damaged("not a plain file");
    const std::uintmax_t size = fs::file_size(file, ec);
    if (ec) return damaged("cannot be read: " + ec.message());
    if (size > kMaxFileSize) return damaged("larger than " + std::to_string(kMaxFileSize) + " bytes");

    const CIniFile ini(file.string());
    if (!ini.SectionExists(kSection)) {
        if (!fs::exists(file, ec)) return {};
        return damaged("no [RegRequest] section");
    }
    const std::optional<std::string> from = ini.FindValue(kSection, kFromKey);
    if (!from) return damaged("no AuthRequestFrom");
    ReadOutcome out;
    out.status = ReadStatus::Ok;
    Contents& c = out.contents;
    c.from = CutText(*from, kMaxFieldLength);
    c.name = CutText(ini.Value(kSection, kNameKey), kMaxFieldLength);
    c.reason = CutText(ini.Value(kSection, kReasonKey), kMaxFieldLength);
    c.time = CutText(ini.Value(kSection, kTimeKey), kMaxFieldLength);
    std::string displayName;
    c.address = MiscFuncs::ParseAddress(c.from, displayName);
    if (!MiscFuncs::IsValidEmail(c.address)) return damaged("no valid address in AuthRequestFrom");
    return out;
}

}  // namespace RegReplyFile
