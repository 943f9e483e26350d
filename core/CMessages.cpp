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

MiscFuncs::DateValue localDate(std::time_t when) {
    std::tm tm{};
    if (!localtime_r(&when, &tm)) return 0;
    return MiscFuncs::DateOf({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec});
}

bool crsAreLineBreaks(std::string_view text) {
    for (std::size_t cr = text.find('\r'); cr != std::string_view::npos; cr = text.find('\r', cr + 1))
        if (cr + 1 >= text.size() || text[cr + 1] != '\n') return false;
    return true;
}

// Reads the head of a stored message as CMessage::LoadHeadersFromFile does, and the
// file's time, with one open. The usual file (its header end within the first read,
// every CR part of a CR LF) takes one read; others go through LoadHeadersFromFile.
bool readHead(const std::string& path, CMessage& message, MiscFuncs::DateValue* fileDate) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (fileDate) *fileDate = ::fstat(fd, &st) == 0 ? localDate(st.st_mtime) : 0;
    char buf[16384];
    ssize_t n;
    do n = ::read(fd, buf, sizeof buf);
    while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n < 0) return false;
    const std::string_view head(buf, static_cast<std::size_t>(n));
    const std::size_t end = head.find("\r\n\r\n");
    if (end == std::string_view::npos || !crsAreLineBreaks(head.substr(0, end + 4)))
        return message.LoadHeadersFromFile(path);
    // The long way keeps the first body line too; the index reads header fields only.
    std::string text;
    text.reserve(end + 9);
    text.append(head.substr(0, end + 4)).append("msg\r\n");
    message.CreateFromText(std::move(text));
    return true;
}

}  // namespace

MessageIndexEntry* CMessages::addEntry(MessageIndexEntry&& entry, std::size_t hash) {
    MessageIndexEntry* stored = index_.AddHashed(std::move(entry), hash);
    if (stored && sendersReady_) linkSender(*stored);
    return stored;
}

void CMessages::dropEntry(std::string_view key) {
    MessageIndexEntry* entry = index_.Find(key);
    if (!entry) return;
    if (sendersReady_) unlinkSender(*entry);
    index_.Remove(key);
}

void CMessages::linkSender(MessageIndexEntry& entry) const {
    MessageIndexEntry::SenderChain* chain = senders_.Find(entry.Sender());
    if (!chain) chain = senders_.Add(std::string(entry.Sender()), {});
    entry.chain_ = chain;
    entry.prevOfSender_ = chain->tail;
    entry.nextOfSender_ = nullptr;
    if (chain->tail) chain->tail->nextOfSender_ = &entry;
    else chain->head = &entry;
    chain->tail = &entry;
    ++chain->count;
}

void CMessages::unlinkSender(MessageIndexEntry& entry) {
    MessageIndexEntry::SenderChain& c = *entry.chain_;
    if (entry.prevOfSender_) entry.prevOfSender_->nextOfSender_ = entry.nextOfSender_;
    else c.head = entry.nextOfSender_;
    if (entry.nextOfSender_) entry.nextOfSender_->prevOfSender_ = entry.prevOfSender_;
    else c.tail = entry.prevOfSender_;
    if (--c.count == 0) senders_.Remove(entry.Sender());
}

// The sender table costs a pass over the index; start-up leaves it to the first
// question about a sender, and from then on every change keeps it up to date.
void CMessages::ensureSenders() const {
    if (sendersReady_) return;
    senders_.Reserve(index_.Count() / 4 + 16);
    // The entries belong to this object; the index hands them out read-only.
    for (const auto& item : index_) linkSender(const_cast<MessageIndexEntry&>(item.value));
    sendersReady_ = true;
}

std::vector<std::string> CMessages::SenderKeys(std::string_view sender, std::string_view account,
                                               std::string_view folder) const {
    std::vector<std::string> keys;
    ensureSenders();
    const MessageIndexEntry::SenderChain* chain = senders_.Find(sender);
    if (!chain) return keys;
    const std::string_view wantFolder = folder.empty() ? std::string_view() : MessageKeys::CanonicalFolder(folder);
    if (!folder.empty() && wantFolder.empty()) return keys;
    for (const MessageIndexEntry* e = chain->head; e; e = e->nextOfSender_) {
        MessageKeys::KeyParts parts;
        if (!MessageKeys::SplitKey(e->Key(), parts)) continue;
        if (!account.empty() && !MiscFuncs::CaseInsensitiveEqual{}(parts.account, account)) continue;
        if (!wantFolder.empty() && parts.canonical != wantFolder) continue;
        keys.emplace_back(e->Key());
    }
    return keys;
}

