#pragma once
// A registry kept in one file in the registry editor's export format (see RegFile.h),
// standing in for the system registry on a platform that has none.
//
// Contract:
// - Keys and value names are matched ignoring (ASCII) case and kept in the case they
//   were created with. Sub-keys and values enumerate in creation order.
// - The seven root keys always exist; every other key must be created (CreateKey or an
//   import). Operations that only open a key fail on a missing key and change nothing.
// - Every operation first re-reads the file when it changed on disk (size, nanosecond
//   modification and change times, inode), so several store objects, in one program
//   or in several, see each other's writes. Each change rewrites the file atomically
//   (a temporary file beside it, flush, fsync, rename; mode 0600), under an advisory
//   lock on the folder so that two writers do not lose each other's changes.
// - A file that cannot be parsed is never overwritten: reads see an empty registry and
//   writes fail until the file is mended or removed.
// - ExportKey writes a key with its sub-keys in the editor's format; ImportFile applies
//   such a file, including "[-key]" and "\"name\"=-" deletions, all or nothing.
//   Exporting what was imported reproduces the file byte for byte when the file is in
//   the canonical form that the export writes.
// Failures log "Error in RegistryStore::<procedure>" and return false or empty; a
// missing key is not a failure worth logging.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/AtomicFile.h"
#include "core/RegFile.h"

class RegistryStore {
public:
    explicit RegistryStore(std::filesystem::path file);
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    const std::filesystem::path& File() const { return file_; }

    // Why the file cannot be read (it is then taken as empty and never written); ""
    // when it can be read or does not exist.
    std::string ReadError();

    bool KeyExists(std::string_view keyPath);
    // Creates the key and any missing parents; true when the key exists afterwards.
    bool CreateKey(std::string_view keyPath);
    // Deletes a key with everything below it; false for a root or a missing key.
    bool DeleteKey(std::string_view keyPath);

    // Sets a value of an existing key (replacing a value of that name).
    bool SetValue(std::string_view keyPath, const RegFile::RegValue& value);
    // Sets several values of an existing key as one change of the file: all or none.
    bool SetValues(std::string_view keyPath, const std::vector<RegFile::RegValue>& values);
    // True when the value existed and is gone.
    bool DeleteValue(std::string_view keyPath, std::string_view valueName);
    bool GetValue(std::string_view keyPath, std::string_view valueName, RegFile::RegValue& out);

    // False (and an empty list) when the key does not exist.
    bool ListSubKeys(std::string_view keyPath, std::vector<std::string>& names);
    bool ListValues(std::string_view keyPath, std::vector<RegFile::RegValue>& values);

    // The key and its sub-keys as a complete export text; "" when the key is missing.
    std::string ExportText(std::string_view keyPath);
    bool ExportKey(std::string_view keyPath, const std::filesystem::path& file);
    bool ImportText(std::string_view text);
    bool ImportFile(const std::filesystem::path& file);
    // Imports the files in order as one change, all or nothing. With a requiredKey,
    // refused (nothing changed) when that key does not exist before: deleting a key
    // that is not there restores nothing.
    bool ImportFiles(const std::vector<std::filesystem::path>& files, std::string_view requiredKey = {});

    // The whole registry as the store writes it to its file.
    std::string Text();

private:
    struct Node;
    enum class Change { None, Changed, Refused };

    bool refresh();
    bool load();
    void resetTree();
    bool save();
    template <typename Fn> bool mutate(const char* procedure, Fn&& fn);
    Node* rootOf(std::string_view name);
    Node* find(const std::vector<std::string>& parts);
    Node* find(std::string_view keyPath);
    Change apply(const std::vector<RegFile::Statement>& statements);
    enum class Section { Always, WhenNeeded, Root };
    void emit(const std::string& path, const Node& node, std::string& out, Section section) const;
    std::string serialize() const;

    std::filesystem::path file_;
    std::vector<std::unique_ptr<Node>> roots_;
    MiscFuncs::FileStamp stamp_;
    bool loaded_ = false;
    bool readable_ = true;
    std::string readError_;
};
