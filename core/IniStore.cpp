#include "core/IniStore.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

#include "core/Log.h"

namespace fs = std::filesystem;

namespace IniStore {
namespace {

void logReadError(const fs::path& path, const std::string& what) {
    MiscFuncs::WriteLog(0, "#", "Error in CIniFile::ReadString " + path.string() + ": " + what);
}

void logWriteError(const fs::path& path, const std::string& what) {
    MiscFuncs::WriteLog(0, "#", "Error in CIniFile::WriteString " + path.string() + ": " + what);
}

}  // namespace

SharedIni::SharedIni(fs::path path) : path_(std::move(path)) {}

const IniDocument& SharedIni::Read() {
    Refresh();
    return doc_;
}

void SharedIni::Refresh() {
    if (depth_ > 0 && loaded_) return;
    MiscFuncs::FileStamp now;
    std::string problem;
    if (!MiscFuncs::StampOf(path_, now, &problem)) {
        if (loaded_ && !readable_ && !stamp_.exists) return;  // logged already
        logReadError(path_, problem);
        doc_ = IniDocument();
        stamp_ = MiscFuncs::FileStamp{};
        loaded_ = true;
        readable_ = false;
        return;
    }
    if (loaded_ && now == stamp_) return;
    Load();
}

bool SharedIni::Load() {
    using MiscFuncs::ReadStatus;
    doc_ = IniDocument();
    loaded_ = true;
    std::string bytes, problem;
    // An unreadable file keeps its stamp, so it is not tried (and logged) again
    // until it changes.
    const ReadStatus status = MiscFuncs::ReadWholeFileStamped(path_, bytes, kMaxFileSize, stamp_, &problem);
    readable_ = status == ReadStatus::Read || status == ReadStatus::Missing;  // a missing file is an empty one
    if (!readable_) {
        logReadError(path_, status == ReadStatus::TooLarge ? "larger than the settings-file limit" : problem);
        return false;
    }
    if (status == ReadStatus::Read) doc_ = IniDocument::Parse(bytes);
    return true;
}

bool SharedIni::Write(const IniEdit& edit) {
    Refresh();
    if (!readable_) {
        logWriteError(path_, "the file cannot be read, so it is not replaced");
        if (depth_ > 0) batchFailed_ = true;
        return false;
    }
    const EditResult result = doc_.Apply(edit);
    if (result == EditResult::Refused) {
        logWriteError(path_, "no valid name for section \"" + std::string(edit.section) + "\" key \"" +
                                 std::string(edit.key.value_or("")) + "\"");
        return false;
    }
    if (depth_ > 0) {
        pending_.push_back(edit);
        batchChanged_ = batchChanged_ || result == EditResult::Changed;
        return true;
    }
    if (result == EditResult::Unchanged) return true;
    if (Save()) return true;
    Drop();
    return false;
}

bool SharedIni::Save() {
    // The defaults keep the file's permissions and refuse a file that the user made
    // read-only, as the platform's profile service does.
    std::string problem;
    const std::string text = doc_.Serialize();
    if (text.size() > kMaxFileSize) {
        // The readers refuse such a file: writing it would lose every setting in it.
        logWriteError(path_, "the file would be larger than the settings-file limit of " +
                                 std::to_string(kMaxFileSize / (1024 * 1024)) + " MiB, so it is not written");
        return false;
    }
    if (!MiscFuncs::WriteFileAtomic(path_, text, MiscFuncs::WriteOptions{}, &problem)) {
        logWriteError(path_, problem);
        return false;
    }
    MiscFuncs::StampOf(path_, stamp_);
    return true;
}

void SharedIni::BeginUpdate() {
    if (depth_++ > 0) return;
    Refresh();
    pending_.clear();
    batchChanged_ = false;
    batchFailed_ = false;
}

bool SharedIni::EndUpdate() {
    if (depth_ == 0) return true;
    if (--depth_ > 0) return true;
    return Commit();
}

bool SharedIni::Commit() {
    if (batchFailed_) {
        // Part of the batch could not be written, so none of it is.
        batchFailed_ = false;
        pending_.clear();
        Drop();
        return false;
    }
    bool changed = batchChanged_;
    MiscFuncs::FileStamp now;
    if (!pending_.empty() && MiscFuncs::StampOf(path_, now) && now != stamp_) {
        // Another program wrote the file during the batch: build on its contents.
        if (!Load()) {
            pending_.clear();
            Drop();
            return false;
        }
        changed = false;
        for (const IniEdit& e : pending_) changed = doc_.Apply(e) == EditResult::Changed || changed;
    }
    pending_.clear();
    if (!changed || Save()) return true;
    Drop();
    return false;
}

void SharedIni::Drop() {
    doc_ = IniDocument();
    loaded_ = false;
}

std::shared_ptr<SharedIni> Open(const fs::path& path) {
    if (path.empty()) return nullptr;
    static std::unordered_map<std::string, std::weak_ptr<SharedIni>> registry;
    static std::size_t sweepAt = 64;
    std::error_code ec;
    fs::path full = fs::absolute(path, ec);
    if (ec) full = path;
    fs::path resolved = fs::weakly_canonical(full, ec);
    if (ec) resolved = full.lexically_normal();
    std::weak_ptr<SharedIni>& slot = registry[resolved.string()];
    if (auto alive = slot.lock()) return alive;
    auto made = std::make_shared<SharedIni>(resolved);
    slot = made;
    if (registry.size() >= sweepAt) {
        // Files opened once (queued mails, reply files) must not pile up here.
        std::erase_if(registry, [](const auto& kv) { return kv.second.expired(); });
        sweepAt = std::max<std::size_t>(64, registry.size() * 2);
    }
    return made;
}

}  // namespace IniStore