std::size_t CMessages::SenderMessageCount(std::string_view sender, std::string_view account,
                                          std::string_view folder) const {
    if (account.empty() && folder.empty()) {
        ensureSenders();
        const MessageIndexEntry::SenderChain* chain = senders_.Find(sender);
        return chain ? chain->count : 0;
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

// path is the file's path when the caller has it at hand (a folder walk), else "".
bool CMessages::addFile(std::string_view account, std::string_view file, std::string_view folder,
                        DateSource source, std::string path) {
    const std::string_view canonical = MessageKeys::CanonicalFolder(folder);
    std::string key = MessageKeys::MakeKey(account, canonical.empty() ? folder : canonical, file);
    MessageKeys::KeyParts parts;
    const char* why = nullptr;
    CMessage message;
    MiscFuncs::DateValue date = 0;
    if (!MessageKeys::SplitKey(key, parts)) why = "Bad file name or number: ";
    else if (index_.Contains(key)) why = kKeyTaken.data();
    else if (path.empty()) path = MessageKeys::PathOfKey(key).string();
    if (!why && !readHead(path, message, source == DateSource::FileTime ? &date : nullptr)) why = "File not found: ";
    if (why) {
        MiscFuncs::WriteLog(0, "#", "Error in Messages::addMessage" + std::string(why) + std::string(key));
        return false;
    }
    if (source == DateSource::SendDate) date = message.SendDateTime();
    if (source == DateSource::ReceivedDate) date = message.ReceivedDateTime();
    return addEntry(MessageIndexEntry(message.From, message.Subject, MiscFuncs::ListDateText(date), key,
                                      MiscFuncs::DateToMinutes(date))) != nullptr;
}

bool CMessages::MoveMessage(std::string_view key, std::string_view newFolder) {
    const auto* stored = index_.FindItem(key);
    const std::string oldKey(stored ? stored->Key() : key);
    const std::string newKey = stored ? MessageKeys::KeyInFolder(oldKey, newFolder) : std::string();
    std::string why;
    if (!stored) why = std::string(kNoSuchKey) + std::string(oldKey);
    else if (newKey.empty()) why = std::string(kNoSuchKey) + std::string(newFolder);
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
    const MessageIndexEntry& old = stored->value;
    MessageIndexEntry moved(old.From(), old.Subject(), old.DateText(), newKey, old.Minutes());
    dropEntry(oldKey);
    addEntry(std::move(moved));
    Change.Raise();
    return true;
}

bool CMessages::RemoveMessage(std::string_view key) {
    const auto* stored = index_.FindItem(key);
    if (!stored) {
        MiscFuncs::WriteLog(0, "#",
                            "Error in Messages::RemoveMessage" + std::string(kNoSuchKey) + std::string(key));
        return false;
    }
    const std::string found(stored->Key());
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
    senders_.Clear();
    sendersReady_ = false;
    // Caches written from an emptied index would hide every stored message at the
    // next start: until LoadMessages refills an account, its cache is dropped.
    for (const std::string& account : accountList()) incomplete_.insert(MiscFuncs::LowerCase(account));
    cacheTexts_.clear();
}

bool CMessages::LoadMessages(std::string_view account) {
    if (!MessageKeys::IsSafeName(account)) {
        MiscFuncs::WriteLog(0, "#",
                            "Error in Messages::LoadMessagesBad file name or number: " + std::string(account));
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
    const std::string base = path.string() + "/";
    for (std::string file = MiscFuncs::SafeDir(list, base + "*.eml"); !file.empty();
         file = MiscFuncs::SafeDir(list, "")) {
        if (index_.Contains(MessageKeys::MakeKey(account, folder, file))) continue;
        addFile(account, file, folder, source, base + file);
    }
    return true;
}
