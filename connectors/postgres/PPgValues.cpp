// connectors/postgres/PPgValues.cpp
//
// Values to and from the server. Parameters go as text in the server's input forms (ISO dates,
// exact decimal text, shortest round-trip doubles), bytes in binary; results come back as text
// (the session asks for ISO dates and hex bytea at logon) or, for a query whose every column has
// a binary form read here, in the server's binary forms, which cost neither side a conversion to
// text and back. Either way they are read without loss and to the same values: a numeric keeps
// its scale ("1.50" stays), a timestamp its microseconds.

#include "PPgBinary.hpp"
#include "PPgError.hpp"
#include "PPgValues.hpp"

#include <dk/DKByteArray.hpp>
#include <dk/DKDate.hpp>
#include <dk/DKDecimal.hpp>
#include <dk/DKException.hpp>
#include <dk/PConnectorKit.hpp>
#include <dk/dkThrow.hpp>

#include <libpq-fe.h>

#include <cctype>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace dkpg {

namespace {

bool startsWithNoCase(const char* s, const char* prefix) { return strncasecmp(s, prefix, std::strlen(prefix)) == 0; }

[[noreturn]] void mismatch(long msg, const char* what, const char* why, const DKAny& value, const char* source,
                           const char* function) {
    DKString detail(what ? what : "");
    detail += DKString(" (") + why + ", given type code " + DKString(static_cast<long>(value.typeCode())) + ")";
    dkThrow<DKUsageError>(msg, source, function, detail);
}

std::string formatted(const char* format, int a, int b, int c) {
    char text[40];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

}  // namespace

bool isValidName(const char* name) {
    if (name == nullptr || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
    std::size_t n = 0;
    for (const char* p = name; *p; ++p, ++n) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x80 || !(std::isalnum(c) || c == '_')) return false;
    }
    return n <= 63 && !startsWithNoCase(name, "dk_") && !startsWithNoCase(name, "pg_");
}

