#pragma once
// Durable whole-file writes. The new contents go to a temporary file beside the
// target, are flushed and synced, and the temporary file is renamed over the target,
// so that a crash or a full disk leaves either the old file or the new one, never a
// mixture. The folder is synced too, so the rename itself survives a crash.
//
// A caller that writes many files before one moment that needs them on disk (the
// collector stores a session's messages before its QUIT) can defer the syncs to a
// SyncBatch and pay for them once.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace MiscFuncs {

class SyncBatch;

// How an existing target is treated.
enum class Replace { Allow, Never };

// Writes bytes to path atomically. With Replace::Never an existing file is left
// alone and the call fails (the check and the rename are one step: link(2)).
// With a batch, the data and folder syncs are deferred to batch.Commit().
// On failure returns false, removes its temporary file and fills *error when given.
bool WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes,
                     Replace replace = Replace::Allow, SyncBatch* batch = nullptr,
                     std::string* error = nullptr);

// Reads a whole file; false when it cannot be read. maxBytes caps what is read.
bool ReadWholeFile(const std::filesystem::path& path, std::string& out,
                   std::size_t maxBytes = static_cast<std::size_t>(-1));

// Syncs the folder entry of path (after a rename or unlink in it).
bool SyncFolderOf(const std::filesystem::path& path);

class SyncBatch {
public:
    SyncBatch() = default;
    SyncBatch(const SyncBatch&) = delete;
    SyncBatch& operator=(const SyncBatch&) = delete;
    ~SyncBatch();  // commits whatever is pending

    void AddFile(const std::filesystem::path& file);
    // Syncs every pending file and the folders holding them; true when all succeeded.
    bool Commit();
    bool Empty() const { return files_.empty(); }

private:
    std::vector<std::filesystem::path> files_;
};

}  // namespace MiscFuncs
