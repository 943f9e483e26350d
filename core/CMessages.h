#pragma once
// CMessages: the index of every stored message of every account, and its header
// cache.
//
// Each message file (a ".eml" file in an account's MailDir\InBox, WaitingAuth or
// Recycled) has one MessageIndexEntry under its MessageKey (see MessageKey.h); the
// index keeps the order of adding and finds keys without regard to letter case.
// Beside it a table from sender address to that sender's entries answers "the
// messages of this sender" without listing a folder; it is built at the first such
// question (one pass over the index, so start-up does not pay for it) and kept up
// to date after. The sender of a file is the text of its name before the first
// blank (stored names begin with the bare address and a blank), compared without
// regard to case; a name without one falls back to the address in the From field.
//
// The header cache: one msgcache.txt per account in its MailDir, one entry per line
// (CR LF), in index order. On construction every account of accounts.ini is read
// from its cache, or rebuilt from its folders when the cache is missing, when the
// marker glpcs.flg shows that the last run did not end cleanly, or when the cache
// is damaged in any way (an over-long line, a wrong field count, a key outside the
// account's folders, a time that is not a number, a key twice): a damaged cache
// never loses entries, it costs a rescan. Reading the cache also deletes Recycled
// messages older than [options] TTLForDeletedMessages days (100 when blank; a value
// that is not a whole number purges nothing and rescans every account). On
// destruction every account's cache is rewritten atomically, also when it has no
// entries left, so deleted messages do not come back.
//
// Files move before the index does: MoveMessage renames without ever replacing a
// file and changes the index only when the rename succeeded; RemoveMessage drops
// an entry only once its file is gone. Change is raised after each operation that
// changed the index. Failures are logged and reported by the return value.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/ChangeEvent.h"
#include "core/KeyedList.h"
#include "core/MessageIndexEntry.h"

class CMessages {
public:
    using Index = MiscFuncs::KeyedList<MessageIndexEntry, MessageIndexEntry::KeyOf>;
    enum class Start { LoadCaches, Empty };

    // Loads every account's index (LoadCaches), or starts empty (an object that
    // never reads or writes the header caches).
    explicit CMessages(Start start = Start::LoadCaches);
    // Rewrites every account's header cache, when the caches were loaded.
    ~CMessages();
    CMessages(const CMessages&) = delete;
    CMessages& operator=(const CMessages&) = delete;

    // The entries in index order, each with its key.
    const Index& MessageIndex() const { return index_; }
    std::size_t Count() const { return index_.Count(); }
    const MessageIndexEntry* Find(std::string_view key) const { return index_.Find(key); }

    // The keys of one sender's messages in index order, optionally only those of
    // one account and / or one folder ("MailDir\InBox", ...); letter case ignored.
    std::vector<std::string> SenderKeys(std::string_view sender, std::string_view account = {},
                                        std::string_view folder = {}) const;
    std::size_t SenderMessageCount(std::string_view sender, std::string_view account = {},
                                   std::string_view folder = {}) const;

    // Indexes the stored file accounts\account\folder\file ("MailDir\InBox", ...).
    bool AddMessage(std::string_view account, std::string_view file, std::string_view folder);
    // Moves a message to another of its account's folders.
    bool MoveMessage(std::string_view key, std::string_view newFolder);
    // Deletes a message's file and its entry.
    bool RemoveMessage(std::string_view key);
    // Empties the index; no event. The header caches of accounts that LoadMessages
    // does not refill afterwards are removed at the end, so the next start scans
    // their folders instead of finding them empty.
    void ResetCollection();
    // Indexes every message file of the account's WaitingAuth, InBox and Recycled;
    // raises Change once when anything was added.
    bool LoadMessages(std::string_view account);

    MiscFuncs::ChangeEvent Change;

private:
    enum class DateSource { FileTime, SendDate, ReceivedDate };
    struct Purge;

    static DateSource dateSource();
    bool addFile(std::string_view account, std::string_view file, std::string_view folder, DateSource source,
                 std::string path = {});
    MessageIndexEntry* addEntry(MessageIndexEntry&& entry) {
        const std::size_t hash = Index::HashOf(entry.Key());
        return addEntry(std::move(entry), hash);
    }
    MessageIndexEntry* addEntry(MessageIndexEntry&& entry, std::size_t hash);
    void dropEntry(std::string_view key);
    void linkSender(MessageIndexEntry& entry) const;
    void unlinkSender(MessageIndexEntry& entry);
    void ensureSenders() const;
    bool loadFolder(std::string_view account, std::string_view folder, DateSource source);

    void loadCached();
    bool loadCacheFile(std::string_view account, const Purge& purge, int& step, std::string& why);
    void purgeLine(const MessageIndexEntry& line);
    struct Pending {
        MessageIndexEntry entry;
        std::size_t hash, line;
    };
    void addPending(std::vector<Pending>& pending, std::vector<const MessageIndexEntry*>& taken, std::string& why);
    void rebuild(std::string_view account);
    bool saveCached(std::string_view account);
    std::vector<std::string> accountList() const;

    bool saveOnClose_ = false;
    Index index_;
    // The texts of the header caches read, which their entries view.
    std::vector<std::unique_ptr<std::string>> cacheTexts_;
    // Sender (letter case ignored) to that sender's entries; built on first use.
    mutable MiscFuncs::KeyedList<MessageIndexEntry::SenderChain> senders_;
    mutable bool sendersReady_ = false;
    // Accounts (lower case) whose folders could not all be read: their caches are
    // removed instead of written, so the next start scans them again.
    std::set<std::string> incomplete_;
};
