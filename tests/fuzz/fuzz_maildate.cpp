// Date header values from strangers and stored minutes and stamps read back: any
// bytes are taken, the results stay in range, and the minutes and stamp forms
// survive a round trip.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/Dates.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void checkSplit(MiscFuncs::DateValue value) {
    const MiscFuncs::LocalTime t = MiscFuncs::SplitDate(value);
    check(t.year >= 100 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31);
    check(t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 && t.second < 60);
    check(MiscFuncs::ListDateText(value).size() == 14);
}

void checkMinutes(MiscFuncs::DateValue value) {
    const std::int32_t m = MiscFuncs::DateToMinutes(value);
    std::int32_t back = 0;
    check(MiscFuncs::MinutesFromText(MiscFuncs::MinutesToText(m), back) && back == m);
    check(MiscFuncs::DateToMinutes(MiscFuncs::MinutesToDate(m)) == m);
}

void checkStamp(MiscFuncs::DateValue value) {
    const std::string stamp = MiscFuncs::DateStamp(value);
    MiscFuncs::DateValue back = 0;
    check(MiscFuncs::DayNumberFromText(stamp, back));
    if (std::isfinite(value) && value >= MiscFuncs::kMinDateValue && value < MiscFuncs::kMaxDateValue)
        check(std::fabs(back - value) < 1e-9);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const MiscFuncs::DateValue parsed = MiscFuncs::ParseMailDate(text);
    check(std::isfinite(parsed));
    checkSplit(parsed);
    checkMinutes(parsed);
    checkStamp(parsed);

    // The same bytes as a stored minutes text, a stored stamp and a raw double.
    std::int32_t minutes = 0;
    if (MiscFuncs::MinutesFromText(text, minutes)) checkMinutes(MiscFuncs::MinutesToDate(minutes));
    MiscFuncs::DateValue stamped = 0;
    if (MiscFuncs::DayNumberFromText(text, stamped)) checkStamp(stamped);
    if (size >= sizeof(double)) {
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        checkSplit(raw);
        checkMinutes(raw);
        checkStamp(raw);
    }
    return 0;
}
