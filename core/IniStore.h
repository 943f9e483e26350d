#pragma once
// The settings-file engine under CIniFile: one parsed copy per file, shared by every
// user of that path, kept in step with the file on disk.
//
// Freshness: before each read outside a batch the file is looked at (one stat call)
// and parsed again when its device, inode, size, modification time or change time
// (all to the nanosecond) differ from those of the copy, so a change by another
// program is seen at the next read, also one that keeps the size, and also a file
// replaced by rename. Two writes by different programs to a file of the same size
// within one tick of the file system's clock cannot be told apart this way.
//
// Writing: every write replaces the file atomically: the whole new text goes to a
// temporary file beside it, which is flushed, synced and renamed over the file, and
// the folder is synced. A write that cannot be completed (missing or read-only
// folder, read-only file, full disk) returns false and leaves the old file whole;
// the copy in memory is then dropped, so the next read sees the file as it is. A
// file that cannot be read (no permission, not a regular file, larger than
// kMaxFileSize) reads as empty and refuses writes, so it is never replaced by a
// copy that lacks its contents. A write is refused as well when the new text would
// be larger than kMaxFileSize: every file written here can be read again. The
// folder is not created.
//
// Batches: between BeginUpdate and the matching EndUpdate (they nest) edits change
// only the copy in memory, which every reader of the path sees at once; the
// outermost EndUpdate writes the file once. When another program changed the file
// meanwhile, its contents are read again and the batch's edits applied on top. An
// edit refused inside a batch because the file could not be read makes the whole
// batch fail: EndUpdate then returns false and writes nothing.
//
// One user-interface thread uses all of it; nothing here locks.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/AtomicFile.h"
#include "core/IniDocument.h"

namespace IniStore {

inline constexpr std::uintmax_t kMaxFileSize = 64u * 1024u * 1024u;

class SharedIni {
public:
    explicit SharedIni(std::filesystem::path path);
    SharedIni(const SharedIni&) = delete;
    SharedIni& operator=(const SharedIni&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // The current contents (the pending ones inside a batch). The reference holds
    // until the next call on this object.
    const IniDocument& Read();

    // Applies one edit and writes the file (inside a batch: only the copy). False
    // when the edit is refused or the file could not be written.
    bool Write(const IniEdit& edit);

    void BeginUpdate();
    // False when the outermost EndUpdate could not write the file.
    bool EndUpdate();
    bool InUpdate() const { return depth_ > 0; }

private:
    void Refresh();
    bool Load();
    bool Save();
    bool Commit();
    void Drop();

    std::filesystem::path path_;
    IniDocument doc_;
    MiscFuncs::FileStamp stamp_;
    bool loaded_ = false;
    bool readable_ = true;
    int depth_ = 0;
    std::vector<IniEdit> pending_;
    bool batchChanged_ = false;
    bool batchFailed_ = false;
};

// The shared copy for a path (made absolute and resolved, so two spellings of one
// file share it). It lives while someone holds it. nullptr for an empty path.
std::shared_ptr<SharedIni> Open(const std::filesystem::path& path);

}  // namespace IniStore
