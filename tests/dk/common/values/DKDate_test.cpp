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
#include <functional>
#include <sstream>
#include <string>

namespace {

// Runs f, which must throw DKUsageError 303 located in function; returns the newest text.
std::string usage303(const char* function, const std::function<void()>& f) {
    return dktest::expectThrownAt<DKUsageError>(f, 303, "dk/common/DKDate", function);
}

// The thrown text is the catalogue text followed by the detail (and the blank the insert
// substitution leaves at the end).
bool hasDetail(const std::string& s, const std::string& detail) {
    return s.find(detail) != std::string::npos;
}

std::string str(const DKString& s) { return s.str(); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// The year rule

TEST(DKDateYears, YearsOutsideTheStoredRangeKeepTheirValue) {
    EXPECT_EQ("2050-06-15", str(DKDate(2050, 6, 15).asString()));

    EXPECT_EQ("1900-02-29", str(DKDate(1900, 2, 29).asString()));   // base year 1972 is leap

    for (int year : {1, 1971, 1972, 2036, 2037, 9999}) {
        DKDate d(year, 12, 31);
        EXPECT_EQ(year * 10000 + 1231, d.getYear() * 10000 + d.getMonth() * 100 + d.getDay());
        EXPECT_EQ(year, DKTimestamp(year, 1, 1, 0, 0, 0, 0).getYear()) << year;
    }

    // The day of the year is counted in the base year: 1971 and 2041 count like leap years.
    EXPECT_EQ(61, DKDate(2004, 3, 1).getDayOfYear());
    EXPECT_EQ(61, DKDate(1971, 3, 1).getDayOfYear());
    EXPECT_EQ(366, DKDate(2041, 12, 31).getDayOfYear());
}

TEST(DKDateYears, ExtremeNumbersNeitherOverflowNorLoseTheYear) {
    // Built under UndefinedBehaviorSanitizer too: none of these may overflow a signed integer.
    EXPECT_EQ(INT_MAX, DKDate(INT_MAX, 1, 1).getYear());
    EXPECT_EQ(INT_MIN, DKDate(INT_MIN, 1, 1).getYear());

    DKDate hugeAll(INT_MAX, INT_MAX, INT_MAX);
    DKDate tinyAll(INT_MIN, INT_MIN, INT_MIN);
    DKTime hugeTime(INT_MAX, INT_MAX, INT_MAX);
    DKTime tinyTime(INT_MIN, INT_MIN, INT_MIN);
    DKTimestamp hugeTs(INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, 1, '%');
    DKTimestamp tinyTs(INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, 0, '-');
    for (int m : {hugeAll.getMonth(), tinyAll.getMonth(), hugeTs.getMonth(), tinyTs.getMonth()})
        EXPECT_TRUE(m >= 1 && m <= 12);
    EXPECT_TRUE(hugeTime.getHours() >= 0 && hugeTime.getHours() < 24);
    EXPECT_TRUE(tinyTime.getSeconds() >= 0 && tinyTime.getSeconds() < 60);
    EXPECT_FALSE(hugeTs.asString().length() == 0);
    EXPECT_FALSE(tinyTs.asString().length() == 0);

    DKDate moved(2004, 1, 1);
    moved.addDaysToCurrentDate(INT_MAX);
    moved.addDaysToCurrentDate(INT_MIN);
    EXPECT_EQ(DKDate(2003, 12, 31), moved);
    for (int i = 0; i < 100000; ++i) moved.addDaysToCurrentDate(INT_MAX);   // 2^64 seconds and more
    EXPECT_GT(moved.getYear(), 1000000000);
}

// ---------------------------------------------------------------------------------------------
// Normalisation

TEST(DKDateNormalisation, OverflowingFieldsRollIntoTheNextUnit) {
    EXPECT_EQ(DKDate(2004, 5, 1), DKDate(2004, 4, 31));
    EXPECT_EQ(DKDate(2005, 1, 1), DKDate(2004, 13, 1));
    EXPECT_EQ(DKDate(2003, 12, 31), DKDate(2004, 1, 0));
    EXPECT_EQ(DKDate(2002, 11, 1), DKDate(2004, -13, 1));

    // Rolling out of 1971 or out of 2036 still gives the right year.
    DKDate fromBefore(1971, 12, 32);
    EXPECT_EQ(DKDate(1972, 1, 1), fromBefore);
    EXPECT_EQ("2037-01-01", str(DKDate(2036, 12, 32).asString()));

    EXPECT_EQ("00.00.00", str(DKTime(24, 0, 0).asString()));
    EXPECT_EQ("23.59.59", str(DKTime(0, 0, -1).asString()));

    EXPECT_EQ("2005-01-01-00.00.00.000000", str(DKTimestamp(2004, 12, 31, 24, 0, 0, 0).asString()));
    EXPECT_EQ("2037-01-01-00.00.00.000000", str(DKTimestamp(2036, 12, 31, 23, 59, 60, 0).asString()));
}

TEST(DKDateNormalisation, AddingDaysMovesOnlyDatesWithoutOffset) {
    DKDate end(2036, 12, 31);
    end.addDaysToCurrentDate(1);
    EXPECT_EQ(DKDate(2037, 1, 1), end);
    end.addDaysToCurrentDate(1);   // moved past 2036 it keeps offset 0 and moves on
    EXPECT_EQ(DKDate(2037, 1, 2), end);
    end.addDaysToCurrentDate(-3);
    EXPECT_EQ(DKDate(2036, 12, 30), end);

    DKDate earlier(1971, 3, 1);
    earlier.addDaysToCurrentDate(-10);
    EXPECT_EQ(DKDate(1971, 3, 1), earlier);

    DKDate leap(2004, 2, 28);
    leap.addDaysToCurrentDate(367);
    EXPECT_EQ(DKDate(2005, 3, 1), leap);

    // Across the spring and autumn clock changes of a zone with daylight saving.
    DKDate spring(2004, 4, 3);
    spring.addDaysToCurrentDate(1);
    EXPECT_EQ(DKDate(2004, 4, 4), spring);
    DKDate autumn(2004, 10, 30);
    autumn.addDaysToCurrentDate(2);
    EXPECT_EQ(DKDate(2004, 11, 1), autumn);

    // A copy moves on its own.
    DKDate original(2004, 6, 1);
    DKDate copy(original);
    copy.addDaysToCurrentDate(5);
    EXPECT_EQ(DKDate(2004, 6, 6), copy);
}

TEST(DKDateNormalisation, LocalZoneAndDaylightFlagHaveNoEffect) {
    // 02:30 on 2004-04-04 does not exist in New York, 01:30 on 2004-10-31 exists twice; mktime
    // would move or pick one of them, the UTC normalisation keeps them as given.
    for (int dst : {-1, 0, 1}) {
        DKTimestamp spring(2004, 4, 4, 2, 30, 0, 0, dst);
        EXPECT_EQ(2, spring.getHours()) << dst;
        EXPECT_EQ(30, spring.getMinutes()) << dst;
        DKTimestamp autumn(2004, 10, 31, 1, 30, 0, 0, dst);
        EXPECT_EQ("2004-10-31-01.30.00.000000", str(autumn.asString())) << dst;
        EXPECT_EQ(DKTime(2, 30, 0, -1), DKTime(2, 30, 0, dst));
    }
}

TEST(DKDateNow, NowIsTheLocalDateAndTime) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::time_t before = std::time(nullptr);
        DKDate today;
        DKTimestamp now;
        std::time_t after = std::time(nullptr);
        std::tm local{};
        localtime_r(&before, &local);
        if (before != after) continue;   // a second turned over: try again
        EXPECT_EQ(DKDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday), today);
        EXPECT_EQ(DKTimestamp(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                              local.tm_min, local.tm_sec, 0, -1, '-'),
                  now);
        return;
    }
}