std::string lowerName(const char* name) {
    std::string s = name ? name : "";
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string quoteIdent(const std::string& name) {
    std::string q = "\"";
    for (char c : name) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + "\"";
}

bool isStorableType(unsigned short type) { return *columnTypeOf(type) != '\0'; }

const char* columnTypeOf(unsigned short type) {
    switch (type) {
        case DKAny::tc_short: return "smallint";
        case DKAny::tc_long: return "bigint";
        case DKAny::tc_double: return "double precision";
        case DKAny::tc_string: return "text";
        case DKAny::tc_decimal: return "numeric";
        case DKAny::tc_date: return "date";
        case DKAny::tc_time: return "time";
        case DKAny::tc_timestamp: return "timestamp";
        case DKAny::tc_bytearray: return "bytea";
        default: return "";
    }
}

// ---------------------------------------------------------------------------------------------
// PParams

std::string& PParams::slot(bool null, int format) {
    if (used_ == texts_.size()) {
        texts_.emplace_back();
        values_.push_back(nullptr);
        lengths_.push_back(0);
        formats_.push_back(0);
        nulls_.push_back(false);
    }
    nulls_[used_] = null;
    formats_[used_] = format;
    std::string& s = texts_[used_++];
    s.clear();
    return s;
}

void PParams::addNull() { slot(true, 0); }

void PParams::addText(const std::string& text) { slot(false, 0) = text; }

void PParams::addBytes(const char* data, std::size_t length) { slot(false, 1).assign(data, length); }

const char* const* PParams::values() {
    for (std::size_t i = 0; i < used_; ++i) {
        values_[i] = nulls_[i] ? nullptr : texts_[i].data();
        lengths_[i] = static_cast<int>(texts_[i].size());
    }
    return values_.data();
}

void addValue(PParams& params, const DKAny& v, unsigned short type, const char* what, const char* source,
              const char* function) {
    const DKAny::TypeCode tc = v.typeCode();
    const bool object = tc == DKAny::tc_decimal || tc == DKAny::tc_date || tc == DKAny::tc_time ||
                        tc == DKAny::tc_timestamp || tc == DKAny::tc_bytearray || tc == DKAny::tc_string;
    if (tc == DKAny::tc_null || (object && v.value() == nullptr && tc != DKAny::tc_string && tc != DKAny::tc_bytearray)) {
        params.addNull();
        return;
    }
    if (type == 0) {
        // A query parameter: the value's own type decides, and the server reads the text as the
        // type the statement needs there.
        switch (tc) {
            case DKAny::tc_short: case DKAny::tc_ushort: case DKAny::tc_long: case DKAny::tc_ulong: type = DKAny::tc_long; break;
            case DKAny::tc_float: type = DKAny::tc_double; break;
            case DKAny::tc_char: type = DKAny::tc_string; break;
            case DKAny::tc_boolean: params.addText(static_cast<int>(v) != 0 ? "true" : "false"); return;
            default: type = static_cast<unsigned short>(tc); break;
        }
    }
    long n = 0;
    char digits[32];
    switch (type) {
        case DKAny::tc_short:
        case DKAny::tc_long:
            if (!PConnectorKit::integerOf(v, n) || (type == DKAny::tc_short && (n < SHRT_MIN || n > SHRT_MAX)))
                mismatch(kMsgValueMismatch, what, type == DKAny::tc_short ? "short" : "long", v, source, function);
            params.addText(std::string(digits, std::to_chars(digits, digits + sizeof digits, n).ptr));
            return;
        case DKAny::tc_double: {
            double d = 0;
            if (tc == DKAny::tc_double) d = static_cast<double>(v);
            else if (tc == DKAny::tc_float) d = static_cast<float>(v);
            else if (PConnectorKit::integerOf(v, n)) d = static_cast<double>(n);
            else mismatch(kMsgValueMismatch, what, "double", v, source, function);
            // The shortest text that reads back as the same double; the server takes inf and nan.
            params.addText(std::string(digits, std::to_chars(digits, digits + sizeof digits, d).ptr));
            return;
        }
        case DKAny::tc_string: {
            if (tc == DKAny::tc_char) {
                params.addText(v.toString().c_str());
                return;
            }
            if (tc != DKAny::tc_string) mismatch(kMsgValueMismatch, what, "string", v, source, function);
            const DKString* s = static_cast<const DKString*>(v.value());
            const std::string text = s ? std::string(s->c_str(), s->length()) : std::string();
            // The server's text holds no zero byte; cutting the string there would change it.
            if (text.find('\0') != std::string::npos)
                mismatch(kMsgValueRefused, what, "a zero byte in a string", v, source, function);
            params.addText(text);
            return;
        }
        case DKAny::tc_decimal:
            if (tc == DKAny::tc_decimal) params.addText(static_cast<const DKDecimal*>(v.value())->toString().c_str());
            else if (PConnectorKit::integerOf(v, n)) params.addText(std::string(digits, std::to_chars(digits, digits + sizeof digits, n).ptr));
            else mismatch(kMsgValueMismatch, what, "decimal", v, source, function);
            return;
        case DKAny::tc_date: {
            if (tc != DKAny::tc_date) mismatch(kMsgValueMismatch, what, "date", v, source, function);
            int ymd[3];
            static_cast<const DKDate*>(v.value())->getFields(ymd);
            if (ymd[0] < 1) mismatch(kMsgValueRefused, what, "a year before 1", v, source, function);
            params.addText(formatted("%04d-%02d-%02d", ymd[0], ymd[1], ymd[2]));
            return;
        }
        case DKAny::tc_time: {
            if (tc != DKAny::tc_time) mismatch(kMsgValueMismatch, what, "time", v, source, function);
            const DKTime& t = *static_cast<const DKTime*>(v.value());
            params.addText(formatted("%02d:%02d:%02d", t.getHours(), t.getMinutes(), t.getSeconds()));
            return;
        }
        case DKAny::tc_timestamp: {
            if (tc != DKAny::tc_timestamp) mismatch(kMsgValueMismatch, what, "timestamp", v, source, function);
            const DKTimestamp& t = *static_cast<const DKTimestamp*>(v.value());
            const int nanos = t.getNanos();
            if (nanos < 0 || nanos > 999999999) mismatch(kMsgValueMismatch, what, "timestamp", v, source, function);
            // The server keeps microseconds and rounds what is finer, up to the next day at worst.
            if (nanos % 1000 != 0) mismatch(kMsgValueRefused, what, "a timestamp finer than microseconds", v, source, function);
            if (t.getDateTimeSeparator() != '-')
                mismatch(kMsgValueRefused, what, "a timestamp separator other than '-'", v, source, function);
            int f[6];
            t.getFields(f);
            if (f[0] < 1) mismatch(kMsgValueRefused, what, "a year before 1", v, source, function);
            params.addText(formatted("%04d-%02d-%02d", f[0], f[1], f[2]) + formatted(" %02d:%02d:%02d", f[3], f[4], f[5]) +
                           formatted(".%06d", nanos / 1000, 0, 0));
            return;
        }
        case DKAny::tc_bytearray: {
            if (tc != DKAny::tc_bytearray) mismatch(kMsgValueMismatch, what, "byte array", v, source, function);
            const DKByteArray* b = static_cast<const DKByteArray*>(v.value());
            if (b == nullptr || b->length() == 0) params.addBytes("", 0);
            else params.addBytes(b->getData(), static_cast<std::size_t>(b->length()));
            return;
        }
        default:
            mismatch(kMsgValueMismatch, what, "unsupported type", v, source, function);
    }
}

namespace {

[[noreturn]] void badValue(const char* text, const char* source, const char* function) {
    dkThrow<DKDatastoreError>(kMsgBadValue, source, function, DKString(text));
}

// Length bytes of text as a string value: assigned into the string into holds, its buffer reused,
// or a new one.
void putText(DKAny& into, const char* text, int length) {
    const auto n = static_cast<unsigned long>(length);
    if (into.typeCode() == DKAny::tc_string)
        static_cast<DKString*>(into.value())->assign(text, n);
    else
        into = DKAny(DKString(text, n));
}

// "YYYY-MM-DD" at text; the fields, or false for anything else (BC dates, infinity).
bool readDate(const char* text, int (&ymd)[3], int& used) {
    used = 0;
    return std::sscanf(text, "%4d-%2d-%2d%n", &ymd[0], &ymd[1], &ymd[2], &used) == 3 && used == 10;
}

// "HH:MM:SS[.ffffff]" at text: the fields and the microseconds; false for anything else.
bool readTime(const char* text, int (&hms)[3], int& micros) {
    int used = 0;
    if (std::sscanf(text, "%2d:%2d:%2d%n", &hms[0], &hms[1], &hms[2], &used) != 3 || used != 8) return false;
    micros = 0;
    const char* p = text + 8;
    if (*p == '\0') return true;
    if (*p++ != '.') return false;
    int digits = 0;
    for (; std::isdigit(static_cast<unsigned char>(*p)) && digits < 6; ++p, ++digits) micros = micros * 10 + (*p - '0');
    if (digits == 0 || *p != '\0') return false;
    for (; digits < 6; ++digits) micros *= 10;
    return true;
}

}  // namespace

long readWhole(const char* text) {
    // The server's usual form, at most 18 digits after an optional sign, cannot overflow a long:
    // read digit by digit, which costs a fraction of a general conversion.
    const int start = text[0] == '-' ? 1 : 0;
    long plain = 0;
    int i = start;
    for (; i < start + 18 && text[i] >= '0' && text[i] <= '9'; ++i) plain = plain * 10 + (text[i] - '0');
    if (i > start && text[i] == '\0') return start != 0 ? -plain : plain;
    const char* end = text + std::strlen(text);
    long v = 0;
    const auto r = std::from_chars(text, end, v);
    if (r.ec == std::errc() && r.ptr == end) return v;
    return std::strtol(text, nullptr, 10);   // anything else reads as it always has
}

void readInto(const pg_result* r, int row, int col, unsigned short type, DKAny& into, const char* source,
              const char* function) {
    // Every text is zero-terminated; only an empty one may stand for NULL.
    const char* text = PQgetvalue(r, row, col);
    if (text[0] == '\0' && PQgetisnull(r, row, col)) {
        into.setNull();
        return;
    }
    switch (type) {
        case DKAny::tc_short: into = static_cast<short>(readWhole(text)); return;
        case DKAny::tc_long: into = readWhole(text); return;
        case DKAny::tc_double: {
            // The server's plain forms read without the locale; its other spellings
            // (Infinity, NaN) as before.
            const char* end = text + std::strlen(text);
            double v = 0;
            const auto read = std::from_chars(text, end, v);
            into = read.ec == std::errc() && read.ptr == end ? v : std::strtod(text, nullptr);
            return;
        }
        case DKAny::tc_decimal: {
            std::string copy(text);
            if (copy == "NaN" || copy.find("inity") != std::string::npos) badValue(text, source, function);
            PConnectorKit::put<DKDecimal>(into, DKAny::tc_decimal, copy.data());
            return;
        }
        case DKAny::tc_date: {
            int ymd[3], used = 0;
            if (!readDate(text, ymd, used) || text[used] != '\0') badValue(text, source, function);
            PConnectorKit::put<DKDate>(into, DKAny::tc_date, ymd[0], ymd[1], ymd[2]);
            return;
        }
        case DKAny::tc_time: {
            int hms[3], micros = 0;
            if (!readTime(text, hms, micros)) badValue(text, source, function);
            PConnectorKit::put<DKTime>(into, DKAny::tc_time, hms[0], hms[1], hms[2]);
            return;
        }
        case DKAny::tc_timestamp: {
            int ymd[3], hms[3], used = 0, micros = 0;
            if (!readDate(text, ymd, used) || text[used] != ' ' || !readTime(text + used + 1, hms, micros))
                badValue(text, source, function);
            PConnectorKit::put<DKTimestamp>(into, DKAny::tc_timestamp, ymd[0], ymd[1], ymd[2], hms[0], hms[1], hms[2],
                                            micros * 1000);
            return;
        }
        case DKAny::tc_bytearray: {
            std::size_t n = 0;
            std::unique_ptr<unsigned char, void (*)(void*)> bytes(
                PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &n), PQfreemem);
            if (!bytes) badValue("bytea", source, function);
            PConnectorKit::put<DKByteArray>(into, DKAny::tc_bytearray, reinterpret_cast<char*>(bytes.get()),
                                            static_cast<long>(n), short(0));
            return;
        }
        default: {
            // Text has no zero byte (the server keeps none): assigned into a string the value
            // holds, its buffer reused.
            putText(into, text, PQgetlength(r, row, col));
            return;
        }
    }
}

