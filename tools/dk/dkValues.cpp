// tools/dk/dkValues.cpp
//
// Turning attribute values into printed cells and command-line text into typed values. Both
// directions use the same forms, so whatever `dk get` or `dk query` prints, `dk update` takes.

#include "dkValues.hpp"
#include "dkCli.hpp"

#include <dk/DKByteArray.hpp>
#include <dk/DKDate.hpp>
#include <dk/DKDecimal.hpp>
#include <dk/DKException.hpp>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace dkcli {

namespace {

template <class T>
bool readNumber(const std::string& text, T& out) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, out);
    return !text.empty() && ec == std::errc() && p == end;
}

// The digits of n (0 <= n < 10^width) at out, width of them with leading zeros; written by hand
// because a query prints a timestamp per row and printf is a large share of that.
char* putDigits(char* out, long n, int width) {
    for (int i = width - 1; i >= 0; --i, n /= 10) out[i] = static_cast<char>('0' + n % 10);
    return out + width;
}

void appendTimestamp(std::string& out, const DKTimestamp& t) {
    int split[6];
    t.getFields(split);
    const long fields[] = {split[0], split[1], split[2], split[3], split[4], split[5], t.getNanos()};
    if (fields[0] < 0 || fields[0] > 9999 || fields[6] < 0 || fields[6] > 999999999) {
        // Outside the fixed-width range: as "%04d" and "%09d" would write them.
        char buf[96];
        const int n = std::snprintf(buf, sizeof buf, "%04ld-%02ld-%02ld %02ld:%02ld:%02ld.%09ld", fields[0], fields[1],
                                    fields[2], fields[3], fields[4], fields[5], fields[6]);
        out.append(buf, static_cast<std::size_t>(n));
        return;
    }
    char buf[29];   // YYYY-MM-DD HH:MM:SS.nnnnnnnnn
    char* p = putDigits(buf, fields[0], 4);
    *p++ = '-';
    p = putDigits(p, fields[1], 2);
    *p++ = '-';
    p = putDigits(p, fields[2], 2);
    *p++ = ' ';
    p = putDigits(p, fields[3], 2);
    *p++ = ':';
    p = putDigits(p, fields[4], 2);
    *p++ = ':';
    p = putDigits(p, fields[5], 2);
    *p++ = '.';
    p = putDigits(p, fields[6], 9);
    out.append(buf, static_cast<std::size_t>(p - buf));
}

std::string dateText(int y, int m, int d) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
}

std::string timeText(int h, int mi, int s) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
    return buf;
}

// Fixed-width decimal fields of a date or time text: "digits sep digits sep digits".
struct Fields {
    int year = 0, month = 0, day = 0, hours = 0, minutes = 0, seconds = 0, nanos = 0;
};

bool digits(const std::string& s, std::size_t at, std::size_t count, int& out) {
    if (at + count > s.size()) return false;
    out = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

// "YYYY-MM-DD" at the start of s.
bool readDate(const std::string& s, Fields& f) {
    return s.size() >= 10 && digits(s, 0, 4, f.year) && s[4] == '-' && digits(s, 5, 2, f.month) && s[7] == '-' &&
           digits(s, 8, 2, f.day);
}

// "HH:MM:SS" or "HH.MM.SS" at s[at], then an optional fraction of up to nine digits; the whole
// rest of s must be used.
bool readTime(const std::string& s, std::size_t at, Fields& f) {
    if (s.size() < at + 8) return false;
    const char sep = s[at + 2];
    if ((sep != ':' && sep != '.') || s[at + 5] != sep) return false;
    if (!digits(s, at, 2, f.hours) || !digits(s, at + 3, 2, f.minutes) || !digits(s, at + 6, 2, f.seconds))
        return false;
    std::size_t p = at + 8;
    if (p == s.size()) return true;
    if (s[p] != '.' || p + 1 == s.size() || s.size() - p - 1 > 9) return false;
    int fraction = 0;
    if (!digits(s, p + 1, s.size() - p - 1, fraction)) return false;
    for (std::size_t n = s.size() - p - 1; n < 9; ++n) fraction *= 10;
    f.nanos = fraction;
    return true;
}

int daysIn(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// Why the fields name no real date or time; empty when they do.
std::string whyNotReal(const Fields& f, bool date, bool time) {
    if (date) {
        if (f.year < 1) return "there is no year 0";
        if (f.month < 1 || f.month > 12) return "there is no month " + std::to_string(f.month);
        if (f.day < 1 || f.day > daysIn(f.year, f.month))
            return dateText(f.year, f.month, 1).substr(0, 7) + " has " + std::to_string(daysIn(f.year, f.month)) +
                   " days";
    }
    if (time) {
        if (f.hours > 23) return "an hour has no " + std::to_string(f.hours);
        if (f.minutes > 59 || f.seconds > 59) return "minutes and seconds go up to 59";
    }
    return "";
}

}  // namespace

void fillCell(const DKAny& v, Cell& c) {
    c.text.clear();
    switch (v.typeCode()) {
    case DKAny::tc_null:
        c.kind = Cell::kNull;
        return;
    case DKAny::tc_short:
    case DKAny::tc_ushort:
    case DKAny::tc_long:
    case DKAny::tc_ulong:
    case DKAny::tc_boolean: {
        char buf[24];
        const auto r = v.typeCode() == DKAny::tc_ulong
                           ? std::to_chars(buf, buf + sizeof buf, static_cast<unsigned long>(v))
                           : std::to_chars(buf, buf + sizeof buf,
                                           v.typeCode() == DKAny::tc_boolean ? static_cast<long>(static_cast<int>(v))
                                                                              : static_cast<long>(v));
        c.kind = Cell::kInteger;
        c.text.assign(buf, r.ptr);
        return;
    }
    case DKAny::tc_double:
    case DKAny::tc_float: {
        const double d = v.typeCode() == DKAny::tc_double ? static_cast<double>(v) : static_cast<float>(v);
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, d);
        c.kind = Cell::kReal;
        c.text.assign(buf, r.ptr);
        return;
    }
    case DKAny::tc_decimal: {
        if (!v.value()) break;
        const DKString text = static_cast<const DKDecimal*>(v.value())->toString();
        c.kind = Cell::kNumber;
        c.text.assign(text.c_str(), text.length());
        return;
    }
    case DKAny::tc_string: {
        c.kind = Cell::kText;
        if (const auto* s = static_cast<const DKString*>(v.value())) c.text.assign(s->c_str(), s->length());
        return;
    }
    case DKAny::tc_date: {
        if (!v.value()) break;
        const DKDate& d = *static_cast<const DKDate*>(v.value());
        c.kind = Cell::kText;
        int ymd[3];
        d.getFields(ymd);
        c.text = dateText(ymd[0], ymd[1], ymd[2]);
        return;
    }
    case DKAny::tc_time: {
        if (!v.value()) break;
        const DKTime& t = *static_cast<const DKTime*>(v.value());
        c.kind = Cell::kText;
        c.text = timeText(t.getHours(), t.getMinutes(), t.getSeconds());
        return;
    }
    case DKAny::tc_timestamp: {
        if (!v.value()) break;
        c.kind = Cell::kText;
        appendTimestamp(c.text, *static_cast<const DKTimestamp*>(v.value()));
        return;
    }
    case DKAny::tc_bytearray: {
        c.kind = Cell::kBlob;
        if (const auto* b = static_cast<const DKByteArray*>(v.value()); b && b->length() > 0)
            c.text.assign(b->getData(), static_cast<std::size_t>(b->length()));
        return;
    }
    default:
        c.kind = Cell::kText;
        c.text = v.toString().c_str();
        return;
    }
    c.kind = Cell::kNull;   // an object type holding no object
}