// ---------------------------------------------------------------------------------------------
// Text forms

TEST(DKDateText, DefaultAndGivenFormats) {
    EXPECT_EQ("2004-02-29", str(DKDate(2004, 2, 29).asString()));
    EXPECT_EQ(DKDate(DKDate::February, 29, 2004), DKDate(29, DKDate::February, 2004));
    EXPECT_EQ("29/02/2004", str(DKDate(2004, 2, 29).asString("%d/%m/%Y")));

    DKTimestamp ts(2004, 2, 29, 13, 5, 9, 123456789);
    EXPECT_EQ("2004-02-29-13.05.09.123456", str(ts.asString()));
    EXPECT_EQ("20040229.123456", str(ts.asString("%Y%m%d")));
    ts.setNanos(999);
    EXPECT_EQ("2004-02-29-13.05.09.000000", str(ts.asString()));
    ts.setNanos(999999999);
    EXPECT_EQ("2004-02-29-13.05.09.999999", str(ts.asString()));

    // The separator is written as it is, even one strftime would read as a conversion.
    ts.setNanos(0);
    ts.setDateTimeSeparator('%');
    EXPECT_EQ("2004-02-29%13.05.09.000000", str(ts.asString()));
    ts.setDateTimeSeparator('\0');
    EXPECT_EQ("2004-02-2913.05.09.000000", str(ts.asString()));

    // A result longer than any fixed buffer is written whole.
    std::string longFormat(200, 'x');
    longFormat += "%Y";
    EXPECT_EQ(std::string(200, 'x') + "2004", str(DKDate(2004, 1, 1).asString(longFormat.c_str())));

    std::ostringstream out;
    out << DKDate(2040, 1, 2) << '|' << DKTime(3, 4, 5) << '|'
        << DKTimestamp(1960, 1, 2, 3, 4, 5, 6000, -1, 'T');
    EXPECT_EQ("2040-01-02|03.04.05|1960-01-02T03.04.05.000006", out.str());
}