DKAny readValue(const pg_result* r, int row, int col, unsigned short type, const char* source, const char* function) {
    DKAny value;
    readInto(r, row, col, type, value, source, function);
    return value;
}

unsigned short typeOfColumn(unsigned int type) {
    switch (type) {
        case 21: return DKAny::tc_short;             // int2
        case 20: case 23: return DKAny::tc_long;     // int8, int4
        case 700: case 701: return DKAny::tc_double; // float4, float8
        case 1700: return DKAny::tc_decimal;         // numeric
        case 1082: return DKAny::tc_date;
        case 1083: return DKAny::tc_time;
        case 1114: return DKAny::tc_timestamp;
        case 17: return DKAny::tc_bytearray;
        default: return DKAny::tc_string;            // text and the text form of the rest
    }
}

// ---------------------------------------------------------------------------------------------
// Binary results

bool readsBinary(unsigned int type) {
    switch (type) {
        // float4 is left out: its text is the shortest decimal, which reads as another double
        // than its binary value widened.
        case 21: case 23: case 20: case 701: case 1700: case 1082: case 1083: case 1114: case 17:
        case 25: case 1043: case 1042: case 19:   // text, varchar, char(n), name: the same bytes
            return true;
        default:
            return false;
    }
}

void readBinaryInto(const pg_result* r, int row, int col, unsigned short type, DKAny& into, const char* source,
                    const char* function) {
    const int length = PQgetlength(r, row, col);
    if (length == 0 && PQgetisnull(r, row, col)) {
        into.setNull();
        return;
    }
    char* value = PQgetvalue(r, row, col);
    const auto* bytes = reinterpret_cast<const unsigned char*>(value);
    const char* wrong = nullptr;   // what is wrong with the bytes, when something is
    switch (type) {
        case DKAny::tc_short:
        case DKAny::tc_long: {
            long v = 0;
            if ((wrong = binaryWhole(bytes, length, v)) != nullptr) break;
            if (type == DKAny::tc_short)
                into = static_cast<short>(v);
            else
                into = v;
            return;
        }
        case DKAny::tc_double: {
            double v = 0;
            if ((wrong = binaryDouble(bytes, length, v)) != nullptr) break;
            into = v;
            return;
        }
        case DKAny::tc_decimal: {
            std::string text;
            if ((wrong = binaryNumeric(bytes, length, text)) != nullptr) break;
            PConnectorKit::put<DKDecimal>(into, DKAny::tc_decimal, text.c_str());
            return;
        }
        case DKAny::tc_date: {
            int ymd[3];
            if ((wrong = binaryDate(bytes, length, ymd)) != nullptr) break;
            PConnectorKit::put<DKDate>(into, DKAny::tc_date, ymd[0], ymd[1], ymd[2]);
            return;
        }
        case DKAny::tc_time: {
            int hms[3], micros = 0;
            if ((wrong = binaryTime(bytes, length, hms, micros)) != nullptr) break;
            PConnectorKit::put<DKTime>(into, DKAny::tc_time, hms[0], hms[1], hms[2]);
            return;
        }
        case DKAny::tc_timestamp: {
            int ymd[3], hms[3], micros = 0;
            if ((wrong = binaryTimestamp(bytes, length, ymd, hms, micros)) != nullptr) break;
            PConnectorKit::put<DKTimestamp>(into, DKAny::tc_timestamp, ymd[0], ymd[1], ymd[2], hms[0], hms[1], hms[2],
                                            micros * 1000);
            return;
        }
        case DKAny::tc_bytearray:
            PConnectorKit::put<DKByteArray>(into, DKAny::tc_bytearray, value, static_cast<long>(length), short(0));
            return;
        default:
            putText(into, value, length);   // the text's own bytes, as the text form reads them
            return;
    }
    badValue(wrong, source, function);
}

}  // namespace dkpg
