#include "core/IniDocument.h"

#include <cstring>

#include "core/MiscUtils.h"

namespace IniStore {
namespace {

// Small sections are searched line by line; from this size on a section keeps a
// key index, so that a section of thousands of aliases stays linear to load.
constexpr std::size_t kKeyIndexFrom = 24;
// Removed sections are swept out once they are this many and outnumber the rest.
constexpr std::size_t kCompactFrom = 1024;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// Written out because find_first_of runs a memchr per byte.
bool holdsAny(std::string_view s, char a, char b, char c) {
    for (char ch : s)
        if (ch == a || ch == b || ch == c) return true;
    return false;
}

bool needsCleaning(std::string_view s) { return holdsAny(s, '\r', '\n', '\0'); }

// Sections are about one line in six of a large list; reserving for each "[" keeps
// the index from growing step by step while a file is read.
std::size_t estimateSections(std::string_view bytes) {
    std::size_t n = 0;
    for (const char* p = bytes.data(), *end = p + bytes.size();
         (p = static_cast<const char*>(std::memchr(p, '[', static_cast<std::size_t>(end - p)))) != nullptr; ++p)
        ++n;
    return n;
}

// The name as an edit stores it, without copying when it is clean already.
std::string_view cleanView(std::string_view text, std::string& scratch) {
    if (!needsCleaning(text)) return trim(text);
    scratch = IniDocument::CleanText(text);
    return scratch;
}

bool validKey(std::string_view key) {
    return !key.empty() && key.find('=') == key.npos && key.front() != ';' && key.front() != '[';
}

}  // namespace

std::size_t NameHash::operator()(std::string_view s) const noexcept {
    std::uint64_t h = 1469598103934665603ull;
    for (char c : s) {
        h ^= fold(static_cast<unsigned char>(c));
        h *= 1099511628211ull;
    }
    return static_cast<std::size_t>(h);
}

bool NameEqual::operator()(std::string_view a, std::string_view b) const noexcept {
    return MiscFuncs::EqualsIgnoreCase(a, b);
}

struct IniDocument::Section {
    struct Line {
        std::string key;    // the whole line as read when !isKey
        std::string value;
        bool isKey = true;
    };
    using KeyIndex = std::unordered_map<std::string, std::size_t, NameHash, NameEqual>;

    explicit Section(std::string n) : name(std::move(n)) { lines.reserve(4); }

    std::size_t FindKey(std::string_view key) const {
        if (lines.size() < kKeyIndexFrom) {
            for (std::size_t i = 0; i < lines.size(); ++i)
                if (lines[i].isKey && MiscFuncs::EqualsIgnoreCase(lines[i].key, key)) return i;
            return npos;
        }
        if (!keyIndex) BuildIndex();
        const auto it = keyIndex->find(key);
        return it == keyIndex->end() ? npos : it->second;
    }

    void BuildIndex() const {
        keyIndex = std::make_unique<KeyIndex>();
        keyIndex->reserve(lines.size());
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].isKey) keyIndex->emplace(lines[i].key, i);
    }

    // New keys go after the last key, before the blank lines and comments that
    // close the section; those shift, the indexed keys do not.
    void InsertKey(std::string key, std::string value, bool atEnd) {
        std::size_t at = lines.size();
        if (!atEnd)
            while (at > 0 && !lines[at - 1].isKey) --at;
        if (keyIndex) keyIndex->emplace(key, at);
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(key), std::move(value), true});
    }

    void EraseLine(std::size_t i) {
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
        keyIndex.reset();
    }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    std::string name;
    std::vector<Line> lines;
    mutable std::unique_ptr<KeyIndex> keyIndex;
};

IniDocument::IniDocument() = default;
IniDocument::~IniDocument() = default;
IniDocument::IniDocument(IniDocument&&) noexcept = default;
IniDocument& IniDocument::operator=(IniDocument&&) noexcept = default;

std::string IniDocument::CleanText(std::string_view text) {
    std::string out(trim(text));
    if (!needsCleaning(out)) return out;
    for (char& c : out)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return std::string(trim(out));
}

IniDocument IniDocument::Parse(std::string_view bytes) {
    IniDocument doc;
    if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        doc.byteOrderMark_ = true;
        bytes.remove_prefix(kByteOrderMark.size());
    }
    doc.index_.reserve(estimateSections(bytes));
    Section* current = nullptr;
    while (!bytes.empty()) {
        const void* nl = std::memchr(bytes.data(), '\n', bytes.size());
        const std::size_t len = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - bytes.data()) : bytes.size();
        doc.AddLine(bytes.substr(0, len), current);
        bytes.remove_prefix(nl ? len + 1 : len);
    }
    return doc;
}

