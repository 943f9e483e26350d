#include "core/RegistryStore.h"

#include <iterator>
#include <utility>

#include "core/Log.h"
#include "core/MiscUtils.h"

namespace fs = std::filesystem;
using RegFile::RegValue;
using RegFile::Statement;
using MiscFuncs::FileStamp;

struct RegistryStore::Node {
    std::string name;
    std::vector<RegValue> values;
    std::vector<std::unique_ptr<Node>> subKeys;
    // False for a key that exists only as the parent of a listed one: it gets no
    // section of its own in the file, as it had none in the file it came from.
    bool listed = false;

    Node* child(std::string_view n) const {
        for (const auto& k : subKeys)
            if (MiscFuncs::EqualsIgnoreCase(k->name, n)) return k.get();
        return nullptr;
    }
    RegValue* value(std::string_view n) {
        for (RegValue& v : values)
            if (MiscFuncs::EqualsIgnoreCase(v.name, n)) return &v;
        return nullptr;
    }
};

namespace {

void logError(const char* procedure, const std::string& text) {
    MiscFuncs::WriteLog(0, "#", std::string("Error in RegistryStore::") + procedure + " " + text);
}

// The registry's files are the owner's alone, whatever mode they had before.
MiscFuncs::WriteOptions registryWrite() {
    MiscFuncs::WriteOptions options;
    options.newFileMode = 0600;
    options.keepMode = false;
    options.refuseReadOnlyTarget = false;
    options.createFolder = true;
    return options;
}

// Reads and parses a file in the export format; false, logged under procedure, when
// either fails. stamp is that of the version read.
bool readStatements(const char* procedure, const fs::path& file, std::vector<Statement>& statements,
                    FileStamp& stamp, std::string* why = nullptr) {
    std::string text, error;
    const MiscFuncs::ReadStatus status = MiscFuncs::ReadWholeFileStamped(file, text, RegFile::kMaxFileSize, stamp, &error);
    if (status != MiscFuncs::ReadStatus::Read) {
        if (status == MiscFuncs::ReadStatus::TooLarge)
            error = "the file is larger than " + std::to_string(RegFile::kMaxFileSize >> 20) + " MiB";
        logError(procedure, file.string() + ": " + error);
        if (why) *why = error;
        return false;
    }
    if (!RegFile::Parse(text, statements, error)) {
        logError(procedure, file.string() + ", " + error);
        if (why) *why = error;
        return false;
    }
    return true;
}

}  // namespace

RegistryStore::RegistryStore(fs::path file) : file_(std::move(file)) { resetTree(); }

RegistryStore::~RegistryStore() = default;

void RegistryStore::resetTree() {
    roots_.clear();
    for (const RegFile::RootKey& r : RegFile::kRootKeys) {
        roots_.push_back(std::make_unique<Node>());
        roots_.back()->name = std::string(r.name);
    }
}

bool RegistryStore::refresh() {
    FileStamp now;
    std::string error;
    if (!MiscFuncs::StampOf(file_, now, &error)) {
        if (readable_) logError("Load", file_.string() + ": " + error);
        loaded_ = false;
        readable_ = false;
        readError_ = error;
        return false;
    }
    if (loaded_ && now == stamp_) return readable_;
    loaded_ = true;
    stamp_ = now;
    resetTree();
    readError_.clear();
    readable_ = !now.exists || load();
    return readable_;
}

std::string RegistryStore::ReadError() {
    refresh();
    return readable_ ? std::string() : readError_;
}

bool RegistryStore::load() {
    std::vector<Statement> statements;
    FileStamp read;
    const bool ok = readStatements("Load", file_, statements, read, &readError_);
    // A file that could not even be opened keeps the stamp it was seen with.
    if (read.exists) stamp_ = read;
    if (ok) apply(statements);
    return ok;
}

template <typename Fn> bool RegistryStore::mutate(const char* procedure, Fn&& fn) {
    if (!refresh()) {
        logError(procedure, file_.string() + " is not a readable registry file; nothing written");
        return false;
    }
    Change change = fn();
    if (change != Change::Changed) return change == Change::None;
    MiscFuncs::FolderLock lock(MiscFuncs::FolderOf(file_));
    // Another writer may have replaced the file since it was read: redo the change on
    // its version rather than overwrite it.
    const FileStamp before = stamp_;
    if (!refresh()) return false;
    if (!(stamp_ == before)) {
        change = fn();
        if (change != Change::Changed) return change == Change::None;
    }
    if (!save()) {
        logError(procedure, "the registry file could not be written");
        loaded_ = false;
        return false;
    }
    return true;
}

bool RegistryStore::save() {
    const std::string text = serialize();
    std::string error;
    if (text.size() > RegFile::kMaxFileSize) {
        logError("Save", file_.string() + ": the registry would grow beyond its limit");
        return false;
    }
    if (!MiscFuncs::WriteFileAtomic(file_, text, registryWrite(), &error)) {
        logError("Save", error);
        return false;
    }
    return MiscFuncs::StampOf(file_, stamp_, &error);
}

