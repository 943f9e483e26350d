#pragma once
// CSenders: every sender the program knows, with its SenderStatus, kept in
// senders.ini (in the accounts folder) and mirrored in the four SenderLists that the
// main window shows.
//
// senders.ini has one section per sender, named by the bare address in lower case:
//   Name                      display name, written only when not blank
//   AccessLevel               "0" to "3" (empty for any other status)
//   ModificationDate          the time of the last status change as a day number
//                             (written with ".", read with "." or ",")
//   AuthReason                reason of the last change, written only when not blank
//   RegistrationRequestSent   written empty when the sender is approved
//   UnsentRegRequest          path of a parked registration request, or empty
//
// StatusOf, NameOf and ReasonOf read through the settings file's shared copy (a hash
// lookup, with the file's stamp checked so a change by hand is seen). The lists are
// filled once, at construction, from the file read as text; after that SetStatus and
// DeleteSender keep them in step. DeleteSender leaves senders.ini alone: the filter
// still finds the stored status and the sender is listed again at the next start.
//
// Held mail: a sender's stored messages are the ".eml" files the message store links
// to him: by the name's text before its first blank (the sender's bare address,
// letter case ignored), or, for a name without a blank (an address too long for a
// whole file name), by the file's From header. They are found through the store's
// table of senders, never by a folder listing or a pattern. Approval moves the sender's WaitingAuth files to InBox, blocking and
// deletion move them to Recycled. The sender list is created before the message
// store at start-up: moves asked for before AttachMessageStore are kept (the last one
// per sender wins) and run when the store is attached, among them the moves of the
// unknown senders that the construction expired.
//
// Change is raised after every SetStatus that changed something and after every
// DeleteSender; inside a BulkUpdate it is raised once, at its end, and senders.ini
// is written once.
//
// One user-interface thread uses it; it is not safe to share between threads.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/CIniFile.h"
#include "core/ChangeEvent.h"
#include "core/Dates.h"
#include "core/KeyedList.h"

class CMessages;

namespace SenderFile {
struct SenderRecord;
}

enum class SenderStatus : int { NotListed = -1, Blocked = 0, Unknown = 1, WaitingAuth = 2, Approved = 3 };

// What a status change did: nothing (the status was already so), the change, or
// nothing because senders.ini could not be written (or no address was given).
enum class StatusChange { Unchanged, Changed, Failed };

// One sender in a list: display ("address" or "address (name)"), reason, date text,
// bare address and MinutesSince2000 of the status date, separated by TAB. No field
// holds a TAB, CR or LF.
struct SenderEntry {
    std::string Text;
    std::int32_t Minutes = 0;

    std::string_view Display() const { return field(0); }
    std::string_view Reason() const { return field(1); }
    std::string_view DateText() const { return field(2); }
    std::string_view Address() const { return field(3); }

    // The address and the date text must hold no TAB, CR or LF; the name and the
    // reason lose theirs (they become blanks) and are cut to 1024 bytes (never inside
    // a UTF-8 sequence).
    static SenderEntry Make(std::string_view address, std::string_view name, std::string_view reason,
                            std::string_view dateText, MiscFuncs::DateValue date);

    // The key of an entry in a SenderList: its bare address. Found from the end,
    // past the minutes only, which is the same field for every text Make writes.
    struct KeyOf {
        std::string_view operator()(const SenderEntry& e) const { return e.addressFromEnd(); }
    };

private:
    std::string_view field(int n) const;
    std::string_view addressFromEnd() const;
};

// Keyed by the entry's bare address; an item shows it as `key`.
using SenderList = MiscFuncs::KeyedList<SenderEntry, MiscFuncs::KeyShown<SenderEntry::KeyOf>>;
// Indexed by SenderStatus 0 to 3.
using SenderLists = std::array<SenderList, 4>;

// One status change of a bulk update.
struct SenderUpdate {
    std::string name;
    std::string address;
    SenderStatus status = SenderStatus::NotListed;
    std::string reason;
    MiscFuncs::DateValue date = 0;
};

class CSenders {
public:
    // Opens senders.ini, loads the lists, asks about parked registration requests and
    // drops the unknown senders older than the auto-delete interval.
    CSenders();
    CSenders(const CSenders&) = delete;
    CSenders& operator=(const CSenders&) = delete;

    // Runs the mail moves kept so far and makes later ones immediate. The store must
    // stay alive while attached; DetachMessageStore before releasing it.
    void AttachMessageStore(CMessages& store);
    void DetachMessageStore() { store_ = nullptr; }

    // AccessLevel "0" to "3" of the section named by the address as passed (case
    // ignored); NotListed for anything else.
    SenderStatus StatusOf(std::string_view address) const;
    std::string NameOf(std::string_view address) const;
    std::string ReasonOf(std::string_view address) const;

