#include "core/Dates.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "core/MiscUtils.h"

namespace MiscFuncs {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// Days from 1899-12-30 to 1970-01-01, the epoch of the civil-day arithmetic below.
constexpr std::int64_t kEpochOffset = 25569;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }
std::int64_t floorMod(std::int64_t a, std::int64_t b) { return a - floorDiv(a, b) * b; }

// Days from 1970-01-01 to a proleptic Gregorian date (month 1..12), any year.
std::int64_t daysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2;
    const std::int64_t era = floorDiv(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// The inverse of daysFromCivil for the days of the clamped range (years 100 to
// 9999). Moved forward by whole 400-year eras those days are positive and small,
// and unsigned 32-bit arithmetic on them is much cheaper than floor division.
void civilFromDays(std::int64_t z, int& year, int& month, int& day) {
    constexpr std::uint32_t kEras = 10;
    const auto shifted = static_cast<std::uint32_t>(z + 719468 + std::int64_t{kEras} * 146097);
    const std::uint32_t era = shifted / 146097;
    const std::uint32_t doe = shifted - era * 146097;
    const std::uint32_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::uint32_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::uint32_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400) - static_cast<int>(kEras * 400) + (month <= 2);
}

DateValue clampDate(DateValue value) {
    if (std::isnan(value)) return 0.0;
    if (value < kMinDateValue) return kMinDateValue;
    const DateValue last = kMaxDateValue - 1.0 / kSecondsPerDay;
    return value > last ? last : value;
}

// A whole decimal number with blanks around it and an optional sign; the fields it
// reads are at most four characters, so it cannot overflow.
bool wholeNumber(std::string_view field, int& out) {
    field = TrimBlanks(field);
    bool negative = false;
    if (!field.empty() && (field[0] == '-' || field[0] == '+')) {
        negative = field[0] == '-';
        field.remove_prefix(1);
    }
    if (field.empty() || field.size() > 9) return false;
    int n = 0;
    for (char c : field) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
    }
    out = negative ? -n : n;
    return true;
}

// The field of `length` characters from 1-based `start`, shorter or empty near the end.
std::string_view mid(std::string_view s, std::size_t start, std::size_t length) {
    return start - 1 < s.size() ? s.substr(start - 1, length) : std::string_view();
}

// std::round (halves away from zero) without the library call: below 2^52 the
// fraction of x is exact, and from there on every value is whole.
double roundAway(double x) {
    if (!(std::fabs(x) < 4503599627370496.0)) return x;  // NaN and infinities too
    const double whole = static_cast<double>(static_cast<std::int64_t>(x));
    const double fraction = x - whole;
    return whole + static_cast<double>(fraction >= 0.5) - static_cast<double>(fraction <= -0.5);
}

// Rounds to the nearest integer, halves to the even neighbour. Day numbers carry
// rounding noise of about 1e-10 days, so a value within 1e-6 of a half counts as it.
double roundHalfEven(double x) {
    const double twice = x * 2.0;
    const double nearestHalf = roundAway(twice);
    if (std::fabs(twice - nearestHalf) < 2e-6 && std::fmod(nearestHalf, 2.0) != 0.0) {
        const double below = std::floor(nearestHalf / 2.0);
        return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
    }
    return roundAway(x);
}

}  // namespace

DateValue DateSerial(int year, int month, int day) {
    const std::int64_t m0 = static_cast<std::int64_t>(month) - 1;
    const std::int64_t y = year + floorDiv(m0, 12);
    const std::int64_t first = daysFromCivil(y, floorMod(m0, 12) + 1, 1);
    return static_cast<DateValue>(first + kEpochOffset + (static_cast<std::int64_t>(day) - 1));
}

DateValue TimeSerial(int hour, int minute, int second) {
    const std::int64_t s = static_cast<std::int64_t>(hour) * 3600 + static_cast<std::int64_t>(minute) * 60 + second;
    return static_cast<DateValue>(s) / kSecondsPerDay;
}

DateValue DateOf(const LocalTime& t) {
    return DateSerial(t.year, t.month, t.day) + TimeSerial(t.hour, t.minute, t.second);
}

LocalTime SplitDate(DateValue value) {
    const std::int64_t lastSecond = static_cast<std::int64_t>(kMaxDateValue) * kSecondsPerDay - 1;
    std::int64_t secs = std::llround(clampDate(value) * kSecondsPerDay);
    if (secs > lastSecond) secs = lastSecond;
    LocalTime t;
    civilFromDays(floorDiv(secs, kSecondsPerDay) - kEpochOffset, t.year, t.month, t.day);
    const std::int64_t ofDay = floorMod(secs, kSecondsPerDay);
    t.hour = static_cast<int>(ofDay / 3600);
    t.minute = static_cast<int>(ofDay / 60 % 60);
    t.second = static_cast<int>(ofDay % 60);
    return t;
}

DateValue NowDate() { return DateOf(Now()); }

std::int32_t DateToMinutes(DateValue value) {
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    constexpr double kMin = std::numeric_limits<std::int32_t>::min();
    if (std::isnan(value)) return 0;
    const double rounded = roundHalfEven((value - kDay2000) * 1440.0);
    if (rounded >= kMax) return std::numeric_limits<std::int32_t>::max();
    if (rounded <= kMin) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(rounded);
}

DateValue MinutesToDate(std::int32_t minutes) { return minutes / 1440.0 + kDay2000; }

std::string MinutesToText(std::int32_t minutes) { return std::to_string(minutes); }