RegistryStore::Node* RegistryStore::rootOf(std::string_view name) {
    const int i = RegFile::RootIndex(name);
    return i < 0 ? nullptr : roots_[static_cast<std::size_t>(i)].get();
}

RegistryStore::Node* RegistryStore::find(const std::vector<std::string>& parts) {
    Node* node = parts.empty() ? nullptr : rootOf(parts[0]);
    for (std::size_t i = 1; node && i < parts.size(); ++i) node = node->child(parts[i]);
    return node;
}

RegistryStore::Node* RegistryStore::find(std::string_view keyPath) {
    std::vector<std::string> parts;
    if (!RegFile::SplitPath(keyPath, parts)) return nullptr;
    return find(parts);
}

namespace {

// Creates the missing part of a path below its root and lists the key itself; true
// when anything changed.
template <typename NodeT>
bool createPath(NodeT* node, const std::vector<std::string>& parts) {
    bool created = false;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        NodeT* next = node->child(parts[i]);
        if (!next) {
            node->subKeys.push_back(std::make_unique<NodeT>());
            next = node->subKeys.back().get();
            next->name = parts[i];
            created = true;
        }
        node = next;
    }
    if (node->listed) return created;
    node->listed = true;
    return true;
}

template <typename NodeT>
bool removeChild(NodeT* parent, std::string_view name) {
    if (!parent) return false;
    for (auto it = parent->subKeys.begin(); it != parent->subKeys.end(); ++it) {
        if (MiscFuncs::EqualsIgnoreCase((*it)->name, name)) {
            parent->subKeys.erase(it);
            return true;
        }
    }
    return false;
}

template <typename NodeT>
bool setValue(NodeT* node, const RegValue& v) {
    node->listed = true;
    if (RegValue* old = node->value(v.name)) {
        if (old->type == v.type && old->data == v.data) return false;
        old->type = v.type;
        old->data = v.data;
        return true;
    }
    node->values.push_back(v);
    return true;
}

template <typename NodeT>
bool eraseValue(NodeT* node, std::string_view name) {
    if (!node) return false;
    for (auto it = node->values.begin(); it != node->values.end(); ++it) {
        if (MiscFuncs::EqualsIgnoreCase(it->name, name)) {
            node->values.erase(it);
            return true;
        }
    }
    return false;
}

std::vector<std::string> parentOf(const std::vector<std::string>& parts) {
    return std::vector<std::string>(parts.begin(), parts.end() - 1);
}

}  // namespace

RegistryStore::Change RegistryStore::apply(const std::vector<Statement>& statements) {
    bool changed = false;
    for (const Statement& st : statements) {
        switch (st.op) {
        case Statement::Op::Key: changed |= createPath(rootOf(st.key[0]), st.key); break;
        case Statement::Op::DeleteKey:
            if (st.key.size() > 1) changed |= removeChild(find(parentOf(st.key)), st.key.back());
            break;
        case Statement::Op::SetValue:
            if (Node* node = find(st.key)) changed |= setValue(node, st.value);
            break;
        case Statement::Op::DeleteValue: changed |= eraseValue(find(st.key), st.value.name); break;
        }
    }
    return changed ? Change::Changed : Change::None;
}

bool RegistryStore::KeyExists(std::string_view keyPath) { return refresh() && find(keyPath) != nullptr; }

bool RegistryStore::CreateKey(std::string_view keyPath) {
    std::vector<std::string> parts;
    if (!RegFile::SplitPath(keyPath, parts)) return false;
    return mutate("CreateKey", [&] {
        return createPath(rootOf(parts[0]), parts) ? Change::Changed : Change::None;
    });
}

bool RegistryStore::DeleteKey(std::string_view keyPath) {
    std::vector<std::string> parts;
    if (!RegFile::SplitPath(keyPath, parts) || parts.size() < 2) return false;
    return mutate("DeleteKey", [&] {
        return removeChild(find(parentOf(parts)), parts.back()) ? Change::Changed : Change::Refused;
    });
}

bool RegistryStore::SetValue(std::string_view keyPath, const RegValue& value) {
    std::vector<std::string> parts;
    if (!RegFile::SplitPath(keyPath, parts)) return false;
    if (!RegFile::IsValidValueName(value.name) || value.data.size() > RegFile::kMaxValueDataSize) {
        logError("SetValue", "the value name or its data exceeds the registry's limits");
        return false;
    }
    return mutate("SetValue", [&] {
        Node* node = find(parts);
        if (!node) return Change::Refused;
        return setValue(node, value) ? Change::Changed : Change::None;
    });
}

