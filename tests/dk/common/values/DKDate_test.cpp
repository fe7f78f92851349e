// tests/dk/common/values/DKDate_test.cpp
//
// Dates, times and timestamps: the year-offset rule at its edges, normalisation, the text forms
// and their parsers with every kind of bad input, round trips and comparisons.
// dk-timezone-suite: runs under TZ=UTC and TZ=America/New_York; nothing here may depend on the zone.

#include <dk/DKDate.hpp>
#include <dk/DKException.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

namespace {

using dktest::str;

// Checks that f throws DKUsageError 303 whose text holds detail (the text it was given).
template <class F>
void expectRefused(F f, const std::string& detail) {
    const dktest::Failure r = dktest::failureOf<DKUsageError>(f);
    EXPECT_EQ(303, r.id) << detail;
    EXPECT_NE(std::string::npos, r.text.find(detail)) << detail << " gave " << r.text;
}

}  // namespace

TEST(DKDateYears, YearsOutsideTheStoredRangeKeepTheirValueAndNothingOverflows) {
    // Base year 1972 is leap.
    EXPECT_EQ("2050-06-15 1900-02-29", str(DKDate(2050, 6, 15).asString() + " " + DKDate(1900, 2, 29).asString()));
    for (int year : {1, 1971, 1972, 2036, 2037, 9999, INT_MAX, INT_MIN}) {
        const DKDate d(year, 12, 31);
        EXPECT_EQ(year, d.getYear());
        if (year > 0 && year < 10000) {
            EXPECT_EQ(1231, d.getMonth() * 100 + d.getDay()) << year;
            EXPECT_EQ(year, DKTimestamp(year, 1, 1, 0, 0, 0, 0).getYear()) << year;
        }
    }
    // The day of the year is counted in the base year: 1971 and 2041 count like leap years.
    EXPECT_EQ((std::vector<int>{61, 61, 366}), (std::vector<int>{DKDate(2004, 3, 1).getDayOfYear(),
                                                               DKDate(1971, 3, 1).getDayOfYear(),
                                                               DKDate(2041, 12, 31).getDayOfYear()}));

    // Built under UndefinedBehaviorSanitizer too: none of these may overflow a signed integer.
    const DKDate hugeAll(INT_MAX, INT_MAX, INT_MAX), tinyAll(INT_MIN, INT_MIN, INT_MIN);
    const DKTime hugeTime(INT_MAX, INT_MAX, INT_MAX), tinyTime(INT_MIN, INT_MIN, INT_MIN);
    const DKTimestamp hugeTs(INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, 1, '%');
    const DKTimestamp tinyTs(INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, 0, '-');
    for (int m : {hugeAll.getMonth(), tinyAll.getMonth(), hugeTs.getMonth(), tinyTs.getMonth()})
        EXPECT_TRUE(m >= 1 && m <= 12);
    EXPECT_TRUE(hugeTime.getHours() >= 0 && hugeTime.getHours() < 24 && tinyTime.getSeconds() >= 0 &&
                tinyTime.getSeconds() < 60 && hugeTs.asString().length() > 0 && tinyTs.asString().length() > 0);
    DKDate moved(2004, 1, 1);
    moved.addDaysToCurrentDate(INT_MAX);
    moved.addDaysToCurrentDate(INT_MIN);
    EXPECT_EQ(DKDate(2003, 12, 31), moved);
    for (int i = 0; i < 100000; ++i) moved.addDaysToCurrentDate(INT_MAX);   // 2^64 seconds and more
    EXPECT_GT(moved.getYear(), 1000000000);
}

