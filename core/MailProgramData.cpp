#include "core/MailProgramData.h"

#include <system_error>

#include "core/CMessage.h"
#include "core/Environment.h"
#include "core/MiscUtils.h"
#include "core/VCard.h"

namespace MailProgram {
namespace {

// More sent messages than this are not looked at.
constexpr std::size_t kMaxSentItems = 1000000;

std::string nth(const std::vector<std::string>& v, std::size_t i) { return i < v.size() ? v[i] : std::string(); }

}  // namespace

std::filesystem::path ContactsFile() { return MiscFuncs::ProgramFolder() / "mailprogram" / "contacts.vcf"; }
std::filesystem::path SentItemsFolder() { return MiscFuncs::ProgramFolder() / "mailprogram" / "sent"; }

bool ReadContacts(std::vector<Contact>& contacts) {
    contacts.clear();
    std::vector<VCard::Card> cards;
    if (!VCard::ReadFile(ContactsFile(), cards)) return false;
    for (const VCard::Card& card : cards)
        contacts.push_back({card.fullName, nth(card.emails, 0), nth(card.emails, 1), nth(card.emails, 2)});
    return true;
}

bool ListSentItems(std::vector<std::filesystem::path>& items) {
    items.clear();
    const std::filesystem::path folder = SentItemsFolder();
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) return false;
    MiscFuncs::DirList list;
    for (std::string name = MiscFuncs::SafeDir(list, (folder / "*.eml").string()); !name.empty();
         name = MiscFuncs::SafeDir(list, "")) {
        if (items.size() >= kMaxSentItems) break;
        items.push_back(folder / name);
    }
    return true;
}

bool ReadSentItem(const std::filesystem::path& file, SentItem& item) {
    CMessage message;
    if (!message.LoadHeadersFromFile(file)) return false;
    item = {message.MessageTo, message.cc, message.bcc};
    return true;
}

}  // namespace MailProgram

namespace AddressBook {

std::filesystem::path DefaultAddressBook() { return MiscFuncs::ProgramFolder() / "addressbook.vcf"; }

int WABImport(const char* fileName, std::vector<WabEntry>& entries) {
    entries.clear();
    std::vector<VCard::Card> cards;
    const std::filesystem::path path = fileName ? std::filesystem::path(fileName) : DefaultAddressBook();
    if (!VCard::ReadFile(path, cards)) return 1;
    for (VCard::Card& card : cards) {
        std::string joined;
        for (const std::string& e : card.emails) joined += (joined.empty() ? "" : ",") + e;
        entries.push_back({std::move(card.fullName), std::move(joined)});
    }
    return 0;
}

}  // namespace AddressBook
