#include "core/AddressImport.h"

#include "core/Address.h"
#include "core/CsvReader.h"
#include "core/MiscUtils.h"

namespace AddressImport {
namespace {

// A display name without its blanks and enclosing double quotes.
std::string unquoted(std::string_view name) {
    name = MiscFuncs::TrimBlanks(name);
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    return std::string(MiscFuncs::TrimBlanks(name));
}

}  // namespace

std::vector<FoundAddress> SplitAddresses(std::string_view text) {
    std::vector<FoundAddress> found;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(",;", start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view part = MiscFuncs::TrimBlanks(text.substr(start, end - start));
        if (!part.empty()) {
            FoundAddress a;
            a.address = MiscFuncs::ParseAddress(part, a.displayName);
            if (a.address.size() <= kMaxAddressBytes && MiscFuncs::IsValidEmail(a.address)) {
                a.displayName = unquoted(a.displayName);
                found.push_back(std::move(a));
            }
        }
        start = end + 1;
    }
    return found;
}

bool HoldsAddress(std::string_view text) { return !SplitAddresses(text).empty(); }

std::size_t Collect(std::string_view text, std::string_view name, std::string_view reason,
                    std::vector<SenderUpdate>& out, bool useDisplayName) {
    const std::vector<FoundAddress> found = SplitAddresses(text);
    for (const FoundAddress& a : found) {
        SenderUpdate u;
        u.name = useDisplayName ? a.displayName : std::string(MiscFuncs::TrimBlanks(name));
        u.address = a.address;
        u.status = SenderStatus::Approved;
        u.reason = std::string(reason);
        out.push_back(std::move(u));
    }
    return found.size();
}

Outcome CollectCsv(const std::string& path, const CsvColumns& columns, std::vector<SenderUpdate>& out,
                   const StepFn& step, Skipped* skipped) {
    CsvImport::CsvFile file;
    if (columns.email < 0 || !file.Open(path)) return Outcome::Unreadable;
    CsvImport::Record record;
    const bool namesFromAddresses = columns.name == columns.email;
    for (bool first = true; file.ReadRecord(record); first = false) {
        // A cut line may end inside an address and so name another one: nothing of
        // a faulty line is taken.
        const CsvImport::LineFault fault = file.LastFault();
        if (fault != CsvImport::LineFault::None) {
            if (skipped) ++(fault == CsvImport::LineFault::Cut ? skipped->cut : skipped->unreadable);
        } else if (!(first && columns.skipFirstRow)) {
            Collect(CsvImport::FieldOf(record, columns.email), CsvImport::FieldOf(record, columns.name),
                    kReasonAddressBook, out, namesFromAddresses);
        }
        if (step && !step(file.LineNumber())) return Outcome::Stopped;
    }
    return Outcome::Done;
}

std::size_t CollectContact(const MailProgram::Contact& contact, std::vector<SenderUpdate>& out) {
    std::size_t n = 0;
    for (const std::string* email : {&contact.Email1Address, &contact.Email2Address, &contact.Email3Address})
        n += Collect(*email, contact.FullName, kReasonAddressBook, out);
    return n;
}

std::size_t CollectSentItem(const MailProgram::SentItem& item, std::vector<SenderUpdate>& out) {
    return Collect(item.To, "", kReasonSent, out, true) + Collect(item.cc, "", kReasonSent, out, true) +
           Collect(item.bcc, "", kReasonSentBcc, out, true);
}

std::size_t CollectWabEntry(const AddressBook::WabEntry& entry, std::vector<SenderUpdate>& out) {
    return Collect(entry.addresses, entry.name, kReasonAddressBook, out);
}

Totals Apply(CSenders& senders, const std::vector<SenderUpdate>& approvals) {
    Totals totals;
    CSenders::BulkUpdate bulk(senders);
    for (const SenderUpdate& u : approvals) {
        if (senders.StatusOf(u.address) == SenderStatus::Blocked) {
            ++totals.keptBlocked;
            continue;
        }
        senders.SetStatus(u.name, u.address, u.status, u.reason, u.date);
        ++totals.approved;
    }
    totals.written = bulk.Commit();
    return totals;
}

std::string ImportedText(const Totals& totals) {
    std::string text = std::to_string(totals.approved) + " senders have been successfuly imported";
    if (totals.keptBlocked > 0)
        text += "\r\n" + std::to_string(totals.keptBlocked) +
                " addresses belong to senders you have blocked; they stay blocked";
    return text + SkippedText(totals.skipped);
}

std::string SkippedText(const Skipped& skipped) {
    auto lines = [](std::size_t n) {
        return "\r\n" + std::to_string(n) + (n == 1 ? " line was not imported: it " : " lines were not imported: they ");
    };
    std::string text;
    if (skipped.cut > 0)
        text += lines(skipped.cut) + (skipped.cut == 1 ? "is" : "are") + " longer than " +
                std::to_string(CsvImport::kMaxLineBytes) + " bytes";
    if (skipped.unreadable > 0)
        text += lines(skipped.unreadable) + (skipped.unreadable == 1 ? "holds" : "hold") +
                " a NUL byte and could not be read";
    return text;
}

std::string NotSavedText() {
    return "The sender list could not be saved, so the senders have not been imported.";
}

}  // namespace AddressImport