TEST(DKDateNormalisation, OverflowingFieldsRollIntoTheNextUnit) {
    const std::pair<DKDate, DKDate> dates[] = {
        {DKDate(2004, 4, 31), DKDate(2004, 5, 1)}, {DKDate(2004, 13, 1), DKDate(2005, 1, 1)},
        {DKDate(2004, 1, 0), DKDate(2003, 12, 31)}, {DKDate(2004, -13, 1), DKDate(2002, 11, 1)},
        {DKDate(1971, 12, 32), DKDate(1972, 1, 1)}};   // rolling out of 1971 still gives the right year
    for (const auto& [made, expected] : dates) EXPECT_EQ(expected, made) << made;
    const std::pair<DKString, std::string> texts[] = {
        {DKDate(2036, 12, 32).asString(), "2037-01-01"}, {DKTime(24, 0, 0).asString(), "00.00.00"},
        {DKTime(0, 0, -1).asString(), "23.59.59"},
        {DKTimestamp(2004, 12, 31, 24, 0, 0, 0).asString(), "2005-01-01-00.00.00.000000"},
        {DKTimestamp(2036, 12, 31, 23, 59, 60, 0).asString(), "2037-01-01-00.00.00.000000"}};
    for (const auto& [made, expected] : texts) EXPECT_EQ(expected, str(made));

    // Adding days moves a date made without offset; one moved past 2036 keeps offset 0 and moves on,
    // one made in 1971 stays. Also across the clock changes of a zone with daylight saving.
    DKDate end(2036, 12, 31);
    for (const auto& [n, to] : {std::pair(1, DKDate(2037, 1, 1)), {1, DKDate(2037, 1, 2)}, {-3, DKDate(2036, 12, 30)}})
    {
        end.addDaysToCurrentDate(n);
        EXPECT_EQ(to, end);
    }
    const struct { DKDate from; int days; DKDate to; } moves[] = {
        {DKDate(1971, 3, 1), -10, DKDate(1971, 3, 1)}, {DKDate(2004, 2, 28), 367, DKDate(2005, 3, 1)},
        {DKDate(2004, 4, 3), 1, DKDate(2004, 4, 4)}, {DKDate(2004, 10, 30), 2, DKDate(2004, 11, 1)}};
    for (const auto& m : moves) {
        DKDate d(m.from);   // a copy moves on its own
        d.addDaysToCurrentDate(m.days);
        EXPECT_EQ(m.to, d) << m.from << " + " << m.days;
    }

    // 02:30 on 2004-04-04 does not exist in New York, 01:30 on 2004-10-31 exists twice; mktime
    // would move or pick one of them, the UTC normalisation keeps them as given.
    for (int dst : {-1, 0, 1}) {
        const DKTimestamp spring(2004, 4, 4, 2, 30, 0, 0, dst);
        EXPECT_EQ(230, spring.getHours() * 100 + spring.getMinutes()) << dst;
        EXPECT_EQ("2004-10-31-01.30.00.000000", str(DKTimestamp(2004, 10, 31, 1, 30, 0, 0, dst).asString())) << dst;
        EXPECT_EQ(DKTime(2, 30, 0, -1), DKTime(2, 30, 0, dst));
    }
}

TEST(DKDateNow, NowIsTheLocalDateAndTime) {
    std::time_t before = 0;
    DKDate today;
    DKTimestamp now;
    do {   // again when a second turned over
        before = std::time(nullptr);
        today = DKDate();
        now = DKTimestamp();
    } while (before != std::time(nullptr));
    std::tm t{};
    localtime_r(&before, &t);
    EXPECT_EQ(DKDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday), today);
    EXPECT_EQ(DKTimestamp(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, 0, -1, '-'), now);
}