// ---------------------------------------------------------------------------------------------
// Parsing

TEST(DKDateParse, AcceptsDatesAndRejectsBadTextWithItsText) {
    EXPECT_EQ(DKDate(2004, 3, 1), DKDate::fromString("2004-02-30"));
    EXPECT_EQ(DKDate(1, 1, 1), DKDate::fromString("1-1-1"));
    EXPECT_EQ(DKDate(9999, 12, 31), DKDate("9999-12-31"));
    EXPECT_EQ(DKDate(2004, 1, 5), DKDate::fromString(" 2004-01-5"));

    EXPECT_TRUE(hasDetail(usage303("DKDate::fromString", [] { DKDate::fromString(nullptr); }),
                         ": Date null "));
    for (const char* bad : {"2004-13-01", "2004-00-10", "2004-01-32", "2004-01-00", "2004/01/01",
                            "2004-01-", "2004-01", "", "--", "0-01-01", "-1-1-1", "10000-01-01",
                            "4294969300-01-01",    // as atoi would wrap it: 2004
                            "2004-4294967297-01",  // month 1 once wrapped
                            "2004-01-4294967298"}) {
        std::string text =
            usage303("DKDate::fromString", [bad] { DKDate d(bad); (void)d; });
        EXPECT_TRUE(hasDetail(text, std::string(": Date :") + bad)) << bad << " gave " << text;
    }
}

TEST(DKDateParse, AcceptsTimesAndRejectsBadText) {
    EXPECT_EQ("00.00.00", str(DKTime::fromString("24.00.00").asString()));
    EXPECT_EQ("13.01.00", str(DKTime::fromString("12.60.60").asString()));
    EXPECT_EQ(DKTime(1, 2, 3), DKTime("1.2.3"));

    EXPECT_TRUE(hasDetail(usage303("DKTime::fromString", [] { DKTime::fromString(nullptr); }),
                         ": Time null "));
    for (const char* bad : {"25.00.00", "12.61.00", "12.00.61", "-1.00.00", "12.30", "12.30.",
                            "12:30:00", "", "4294967308.00.00"}) {
        std::string text = usage303("DKTime::fromString", [bad] { DKTime t(bad); (void)t; });
        EXPECT_TRUE(hasDetail(text, std::string(": Time :") + bad)) << bad << " gave " << text;
    }
}

TEST(DKDateParse, AcceptsTimestampsWithAnySeparatorAndShortFractions) {
    DKTimestamp dash = DKTimestamp::fromString("2004-01-02-03.04.05.123456");
    EXPECT_EQ(DKTimestamp(2004, 1, 2, 3, 4, 5, 123456000, -1, '-'), dash);
    DKTimestamp blank("2004-01-02 03.04.05.123456");
    EXPECT_EQ(' ', blank.getDateTimeSeparator());
    EXPECT_EQ("2004-01-02 03.04.05.123456", str(blank.asString()));
    EXPECT_NE(dash, blank);   // only the separator differs

    DKTimestamp noFraction("2004-01-02-03.04.05");
    EXPECT_EQ(0, noFraction.getNanos());

    // A short fraction is a decimal fraction of the second.
    EXPECT_EQ(500000000, DKTimestamp("2004-01-02-03.04.05.5").getNanos());
    EXPECT_EQ(5000, DKTimestamp("2004-01-02-03.04.05.000005").getNanos());

    EXPECT_EQ('%', DKTimestamp("2004-01-02%03.04.05.000000").getDateTimeSeparator());
    EXPECT_EQ('.', DKTimestamp("2004-01-02.03.04.05.000000").getDateTimeSeparator());
    EXPECT_EQ(DKTimestamp(2037, 1, 1, 0, 0, 0, 0), DKTimestamp("2036-12-31-24.00.00.000000"));
}

