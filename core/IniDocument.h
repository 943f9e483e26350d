#pragma once
// One settings file held in memory: sections of key=value lines, in file order.
//
// Reading (Parse), the file is split into lines at LF (a CR before it is dropped);
// each line is trimmed of blanks and tabs, and a NUL or another CR counts as a blank:
//   "[name]"        a section header: the name is the text between the "[" and the
//                   last "]", trimmed; anything after that "]" is ignored.
//   "key=value"     a key of the current section: the key is the trimmed text before
//                   the first "=", the value the trimmed text after it.
//   anything else   kept as it stands and written back, but never matched: blank
//                   lines, ";" comments, lines without "=" or with an empty key, and
//                   every line before the first section.
// Section and key names are matched ignoring ASCII letter case and keep the case in
// which they were first written. A second section of the same name is merged into
// the first; a second key of the same name in one section is dropped (reads always
// found the first one). A UTF-8 byte-order mark at the start is skipped and kept.
//
// Writing (Serialize) gives "[name]" CR LF and "key=value" CR LF lines. Every edit
// stores names and values exactly as a later Parse of the written file gives them
// back, so the copy in memory and the file never disagree:
//   - CR, LF and NUL become blanks, then blanks and tabs at either end are trimmed,
//     so a value can never start a line of its own (no "AccessLevel=3" smuggled in
//     through a reason text);
//   - an edit is refused when the section name is empty, or the key is empty,
//     holds "=", or begins with ";" or "[" (it would read back as another key,
//     a comment or a section header).
//
// Lookups are hash lookups on the section name; keys are searched in the section,
// through an index of its own once the section is large. Removing a section leaves
// a hole that later edits and listings skip, so removing thousands is linear.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace IniStore {

// ASCII case-insensitive hashing and equality of names, usable with string_view
// lookups on maps keyed by std::string.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept;
};
struct NameEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
};

// One write: a value set, a key removed (no value) or a section removed (no key).
struct IniEdit {
    std::string section;
    std::optional<std::string> key;
    std::optional<std::string> value;
};

enum class EditResult { Unchanged, Changed, Refused };

class IniDocument {
public:
    IniDocument();
    ~IniDocument();
    IniDocument(IniDocument&&) noexcept;
    IniDocument& operator=(IniDocument&&) noexcept;
    IniDocument(const IniDocument&) = delete;
    IniDocument& operator=(const IniDocument&) = delete;

    static IniDocument Parse(std::string_view bytes);
    std::string Serialize() const;

    // The value, or nullptr when the section or the key is missing.
    const std::string* Find(std::string_view section, std::string_view key) const;
    bool HasSection(std::string_view section) const;
    std::size_t SectionCount() const { return sections_.size() - holes_; }

    // Raw lists: every name followed by one NUL character, in file order; "" when
    // there is none (or the section is missing).
    std::string SectionList() const;
    std::string KeyList(std::string_view section) const;

    EditResult Set(std::string_view section, std::string_view key, std::string_view value);
    EditResult RemoveKey(std::string_view section, std::string_view key);
    EditResult RemoveSection(std::string_view section);
    EditResult Apply(const IniEdit& edit);

    // The text as an edit stores it: CR, LF and NUL made blanks, ends trimmed.
    static std::string CleanText(std::string_view text);

private:
    struct Section;

    Section* FindSection(std::string_view name) const;
    Section& AddSection(std::string name);
    void AddLine(std::string_view line, Section*& current);
    void Compact();

    std::vector<std::string> preamble_;             // lines before the first section
    std::vector<std::unique_ptr<Section>> sections_;  // nullptr where one was removed
    // Keyed by views of the sections' own names: a Section never moves or renames.
    std::unordered_map<std::string_view, std::size_t, NameHash, NameEqual> index_;
    std::size_t holes_ = 0;
    bool byteOrderMark_ = false;
};

}  // namespace IniStore
