#include "core/CMessages.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <system_error>

#include "core/Address.h"
#include "core/CIniFile.h"
#include "core/CMessage.h"
#include "core/Dates.h"
#include "core/Log.h"
#include "core/MessageKey.h"
#include "core/MiscUtils.h"
#include "core/ProgramFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNoSuchKey = "Invalid procedure call or argument: ";
constexpr std::string_view kKeyTaken = "This key is already associated with an element of this collection: ";

void appendDisplay(std::string& out, std::string_view text) {
    std::size_t room = MessageIndexEntry::kMaxDisplayField;
    for (char c : text) {
        if (room == 0) break;
        if (c == '\t') continue;
        out += (c == '\r' || c == '\n') ? ' ' : c;
        --room;
    }
}

std::string errnoText() { return std::strerror(errno); }

// A move that never replaces a file: renameat2 where the file system has it, else
// a hard link and the removal of the old name.
bool renameNoReplace(const fs::path& from, const fs::path& to, std::string& why) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) {
        why = errnoText();
        return false;
    }
    if (::link(from.c_str(), to.c_str()) != 0) {
        why = errnoText();
        return false;
    }
    if (::unlink(from.c_str()) == 0) return true;
    why = errnoText();
    ::unlink(to.c_str());
    return false;
}

MiscFuncs::DateValue fileTime(const fs::path& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return 0;
    std::tm tm{};
    if (!localtime_r(&st.st_mtime, &tm)) return 0;
    return MiscFuncs::DateOf({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec});
}

}  // namespace