Cell cellOf(const DKAny& v) {
    Cell c;
    fillCell(v, c);
    return c;
}

std::string textOf(const DKAny& value) { return cellOf(value).text; }

DKAny valueOfType(unsigned short type, const std::string& text, const std::string& name) {
    auto bad = [&](const char* kind, const std::string& why = "") {
        return UsageError("the value of " + name + " must be " + kind + ", not '" + text + "'" +
                              (why.empty() ? "" : ": " + why),
                          "update");
    };
    switch (type) {
    case DKAny::tc_short: {
        short v;
        if (!readNumber(text, v)) throw bad("a whole number from -32768 to 32767");
        return DKAny(v);
    }
    case DKAny::tc_ushort: {
        unsigned short v;
        if (!readNumber(text, v)) throw bad("a whole number from 0 to 65535");
        return DKAny(v);
    }
    case DKAny::tc_long: {
        long v;
        if (!readNumber(text, v)) throw bad("a whole number");
        return DKAny(v);
    }
    case DKAny::tc_ulong: {
        unsigned long v;
        if (!readNumber(text, v)) throw bad("a whole number of 0 or more");
        return DKAny(v);
    }
    case DKAny::tc_double: {
        double v;
        if (!readNumber(text, v) || !std::isfinite(v)) throw bad("a finite number");
        return DKAny(v);
    }
    case DKAny::tc_decimal:
        try {
            return DKAny(DKDecimal(text.c_str()));
        } catch (DKException&) {
            throw bad("a decimal number");
        }
    case DKAny::tc_date: {
        Fields f;
        if (text.size() != 10 || !readDate(text, f)) throw bad("a date (2024-05-01)");
        if (std::string why = whyNotReal(f, true, false); !why.empty()) throw bad("a date that exists", why);
        return DKAny(DKDate(f.year, f.month, f.day));
    }
    case DKAny::tc_time: {
        Fields f;
        if (!readTime(text, 0, f) || f.nanos != 0) throw bad("a time (12:30:00)");
        if (std::string why = whyNotReal(f, false, true); !why.empty()) throw bad("a time that exists", why);
        return DKAny(DKTime(f.hours, f.minutes, f.seconds));
    }
    case DKAny::tc_timestamp: {
        Fields f;
        const bool ok = readDate(text, f) &&
                        (text.size() == 10 ||
                         ((text[10] == ' ' || text[10] == 'T' || text[10] == '-') && readTime(text, 11, f)));
        if (!ok) throw bad("a timestamp (2024-05-01 12:30:00)");
        if (std::string why = whyNotReal(f, true, true); !why.empty()) throw bad("a timestamp that exists", why);
        return DKAny(DKTimestamp(f.year, f.month, f.day, f.hours, f.minutes, f.seconds, f.nanos));
    }
    default:
        return DKAny(DKString(text.data(), text.size()));
    }
}

const char* typeName(unsigned short type) {
    switch (type) {
    case DKAny::tc_short: return "short";
    case DKAny::tc_ushort: return "unsigned short";
    case DKAny::tc_long: return "long";
    case DKAny::tc_ulong: return "unsigned long";
    case DKAny::tc_double: return "double";
    case DKAny::tc_string: return "string";
    case DKAny::tc_decimal: return "decimal";
    case DKAny::tc_date: return "date";
    case DKAny::tc_time: return "time";
    case DKAny::tc_timestamp: return "timestamp";
    case DKAny::tc_bytearray: return "bytes";
    default: return "other";
    }
}

}  // namespace dkcli