TEST(DKDateText, DefaultAndGivenFormats) {
    EXPECT_EQ(DKDate(DKDate::February, 29, 2004), DKDate(29, DKDate::February, 2004));
    DKTimestamp ts(2004, 2, 29, 13, 5, 9, 123456789), micro(ts), max(ts), percent(ts), none(ts);
    micro.setNanos(999);
    max.setNanos(999999999);
    percent.setNanos(0);
    percent.setDateTimeSeparator('%');   // written as it is, though strftime would read a conversion
    none.setNanos(0);
    none.setDateTimeSeparator('\0');
    const std::string longFormat = std::string(200, 'x') + "%Y";   // longer than any fixed buffer
    const std::pair<DKString, std::string> texts[] = {
        {DKDate(2004, 2, 29).asString(), "2004-02-29"}, {DKDate(2004, 2, 29).asString("%d/%m/%Y"), "29/02/2004"},
        {ts.asString(), "2004-02-29-13.05.09.123456"}, {ts.asString("%Y%m%d"), "20040229.123456"},
        {micro.asString(), "2004-02-29-13.05.09.000000"}, {max.asString(), "2004-02-29-13.05.09.999999"},
        {percent.asString(), "2004-02-29%13.05.09.000000"}, {none.asString(), "2004-02-2913.05.09.000000"},
        {DKDate(2004, 1, 1).asString(longFormat.c_str()), std::string(200, 'x') + "2004"}};
    for (const auto& [made, expected] : texts) EXPECT_EQ(expected, str(made));
    std::ostringstream out;
    out << DKDate(2040, 1, 2) << '|' << DKTime(3, 4, 5) << '|' << DKTimestamp(1960, 1, 2, 3, 4, 5, 6000, -1, 'T');
    EXPECT_EQ("2040-01-02|03.04.05|1960-01-02T03.04.05.000006", out.str());
}

TEST(DKDateParse, AcceptsGoodTextAndRejectsBadTextWithItsText) {
    const std::pair<DKDate, DKDate> dates[] = {{DKDate::fromString("2004-02-30"), DKDate(2004, 3, 1)},
        {DKDate::fromString("1-1-1"), DKDate(1, 1, 1)}, {DKDate("9999-12-31"), DKDate(9999, 12, 31)},
        {DKDate::fromString(" 2004-01-5"), DKDate(2004, 1, 5)}};
    for (const auto& [parsed, expected] : dates) EXPECT_EQ(expected, parsed);
    EXPECT_EQ("00.00.00 13.01.00",
              str(DKTime::fromString("24.00.00").asString() + " " + DKTime::fromString("12.60.60").asString()));
    EXPECT_EQ(DKTime(1, 2, 3), DKTime("1.2.3"));
    const std::pair<void (*)(), const char*> nulls[] = {{[] { DKDate::fromString(nullptr); }, ": Date null "},
        {[] { DKTime::fromString(nullptr); }, ": Time null "},
        {[] { DKTimestamp::fromString(nullptr); }, ": Timestamp null "}};
    for (const auto& [call, detail] : nulls) expectRefused(call, detail);
    for (const char* bad : {"2004-13-01", "2004-00-10", "2004-01-32", "2004-01-00", "2004/01/01", "2004-01-", "2004-01",
                            "", "--", "0-01-01", "-1-1-1", "10000-01-01", "4294969300-01-01", "2004-4294967297-01",
                            "2004-01-4294967298"})   // the last three as atoi would wrap them
        expectRefused([bad] { DKDate d(bad); }, std::string(": Date :") + bad);
    for (const char* bad : {"25.00.00", "12.61.00", "12.00.61", "-1.00.00", "12.30", "12.30.", "12:30:00", "",
                            "4294967308.00.00"})
        expectRefused([bad] { DKTime t(bad); }, std::string(": Time :") + bad);
    for (const char* bad : {"2004-01-02-03.04", "2004-01-02-03.04.05.", "2004-1-2-3.4.5",
                            "2004-13-02-03.04.05.000000", "2004-01-32-03.04.05.000000", "2004-01-02-25.04.05.000000",
                            "2004-01-02-03.04.61.000000", "2004-01-02-03.04.05.1234567", "2004-01-02-03.04.05.-5",
                            "9999-12-31-24.00.00.000000",   // rolls into year 10000
                            "0-01-02-03.04.05.000000", "4294969300-01-02-03.04.05", "2004/01/02-03.04.05.000000",
                            "2004-01-02-03:04:05.000000", ""})
        expectRefused([bad] { DKTimestamp ts(bad); }, std::string(": Timestamp : ") + bad);
}

