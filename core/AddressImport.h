#pragma once
// Turning the addresses found in an address book, a mail program's contacts and sent
// items, or a CSV file into approved senders.
//
// Every source is read in two steps. First its items are collected one by one into
// approvals (name, address, reason), with a step call after each item that may let
// events run and may ask to stop; nothing of the sender list is touched meanwhile, so
// the list may even be released while events run. Then Apply approves them all in one
// bulk update of the sender list: senders.ini is written once.
//
// An address text is split at "," and ";"; each part is trimmed and read with
// ParseAddress, so "a@x.com; b@y.com" gives two addresses and "Bob <bob@x.com>" one,
// with the display name Bob. Parts that give no valid address are skipped, and so
// are addresses longer than kMaxAddressBytes (no mail system delivers to them). Names
// are stored cut to 1024 bytes (CSenders::SetStatus).
//
// Senders the user has blocked stay blocked: Apply leaves them alone and counts them.
// An address met twice is approved, and counted, twice.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/CSenders.h"
#include "core/MailProgramData.h"

namespace AddressImport {

inline constexpr std::size_t kMaxAddressBytes = 254;

inline constexpr std::string_view kReasonAddressBook = "Imported from address book";
inline constexpr std::string_view kReasonSent = "Imported from sent messages";
inline constexpr std::string_view kReasonSentBcc = "Imported sent messages";

struct FoundAddress {
    std::string address;      // bare, lower case, valid
    std::string displayName;  // "" when the part carried no name
};

// The valid addresses of an address text, in order.
std::vector<FoundAddress> SplitAddresses(std::string_view text);
// True when the text holds at least one valid address.
bool HoldsAddress(std::string_view text);

// Appends an approval for each address of the text, named `name`, or the part's own
// display name when useDisplayName is set; the number appended.
std::size_t Collect(std::string_view text, std::string_view name, std::string_view reason,
                    std::vector<SenderUpdate>& out, bool useDisplayName = false);

// Called after each item with the number of items done; false asks to stop.
using StepFn = std::function<bool(std::size_t done)>;

enum class Outcome { Done, Stopped, Unreadable };

// The columns of a CSV import. An e-mail column equal to the name column takes the
// names from the addresses themselves ("Bob <bob@x.com>").
struct CsvColumns {
    int email = -1;
    int name = 0;
    bool skipFirstRow = false;
};

// The lines of a CSV file an import left out, by their fault: cut at the line cap,
// or unreadable (a NUL byte). Their records are never imported.
struct Skipped {
    std::size_t cut = 0;
    std::size_t unreadable = 0;
};

// Collects the approvals of a whole CSV file; a step per line read. Faulty lines are
// counted in skipped and give no approval.
Outcome CollectCsv(const std::string& path, const CsvColumns& columns, std::vector<SenderUpdate>& out,
                   const StepFn& step, Skipped* skipped = nullptr);

// One item of each of the other sources.
// A contact: each of its three addresses, named with its full name.
std::size_t CollectContact(const MailProgram::Contact& contact, std::vector<SenderUpdate>& out);
// A sent message: its To, cc and bcc recipients, each with its own display name.
std::size_t CollectSentItem(const MailProgram::SentItem& item, std::vector<SenderUpdate>& out);
// An address-book entry: its addresses, named with the entry's name.
std::size_t CollectWabEntry(const AddressBook::WabEntry& entry, std::vector<SenderUpdate>& out);

struct Totals {
    std::size_t approved = 0;     // approvals made
    std::size_t keptBlocked = 0;  // addresses of blocked senders, left blocked
    bool written = true;          // senders.ini was written (or had nothing to write)
    Skipped skipped;              // lines of the source left out
};

// Approves every address that is not blocked, in one bulk update.
Totals Apply(CSenders& senders, const std::vector<SenderUpdate>& approvals);

// The final notice of an import: count " senders have been successfuly imported",
// how many blocked senders stayed blocked, and what was skipped and why.
std::string ImportedText(const Totals& totals);
// The lines about skipped lines (each after CR LF), "" when none was skipped.
std::string SkippedText(const Skipped& skipped);
// The notice of a failed write of senders.ini.
std::string NotSavedText();

}  // namespace AddressImport
