// Any bytes as a vCard file: the reader stays within its caps, and a text it accepts
// starts, past blanks, with a card's first line.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/MiscUtils.h"
#include "core/VCard.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<VCard::Card> cards;
    const bool accepted = VCard::Parse(text, cards);
    if (!accepted) check(cards.empty());
    if (accepted) check(MiscFuncs::UpperCase(text).find("BEGIN:VCARD") != std::string_view::npos);
    check(cards.size() <= VCard::kMaxCards);
    for (const VCard::Card& c : cards) {
        check(c.emails.size() <= VCard::kMaxEmails);
        check(c.fullName.size() <= size);
        for (const auto& e : c.emails) check(e.size() <= size);
    }
    return 0;
}
