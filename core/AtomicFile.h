#pragma once
// The program's low-level file handling, in one place.
//
// Durable whole-file writes. The new contents go to a temporary file beside the
// target, are flushed and synced, and the temporary file is renamed over the target,
// so that a crash or a full disk leaves either the old file or the new one, never a
// mixture. The folder is synced too, so the rename itself survives a crash.
//
// A caller that writes many files before one moment that needs them on disk (the
// collector stores a session's messages before its QUIT) can defer the syncs to a
// SyncBatch and pay for them once; such a file's write-back is started at once, so
// that the batch's syncs overlap with the caller's other work.
//
// Capped whole-file reads, file stamps that tell one version of a file from the next,
// and an advisory lock on a folder for writers that must not lose each other's changes.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
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
// The file gets mode 0644, also when it replaces one with other permissions, and a
// folder that cannot be synced after the rename fails the call.
bool WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes,
                     Replace replace = Replace::Allow, SyncBatch* batch = nullptr,
                     std::string* error = nullptr);

struct WriteOptions {
    Replace replace = Replace::Allow;
    SyncBatch* batch = nullptr;
    // The mode of a file that did not exist before (or of every file when keepMode is
    // off); without one, 0666 less the process's umask, as open(2) would give.
    std::optional<mode_t> newFileMode;
    // A file that is replaced keeps its permission bits.
    bool keepMode = true;
    // An existing file that the process may not write to is not replaced (rename(2)
    // alone would replace it, as the folder is what it checks).
    bool refuseReadOnlyTarget = true;
    // Creates the missing folders above path first.
    bool createFolder = false;
    // When the folder cannot be synced after the rename the new file is in place and
    // whole, and that is logged and counted a success; true makes it a failure.
    bool requireFolderSync = false;
};

// WriteFileAtomic as the options say.
bool WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes, const WriteOptions& options,
                     std::string* error = nullptr);

// Reads a whole file; false when it cannot be read. maxBytes caps what is read (a
// longer file gives its first maxBytes bytes).
bool ReadWholeFile(const std::filesystem::path& path, std::string& out,
                   std::size_t maxBytes = static_cast<std::size_t>(-1));

// What tells one version of a file from the next: a rename brings a new inode, a
// rewrite in place a new change time, even when size and modification time stay.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t mtimeNs = 0;
    std::int64_t ctimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of path now. A missing file (also one below something that is not a
// folder) is a stamp too, with exists false. False, with *error, when the path cannot
// be examined for another reason.
bool StampOf(const std::filesystem::path& path, FileStamp& stamp, std::string* error = nullptr);

enum class ReadStatus { Read, Missing, NotAFile, TooLarge, Failed };

// Reads the whole regular file at path, refusing one of more than maxBytes bytes.
// stamp is that of the version read, taken from the open file; where nothing could be
// read it is the path's stamp as far as it can be had (exists false when missing).
// out holds the bytes only with ReadStatus::Read; *error describes any other outcome.
ReadStatus ReadWholeFileStamped(const std::filesystem::path& path, std::string& out, std::size_t maxBytes,
                                FileStamp& stamp, std::string* error = nullptr);

// The folder a file lives in ("." for a bare name).
std::filesystem::path FolderOf(const std::filesystem::path& path);

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

// An exclusive advisory lock (flock) on a folder for as long as the object lives;
// creates the folder when missing. Where locks are not supported it does not wait.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace MiscFuncs
