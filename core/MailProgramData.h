#pragma once
// Our stand-in for the mail program's data that the address import reads: its
// contacts and the messages in its sent-items folder, both kept in the data folder:
//
//   <data folder>/mailprogram/contacts.vcf   the contacts, one vCard each
//   <data folder>/mailprogram/sent/*.eml     the sent messages, one file each
//
// A contact offers up to three addresses (Email1Address to Email3Address: the first
// three EMAIL values of its card) and its full name; a sent message offers its To, cc
// and bcc header values. Reading fails when the file or folder is missing or
// unreadable (or the contacts file is not a vCard file), as a mail program that cannot
// be reached would.
//
// And our stand-in for the address-book reader: WABImport reads the address book
// given, or without a name the default one,
//
//   <data folder>/addressbook.vcf
//
// as a vCard file into (name, addresses) entries, the addresses of a card joined by
// ",". Any other file fails.

#include <filesystem>
#include <string>
#include <vector>

namespace MailProgram {

std::filesystem::path ContactsFile();
std::filesystem::path SentItemsFolder();

struct Contact {
    std::string FullName, Email1Address, Email2Address, Email3Address;
};

// False when the contacts cannot be read.
bool ReadContacts(std::vector<Contact>& contacts);

// The sent messages' files, sorted by name; false when the folder cannot be listed.
bool ListSentItems(std::vector<std::filesystem::path>& items);

struct SentItem {
    std::string To, cc, bcc;
};
// The recipients of one sent message; false when it cannot be read.
bool ReadSentItem(const std::filesystem::path& file, SentItem& item);

}  // namespace MailProgram

namespace AddressBook {

std::filesystem::path DefaultAddressBook();

struct WabEntry {
    std::string name;
    std::string addresses;  // one or more, separated by "," or ";"
};

// Reads the address book `fileName` (nullptr: the default one) into entries; 0 on
// success, any other number on failure (entries then empty).
int WABImport(const char* fileName, std::vector<WabEntry>& entries);

}  // namespace AddressBook