TEST(DKDateParse, TimestampsTakeAnySeparatorAndShortFractions) {
    const DKTimestamp dash = DKTimestamp::fromString("2004-01-02-03.04.05.123456"), blank("2004-01-02 03.04.05.123456");
    EXPECT_EQ(DKTimestamp(2004, 1, 2, 3, 4, 5, 123456000, -1, '-'), dash);
    EXPECT_EQ("2004-01-02 03.04.05.123456", str(blank.asString()));
    EXPECT_NE(dash, blank);   // only the separator differs
    const std::pair<const char*, long> fractions[] = {   // a short fraction is a decimal fraction of the second
        {"2004-01-02-03.04.05", 0}, {"2004-01-02-03.04.05.5", 500000000}, {"2004-01-02-03.04.05.000005", 5000}};
    for (const auto& [in, nanos] : fractions) EXPECT_EQ(nanos, DKTimestamp(in).getNanos()) << in;
    EXPECT_EQ("%.", (std::string{DKTimestamp("2004-01-02%03.04.05.000000").getDateTimeSeparator(),
                                 DKTimestamp("2004-01-02.03.04.05.000000").getDateTimeSeparator()}));
    EXPECT_EQ(DKTimestamp(2037, 1, 1, 0, 0, 0, 0), DKTimestamp("2036-12-31-24.00.00.000000"));

    // Every text form parses back to itself.
    for (const char* text : {"1971-12-31", "2036-12-31", "2037-01-01", "0001-01-01", "9999-12-31", "1900-02-29",
                             "2041-02-30"}) {
        const DKDate once = DKDate::fromString(text), twice = DKDate::fromString(once.asString());
        EXPECT_EQ(once, twice) << text;
        EXPECT_EQ(str(once.asString()), str(twice.asString())) << text;
    }
    for (const char* text : {"23.59.59", "24.60.60", "0.0.0"})
        EXPECT_EQ(DKTime::fromString(text), DKTime::fromString(DKTime::fromString(text).asString())) << text;
    for (const char* text : {"2004-02-29-13.05.09.123456", "2004-02-29 13.05.09.000001", "1971-12-31-24.00.00",
                             "2037-06-30%23.59.60.999999", "1-01-01-00.00.00.50", "2004-01-02.03.04.05.000000"}) {
        const DKTimestamp once = DKTimestamp::fromString(text);
        EXPECT_EQ(once, DKTimestamp::fromString(once.asString())) << text << " -> " << once.asString();
    }
}

TEST(DKDateCompare, EqualityIsByFields) {
    EXPECT_TRUE(DKDate(2004, 1, 2) != DKDate(2004, 1, 3));
    EXPECT_TRUE(DKDate(2040, 1, 2) != DKDate(2036, 1, 2));   // same stored date, other offset
    EXPECT_TRUE(DKTime(24, 0, 0) == DKTime(0, 0, 0) && DKTime(1, 2, 3) != DKTime(1, 2, 4));
    const DKTimestamp base(2004, 1, 2, 3, 4, 5, 6000, -1, '-');
    EXPECT_TRUE(base == DKTimestamp(2004, 1, 2, 3, 4, 5, 6000, 1, '-'));   // the daylight flag does not count
    for (const DKTimestamp& other : {DKTimestamp(2004, 1, 2, 3, 4, 5, 7000, -1, '-'),
                                     DKTimestamp(2004, 1, 2, 3, 4, 5, 6000, -1, ' '),
                                     DKTimestamp(2040, 1, 2, 3, 4, 5, 6000, -1, '-')})
        EXPECT_NE(base, other);
    DKTimestamp copy(base);
    copy.setDateTimeSeparator('T');
    EXPECT_EQ('-', base.getDateTimeSeparator());
    DKDate d(2040, 5, 6);
    dktest::assignToItself(d);
    EXPECT_EQ(DKDate(2040, 5, 6), d);
}