bool MinutesFromText(std::string_view text, std::int32_t& minutes) {
    text = TrimBlanks(text);
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty()) return false;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        n = n * 10 + (c - '0');
        if (n > limit) return false;
    }
    minutes = static_cast<std::int32_t>(negative ? -n : n);
    return true;
}

int MonthFromName(std::string_view text) {
    static constexpr const char* kNames[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                             "jul", "aug", "sep", "oct", "nov", "dec"};
    for (int i = 0; i < 12; ++i)
        if (EqualsIgnoreCase(text, kNames[i])) return i + 1;
    return 0;
}

DateValue ParseMailDate(std::string_view text) {
    std::string s = LowerCase(text);
    // A leading weekday with its comma goes; the test is a plain substring search,
    // so a first word such as "tuesday," stays and selects the comma layout.
    const std::string_view first4 = std::string_view(s).substr(0, 4);
    if (std::string_view("mon,tue,wed,thu,fri,sat,sun,").find(first4) != std::string_view::npos)
        s = std::string(TrimBlanks(std::string_view(s).substr(first4.size())));
    const std::size_t blank = s.find(' ');
    if (blank == std::string::npos || blank < 2) s.insert(s.begin(), '0');

    const bool comma = s.find(',') != std::string::npos;
    const std::size_t base = comma ? 5 : 0;  // the comma layout has "www, " in front
    const int month = MonthFromName(mid(s, base + 4, 3));
    int day = 0, year = 0, hour = 0, minute = 0, second = 0;
    DateValue date = 0.0, time = 0.0;
    if (wholeNumber(mid(s, base + 1, 2), day) && wholeNumber(mid(s, base + 8, 4), year))
        date = DateSerial(year, month, day);
    if (wholeNumber(mid(s, base + 13, 2), hour) && wholeNumber(mid(s, base + 16, 2), minute) &&
        wholeNumber(mid(s, base + 19, 2), second))
        time = TimeSerial(hour, minute, second);
    return date + time;
}

char* PutListDateText(DateValue value, char* out) {
    // Written by hand, eight bytes at a time: lists of many thousands of entries
    // format one date each, and snprintf was most of a list's load.
    static constexpr char kDigits[] =
        "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546474849"
        "5051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596979899";
    const LocalTime t = SplitDate(value);
    // The two digits of n (0 to 99) as the two low bytes of a word, the tens first.
    const auto two = [](int n) {
        const auto byte = [](char c) { return std::uint64_t{static_cast<unsigned char>(c)}; };
        return byte(kDigits[2 * n]) | byte(kDigits[2 * n + 1]) << 8;
    };
    char text[16];
    const std::uint64_t first = two(t.month) | std::uint64_t{'/'} << 16 | two(t.day) << 24 | std::uint64_t{'/'} << 40 |
                                two(t.year % 100) << 48;
    const std::uint64_t second = std::uint64_t{' '} | two(t.hour) << 8 | std::uint64_t{':'} << 24 | two(t.minute) << 32;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(text, &first, 8);
        std::memcpy(text + 8, &second, 8);
    } else {
        for (int i = 0; i < 8; ++i) {
            text[i] = static_cast<char>(first >> (8 * i));
            text[8 + i] = static_cast<char>(second >> (8 * i));
        }
    }
    std::memcpy(out, text, kListDateSize);
    return out + kListDateSize;
}

std::string ListDateText(DateValue value) {
    std::string out(kListDateSize, ' ');
    PutListDateText(value, out.data());
    return out;
}

std::string LogDateText(const LocalTime& t) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d-%02d-%04d %02d:%02d:%02d", t.month % 100, t.day % 100,
                  t.year % 10000, t.hour % 100, t.minute % 100, t.second % 100);
    return buf;
}

std::string LogDateText(DateValue value) { return LogDateText(SplitDate(value)); }

std::string DayNumberText(DateValue value) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.10f", clampDate(value));
    std::string out = buf;
    for (char& c : out)
        if (c == ',') c = '.';  // a numeric locale set by the host program
    if (out.find('.') != std::string::npos) {
        out.erase(out.find_last_not_of('0') + 1);
        if (out.back() == '.') out.pop_back();
    }
    if (out == "-0") out = "0";
    return out;
}

std::string DateStamp(DateValue value) {
    std::string out = DayNumberText(value);
    for (char& c : out)
        if (c == '.') c = 'D';
    return out;
}

std::string DateStampNow() { return DateStamp(NowDate()); }

bool DayNumberFromText(std::string_view text, DateValue& value) {
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    // A plain loop: a search for any of three characters costs a call per character.
    std::size_t sep = 0;
    while (sep < text.size() && text[sep] != 'D' && text[sep] != '.' && text[sep] != ',') ++sep;
    if (sep == text.size()) sep = std::string_view::npos;
    const std::string_view whole = text.substr(0, sep);
    const std::string_view frac = sep == std::string_view::npos ? std::string_view() : text.substr(sep + 1);
    if (whole.empty() || whole.size() > 7 || (sep != std::string_view::npos && frac.empty())) return false;
    std::int64_t w = 0, f = 0, scale = 1;
    for (char c : whole) {
        if (c < '0' || c > '9') return false;
        w = w * 10 + (c - '0');
    }
    for (std::size_t i = 0; i < frac.size(); ++i) {
        if (frac[i] < '0' || frac[i] > '9') return false;
        if (i < 15) f = f * 10 + (frac[i] - '0'), scale *= 10;  // further digits are below a nanosecond
    }
    const DateValue v = (static_cast<DateValue>(w) + static_cast<DateValue>(f) / scale) * (negative ? -1 : 1);
    if (v < kMinDateValue || v >= kMaxDateValue) return false;
    value = v;
    return true;
}

}  // namespace MiscFuncs
