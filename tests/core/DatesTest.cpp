#include "core/Dates.h"

#include <cmath>
#include <limits>
#include <tuple>

#include "TempFolder.h"

namespace {

using namespace MiscFuncs;
constexpr double kSecond = 1.0 / 86400;

// Broken-down times compare (and print) as their fields.
auto Fields(const LocalTime& t) { return std::tuple(t.year, t.month, t.day, t.hour, t.minute, t.second); }

DateValue At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return DateOf(LocalTime{y, mo, d, h, mi, s});
}

TEST(DateSerialTest, DayNumbersAndRollOver) {
    EXPECT_EQ(DateSerial(1899, 12, 30), 0);
    EXPECT_EQ(DateSerial(2000, 1, 1), kDay2000);
    EXPECT_EQ(DateSerial(2003, 1, 1), 37622);
    EXPECT_EQ(DateSerial(100, 1, 1), kMinDateValue);
    EXPECT_EQ(DateSerial(10000, 1, 1), kMaxDateValue);
    struct Case { int y, m, d; int ey, em, ed; };
    const Case cases[] = {
        {2002, 0, 10, 2001, 12, 10},   // month 0: December of the year before
        {2002, 13, 1, 2003, 1, 1},
        {2002, -1, 1, 2001, 11, 1},
        {2002, 25, 1, 2004, 1, 1},
        {2002, 3, 0, 2002, 2, 28},     // day 0: last day of the month before
        {2000, 3, 0, 2000, 2, 29},
        {1900, 3, 0, 1900, 2, 28},
        {2003, 1, 0, 2002, 12, 31},
        {2002, 1, 32, 2002, 2, 1},
        {2002, 2, 31, 2002, 3, 3},
        {2002, 12, -1, 2002, 11, 29},
        {2002, 0, 0, 2001, 11, 30},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DateSerial(c.y, c.m, c.d), DateSerial(c.ey, c.em, c.ed)) << c.y << "-" << c.m << "-" << c.d;
}

TEST(DateSerialTest, TimeRollsOverToo) {
    EXPECT_EQ(TimeSerial(12, 0, 0), 0.5);
    EXPECT_DOUBLE_EQ(TimeSerial(25, 0, 0), 1 + 1.0 / 24);
    EXPECT_DOUBLE_EQ(TimeSerial(0, -1, 0), -1.0 / 1440);
    EXPECT_DOUBLE_EQ(TimeSerial(0, 0, 86400), 1);
    EXPECT_EQ(Fields(SplitDate(At(2002, 12, 10, 25, 61, 61))), Fields(LocalTime{2002, 12, 11, 2, 2, 1}));
    EXPECT_EQ(Fields(SplitDate(At(2002, 12, 10, 0, 0, -1))), Fields(LocalTime{2002, 12, 9, 23, 59, 59}));
}

TEST(SplitDateTest, BreaksDownToTheNearestSecond) {
    const LocalTime times[] = {{1899, 12, 30, 0, 0, 0}, {1900, 2, 28, 23, 59, 59}, {2000, 2, 29, 12, 0, 0},
                               {2026, 12, 8, 7, 52, 6}, {100, 1, 1, 0, 0, 0},     {9999, 12, 31, 23, 59, 59},
                               {1601, 1, 1, 1, 2, 3}};
    for (const LocalTime& t : times) EXPECT_EQ(Fields(SplitDate(DateOf(t))), Fields(t));
    EXPECT_EQ(Fields(SplitDate(-1.25)), Fields(LocalTime{1899, 12, 28, 18, 0, 0}));
    EXPECT_EQ(Fields(SplitDate(At(2002, 12, 31, 23, 59, 59) + 0.6 * kSecond)), Fields(LocalTime{2003, 1, 1, 0, 0, 0}));
    EXPECT_EQ(Fields(SplitDate(At(2002, 12, 31, 23, 59, 59) + 0.4 * kSecond)), Fields(LocalTime{2002, 12, 31, 23, 59, 59}));
}