std::string_view MessageIndexEntry::field(int n) const {
    std::size_t begin = 0;
    for (int i = 0; i < n; ++i) {
        begin = Text.find('\t', begin);
        if (begin == std::string::npos) return {};
        ++begin;
    }
    const std::size_t end = Text.find('\t', begin);
    return std::string_view(Text).substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

std::string MessageIndexEntry::MakeText(std::string_view from, std::string_view subject, std::string_view dateText,
                                        std::string_view key, std::int32_t minutes) {
    std::string out;
    out.reserve(from.size() + subject.size() + dateText.size() + key.size() + 16);
    appendDisplay(out, from);
    out += '\t';
    appendDisplay(out, subject);
    out += '\t';
    appendDisplay(out, dateText);
    out += '\t';
    out.append(key);
    out += '\t';
    out += MiscFuncs::MinutesToText(minutes);
    return out;
}

std::string CMessages::senderOf(std::string_view key, std::string_view from) {
    const std::string_view file = key.substr(key.rfind('\\') + 1);
    const std::size_t blank = file.find(' ');
    if (blank != std::string_view::npos && blank > 0) return MiscFuncs::LowerCase(file.substr(0, blank));
    std::string name;
    return MiscFuncs::ParseAddress(from, name);
}

MessageIndexEntry* CMessages::addEntry(std::string key, MessageIndexEntry entry) {
    entry.sender_ = senderOf(key, entry.From());
    MessageIndexEntry* stored = index_.Add(std::move(key), std::move(entry));
    if (!stored) return nullptr;
    auto chain = senders_.find(std::string_view(stored->sender_));
    if (chain == senders_.end()) chain = senders_.emplace(stored->sender_, MessageIndexEntry::SenderChain{}).first;
    MessageIndexEntry::SenderChain& c = chain->second;
    stored->links_.chain = &c;
    stored->links_.prev = c.tail;
    if (c.tail) c.tail->links_.next = stored;
    else c.head = stored;
    c.tail = stored;
    ++c.count;
    return stored;
}

void CMessages::dropEntry(std::string_view key) {
    MessageIndexEntry* entry = index_.Find(key);
    if (!entry) return;
    MessageIndexEntry::SenderChain& c = *entry->links_.chain;
    if (entry->links_.prev) entry->links_.prev->links_.next = entry->links_.next;
    else c.head = entry->links_.next;
    if (entry->links_.next) entry->links_.next->links_.prev = entry->links_.prev;
    else c.tail = entry->links_.prev;
    if (--c.count == 0) senders_.erase(entry->sender_);
    index_.Remove(key);
}

std::vector<std::string> CMessages::SenderKeys(std::string_view sender, std::string_view account,
                                               std::string_view folder) const {
    std::vector<std::string> keys;
    const auto chain = senders_.find(sender);
    if (chain == senders_.end()) return keys;
    const std::string_view wantFolder = folder.empty() ? std::string_view() : MessageKeys::CanonicalFolder(folder);
    if (!folder.empty() && wantFolder.empty()) return keys;
    for (const MessageIndexEntry* e = chain->second.head; e; e = e->links_.next) {
        MessageKeys::KeyParts parts;
        if (!MessageKeys::SplitKey(e->Key(), parts)) continue;
        if (!account.empty() && !MiscFuncs::EqualsIgnoreCase(parts.account, account)) continue;
        if (!wantFolder.empty() && MessageKeys::CanonicalFolder(parts.folder) != wantFolder) continue;
        keys.emplace_back(e->Key());
    }
    return keys;
}

std::size_t CMessages::SenderMessageCount(std::string_view sender, std::string_view account,
                                          std::string_view folder) const {
    if (account.empty() && folder.empty()) {
        const auto chain = senders_.find(sender);
        return chain == senders_.end() ? 0 : chain->second.count;
    }
    return SenderKeys(sender, account, folder).size();
}

CMessages::DateSource CMessages::dateSource() {
    const CIniFile options(ProgramFiles::OptionsIniPath().string());
    const std::string value = options.Value("options", "UseMessageDate");
    const std::string_view how = MiscFuncs::TrimBlanks(value);
    if (how == "1") return DateSource::SendDate;
    if (how == "2") return DateSource::ReceivedDate;
    return DateSource::FileTime;
}

bool CMessages::AddMessage(std::string_view account, std::string_view file, std::string_view folder) {
    if (!addFile(account, file, folder, dateSource())) return false;
    Change.Raise();
    return true;
}

bool CMessages::addFile(std::string_view account, std::string_view file, std::string_view folder,
                        DateSource source) {
    const std::string_view canonical = MessageKeys::CanonicalFolder(folder);
    std::string key = MessageKeys::MakeKey(account, canonical.empty() ? folder : canonical, file);
    const fs::path path = MessageKeys::PathOfKey(key);
    const char* why = nullptr;
    CMessage message;
    if (path.empty()) why = "Bad file name or number: ";
    else if (index_.Contains(key)) why = kKeyTaken.data();
    else if (!message.LoadHeadersFromFile(path)) why = "File not found: ";
    if (why) {
        MiscFuncs::WriteLog(0, "#", "Error in Messages::addMessage" + std::string(why) + key);
        return false;
    }
    MiscFuncs::DateValue date = 0;
    switch (source) {
        case DateSource::SendDate: date = message.SendDateTime(); break;
        case DateSource::ReceivedDate: date = message.ReceivedDateTime(); break;
        case DateSource::FileTime: date = fileTime(path); break;
    }
    MessageIndexEntry entry;
    entry.Minutes = MiscFuncs::DateToMinutes(date);
    entry.Text = MessageIndexEntry::MakeText(message.From, message.Subject, MiscFuncs::ListDateText(date), key,
                                             entry.Minutes);
    return addEntry(std::move(key), std::move(entry)) != nullptr;
}

bool CMessages::MoveMessage(std::string_view key, std::string_view newFolder) {
    const std::string* stored = index_.StoredKey(key);
    const std::string oldKey = stored ? *stored : std::string(key);
    const std::string newKey = stored ? MessageKeys::KeyInFolder(oldKey, newFolder) : std::string();
    std::string why;
    if (!stored) why = std::string(kNoSuchKey) + oldKey;
    else if (newKey.empty()) why = "Invalid procedure call or argument: " + std::string(newFolder);
    const fs::path from = MessageKeys::PathOfKey(oldKey), to = MessageKeys::PathOfKey(newKey);
    if (why.empty() && from == to) return true;
    if (why.empty() && index_.Contains(newKey)) why = std::string(kKeyTaken) + newKey;
    std::error_code ec;
    if (why.empty()) fs::create_directories(to.parent_path(), ec);
    if (why.empty() && !renameNoReplace(from, to, why)) why += ": " + oldKey + " -> " + newKey;
    if (!why.empty()) {
        MiscFuncs::WriteLog(0, "#", "Error in Messages::MoveMessage" + why);
        return false;
    }
    const MessageIndexEntry* old = index_.Find(oldKey);
    MessageIndexEntry moved;
    moved.Minutes = old->Minutes;
    moved.Text = MessageIndexEntry::MakeText(old->From(), old->Subject(), old->DateText(), newKey, old->Minutes);
    dropEntry(oldKey);
    addEntry(newKey, std::move(moved));
    Change.Raise();
    return true;
}

bool CMessages::RemoveMessage(std::string_view key) {
    const std::string* stored = index_.StoredKey(key);
    if (!stored) {
        MiscFuncs::WriteLog(0, "#", "Error in Messages::RemoveMessage" + std::string(kNoSuchKey) + std::string(key));
        return false;
    }
    const std::string found = *stored;
    const fs::path path = MessageKeys::PathOfKey(found);
    if (::unlink(path.c_str()) != 0) {
        const bool gone = errno == ENOENT;
        MiscFuncs::WriteLog(1, "#", "Failed to delete file " + MiscFuncs::GetShortPath(path.string()));
        // An entry stays as long as its file does, so the two never drift apart.
        if (!gone) return false;
    }
    dropEntry(found);
    Change.Raise();
    return true;
}

void CMessages::ResetCollection() {
    index_.Clear();
    senders_.clear();
}

bool CMessages::LoadMessages(std::string_view account) {
    if (!MessageKeys::IsSafeName(account)) {
        MiscFuncs::WriteLog(0, "#", "Error in Messages::LoadMessagesBad file name or number: " + std::string(account));
        return false;
    }
    const DateSource source = dateSource();
    const std::size_t before = index_.Count();
    bool ok = true;
    for (std::string_view folder : {MessageKeys::kWaitingAuth, MessageKeys::kInBox, MessageKeys::kRecycled})
        ok = loadFolder(account, folder, source) && ok;
    const std::string lower = MiscFuncs::LowerCase(account);
    if (ok) incomplete_.erase(lower);
    else incomplete_.insert(lower);
    if (index_.Count() != before) Change.Raise();
    return ok;
}

bool CMessages::loadFolder(std::string_view account, std::string_view folder, DateSource source) {
    const fs::path path = MessageKeys::FolderPath(account, folder);
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
        if (errno == ENOENT) return true;  // a folder never made holds no messages
        MiscFuncs::WriteLog(0, "#", "Error in Messages::LoadMessages" + errnoText() + ": " + path.string());
        return false;
    }
    ::closedir(dir);
    MiscFuncs::DirList list;
    for (std::string file = MiscFuncs::SafeDir(list, (path / "*.eml").string()); !file.empty();
         file = MiscFuncs::SafeDir(list, "")) {
        if (!index_.Contains(MessageKeys::MakeKey(account, folder, file))) addFile(account, file, folder, source);
    }
    return true;
}