    // Remembers (or, with an empty path, forgets) the sender's parked request.
    bool UnsentRegRequestFile(std::string_view address, std::string_view path);

    // Moves the sender's WaitingAuth files to InBox / Recycled.
    void AcceptMessagesFrom(std::string_view address);
    void DeleteAllMessagesFrom(std::string_view address);

    // Sets the status of the sender of address (a bare address or a header value):
    // writes ModificationDate (date, or now when date is 0) and AccessLevel, moves
    // held mail (Approved: to InBox; Blocked: to Recycled), writes Name and AuthReason
    // when not blank and lists the sender under its new status only. Without a date
    // an unchanged status changes nothing. True when something changed. The name and
    // the reason are stored cut as the lists show them (1024 bytes).
    //
    // All or nothing: senders.ini is written first (inside a BulkUpdate, at its end);
    // the mail moves, the lists and Change follow only when that write succeeded.
    // When it fails (also when senders.ini cannot be read, so it is not written over,
    // or would grow past the settings-file limit), no file has moved, the lists and
    // the file are as they were, the failure is logged and ChangeStatus says Failed
    // (SetStatus false). Inside a bulk
    // update the change is done or dropped with the whole update.
    bool SetStatus(std::string_view name, std::string_view address, SenderStatus status,
                   std::string_view reason, MiscFuncs::DateValue date = 0);
    StatusChange ChangeStatus(std::string_view name, std::string_view address, SenderStatus status,
                              std::string_view reason, MiscFuncs::DateValue date = 0);
    // SetStatus for each update inside one BulkUpdate; the number that changed.
    std::size_t SetStatusMany(const std::vector<SenderUpdate>& updates);

    // Moves the sender's held mail to Recycled and takes the sender off the lists.
    // senders.ini keeps his section: the filter still knows his stored status (a
    // blocked sender stays blocked), a parked request stays remembered, and he is
    // listed again at the next start.
    void DeleteSender(std::string_view address);

    // The sender's files in WaitingAuth, then InBox. With files, appends each full
    // path and returns files->size(); without, returns the number found.
    std::size_t MessagesStored(std::string_view address, std::vector<std::string>* files = nullptr) const;
    // The message keys of the same files, in the same order.
    std::vector<std::string> MessageKeysStored(std::string_view address) const;
    std::size_t MessagesStoredAwaitingAuth(std::string_view address) const;

    const SenderLists& Lists() const { return lists_; }
    const SenderList& List(SenderStatus status) const;
    // A copy of the addresses of one list, for loops that change the lists.
    std::vector<std::string> AddressesOf(SenderStatus status) const;

    const std::string& IniFile() const { return ini_.IniFile(); }

    MiscFuncs::ChangeEvent Change;

    // Groups changes: senders.ini is written once and Change raised once (when
    // something changed) at Commit or the end of the scope. Scopes nest.
    class BulkUpdate {
    public:
        explicit BulkUpdate(CSenders& senders);
        ~BulkUpdate();
        BulkUpdate(const BulkUpdate&) = delete;
        BulkUpdate& operator=(const BulkUpdate&) = delete;
        // False when senders.ini could not be written.
        bool Commit();

    private:
        CSenders& senders_;
        CIniFile::Batch batch_;
        bool done_ = false;
        bool result_ = true;
    };

    // Reads senders.ini as text into the lists, asks about parked requests and
    // deletes the expired unknown senders. The constructor calls it once.
    void LoadAllSenders();

private:
    enum class Target { InBox, Recycled };
    struct LoadState;

    std::string value(std::string_view address, std::string_view key) const;
    void moveHeldMail(std::string_view address, Target target);
    void runMoves(const std::string& sender, Target target);
    std::vector<std::string> heldFiles(std::string_view sender, std::string_view folder) const;
    void unlist(std::string_view address);
    void changed();

    void loadWrites();
    void loadRecord(const SenderFile::SenderRecord& record, std::size_t hash, LoadState& state);
    SenderStatus askAboutParked(const std::string& address, std::string_view parked, SenderStatus status);
    void retryParked(const std::string& address, const std::string& parked);
    void cancelParked(const std::string& address, const std::string& parked);

    CIniFile ini_;
    SenderLists lists_;
    CMessages* store_ = nullptr;
    // Moves asked for before the store was attached, per sender.
    MiscFuncs::KeyedList<Target> pendingMoves_;
    // The load's writes, grouped; opened at its first write (a batch reads the file).
    std::unique_ptr<BulkUpdate> loadWrites_;
    // What the changes written in the current bulk update do once it is written.
    std::vector<std::function<void()>> afterWrite_;
    int bulkDepth_ = 0;
    bool bulkChanged_ = false;
};