bool RegistryStore::SetValues(std::string_view keyPath, const std::vector<RegValue>& values) {
    std::vector<std::string> parts;
    if (!RegFile::SplitPath(keyPath, parts)) return false;
    for (const RegValue& value : values) {
        if (!RegFile::IsValidValueName(value.name) || value.data.size() > RegFile::kMaxValueDataSize) {
            logError("SetValues", "a value name or its data exceeds the registry's limits");
            return false;
        }
    }
    return mutate("SetValues", [&] {
        Node* node = find(parts);
        if (!node) return Change::Refused;
        bool changed = false;
        for (const RegValue& value : values) changed = setValue(node, value) || changed;
        return changed ? Change::Changed : Change::None;
    });
}

bool RegistryStore::DeleteValue(std::string_view keyPath, std::string_view valueName) {
    std::vector<std::string> parts;
    if (!RegFile::SplitPath(keyPath, parts)) return false;
    return mutate("DeleteValue", [&] {
        return eraseValue(find(parts), valueName) ? Change::Changed : Change::Refused;
    });
}

bool RegistryStore::GetValue(std::string_view keyPath, std::string_view valueName, RegValue& out) {
    Node* node = refresh() ? find(keyPath) : nullptr;
    const RegValue* v = node ? node->value(valueName) : nullptr;
    if (!v) return false;
    out = *v;
    return true;
}

bool RegistryStore::ListSubKeys(std::string_view keyPath, std::vector<std::string>& names) {
    names.clear();
    Node* node = refresh() ? find(keyPath) : nullptr;
    if (!node) return false;
    for (const auto& k : node->subKeys) names.push_back(k->name);
    return true;
}

bool RegistryStore::ListValues(std::string_view keyPath, std::vector<RegValue>& values) {
    values.clear();
    Node* node = refresh() ? find(keyPath) : nullptr;
    if (!node) return false;
    values = node->values;
    return true;
}

void RegistryStore::emit(const std::string& path, const Node& node, std::string& out, Section section) const {
    // A key with no section of its own is still written when nothing below it would
    // bring it back; a root always exists and needs none.
    const bool leaf = node.subKeys.empty() && section != Section::Root;
    if (section == Section::Always || node.listed || !node.values.empty() || leaf) {
        out += RegFile::FormatKeyLine(path);
        for (const RegValue& v : node.values) out += RegFile::FormatValue(v);
        out += "\r\n";
    }
    for (const auto& k : node.subKeys) emit(path + "\\" + k->name, *k, out, Section::WhenNeeded);
}

namespace {
std::string headerText() { return std::string(RegFile::kHeader) + "\r\n\r\n"; }
}  // namespace

std::string RegistryStore::serialize() const {
    std::string out = headerText();
    for (const auto& root : roots_) emit(root->name, *root, out, Section::Root);
    return out;
}

std::string RegistryStore::Text() {
    refresh();
    return serialize();
}

std::string RegistryStore::ExportText(std::string_view keyPath) {
    std::vector<std::string> parts;
    if (!RegFile::SplitPath(keyPath, parts) || !refresh()) return "";
    // The path is written in the keys' own case, whatever case the caller used.
    const Node* node = rootOf(parts[0]);
    std::string path = node->name;
    for (std::size_t i = 1; node && i < parts.size(); ++i) {
        node = node->child(parts[i]);
        if (node) path += "\\" + node->name;
    }
    if (!node) return "";
    std::string out = headerText();
    emit(path, *node, out, Section::Always);
    return out;
}

bool RegistryStore::ExportKey(std::string_view keyPath, const fs::path& file) {
    const std::string text = ExportText(keyPath);
    if (text.empty()) {
        logError("ExportKey", "no such key: " + std::string(keyPath));
        return false;
    }
    std::string error;
    if (MiscFuncs::WriteFileAtomic(file, text, registryWrite(), &error)) return true;
    logError("ExportKey", error);
    return false;
}

bool RegistryStore::ImportText(std::string_view text) {
    std::vector<Statement> statements;
    std::string error;
    if (!RegFile::Parse(text, statements, error)) {
        logError("ImportText", error);
        return false;
    }
    return mutate("ImportText", [&] { return apply(statements); });
}

bool RegistryStore::ImportFile(const fs::path& file) {
    std::vector<Statement> statements;
    FileStamp ignored;
    if (!readStatements("ImportFile", file, statements, ignored)) return false;
    return mutate("ImportFile", [&] { return apply(statements); });
}

bool RegistryStore::ImportFiles(const std::vector<fs::path>& files, std::string_view requiredKey) {
    std::vector<Statement> statements;
    for (const fs::path& file : files) {
        std::vector<Statement> more;
        FileStamp ignored;
        if (!readStatements("ImportFiles", file, more, ignored)) return false;
        statements.insert(statements.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    }
    return mutate("ImportFiles", [&] {
        if (!requiredKey.empty() && !find(requiredKey)) return Change::Refused;
        return apply(statements);
    });
}