TEST(SplitDateTest, OutOfRangeValuesAreClamped) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(Fields(SplitDate(std::nan(""))), Fields(LocalTime{1899, 12, 30, 0, 0, 0}));
    EXPECT_EQ(Fields(SplitDate(inf)), Fields(LocalTime{9999, 12, 31, 23, 59, 59}));
    EXPECT_EQ(Fields(SplitDate(1e300)), Fields(LocalTime{9999, 12, 31, 23, 59, 59}));
    EXPECT_EQ(Fields(SplitDate(kMaxDateValue - 0.1 * kSecond)), Fields(LocalTime{9999, 12, 31, 23, 59, 59}));
    EXPECT_EQ(Fields(SplitDate(-inf)), Fields(LocalTime{100, 1, 1, 0, 0, 0}));
}

TEST(MinutesTest, ConversionRoundsHalvesToEven) {
    struct Case { DateValue value; std::int32_t minutes; };
    const Case cases[] = {
        {At(2000, 1, 1), 0},
        {At(2000, 1, 2), 1440},
        {At(1999, 12, 31, 23, 59), -1},
        {At(2000, 1, 1, 0, 0, 29), 0},
        {At(2000, 1, 1, 0, 0, 30), 0},    // 0.5 -> 0
        {At(2000, 1, 1, 0, 0, 31), 1},
        {At(2000, 1, 1, 0, 1, 30), 2},    // 1.5 -> 2
        {At(2000, 1, 1, 0, 2, 30), 2},    // 2.5 -> 2
        {At(1999, 12, 31, 23, 59, 30), 0},   // -0.5 -> 0
        {At(1999, 12, 31, 23, 58, 30), -2},  // -1.5 -> -2
        {At(2026, 12, 8, 7, 52, 30), 14167192},   // a half far from 2000, even below
        {At(2026, 12, 8, 7, 53, 30), 14167194},   // ... and even above
        {At(2026, 12, 8, 7, 52, 6), 14167192},
    };
    for (const Case& c : cases) EXPECT_EQ(DateToMinutes(c.value), c.minutes) << LogDateText(c.value);
}

TEST(MinutesTest, WholeMinutesComeBack) {
    for (std::int32_t n : {0, 1, -1, 1439, 14167192, -52594560, 1000000007, -2000000000,
                           std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::min()}) {
        EXPECT_EQ(DateToMinutes(MinutesToDate(n)), n);
    }
    for (DateValue d = At(1990, 1, 1); d < At(2040, 1, 1); d += 12345.0 / 1440) {
        const LocalTime t = SplitDate(d);
        EXPECT_EQ(Fields(SplitDate(MinutesToDate(DateToMinutes(d)))), Fields(t));
    }
}

TEST(MinutesTest, FarDatesClampInsteadOfWrapping) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::int32_t max = std::numeric_limits<std::int32_t>::max();
    const std::int32_t min = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(DateToMinutes(At(9999, 12, 31)), max);
    EXPECT_EQ(DateToMinutes(At(6083, 1, 1)), 2147451840);  // the last year inside the range
    EXPECT_EQ(DateToMinutes(At(6084, 1, 1)), max);
    EXPECT_EQ(DateToMinutes(At(-2200, 1, 1)), min);
    EXPECT_EQ(DateToMinutes(inf), max);
    EXPECT_EQ(DateToMinutes(-inf), min);
    EXPECT_EQ(DateToMinutes(1e300), max);
    EXPECT_EQ(DateToMinutes(std::nan("")), 0);
    EXPECT_EQ(DateToMinutes(MinutesToDate(max) + 1.0 / 1440), max);
    EXPECT_EQ(DateToMinutes(MinutesToDate(min) - 1.0 / 1440), min);
}

