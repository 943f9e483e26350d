#pragma once
// CIniFile: one settings file in INI form (8-bit text, "[section]" and "key=value"
// lines), the way every setting and list of the program is read and written.
//
// - Section and key names are matched ignoring letter case; the case first written
//   is kept. Lists come in file order.
// - A missing file, section or key reads as "". FindValue tells a missing key from
//   an empty value.
// - Bracket rule on writing: when "[" or "]" occurs anywhere in the section, the key
//   or the value, every "[" becomes "{" and every "]" becomes "}" in all three.
//   Reading maps nothing: a name stored with brackets is found under its mapped name.
// - A CR, LF or NUL in a section, key or value is written as a blank, and blanks and
//   tabs at either end are dropped (the file could not give them back). A key that
//   is empty, holds "=", or begins with ";" is refused, as is an empty section name.
// - Every write replaces the file atomically and returns whether it reached the disk;
//   a failed write leaves the old file whole and raises no Change.
// - Change is raised after every successful write, also one that found nothing to
//   change (ClearSection of a missing section).
// - Objects on one path share one parsed copy (see core/IniStore.h): reads are hash
//   lookups, yet a change made by another program is seen at the next read, and two
//   objects on one path see each other's writes at once.
// - Values and lists are returned whole, however long.
//
// A Batch groups the writes to one file: inside it writes change only the shared
// copy (every reader sees them at once), and the file is written once at its end.
//
// One user-interface thread uses it; it is not safe to share between threads.

#include <concepts>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ChangeEvent.h"

namespace IniStore {
class SharedIni;
}

class CIniFile {
public:
    CIniFile();
    explicit CIniFile(std::string_view path);
    ~CIniFile();
    CIniFile(CIniFile&&) noexcept;
    CIniFile& operator=(CIniFile&&) noexcept;
    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    // The bound path, "" until set. Binding may change at any time and takes effect
    // for the next call; an unbound object reads "" and refuses writes.
    const std::string& IniFile() const { return path_; }
    void IniFile(std::string_view path);

    std::string Value(std::string_view section, std::string_view key) const;
    std::optional<std::string> FindValue(std::string_view section, std::string_view key) const;
    bool SectionExists(std::string_view section) const;

    // Writes the key under the bracket rule, creating file, section and key as needed.
    bool Value(std::string_view section, std::string_view key, std::string_view value);
    template <std::integral T>
        requires(!std::same_as<T, bool> && !std::same_as<T, char>)
    bool Value(std::string_view section, std::string_view key, T value) {
        return Value(section, key, std::string_view(std::to_string(value)));
    }

    // The name a section written as `section` is stored and listed under: brackets as
    // braces, CR, LF and NUL as blanks, ends trimmed. Lists that keep their items as
    // sections map a name with it before they look it up or remove it.
    static std::string StoredSectionName(std::string_view section);

    // Removes the section with all its keys; removes one key. No bracket mapping.
    bool ClearSection(std::string_view section);
    bool DeleteKey(std::string_view section, std::string_view key);

    // Section names in file order; the key names of one section in file order.
    std::vector<std::string> AllSectionsArray() const;
    std::vector<std::string> AllSectionKeysArray(std::string_view section) const;
    // The raw lists: each name followed by one NUL character; the section list
    // without its last NUL.
    std::string AllSectionsString() const;
    std::string AllSectionKeysString(std::string_view section) const;

    MiscFuncs::ChangeEvent Change;

    // Groups writes to the object's file until Commit or the end of the scope;
    // batches nest, and only the outermost one writes.
    class Batch {
    public:
        explicit Batch(CIniFile& ini);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        // Ends the batch; false when the file could not be written (the pending
        // values are then gone and the file is as it was). Later calls repeat it.
        bool Commit();

    private:
        std::shared_ptr<IniStore::SharedIni> shared_;
        bool done_ = false;
        bool result_ = true;
    };

private:
    // A missing section asks for the list of sections, a missing key for the list
    // of the section's keys.
    std::string ReadString(std::optional<std::string_view> section, std::optional<std::string_view> key) const;
    // A missing key removes the section, a missing value the key.
    bool WriteString(std::string_view section, std::optional<std::string_view> key,
                     std::optional<std::string_view> value);

    std::string path_;
    std::shared_ptr<IniStore::SharedIni> shared_;
};
