#pragma once
// File handling under the registry store: how a file is recognised as changed, read
// with a cap, replaced atomically, and guarded against a second writer.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace RegistryFileIo {

// What tells one version of a file from the next: size, nanosecond modification time
// and the inode (a rename brings a new one even within one clock tick).
struct FileStamp {
    bool exists = false;
    std::int64_t size = 0, mtimeNs = 0;
    std::uint64_t inode = 0, device = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of a path; a missing file is a stamp too (exists = false). False, with a
// description, when the path cannot be examined.
bool StampOf(const std::filesystem::path& file, FileStamp& stamp, std::string& error);

// The whole file, at most `cap` bytes, and the stamp of the version read.
bool ReadWhole(const std::filesystem::path& file, std::size_t cap, std::string& out, FileStamp& stamp,
               std::string& error);

// Replaces the file with the bytes: a temporary file beside it (mode 0600), flush,
// fsync, rename, then the folder synced. Creates the folder when missing.
bool WriteAtomically(const std::filesystem::path& file, std::string_view bytes, std::string& error);

// The folder a file lives in ("." for a bare name).
std::filesystem::path FolderOf(const std::filesystem::path& file);

// An exclusive advisory lock on a folder for as long as the object lives; creates the
// folder when missing. Where locks are not supported it does not wait.
class FolderLock {
public:
    explicit FolderLock(const std::filesystem::path& dir);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace RegistryFileIo
