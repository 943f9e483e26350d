// Any bytes as a vCard file: the reader stays within its caps, and it accepts a text
// exactly when the text's first line that is not blank, read as the reader reads
// lines (after a UTF-8 byte-order mark, with folded lines joined and each line cut
// at the cap), is a card's first line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/MiscUtils.h"
#include "core/VCard.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// The next physical line from pos, without its LF and a CR before it.
std::string_view physicalLine(std::string_view text, std::size_t& pos) {
    const std::size_t lf = text.find('\n', pos);
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// The first logical line that is not blank, "" when there is none.
std::string firstLine(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::string line(physicalLine(text, pos));
        // A line that starts with a blank or a TAB continues the one before.
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) line += physicalLine(text, ++pos);
        line.resize(std::min(line.size(), VCard::kMaxLineBytes));
        const std::string_view trimmed = MiscFuncs::TrimBlanks(line);
        if (!trimmed.empty()) return std::string(trimmed);
    }
    return {};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<VCard::Card> cards;
    const bool accepted = VCard::Parse(text, cards);
    if (!accepted) check(cards.empty());
    check(accepted == MiscFuncs::EqualsIgnoreCase(firstLine(text), "BEGIN:VCARD"));
    check(cards.size() <= VCard::kMaxCards);
    for (const VCard::Card& c : cards) {
        check(c.emails.size() <= VCard::kMaxEmails);
        check(c.fullName.size() <= size);
        for (const auto& e : c.emails) check(e.size() <= size);
    }
    return 0;
}