TEST(MinutesTest, StoredTextIsReadBackStrictly) {
    struct Case { const char* text; bool ok; std::int32_t minutes; };
    const Case cases[] = {
        {"0", true, 0},
        {"-1", true, -1},
        {"  1440 ", true, 1440},
        {"0001440", true, 1440},
        {"2147483647", true, 2147483647},
        {"-2147483648", true, std::numeric_limits<std::int32_t>::min()},
        {"2147483648", false, 7},
        {"-2147483649", false, 7},
        {"99999999999999999999999", false, 7},
        {"", false, 7},
        {"  ", false, 7},
        {"-", false, 7},
        {"+5", false, 7},
        {"12a", false, 7},
        {"1.5", false, 7},
        {"1 2", false, 7},
        {"--1", false, 7},
        {"0x10", false, 7},
        {"\t5", false, 7},
    };
    for (const Case& c : cases) {
        std::int32_t m = 7;
        EXPECT_EQ(MinutesFromText(c.text, m), c.ok) << c.text;
        EXPECT_EQ(m, c.minutes) << c.text;
    }
    for (std::int32_t n : {0, -1, 14167192, std::numeric_limits<std::int32_t>::min()}) {
        std::int32_t back = 7;
        EXPECT_TRUE(MinutesFromText(MinutesToText(n), back));
        EXPECT_EQ(back, n);
    }
}

TEST(MonthFromNameTest, WholeThreeLetterNames) {
    struct Case { const char* text; int month; };
    const Case cases[] = {{"jan", 1}, {"Feb", 2}, {"MAR", 3}, {"apr", 4}, {"may", 5}, {"jun", 6},
                          {"jul", 7}, {"aug", 8}, {"sep", 9}, {"oct", 10}, {"nov", 11}, {"DEC", 12},
                          {"sept", 0}, {"ja", 0}, {"", 0}, {" jan", 0}, {"foo", 0}};
    for (const Case& c : cases) EXPECT_EQ(MonthFromName(c.text), c.month) << c.text;
}