TEST(DKDateParse, RejectsBadTimestampsWithTheirText) {
    EXPECT_TRUE(hasDetail(usage303("DKTimestamp::fromString", [] { DKTimestamp::fromString(nullptr); }),
                         ": Timestamp null "));
    for (const char* bad : {
             "2004-01-02-03.04",             // no seconds
             "2004-01-02-03.04.05.",         // a third '.' at the very end
             "2004-1-2-3.4.5",               // shorter than 19 characters
             "2004-13-02-03.04.05.000000", "2004-01-32-03.04.05.000000",
             "2004-01-02-25.04.05.000000", "2004-01-02-03.04.61.000000",
             "2004-01-02-03.04.05.1234567",  // more than six digits of fraction
             "2004-01-02-03.04.05.-5",
             "9999-12-31-24.00.00.000000",   // rolls into year 10000
             "0-01-02-03.04.05.000000", "4294969300-01-02-03.04.05",
             "2004/01/02-03.04.05.000000", "2004-01-02-03:04:05.000000", ""}) {
        std::string text =
            usage303("DKTimestamp::fromString", [bad] { DKTimestamp ts(bad); (void)ts; });
        EXPECT_TRUE(hasDetail(text, std::string(": Timestamp : ") + bad)) << bad << " gave " << text;
    }
}

TEST(DKDateParse, TextFormsRoundTripExactly) {
    for (const char* text : {"1971-12-31", "2036-12-31", "2037-01-01", "0001-01-01", "9999-12-31",
                             "1900-02-29", "2041-02-30"}) {
        DKDate once = DKDate::fromString(text);
        DKDate twice = DKDate::fromString(once.asString());
        EXPECT_EQ(once, twice) << text;
        EXPECT_EQ(str(once.asString()), str(twice.asString())) << text;
    }
    for (const char* text : {"23.59.59", "24.60.60", "0.0.0"}) {
        DKTime once = DKTime::fromString(text);
        EXPECT_EQ(once, DKTime::fromString(once.asString())) << text;
    }
    for (const char* text :
         {"2004-02-29-13.05.09.123456", "2004-02-29 13.05.09.000001", "1971-12-31-24.00.00",
          "2037-06-30%23.59.60.999999", "1-01-01-00.00.00.50", "2004-01-02.03.04.05.000000"}) {
        DKTimestamp once = DKTimestamp::fromString(text);
        DKTimestamp twice = DKTimestamp::fromString(once.asString());
        EXPECT_EQ(once, twice) << text << " -> " << once.asString();
    }
}

// ---------------------------------------------------------------------------------------------
// Comparison and copies

TEST(DKDateCompare, EqualityIsByFields) {
    EXPECT_TRUE(DKDate(2004, 1, 2) != DKDate(2004, 1, 3));
    EXPECT_TRUE(DKDate(2040, 1, 2) != DKDate(2036, 1, 2));   // same stored date, other offset

    EXPECT_TRUE(DKTime(24, 0, 0) == DKTime(0, 0, 0));
    EXPECT_TRUE(DKTime(1, 2, 3) != DKTime(1, 2, 4));

    DKTimestamp base(2004, 1, 2, 3, 4, 5, 6000, -1, '-');
    EXPECT_TRUE(base == DKTimestamp(2004, 1, 2, 3, 4, 5, 6000, 1, '-'));
    EXPECT_TRUE(base != DKTimestamp(2004, 1, 2, 3, 4, 5, 7000, -1, '-'));
    EXPECT_TRUE(base != DKTimestamp(2004, 1, 2, 3, 4, 5, 6000, -1, ' '));
    EXPECT_TRUE(base != DKTimestamp(2040, 1, 2, 3, 4, 5, 6000, -1, '-'));

    DKTimestamp copy(base);
    copy.setDateTimeSeparator('T');
    EXPECT_EQ('-', base.getDateTimeSeparator());
    DKDate d(2040, 5, 6);
    DKDate& same = d;
    d = same;   // assignment to itself keeps the value
    EXPECT_EQ(DKDate(2040, 5, 6), d);
}
