// src/dk/common/values/DKDate.cpp
//
// Dates, times of day and timestamps: building the stored value from broken-down fields, reading
// the fields back, the text forms and their parsers. Fields become values by UTC calendar
// arithmetic (what timegm does) and are read back by the same arithmetic reversed (what gmtime_r
// does), so that normalisation never depends on the machine's time zone; only "now" is read in
// the local zone. Year and field arithmetic is done in 64 bits (or wraps on purpose) so that no
// input, however large, overflows a signed integer.

#include <dk/DKDate.hpp>
#include <dk/dkThrow.hpp>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr const char* kSource = "dk/common/DKDate";   // the location of every throw here

// The stored value only ever starts from these years; the rest of a year goes to yearOffset.
constexpr int kMinBaseYear = 1972;
constexpr int kMaxBaseYear = 2036;
constexpr int kTimeBaseYear = 1997;   // the fixed date 1997-01-01 of DKTime

// Years a text may give (after day and hour roll-over): the four-digit years of the text form,
// whose canonical text parses back to the same value.
constexpr long long kMinTextYear = 1;
constexpr long long kMaxTextYear = 9999;

// Values are kept within about a billion years of 1970, where the year still fits an int and
// repeated moves cannot overflow. Values built from fields stay far inside (at most 2^53).
constexpr std::time_t kValueLimit = std::time_t(1) << 55;

// A strftime result longer than this is given up as empty.
constexpr size_t kMaxFormatted = size_t(1) << 20;

// Two's complement wrap to int, the visible result of 32-bit year arithmetic without its undefined
// behaviour (conversion of an out-of-range value to int is modular with g++ and clang).
int wrapInt(long long v) {
    return static_cast<int>(static_cast<unsigned int>(static_cast<unsigned long long>(v)));
}

struct Stored {
    int yearOffset;
    std::time_t value;
};

// Seconds since 1970 of the given fields, normalised like mktime but in UTC. Months are folded
// into years here in 64 bits, so every intermediate stays far inside long long even for the
// most extreme arguments (at most about 2^28 years of carry from INT_MAX months).
std::time_t toValue(int baseYear, int month, int day, int hours, int minutes, int seconds) {
    const long long mon0 = static_cast<long long>(month) - 1;
    const long long carry = mon0 >= 0 ? mon0 / 12 : -((-mon0 + 11) / 12);
    // What timegm computes for these fields, done directly: it is linear in the day and the time
    // of day, so only the first day of the month needs the calendar (days from 1970-01-01 in the
    // proleptic Gregorian calendar, with March as the first month of the computing year). Dates
    // are built for every row a connector reads, and timegm is far slower than this.
    long long y = static_cast<long long>(baseYear) + carry;
    const long long m = mon0 - carry * 12 + 1;   // 1 .. 12
    if (m <= 2) --y;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long long days = era * 146097 + doe - 719468 + (static_cast<long long>(day) - 1);
    return static_cast<std::time_t>(days * 86400 + static_cast<long long>(hours) * 3600 +
                                    static_cast<long long>(minutes) * 60 + seconds);
}

// The year rule: 1972..2036 are stored as given, others from the nearest end of that range.
Stored store(int year, int month, int day, int hours, int minutes, int seconds) {
    int base = year;
    int offset = 0;
    if (year > kMaxBaseYear) {
        base = kMaxBaseYear;
        offset = year - kMaxBaseYear;   // cannot overflow: year is at most INT_MAX
    } else if (year < kMinBaseYear) {
        base = kMinBaseYear;
        offset = wrapInt(static_cast<long long>(year) - kMinBaseYear);   // wraps back in getYear
    }
    return Stored{offset, toValue(base, month, day, hours, minutes, seconds)};
}