void IniDocument::AddLine(std::string_view line, Section*& current) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // A stray CR or a NUL counts as a blank, as an edit would have stored it.
    std::string scratch;
    if (holdsAny(line, '\r', '\0', '\0')) {
        scratch.assign(line);
        for (char& c : scratch)
            if (c == '\r' || c == '\0') c = ' ';
        line = scratch;
    }
    const std::string_view t = trim(line);
    if (!t.empty() && t.front() == '[') {
        const std::size_t close = t.rfind(']');
        if (close != t.npos && close > 0) {
            const std::string_view name = trim(t.substr(1, close - 1));
            current = FindSection(name);
            if (!current) current = &AddSection(std::string(name));
            return;
        }
    }
    if (!current) {
        preamble_.emplace_back(line);
        return;
    }
    const std::size_t eq = t.find('=');
    const std::string_view key = eq == t.npos ? std::string_view() : trim(t.substr(0, eq));
    if (key.empty() || t.front() == ';') {
        current->lines.push_back(Section::Line{std::string(line), {}, false});
        return;
    }
    if (current->FindKey(key) == Section::npos) current->InsertKey(std::string(key), std::string(trim(t.substr(eq + 1))), true);
}

std::string IniDocument::Serialize() const {
    std::size_t size = kByteOrderMark.size();
    for (const auto& l : preamble_) size += l.size() + 2;
    for (const auto& s : sections_) {
        if (!s) continue;
        size += s->name.size() + 4;
        for (const auto& l : s->lines) size += l.key.size() + l.value.size() + 3;
    }
    std::string out;
    out.reserve(size);
    if (byteOrderMark_) out += kByteOrderMark;
    for (const auto& l : preamble_) out.append(l).append("\r\n");
    for (const auto& s : sections_) {
        if (!s) continue;
        out.append("[").append(s->name).append("]\r\n");
        for (const auto& l : s->lines) {
            out += l.key;
            if (l.isKey) out.append("=").append(l.value);
            out += "\r\n";
        }
    }
    return out;
}

IniDocument::Section* IniDocument::FindSection(std::string_view name) const {
    const auto it = index_.find(name);
    return it == index_.end() ? nullptr : sections_[it->second].get();
}

IniDocument::Section& IniDocument::AddSection(std::string name) {
    sections_.push_back(std::make_unique<Section>(std::move(name)));
    index_.emplace(sections_.back()->name, sections_.size() - 1);
    return *sections_.back();
}

const std::string* IniDocument::Find(std::string_view section, std::string_view key) const {
    std::string s1, s2;
    const Section* s = FindSection(cleanView(section, s1));
    if (!s) return nullptr;
    const std::size_t i = s->FindKey(cleanView(key, s2));
    return i == Section::npos ? nullptr : &s->lines[i].value;
}

bool IniDocument::HasSection(std::string_view section) const {
    std::string scratch;
    return FindSection(cleanView(section, scratch)) != nullptr;
}

std::string IniDocument::SectionList() const {
    std::string out;
    for (const auto& s : sections_)
        if (s) out.append(s->name).push_back('\0');
    return out;
}

std::string IniDocument::KeyList(std::string_view section) const {
    std::string scratch, out;
    const Section* s = FindSection(cleanView(section, scratch));
    if (!s) return out;
    for (const auto& l : s->lines)
        if (l.isKey) out.append(l.key).push_back('\0');
    return out;
}

EditResult IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    std::string name = CleanText(section), k = CleanText(key), v = CleanText(value);
    if (name.empty() || !validKey(k)) return EditResult::Refused;
    Section* s = FindSection(name);
    if (!s) s = &AddSection(std::move(name));
    const std::size_t i = s->FindKey(k);
    if (i == Section::npos) {
        s->InsertKey(std::move(k), std::move(v), false);
        return EditResult::Changed;
    }
    if (s->lines[i].value == v) return EditResult::Unchanged;
    s->lines[i].value = std::move(v);
    return EditResult::Changed;
}

EditResult IniDocument::RemoveKey(std::string_view section, std::string_view key) {
    std::string s1, s2;
    Section* s = FindSection(cleanView(section, s1));
    if (!s) return EditResult::Unchanged;
    const std::size_t i = s->FindKey(cleanView(key, s2));
    if (i == Section::npos) return EditResult::Unchanged;
    s->EraseLine(i);
    return EditResult::Changed;
}

EditResult IniDocument::RemoveSection(std::string_view section) {
    std::string scratch;
    const auto it = index_.find(cleanView(section, scratch));
    if (it == index_.end()) return EditResult::Unchanged;
    const std::size_t slot = it->second;
    index_.erase(it);  // before its key, a view of the name, goes
    sections_[slot].reset();
    if (++holes_ >= kCompactFrom && holes_ * 2 > sections_.size()) Compact();
    return EditResult::Changed;
}

EditResult IniDocument::Apply(const IniEdit& edit) {
    if (!edit.key) return RemoveSection(edit.section);
    if (!edit.value) return RemoveKey(edit.section, *edit.key);
    return Set(edit.section, *edit.key, *edit.value);
}

void IniDocument::Compact() {
    std::vector<std::unique_ptr<Section>> live;
    live.reserve(sections_.size() - holes_);
    for (auto& s : sections_)
        if (s) live.push_back(std::move(s));
    sections_ = std::move(live);
    holes_ = 0;
    for (std::size_t i = 0; i < sections_.size(); ++i) index_[sections_[i]->name] = i;
}

}  // namespace IniStore