TEST(ParseMailDateTest, LayoutsAndRollOver) {
    struct Case { const char* text; DateValue value; };
    const DateValue dec10 = At(2002, 12, 10, 13, 45, 12);
    const Case cases[] = {
        {"Tue, 10 Dec 2002 13:45:12 +0100", dec10},   // weekday dropped, zone ignored
        {"10 Dec 2002 13:45:12", dec10},
        {"10 DEC 2002 13:45:12 -0800 (PST)", dec10},
        {"Tue,10 Dec 2002 13:45:12", dec10},
        {"Tue,    10 Dec 2002 13:45:12", dec10},
        {"xyz, 10 Dec 2002 13:45:12", dec10},         // comma layout
        {"1 Dec 2002 08:05:00", At(2002, 12, 1, 8, 5, 0)},
        {"Sun, 1 Dec 2002 08:05:00", At(2002, 12, 1, 8, 5, 0)},
        {"Tuesday, 10 Dec 2002 13:45:12", 0},         // keeps its comma, reads nothing
        {"Tue 10 Dec 2002 13:45:12", 0},              // no comma after the weekday
        {"10 Foo 2002 13:45:12", At(2001, 12, 10, 13, 45, 12)},  // unknown month: month 0
        {"31 Feb 2002 00:00:00", At(2002, 3, 3)},
        {"00 Jan 2003 00:00:00", At(2002, 12, 31)},
        {"10 Dec 2002 25:61:61", At(2002, 12, 11, 2, 2, 1)},
        {"10 Dec 2002", At(2002, 12, 10)},            // time part missing
        {"10 Dec 2002 1:45:12", At(2002, 12, 10)},    // "1:" is not a number
        {"xx Dec 2002 13:45:12", TimeSerial(13, 45, 12)},  // date part missing
        {"10 Dec 2002 13:45:12, later", 0},           // a comma anywhere picks that layout
        {"garbage", 0},
        {"", 0},
        {",", 0},
        {"mo", 0},
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(ParseMailDate(c.text), c.value) << c.text;
}

// Any bytes are read without reading past the text, in one pass.
TEST(ParseMailDateTest, HostileAndHugeTexts) {
    const std::size_t mb = 1 << 20;
    EXPECT_DOUBLE_EQ(ParseMailDate("Tue, 10 Dec 2002 13:45:12 " + std::string(mb, 'x')),
                     At(2002, 12, 10, 13, 45, 12));
    EXPECT_EQ(ParseMailDate(std::string(mb, ',')), 0);
    EXPECT_EQ(ParseMailDate(std::string(mb, ' ')), 0);
    EXPECT_DOUBLE_EQ(ParseMailDate(std::string(mb, '9')), At(9999, 0, 9, 99, 99, 99));  // "0" in front
    EXPECT_DOUBLE_EQ(ParseMailDate("-9 Dec -999 -9:-9:-9"), At(-999, 12, -9, -9, -9, -9));
    EXPECT_DOUBLE_EQ(ParseMailDate("99 xxx 9999 99:99:99"), At(9999, 0, 99, 99, 99, 99));
    std::string nul = "10 Dec 2002 13:45:12";
    nul[9] = '\0';
    EXPECT_EQ(ParseMailDate(nul), TimeSerial(13, 45, 12));
}

TEST(DateTextTest, ListAndLogForms) {
    EXPECT_EQ(ListDateText(At(2002, 12, 10, 13, 45, 59)), "12/10/02 13:45");
    EXPECT_EQ(ListDateText(At(2000, 1, 1)), "01/01/00 00:00");
    EXPECT_EQ(ListDateText(At(1999, 12, 31, 23, 59, 59) + 0.6 * kSecond), "01/01/00 00:00");
    EXPECT_EQ(LogDateText(At(2026, 12, 8, 7, 52, 6)), "12-08-2026 07:52:06");
    EXPECT_EQ(LogDateText(LocalTime{2026, 1, 2, 3, 4, 5}), "01-02-2026 03:04:05");
}

class DateClockTest : public testing_support::TempFolderTest {};

TEST_F(DateClockTest, CurrentTimeAndTheLogAgree) {
    EXPECT_DOUBLE_EQ(NowDate(), At(2026, 12, 8, 7, 52, 6));
    EXPECT_EQ(LogDateText(Now()), LogTimestamp());
    EXPECT_EQ(DateStampNow(), "46364D3278472222");
}

TEST(DateStampTest, StampForms) {
    struct Case { DateValue value; const char* stamp; };
    const Case cases[] = {
        {At(2003, 1, 1, 12, 0, 0), "37622D5"},
        {At(2003, 1, 1), "37622"},
        {At(2003, 1, 1, 0, 0, 1), "37622D0000115741"},
        {0, "0"},
        {-1.25, "-1D25"},
        {-1e-13, "0"},
        {std::nan(""), "0"},
        {1e300, "2958465D999988426"},
    };
    for (const Case& c : cases) EXPECT_EQ(DateStamp(c.value), c.stamp) << c.stamp;
    EXPECT_EQ(DayNumberText(At(2003, 1, 1, 12, 0, 0)), "37622.5");
}

TEST(DateStampTest, StampsReadBackToTheSameSecond) {
    for (DateValue d = At(1990, 1, 1); d < At(2100, 1, 1); d += 1234.567891 * kSecond + 17.0) {
        const DateValue whole = DateOf(SplitDate(d));
        DateValue back = -1;
        ASSERT_TRUE(DayNumberFromText(DateStamp(whole), back)) << DateStamp(whole);
        EXPECT_EQ(Fields(SplitDate(back)), Fields(SplitDate(whole))) << DateStamp(whole);
        EXPECT_LT(std::fabs(back - whole), 1e-9);
    }
}

TEST(DateStampTest, ReadingRejectsOtherTexts) {
    struct Case { const char* text; bool ok; DateValue value; };
    const Case cases[] = {
        {"37622D5", true, 37622.5},  {"37622.5", true, 37622.5}, {"37622,5", true, 37622.5},
        {"37622", true, 37622},      {"-1D25", true, -1.25},     {"2958465D99", true, 2958465.99},
        {"", false, 7},              {"D5", false, 7},           {"37622D", false, 7},
        {"37622D5x", false, 7},      {"37622D5D1", false, 7},    {"1e5", false, 7},
        {" 37622", false, 7},        {"12345678", false, 7},     {"2958466", false, 7},
        {"-657435", false, 7},       {"-", false, 7},            {"+1", false, 7},
    };
    for (const Case& c : cases) {
        DateValue v = 7;
        EXPECT_EQ(DayNumberFromText(c.text, v), c.ok) << c.text;
        EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
    DateValue v = 0;
    EXPECT_TRUE(DayNumberFromText("1D" + std::string(1 << 20, '5'), v));  // long fractions end early
    EXPECT_NEAR(v, 1.5555555555555556, 1e-12);
}

}  // namespace