// What gmtime_r gives for value (zone "GMT" aside), split directly: the inverse of toValue's
// calendar, with March as the first month of the computing year. Connectors format a date for
// every row they write, and gmtime_r is far slower than this.
std::tm fieldsOf(std::time_t value) {
    const long long v = value;
    const long long days = v >= 0 ? v / 86400 : -((-v + 86399) / 86400);
    const long long secs = v - days * 86400;
    const long long z = days + 719468;   // days from 0000-03-01
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;                                  // 0 .. 146096
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;   // 0 .. 399
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);          // 0 .. 365, from March
    const long long mp = (5 * doy + 2) / 153;                                // 0 .. 11, March first
    const long long month = mp < 10 ? mp + 3 : mp - 9;                        // 1 .. 12
    const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    std::tm tm{};
    tm.tm_sec = static_cast<int>(secs % 60);
    tm.tm_min = static_cast<int>(secs / 60 % 60);
    tm.tm_hour = static_cast<int>(secs / 3600);
    tm.tm_mday = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    tm.tm_mon = static_cast<int>(month - 1);
    tm.tm_year = static_cast<int>(year - 1900);   // values stay within about a billion years
    tm.tm_wday = static_cast<int>(((days % 7) + 11) % 7);   // 1970-01-01 was a Thursday
    tm.tm_yday = static_cast<int>(month > 2 ? doy + 59 + (leap ? 1 : 0) : doy - 306);
    return tm;
}

int yearOf(const std::tm& tm, int yearOffset) {
    return wrapInt(static_cast<long long>(tm.tm_year) + 1900 + yearOffset);
}

// The broken-down time the text forms are written from: only year, month, day and time of day
// are known; weekday, day of year and daylight flag are -1.
std::tm textFields(std::time_t value, int yearOffset) {
    const std::tm stored = fieldsOf(value);
    std::tm tm{};
    tm.tm_sec = stored.tm_sec;
    tm.tm_min = stored.tm_min;
    tm.tm_hour = stored.tm_hour;
    tm.tm_mday = stored.tm_mday;
    tm.tm_mon = stored.tm_mon;
    tm.tm_year = wrapInt(static_cast<long long>(yearOf(stored, yearOffset)) - 1900);
    tm.tm_wday = -1;
    tm.tm_yday = -1;
    tm.tm_isdst = -1;
    return tm;
}

// strftime into a buffer that grows until the text fits, so no format gets a cut or undefined text.
std::string formatFields(const char* format, const std::tm& tm) {
    std::vector<char> buf(64);
    for (;;) {
        const size_t n = std::strftime(buf.data(), buf.size(), format, &tm);
        if (n > 0 || *format == '\0') return std::string(buf.data(), n);
        if (buf.size() >= kMaxFormatted) return std::string();   // a format whose result is empty
        buf.resize(buf.size() * 4);
    }
}

std::tm localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    return tm;
}

// ---------------------------------------------------------------------------------------------
// Text parsing. Fields are read as atoi reads them (blanks, a sign, digits up to the first other
// character), but saturating instead of wrapping, so "4294967297" is a huge month, never month 1.
// Positions are 0-based; "below L" (L = length - 1) means "not the last character".

constexpr long long kSaturate = 1000000000000LL;

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

