#pragma once
// Date-time values and the text forms the program stores and shows.
//
// A date-time value (DateValue) is a day count as a double: day 0 is 1899-12-30,
// the time of day is the fraction (0.5 = noon), local time, no time zone. The scale
// is linear on both sides of day 0: -1.25 is 1899-12-28 18:00.
//
// MinutesSince2000 is the compact stamp kept with senders and stored messages: whole
// minutes from 2000-01-01 00:00 (day 36526), a signed 32-bit number.
//
// ParseMailDate reads the date of a Date header (RFC 2822 section 3.3 in its common
// "[www, ]dd mon yyyy hh:mm:ss" spelling) from fixed positions and ignores the zone.
//
// Every function takes any input without failing; parsers run in linear time.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/Environment.h"

namespace MiscFuncs {

using DateValue = double;

inline constexpr DateValue kDay2000 = 36526.0;      // 2000-01-01 00:00
inline constexpr DateValue kMinDateValue = -657434.0;  // 0100-01-01 00:00
inline constexpr DateValue kMaxDateValue = 2958466.0;  // 10000-01-01 00:00, excluded

// The day number of (year, month, day). Fields outside their range roll over into
// the neighbouring months and years: month 0 is December of the year before, month
// 13 January of the year after, day 0 the last day of the month before, day 32 of a
// 31-day month the first of the next.
DateValue DateSerial(int year, int month, int day);
// The fraction of a day for (hour, minute, second), rolling over the same way: it
// may be negative or exceed one day (25:00:00 is 1 + 1/24).
DateValue TimeSerial(int hour, int minute, int second);
// DateSerial + TimeSerial of a broken-down time.
DateValue DateOf(const LocalTime& t);
// The broken-down time of a value, rounded to the nearest second. Values outside
// [kMinDateValue, kMaxDateValue) and non-finite values are clamped into it (NaN
// reads as day 0).
LocalTime SplitDate(DateValue value);
// The current local time (MiscFuncs::Now) as a day number.
DateValue NowDate();

// (value - 36526) * 1440 rounded to the nearest minute, halves to the even
// neighbour, clamped to the int32 range so a far future or past cannot wrap; NaN
// gives 0.
std::int32_t DateToMinutes(DateValue value);
// n / 1440 + 36526.
DateValue MinutesToDate(std::int32_t minutes);
// The decimal text under which a MinutesSince2000 is stored.
std::string MinutesToText(std::int32_t minutes);
// Reads a stored MinutesSince2000 back: optional blanks, an optional "-", decimal
// digits, optional blanks. False (and minutes untouched) for anything else and for
// a number outside the int32 range, so a damaged value can be told from a date.
bool MinutesFromText(std::string_view text, std::int32_t& minutes);

// 1 to 12 for "jan" .. "dec" (whole text, letter case ignored), else 0.
int MonthFromName(std::string_view text);
// The date of a mail header; 0 when nothing converts. The date part (day, month,
// year) and the time part (hour, minute, second) each count as 0 when one of their
// fields is not a whole decimal number; an unknown month name is month 0 (December
// of the year before).
DateValue ParseMailDate(std::string_view text);

// "mm/dd/yy hh:MM", the date shown in list entries and the message index.
std::string ListDateText(DateValue value);
// The same text, written at out (kListDateSize bytes); returns the end.
inline constexpr std::size_t kListDateSize = 14;
char* PutListDateText(DateValue value, char* out);
// "mm-dd-yyyy hh:mm:ss", the time stamp of the logs.
std::string LogDateText(const LocalTime& t);
std::string LogDateText(DateValue value);

// A day number in decimal with "." as the decimal point, at most ten decimals and
// no trailing zeros (37622.5, 37622). Ten decimals keep the instant to within 10
// microseconds, so the text read back names the same second. Values are clamped to
// the date range; NaN writes as 0.
std::string DayNumberText(DateValue value);
// The stamp that names queued mails and reply files: DayNumberText with the decimal
// point replaced by "D" (37622.5 gives "37622D5"). The reply file name appends a
// random number from 1 to 100 to it; a queued mail's name is the stamp alone, so
// two mails queued within one second of each other get the same stamp.
std::string DateStamp(DateValue value);
// DateStamp of the current local time.
std::string DateStampNow();
// Reads a day number written as DayNumberText or DateStamp writes it, or with ","
// as the decimal point: an optional "-", up to 7 digits, optionally a "D", "." or ","
// and digits. False (value untouched) for any other text or a value outside the
// date range.
bool DayNumberFromText(std::string_view text, DateValue& value);

}  // namespace MiscFuncs
