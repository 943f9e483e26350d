// SenderEntry: one sender's line of a list, written once into its final text.
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "core/CSenders.h"
#include "core/CaselessText.h"
#include "core/Dates.h"
#include "core/MiscUtils.h"
#include "core/SendersInternal.h"

namespace {

// The pieces of an entry's text, written into room made for them; each returns
// the end of what it wrote.
char* put(char* out, std::string_view text) {
    if (!text.empty()) std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

char* putLowerCase(char* out, std::string_view text) {
    for (char c : text) *out++ = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    return out;
}

// A display field from the user or a stranger: TAB, CR and LF become blanks.
char* putClean(char* out, std::string_view text) {
    for (char c : text) *out++ = c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
    return out;
}

// The last TAB before position end of text, or npos; a word at a time, since the
// key of every entry of a list is found this way.
std::size_t lastTab(std::string_view text, std::size_t end) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kOnes = 0x0101010101010101ull, kLows = 0x7F7F7F7F7F7F7F7Full;
        for (; end >= 8; end -= 8) {
            const std::uint64_t x = MiscFuncs::caseless::load8(text.data() + end - 8) ^ (kOnes * '\t');
            // The high bit of each byte that is a TAB, and of no other byte.
            if (const std::uint64_t tabs = ~(((x & kLows) + kLows) | x | kLows))
                return end - 8 + static_cast<std::size_t>(63 - std::countl_zero(tabs)) / 8;
        }
    }
    while (end > 0)
        if (text[--end] == '\t') return end;
    return std::string_view::npos;
}

// The entry's text from its fields: putDate writes the dateSize bytes of the date.
template <typename PutDate>
SenderEntry build(std::string_view address, std::string_view name, std::string_view reason, std::size_t dateSize,
                  const PutDate& putDate, MiscFuncs::DateValue date, bool lowerCase) {
    SenderEntry e;
    e.Minutes = MiscFuncs::DateToMinutes(date);
    char minutes[16];
    const std::string_view minutesText(minutes, std::to_chars(minutes, minutes + sizeof minutes, e.Minutes).ptr);
    const bool named = !MiscFuncs::IsBlank(name);
    name = SendersInternal::CappedField(name);
    reason = SendersInternal::CappedField(reason);
    // Sized once: the text is written in place, with no step that grows it.
    e.Text.resize(2 * address.size() + (named ? name.size() + 3 : 0) + reason.size() + dateSize +
                  minutesText.size() + 4);
    char* out = e.Text.data();
    out = lowerCase ? putLowerCase(out, address) : put(out, address);
    if (named) {
        out = put(out, " (");
        out = putClean(out, name);
        *out++ = ')';
    }
    *out++ = '\t';
    out = putClean(out, reason);
    *out++ = '\t';
    out = putDate(out);
    *out++ = '\t';
    out = lowerCase ? putLowerCase(out, address) : put(out, address);
    *out++ = '\t';
    put(out, minutesText);
    return e;
}

}  // namespace

std::string_view SenderEntry::field(int n) const {
    std::size_t begin = 0;
    for (int i = 0; i < n; ++i) {
        begin = Text.find('\t', begin);
        if (begin == std::string::npos) return {};
        ++begin;
    }
    const std::size_t end = Text.find('\t', begin);
    return std::string_view(Text).substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

std::string_view SenderEntry::addressFromEnd() const {
    const std::string_view text(Text);
    const std::size_t last = lastTab(text, text.size());
    if (last == std::string_view::npos) return {};
    const std::size_t before = lastTab(text, last);
    const std::size_t from = before == std::string_view::npos ? 0 : before + 1;
    return text.substr(from, last - from);
}

SenderEntry SenderEntry::Make(std::string_view address, std::string_view name, std::string_view reason,
                              std::string_view dateText, MiscFuncs::DateValue date) {
    return build(address, name, reason, dateText.size(), [dateText](char* out) { return put(out, dateText); }, date,
                 false);
}

SenderEntry SendersInternal::EntryOfFile(std::string_view address, std::string_view name, std::string_view reason,
                                         MiscFuncs::DateValue date) {
    return build(address, name, reason, MiscFuncs::kListDateSize,
                 [date](char* out) { return MiscFuncs::PutListDateText(date, out); }, date, true);
}