long long readNumber(const char* p) {
    while (isBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    long long v = 0;
    for (; isDigit(*p); ++p)
        if (v < kSaturate) v = v * 10 + (*p - '0');
    return negative ? -v : v;
}

bool inRange(long long v, long long lo, long long hi) { return v >= lo && v <= hi; }

// Index of the first c at or after from, or -1. from never exceeds the text's length.
long long findFrom(const char* text, long long from, char c) {
    const char* p = std::strchr(text + from, c);
    return p == nullptr ? -1 : p - text;
}

// A separator found below L: present and not the last character.
bool belowLast(long long pos, long long last) { return pos >= 0 && pos < last; }

// Three numbers separated by sep ("2004-12-31", "23.59.59"): both separators present and below
// the last character, each number read like atoi.
bool readThree(const char* text, char sep, long long (&n)[3]) {
    const long long last = static_cast<long long>(std::strlen(text)) - 1;
    const long long first = findFrom(text, 0, sep);
    if (!belowLast(first, last)) return false;
    const long long second = findFrom(text, first + 1, sep);
    if (!belowLast(second, last)) return false;
    n[0] = readNumber(text);
    n[1] = readNumber(text + first + 1);
    n[2] = readNumber(text + second + 1);
    return true;
}

struct DateFields {
    long long year, month, day;
};

bool parseDate(const char* text, DateFields& f) {
    long long n[3];
    if (!readThree(text, '-', n)) return false;
    f = {n[0], n[1], n[2]};
    return inRange(f.year, kMinTextYear, kMaxTextYear) && inRange(f.month, 1, 12) &&
           inRange(f.day, 1, 31);
}

struct TimeFields {
    long long hours, minutes, seconds;
};

bool parseTime(const char* text, TimeFields& f) {
    long long n[3];
    if (!readThree(text, '.', n)) return false;
    f = {n[0], n[1], n[2]};
    return inRange(f.hours, 0, 24) && inRange(f.minutes, 0, 60) && inRange(f.seconds, 0, 60);
}

// The fraction after the third '.': blanks and a sign as atoi allows them, then up to six digits
// read as a decimal fraction of a second (".5" is 500000 microseconds, ".000005" is 5). No digits
// read as 0; more than six digits, or a negative non-zero value, fail.
bool readMicros(const char* p, long long& micros) {
    while (isBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    long long v = 0;
    int digits = 0;
    for (; isDigit(*p); ++p, ++digits) {
        if (digits == 6) return false;
        v = v * 10 + (*p - '0');
    }
    for (int i = digits; i < 6; ++i) v *= 10;
    if (negative && v != 0) return false;
    micros = v;
    return true;
}

struct TimestampFields {
    DateFields date;
    TimeFields time;
    long long micros;
    char separator;
};

bool parseTimestamp(const char* text, TimestampFields& f) {
    const long long length = static_cast<long long>(std::strlen(text));
    const long long last = length - 1;
    if (length < 19) return false;

    const long long dash1 = findFrom(text, 0, '-');
    if (!belowLast(dash1, last)) return false;
    const long long dash2 = findFrom(text, dash1 + 1, '-');
    if (!belowLast(dash2, last)) return false;
    long long sep = dash2 + 1;   // at most two digits of day, then the separator
    for (int i = 0; i < 2 && isDigit(text[sep]); ++i) ++sep;
    if (!belowLast(sep, last)) return false;

    const long long dot1 = findFrom(text, sep + 1, '.');
    if (!belowLast(dot1, last)) return false;
    const long long dot2 = findFrom(text, dot1 + 1, '.');
    if (!belowLast(dot2, last)) return false;
    const long long dot3 = findFrom(text, dot2 + 1, '.');
    if (dot3 >= 0 && !belowLast(dot3, last)) return false;   // a '.' at the very end

    f.date.year = readNumber(text);
    f.date.month = readNumber(text + dash1 + 1);
    f.date.day = readNumber(text + dash2 + 1);
    f.separator = text[sep];
    f.time.hours = readNumber(text + sep + 1);
    f.time.minutes = readNumber(text + dot1 + 1);
    f.time.seconds = readNumber(text + dot2 + 1);
    f.micros = 0;
    if (dot3 >= 0 && !readMicros(text + dot3 + 1, f.micros)) return false;

    return inRange(f.date.year, kMinTextYear, kMaxTextYear) && inRange(f.date.month, 1, 12) &&
           inRange(f.date.day, 1, 31) && inRange(f.time.hours, 0, 24) &&
           inRange(f.time.minutes, 0, 60) && inRange(f.time.seconds, 0, 60);
}

}  // namespace

// =============================================================================================
// DKDate

DKDate::DKDate() {
    const std::tm now = localNow();
    const Stored s = store(now.tm_year + 1900, now.tm_mon + 1, now.tm_mday, 0, 0, 0);
    yearOffset = s.yearOffset;
    value = s.value;
}

DKDate::DKDate(int year, int month, int day) {
    const Stored s = store(year, month, day, 0, 0, 0);
    yearOffset = s.yearOffset;
    value = s.value;
}

DKDate::DKDate(Month month, int day, int year) : DKDate(year, static_cast<int>(month), day) {}

DKDate::DKDate(int day, Month month, int year) : DKDate(year, static_cast<int>(month), day) {}

DKDate::DKDate(const char* text) : DKDate(fromString(text)) {}

DKDate::~DKDate() = default;

DKDate DKDate::fromString(const char* text) {
    static constexpr const char* kFunction = "DKDate::fromString";
    if (text == nullptr) dkThrow<DKUsageError>(303, kSource, kFunction, DKString(": Date null "));
    DateFields f{};
    if (!parseDate(text, f))
        dkThrow<DKUsageError>(303, kSource, kFunction, DKString(": Date :") + text);
    return DKDate(static_cast<int>(f.year), static_cast<int>(f.month), static_cast<int>(f.day));
}

DKString DKDate::asString(const char* format) const {
    return DKString(formatFields(format ? format : "%Y-%m-%d", textFields(value, yearOffset)));
}

int DKDate::getYear() const { return yearOf(fieldsOf(value), yearOffset); }
int DKDate::getMonth() const { return fieldsOf(value).tm_mon + 1; }
int DKDate::getDay() const { return fieldsOf(value).tm_mday; }
int DKDate::getDayOfYear() const { return fieldsOf(value).tm_yday + 1; }

void DKDate::getFields(int (&ymd)[3]) const {
    const std::tm tm = fieldsOf(value);
    ymd[0] = yearOf(tm, yearOffset);
    ymd[1] = tm.tm_mon + 1;
    ymd[2] = tm.tm_mday;
}

void DKDate::addDaysToCurrentDate(int days) const {
    // In UTC every day has 86400 seconds, so the move is exact. The step is below 2^48 and the
    // value within kValueLimit, so the sum cannot overflow before it is held at the limit.
    if (yearOffset != 0) return;
    const std::time_t moved = value + static_cast<std::time_t>(days) * 86400;
    value = moved > kValueLimit ? kValueLimit : moved < -kValueLimit ? -kValueLimit : moved;
}

bool DKDate::operator==(const DKDate& other) const {
    const std::tm a = fieldsOf(value);
    const std::tm b = fieldsOf(other.value);
    return yearOf(a, yearOffset) == yearOf(b, other.yearOffset) && a.tm_mon == b.tm_mon &&
           a.tm_mday == b.tm_mday;
}

std::ostream& operator<<(std::ostream& os, const DKDate& d) { return os << d.asString(); }

// =============================================================================================
// DKTime

DKTime::DKTime() {
    const std::tm now = localNow();
    value = toValue(kTimeBaseYear, 1, 1, now.tm_hour, now.tm_min, now.tm_sec);
}

DKTime::DKTime(int hours, int minutes, int seconds, int /*dst: no effect in UTC*/)
    : value(toValue(kTimeBaseYear, 1, 1, hours, minutes, seconds)) {}

DKTime::DKTime(const char* text) : DKTime(fromString(text)) {}

DKTime::~DKTime() = default;

DKTime DKTime::fromString(const char* text) {
    static constexpr const char* kFunction = "DKTime::fromString";
    if (text == nullptr) dkThrow<DKUsageError>(303, kSource, kFunction, DKString(": Time null "));
    TimeFields f{};
    if (!parseTime(text, f))
        dkThrow<DKUsageError>(303, kSource, kFunction, DKString(": Time :") + text);
    return DKTime(static_cast<int>(f.hours), static_cast<int>(f.minutes),
                  static_cast<int>(f.seconds), -1);
}

DKString DKTime::asString(const char* format) const {
    // The date part is the fixed base date, but only the time conversions are meant to be used.
    return DKString(formatFields(format ? format : "%H.%M.%S", textFields(value, 0)));
}

int DKTime::getHours() const { return fieldsOf(value).tm_hour; }
int DKTime::getMinutes() const { return fieldsOf(value).tm_min; }
int DKTime::getSeconds() const { return fieldsOf(value).tm_sec; }

bool DKTime::operator==(const DKTime& other) const {
    const std::tm a = fieldsOf(value);
    const std::tm b = fieldsOf(other.value);
    return a.tm_hour == b.tm_hour && a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

std::ostream& operator<<(std::ostream& os, const DKTime& t) { return os << t.asString(); }

// =============================================================================================
// DKTimestamp

DKTimestamp::DKTimestamp() : nanos(0), separator('-') {
    const std::tm now = localNow();
    const Stored s = store(now.tm_year + 1900, now.tm_mon + 1, now.tm_mday, now.tm_hour,
                           now.tm_min, now.tm_sec);
    yearOffset = s.yearOffset;
    value = s.value;
}

DKTimestamp::DKTimestamp(int year, int month, int day, int hours, int minutes, int seconds,
                         int nanosArg, int /*dst: no effect in UTC*/, char separatorArg)
    : nanos(nanosArg), separator(separatorArg) {
    const Stored s = store(year, month, day, hours, minutes, seconds);
    yearOffset = s.yearOffset;
    value = s.value;
}

DKTimestamp::DKTimestamp(const char* text) : DKTimestamp(fromString(text)) {}

DKTimestamp::~DKTimestamp() = default;

DKTimestamp DKTimestamp::fromString(const char* text) {
    static constexpr const char* kFunction = "DKTimestamp::fromString";
    if (text == nullptr)
        dkThrow<DKUsageError>(303, kSource, kFunction, DKString(": Timestamp null "));
    TimestampFields f{};
    if (parseTimestamp(text, f)) {
        DKTimestamp result(static_cast<int>(f.date.year), static_cast<int>(f.date.month),
                           static_cast<int>(f.date.day), static_cast<int>(f.time.hours),
                           static_cast<int>(f.time.minutes), static_cast<int>(f.time.seconds),
                           static_cast<int>(f.micros * 1000), -1, f.separator);
        // 9999-12-31-24.00.00 rolls into a year whose text would no longer parse.
        if (inRange(result.getYear(), kMinTextYear, kMaxTextYear)) return result;
    }
    dkThrow<DKUsageError>(303, kSource, kFunction, DKString(": Timestamp : ") + text);
}

DKString DKTimestamp::asString(const char* format) const {
    const std::tm tm = textFields(value, yearOffset);
    std::string out;
    if (format == nullptr) {
        // The separator is placed by hand, never through strftime, so a '%' cannot break the format.
        out = formatFields("%Y-%m-%d", tm);
        if (separator != '\0') out += separator;
        out += formatFields("%H.%M.%S", tm);
    } else {
        out = formatFields(format, tm);
    }
    char digits[16];
    std::snprintf(digits, sizeof digits, "%09d", nanos);   // at least nine characters
    out += '.';
    out.append(digits, 6);
    return DKString(out);
}

int DKTimestamp::getYear() const { return yearOf(fieldsOf(value), yearOffset); }
int DKTimestamp::getMonth() const { return fieldsOf(value).tm_mon + 1; }
int DKTimestamp::getDay() const { return fieldsOf(value).tm_mday; }
int DKTimestamp::getHours() const { return fieldsOf(value).tm_hour; }
int DKTimestamp::getMinutes() const { return fieldsOf(value).tm_min; }
int DKTimestamp::getSeconds() const { return fieldsOf(value).tm_sec; }

void DKTimestamp::getFields(int (&fields)[6]) const {
    const std::tm tm = fieldsOf(value);
    fields[0] = yearOf(tm, yearOffset);
    fields[1] = tm.tm_mon + 1;
    fields[2] = tm.tm_mday;
    fields[3] = tm.tm_hour;
    fields[4] = tm.tm_min;
    fields[5] = tm.tm_sec;
}

bool DKTimestamp::operator==(const DKTimestamp& other) const {
    const std::tm a = fieldsOf(value);
    const std::tm b = fieldsOf(other.value);
    return yearOf(a, yearOffset) == yearOf(b, other.yearOffset) && a.tm_mon == b.tm_mon &&
           a.tm_mday == b.tm_mday && a.tm_hour == b.tm_hour && a.tm_min == b.tm_min &&
           a.tm_sec == b.tm_sec && nanos == other.nanos && separator == other.separator;
}

std::ostream& operator<<(std::ostream& os, const DKTimestamp& ts) { return os << ts.asString(); }
