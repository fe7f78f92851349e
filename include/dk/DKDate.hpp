// include/dk/DKDate.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <ctime>
#include <iosfwd>

// Dates, times of day and timestamps: the attribute value types whose text forms repositories
// exchange ("2004-02-29", "13.05.09", "2004-02-29-13.05.09.123456").
//
// Each keeps its value as seconds since 1970 (64 bits). Fields are normalised like mktime does
// (April 31 becomes May 1, 24.00.00 becomes 00.00.00 of the next day), but always in UTC, so no
// result depends on the machine's time zone; the daylight-saving flag the constructors take is
// therefore accepted and has no effect. Only "now" (the constructors without arguments) reads the
// local zone.
//
// Year range: the stored value only ever starts from years 1972 to 2036. A later year is stored as
// 2036 and an earlier one as 1972, with the difference kept in yearOffset; getYear() adds it back.
// Month, day and time of day come from the stored value, so outside 1972..2036 the calendar rules
// of the base year apply (February 29 exists in every such year). Year arithmetic wraps at the
// width of int instead of overflowing.
//
// fromString (and the constructors from text) throw DKUsageError 303 for bad text, with the
// location "dk/common/DKDate" and "DKDate::fromString" (DKTime::, DKTimestamp::). Besides the
// field checks, a parsed year (after roll-over) must be 1 to 9999. Fields are read as atoi reads
// them (leading blanks, a sign, digits up to the first other character) but without wrapping, so
// an over-long number is rejected, never read as a small one.
//
// All three are plain values: copies are independent, and an object is used by one thread at a
// time.

// A calendar date.
class DK_API DKDate {
public:
    enum Month {
        January = 1, February, March, April, May, June,
        July, August, September, October, November, December
    };

    DKDate();   // today in the local zone
    DKDate(int year, int month, int day);
    DKDate(Month month, int day, int year);
    DKDate(int day, Month month, int year);
    explicit DKDate(const char* text);   // fromString(text)
    DKDate(const DKDate& other) = default;
    DKDate& operator=(const DKDate& other) = default;
    virtual ~DKDate();

    // "%Y-%m-%d" shape: year up to the first '-', month (1..12) up to the second, then the day
    // (1..31); neither '-' may be the last character.
    static DKDate fromString(const char* text);

    // strftime with format ("%Y-%m-%d" when null). Only year, month, day (and zero time)
    // conversions are meaningful; weekday and day of year are unknown to strftime.
    DKString asString(const char* format = nullptr) const;

    int getYear() const;
    int getMonth() const;       // 1..12
    int getDay() const;
    int getDayOfYear() const;   // 1 for January 1, counted in the stored (base) year
    // Year, month and day at once: what the three getters give, from one split of the stored day.
    void getFields(int (&ymd)[3]) const;

    // Moves this date by days (negative allowed) when yearOffset is 0; otherwise does nothing. A
    // date moved past 2036 keeps offset 0. Const in the toolkit's interface, hence the mutable value.
    void addDaysToCurrentDate(int days) const;

    bool operator==(const DKDate& other) const;   // year, month and day
    bool operator!=(const DKDate& other) const { return !(*this == other); }

private:
    int yearOffset;
    mutable std::time_t value;   // midnight UTC of the stored date
};

// A time of day, kept on the fixed date 1997-01-01 (the date part is never read).
class DK_API DKTime {
public:
    DKTime();   // the current local time of day
    DKTime(int hours, int minutes, int seconds, int dst = -1);   // dst has no effect (UTC)
    explicit DKTime(const char* text);   // fromString(text)
    DKTime(const DKTime& other) = default;
    DKTime& operator=(const DKTime& other) = default;
    virtual ~DKTime();

    // "%H.%M.%S" shape: hours (0..24) up to the first '.', minutes (0..60) up to the second, then
    // seconds (0..60); neither '.' may be the last character.
    static DKTime fromString(const char* text);

    DKString asString(const char* format = nullptr) const;   // strftime, "%H.%M.%S" when null

    int getHours() const;
    int getMinutes() const;
    int getSeconds() const;

    bool operator==(const DKTime& other) const;   // hours, minutes and seconds
    bool operator!=(const DKTime& other) const { return !(*this == other); }

private:
    std::time_t value;
};

// A date and time of day with nanoseconds and the character written between date and time.
class DK_API DKTimestamp {
public:
    DKTimestamp();   // now in the local zone, nanos 0, separator '-'
    // nanos is kept as given (not normalised into seconds); dst has no effect (UTC).
    DKTimestamp(int year, int month, int day, int hours, int minutes, int seconds, int nanos,
                int dst = -1, char separator = '-');
    explicit DKTimestamp(const char* text);   // fromString(text)
    DKTimestamp(const DKTimestamp& other) = default;
    DKTimestamp& operator=(const DKTimestamp& other) = default;
    virtual ~DKTimestamp();

    // "%Y-%m-%d?%H.%M.%S[.f]": at least 19 characters; year, month as for DKDate; after the second
    // '-' at most two digits of day (1..31), then any one character, kept as the separator; hours
    // (0..24) up to the next '.', minutes (0..60) up to the following '.', then seconds (0..60) and
    // an optional fraction after a third '.' that is not the last character. The fraction is a
    // decimal fraction of a second of one to six digits: ".5" is 500000 microseconds, ".000005"
    // is 5. More than six digits fail; no digits read as 0 (as atoi would).
    static DKTimestamp fromString(const char* text);

    // Without a format: "%Y-%m-%d", the separator (nothing when it is the character 0),
    // "%H.%M.%S". With a format: strftime with it as given. Either way followed by "." and the
    // first six of nine zero-padded digits of nanos (the microseconds, truncated).
    DKString asString(const char* format = nullptr) const;

    int getYear() const;
    int getMonth() const;
    int getDay() const;
    int getHours() const;
    int getMinutes() const;
    int getSeconds() const;
    // Year, month, day, hours, minutes and seconds at once: what the six getters give, from one
    // split of the stored time instead of six (a reader printing many timestamps calls this).
    void getFields(int (&fields)[6]) const;
    int getNanos() const { return nanos; }
    void setNanos(int n) { nanos = n; }
    char getDateTimeSeparator() const { return separator; }
    void setDateTimeSeparator(char c) { separator = c; }

    // All date and time fields, nanos and the separator.
    bool operator==(const DKTimestamp& other) const;
    bool operator!=(const DKTimestamp& other) const { return !(*this == other); }

private:
    int nanos;
    int yearOffset;
    std::time_t value;
    char separator;
};

DK_API std::ostream& operator<<(std::ostream& os, const DKDate& d);        // asString()
DK_API std::ostream& operator<<(std::ostream& os, const DKTime& t);        // asString()
DK_API std::ostream& operator<<(std::ostream& os, const DKTimestamp& ts);  // asString()
