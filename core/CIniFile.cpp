#include "core/CIniFile.h"

#include "core/IniStore.h"
#include "core/Log.h"
#include "core/MiscUtils.h"

namespace {

std::vector<std::string> splitAtNul(std::string_view raw) {
    std::vector<std::string> out;
    for (;;) {
        const std::size_t nul = raw.find('\0');
        out.emplace_back(raw.substr(0, nul));
        if (nul == raw.npos) return out;
        raw.remove_prefix(nul + 1);
    }
}

bool hasBracket(std::string_view s) { return s.find_first_of("[]") != s.npos; }

std::string mapBrackets(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c == '[') c = '{';
        else if (c == ']') c = '}';
    }
    return out;
}

}  // namespace

CIniFile::CIniFile() = default;
CIniFile::CIniFile(std::string_view path) { IniFile(path); }
CIniFile::~CIniFile() = default;
CIniFile::CIniFile(CIniFile&&) noexcept = default;
CIniFile& CIniFile::operator=(CIniFile&&) noexcept = default;

void CIniFile::IniFile(std::string_view path) {
    path_ = std::string(path);
    shared_ = IniStore::Open(std::filesystem::path(path_));
}

std::string CIniFile::ReadString(std::optional<std::string_view> section, std::optional<std::string_view> key) const {
    if (!shared_) return "";
    const IniStore::IniDocument& doc = shared_->Read();
    if (!section) return doc.SectionList();
    if (!key) return doc.KeyList(*section);
    const std::string* value = doc.Find(*section, *key);
    return value ? *value : std::string();
}

bool CIniFile::WriteString(std::string_view section, std::optional<std::string_view> key,
                           std::optional<std::string_view> value) {
    if (!shared_) {
        MiscFuncs::WriteLog(0, "#", "Error in CIniFile::WriteString no settings file is bound");
        return false;
    }
    IniStore::IniEdit edit{std::string(section), {}, {}};
    if (key) edit.key = std::string(*key);
    if (value) edit.value = std::string(*value);
    if (!shared_->Write(edit)) return false;
    Change.Raise();
    return true;
}

std::string CIniFile::Value(std::string_view section, std::string_view key) const {
    return ReadString(section, key);
}

std::optional<std::string> CIniFile::FindValue(std::string_view section, std::string_view key) const {
    if (!shared_) return std::nullopt;
    const std::string* value = shared_->Read().Find(section, key);
    return value ? std::optional<std::string>(*value) : std::nullopt;
}

bool CIniFile::SectionExists(std::string_view section) const {
    return shared_ && shared_->Read().HasSection(section);
}

bool CIniFile::Value(std::string_view section, std::string_view key, std::string_view value) {
    if (!hasBracket(section) && !hasBracket(key) && !hasBracket(value)) return WriteString(section, key, value);
    return WriteString(mapBrackets(section), std::string_view(mapBrackets(key)), std::string_view(mapBrackets(value)));
}

std::string CIniFile::StoredSectionName(std::string_view section) {
    return IniStore::IniDocument::CleanText(mapBrackets(section));
}

bool CIniFile::ClearSection(std::string_view section) { return WriteString(section, std::nullopt, std::nullopt); }

bool CIniFile::DeleteKey(std::string_view section, std::string_view key) {
    return WriteString(section, key, std::nullopt);
}

std::vector<std::string> CIniFile::AllSectionsArray() const {
    std::string raw = ReadString(std::nullopt, std::nullopt);
    if (MiscFuncs::IsBlank(raw)) return {};
    // The service ends the list with one NUL after the last name; a last name that
    // is empty leaves two, and both go.
    if (raw.size() >= 3 && raw[raw.size() - 1] == '\0' && raw[raw.size() - 2] == '\0') raw.resize(raw.size() - 2);
    else raw.pop_back();
    return splitAtNul(raw);
}

std::vector<std::string> CIniFile::AllSectionKeysArray(std::string_view section) const {
    std::string raw = ReadString(section, std::nullopt);
    if (MiscFuncs::IsBlank(raw)) return {};
    raw.pop_back();
    return splitAtNul(raw);
}

std::string CIniFile::AllSectionsString() const {
    std::string raw = ReadString(std::nullopt, std::nullopt);
    if (!raw.empty() && raw.back() == '\0') raw.pop_back();
    return raw;
}

std::string CIniFile::AllSectionKeysString(std::string_view section) const { return ReadString(section, std::nullopt); }

CIniFile::Batch::Batch(CIniFile& ini) : shared_(ini.shared_) {
    if (shared_) shared_->BeginUpdate();
    else result_ = false;
}

CIniFile::Batch::~Batch() {
    if (!done_ && !Commit())
        MiscFuncs::WriteLog(0, "#", "Error in CIniFile::Batch the grouped writes did not reach the file");
}

bool CIniFile::Batch::Commit() {
    if (done_) return result_;
    done_ = true;
    if (shared_) result_ = shared_->EndUpdate();
    return result_;
}
