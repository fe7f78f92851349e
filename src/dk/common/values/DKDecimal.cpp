// src/dk/common/values/DKDecimal.cpp
//
// Exact decimal numbers for repository DECIMAL values: parsing and writing their text, changing
// the scale, converting to machine numbers, ordering, and + - * /. Sums and differences are done
// on the magnitudes here; products, quotients and every refused result go through PBigInteger,
// whose locations the overflow errors carry. Numeric text crosses the
// library only in the "C" locale, taken per call (strtod_l, uselocale), so the process locale an
// application sets never changes what a decimal reads or writes.

#include <dk/DKDecimal.hpp>

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <ostream>

namespace {

constexpr const char* kSource = "dk/common/DKDecimal";   // the location every throw here carries
constexpr const char* kConstruct = "DKDecimal::DKDecimal";
constexpr const char* kSign = "DKDecimal::lookForSign";
constexpr const char* kDigits = "DKDecimal::bkDigitStr";
constexpr const char* kSetScale = "DKDecimal::setScale";

constexpr unsigned kMaxDigits = 18;   // significant digits of an unscaled value below 10^18

constexpr unsigned long kPow10[kMaxDigits + 1] = {
    1UL,
    10UL,
    100UL,
    1000UL,
    10000UL,
    100000UL,
    1000000UL,
    10000000UL,
    100000000UL,
    1000000000UL,
    10000000000UL,
    100000000000UL,
    1000000000000UL,
    10000000000000UL,
    100000000000000UL,
    1000000000000000UL,
    10000000000000000UL,
    100000000000000000UL,
    1000000000000000000UL,
};

// An exponent beyond this cannot give a representable non-zero value; it is refused before the
// scale arithmetic could overflow.
constexpr long kMaxExponent = 999999999;

[[noreturn]] void fail(const char* function, const DKString& detail, unsigned long line = __builtin_LINE()) {
    dkThrow<DKUsageError>(303, kSource, function, detail, line);
}

// " The decimal text '...' <why>": the text as read (at most the parser's limit), with bytes
// that would garble a log line shown as '?'.
DKString aboutText(const char* text, unsigned long length, const char* why) {
    if (length > DKDecimal::kMaxText) length = DKDecimal::kMaxText;
    char shown[DKDecimal::kMaxText];
    for (unsigned long i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        shown[i] = (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
    }
    return DKString(" The decimal text '") + DKString(shown, length) + "' " + why;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

unsigned long magnitudeOf(long v) {
    return v < 0 ? 0UL - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
}

// Digits of v (1 for zero), for v below 10^19: the bit length gives the count or one less.
// v | 1 has as many digits as v and is never zero.
unsigned countDigits(unsigned long v) {
    v |= 1;
    unsigned bits = 64 - static_cast<unsigned>(__builtin_clzl(v));
    unsigned n = (bits * 1233) >> 12;   // 1233 / 4096 is just above log10(2)
    return n + (n <= kMaxDigits && v >= kPow10[n] ? 1 : 0);
}

// Writes the decimal digits of v ending just before `end`; returns where they begin.
char* writeDigits(unsigned long v, char* end) {
    char* p = end;
    do {
        *--p = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    return p;
}

// The "C" locale, made once and never freed (it must outlive every thread that may use it).
locale_t cLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

// The magnitude of scale `from` raised to scale s (not below `from`), as setScale raises it.
unsigned long raised(unsigned long mag, long from, long s) {
    long diff = s - from;
    if (diff == 0 || mag == 0) return mag;
    if (diff > static_cast<long>(kMaxDigits) || mag >= kPow10[kMaxDigits - diff])
        fail(kSetScale, DKString(" Raising the scale to ") + DKString(s) +
                            " would need more than 18 digits.");
    return mag * kPow10[diff];
}

PBigInteger big(unsigned long mag, bool negative) {
    return PBigInteger::fromMagnitude(mag, negative ? -1 : 1);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction

DKDecimal::DKDecimal() : magnitude(0), length(1), scale(0), sign(0) {}

DKDecimal::DKDecimal(short v) : DKDecimal(static_cast<long>(v)) {}

DKDecimal::DKDecimal(int v) : DKDecimal(static_cast<long>(v)) {}

DKDecimal::DKDecimal(unsigned int v) : DKDecimal(static_cast<unsigned long>(v)) {}

DKDecimal::DKDecimal(long v) : magnitude(0), length(1), scale(0), sign(1) {
    assignInteger(magnitudeOf(v), v < 0 ? -1 : 1, 0, kConstruct);
}

DKDecimal::DKDecimal(unsigned long v) : magnitude(0), length(1), scale(0), sign(1) {
    assignInteger(v, 1, 0, kConstruct);
}

DKDecimal::DKDecimal(long v, long s) : magnitude(0), length(1), scale(0), sign(1) {
    assignInteger(magnitudeOf(v), v < 0 ? -1 : 1, s, kConstruct);
}

DKDecimal::DKDecimal(int v, long s) : DKDecimal(static_cast<long>(v), s) {}

DKDecimal::DKDecimal(double v) : magnitude(0), length(1), scale(0), sign(1) {
    if (!std::isfinite(v))
        fail(kConstruct, " The number is not finite (NaN or an infinity) and has no decimal form.");
    // Six decimals leave 12 digits for the integer part of an unscaled value below 10^18.
    if (std::fabs(v) >= 1e12)
        fail(kConstruct,
             " The number is 10^12 or more in magnitude; with six decimals it needs more than 18 digits.");
    char buf[64];
    locale_t previous = uselocale(cLocale());
    int n = std::snprintf(buf, sizeof buf, "%f", v);
    uselocale(previous);
    parse(buf, static_cast<unsigned long>(n));
}

DKDecimal::DKDecimal(char* text) : DKDecimal(static_cast<const char*>(text)) {}

DKDecimal::DKDecimal(const char* text) : magnitude(0), length(1), scale(0), sign(1) {
    unsigned long n = 0;
    if (text)
        while (n <= kMaxText && text[n] != '\0') ++n;   // a longer text is refused, so stop counting
    parse(text ? text : "", n);
}

void DKDecimal::assignInteger(unsigned long mag, short sg, long s, const char* function) {
    if (s < 0) fail(function, DKString(" The scale ") + DKString(s) + " is negative.");
    if (s > kMaxScale) fail(function, DKString(" The scale ") + DKString(s) + " is above 125.");
    if (mag >= PBigInteger::kLimit)
        fail(function, DKString(" The value ") + DKString(mag) + " has more than 18 digits.");
    setValue(mag, sg < 0, s);
}

void DKDecimal::setValue(unsigned long mag, bool negative, long s) {
    magnitude = mag;
    scale = static_cast<unsigned char>(s);
    sign = negative && mag != 0 ? -1 : 1;
    length = static_cast<short>(countDigits(mag));
}

// The form decimals are stored and written in, [-]digits[.digits] with at most 18 digits, read in
// one pass; false for anything else (other forms and every refusal), which the full parser reads.
namespace {
struct PlainDecimal {
    unsigned long magnitude = 0;
    short digits = 0;
    long scale = 0;
    bool negative = false;
};

bool readPlain(const char* t, unsigned long n, PlainDecimal& out) {
    unsigned long i = 0;
    if (t[0] == '-') {
        if (n < 2 || !isDigit(t[1])) return false;
        out.negative = true;
        i = 1;
    }
    unsigned long afterPoint = 0;   // the position after the point, 0 while there is none
    unsigned long mag = 0;
    unsigned digits = 0;
    for (; i < n; ++i) {
        const char c = t[i];
        if (isDigit(c)) {
            if (++digits > kMaxDigits) return false;
            mag = mag * 10 + static_cast<unsigned long>(c - '0');
        } else if (c == '.' && afterPoint == 0) {
            afterPoint = i + 1;
        } else {
            return false;
        }
    }
    if (digits == 0 || afterPoint == n) return false;
    out.magnitude = mag;
    out.digits = static_cast<short>(digits);
    out.scale = afterPoint != 0 ? static_cast<long>(n - afterPoint) : 0;
    return true;
}
}  // namespace

// Parsing: [+|-]mantissa[(e|E)exponent]. The mantissa is one digit, or digits split by the first
// '.' (by the first ',' when there is no '.'), either side possibly empty but the point never
// last. The exponent is an optional sign and digits; it ends at a blank or newline, after which
// only blanks and newlines may follow. A positive exponent appends zeros (1.5e2 is 150); a
// negative one raises the scale. Zero is never negative.
void DKDecimal::parse(const char* t, unsigned long n) {
    if (n == 0) fail(kConstruct, " The decimal text is empty.");
    if (n > kMaxText) fail(kConstruct, aboutText(t, n, "is longer than 128 characters."));
    PlainDecimal plain;
    if (readPlain(t, n, plain)) {
        setValue(plain.magnitude, plain.negative, plain.scale);
        length = plain.digits;
        return;
    }

    unsigned long pos = 0;
    short sg = 1;
    if (t[0] == '+' || t[0] == '-') {
        if (n < 2 || !isDigit(t[1])) fail(kSign, aboutText(t, n, "has a sign not followed by a digit."));
        sg = t[0] == '-' ? -1 : 1;
        pos = 1;
    }
    unsigned long ePos = pos;
    while (ePos < n && t[ePos] != 'e' && t[ePos] != 'E') ++ePos;
    if (ePos == pos) fail(kConstruct, aboutText(t, n, "has no digits before its exponent."));

    // The digits without the point; room for the mantissa and the zeros a positive exponent adds.
    char buf[kMaxText + kMaxDigits + 1];
    unsigned long nd = 0;
    long sc = 0;
    if (ePos - pos == 1) {
        if (!isDigit(t[pos])) fail(kDigits, aboutText(t, n, "is not a number."));
        buf[nd++] = t[pos];
    } else {
        unsigned long sep = ePos;
        for (unsigned long i = pos; i < ePos; ++i)
            if (t[i] == '.') { sep = i; break; }
        if (sep == ePos)
            for (unsigned long i = pos; i < ePos; ++i)
                if (t[i] == ',') { sep = i; break; }
        if (sep == ePos - 1) fail(kDigits, aboutText(t, n, "ends in its decimal point."));
        for (unsigned long i = pos; i < ePos; ++i) {
            if (i == sep) continue;
            if (!isDigit(t[i])) fail(kDigits, aboutText(t, n, "holds a character that is not a digit."));
            buf[nd++] = t[i];
        }
        if (sep != ePos) sc = static_cast<long>(ePos - 1 - sep);
    }

    unsigned long mag = 0;
    unsigned significant = 0;
    for (unsigned long i = 0; i < nd; ++i) {
        unsigned d = static_cast<unsigned>(buf[i] - '0');
        if (significant == 0 && d == 0) continue;
        if (++significant > kMaxDigits) fail(kConstruct, aboutText(t, n, "has more than 18 digits."));
        mag = mag * 10 + d;
    }

    if (ePos < n) {
        unsigned long q = ePos + 1;
        unsigned long eEnd = q;
        while (eEnd < n && t[eEnd] != ' ' && t[eEnd] != '\n') ++eEnd;
        for (unsigned long i = eEnd; i < n; ++i)
            if (t[i] != ' ' && t[i] != '\n')
                fail(kConstruct, aboutText(t, n, "has text after its exponent."));
        if (q == eEnd) fail(kConstruct, aboutText(t, n, "has an empty exponent."));
        long es = 1;
        if (t[q] == '+' || t[q] == '-') {
            if (q + 1 >= eEnd || !isDigit(t[q + 1]))
                fail(kSign, aboutText(t, n, "has an exponent sign not followed by a digit."));
            es = t[q] == '-' ? -1 : 1;
            ++q;
        }
        long ev = 0;
        for (; q < eEnd; ++q) {
            if (!isDigit(t[q])) fail(kConstruct, aboutText(t, n, "has an exponent that is not a number."));
            ev = ev * 10 + (t[q] - '0');
            if (ev > kMaxExponent) fail(kConstruct, aboutText(t, n, "has an exponent out of range."));
        }
        if (ev == 0) fail(kConstruct, aboutText(t, n, "has the exponent 0."));
        sc -= es * ev;
        if (sc < 0) {
            // A positive exponent beyond the decimals: the exact value, with zeros appended.
            unsigned long shift = static_cast<unsigned long>(-sc);
            if (mag != 0) {
                if (significant + shift > kMaxDigits)
                    fail(kConstruct, aboutText(t, n, "has more than 18 digits."));
                mag *= kPow10[shift];
                nd += shift;   // the zeros join the digit string
            }
            sc = 0;
        }
    }
    if (sc > kMaxScale) fail(kConstruct, aboutText(t, n, "has a scale above 125."));

    setValue(mag, sg < 0, sc);
    length = static_cast<short>(nd);
}

// ---------------------------------------------------------------------------------------------
// Text and conversions

unsigned long DKDecimal::formatTo(char* out) const {
    char buf[24];
    char* end = buf + sizeof buf;
    char* d = writeDigits(magnitude, end);
    long len = end - d;
    char* p = out;
    if (sign < 0) *p++ = '-';
    if (scale == 0) {
        for (char* c = d; c < end; ++c) *p++ = *c;
    } else if (scale < len) {
        for (char* c = d; c < end - scale; ++c) *p++ = *c;
        *p++ = '.';
        for (char* c = end - scale; c < end; ++c) *p++ = *c;
    } else {
        *p++ = '0';
        *p++ = '.';
        for (long i = len; i < scale; ++i) *p++ = '0';
        for (char* c = d; c < end; ++c) *p++ = *c;
    }
    *p = '\0';
    return static_cast<unsigned long>(p - out);
}

DKString DKDecimal::toString() const {
    char buf[kMaxText + 1];
    unsigned long n = formatTo(buf);
    return DKString(buf, n);
}

DKDecimal& DKDecimal::setScale(long n) {
    if (n < 0) fail(kSetScale, DKString(" The scale ") + DKString(n) + " is negative.");
    if (n > kMaxScale) fail(kSetScale, DKString(" The scale ") + DKString(n) + " is above 125.");
    if (n == scale) return *this;
    if (n > scale) {
        setValue(raised(magnitude, scale, n), sign < 0, n);
    } else {
        long diff = scale - n;
        setValue(diff > static_cast<long>(kMaxDigits) ? 0 : magnitude / kPow10[diff], sign < 0, n);
    }
    return *this;
}

double DKDecimal::toDouble() const {
    char buf[kMaxText + 1];
    formatTo(buf);
    return strtod_l(buf, nullptr, cLocale());
}

namespace {
unsigned long truncatedMagnitude(unsigned long mag, long scale) {
    return scale > static_cast<long>(kMaxDigits) ? 0 : mag / kPow10[scale];
}
}  // namespace

int DKDecimal::toInteger() const {
    unsigned long m = truncatedMagnitude(magnitude, scale);
    bool negative = sign < 0;
    unsigned long limit = negative ? 0UL - static_cast<unsigned long>(static_cast<long>(INT_MIN))
                                   : static_cast<unsigned long>(INT_MAX);
    if (m > limit)
        fail("DKDecimal::toInteger", DKString(" The value ") + toString() + " does not fit an int.");
    return negative ? static_cast<int>(-static_cast<long>(m)) : static_cast<int>(m);
}

long DKDecimal::toLong() const {
    // Below 10^18 in magnitude, every truncated value fits a long.
    unsigned long m = truncatedMagnitude(magnitude, scale);
    return sign < 0 ? -static_cast<long>(m) : static_cast<long>(m);
}

unsigned long DKDecimal::toULong() const {
    unsigned long m = truncatedMagnitude(magnitude, scale);
    if (sign < 0 && m != 0)
        fail("DKDecimal::toULong",
             DKString(" The value ") + toString() + " is negative and does not fit an unsigned long.");
    return m;
}

// ---------------------------------------------------------------------------------------------
// Comparison, assignment, arithmetic

int DKDecimal::compare(const DKDecimal& other) const {
    // Zero is never negative, so the signs of the values decide first.
    bool negative = sign < 0;
    if (negative != (other.sign < 0)) return negative ? -1 : 1;
    unsigned long a = magnitude, b = other.magnitude;
    int order;   // of the magnitudes
    if (scale == other.scale) {
        order = a < b ? -1 : (a > b ? 1 : 0);
    } else {
        // The magnitude with fewer decimals is raised to the other's scale in 128 bits; raised by
        // 19 places or more, any non-zero one exceeds every magnitude below 10^18.
        bool raiseA = scale < other.scale;
        unsigned long x = raiseA ? a : b, y = raiseA ? b : a;
        long shift = raiseA ? long{other.scale} - scale : long{scale} - other.scale;
        int c;
        if (x == 0)
            c = y == 0 ? 0 : -1;
        else if (shift > static_cast<long>(kMaxDigits))
            c = 1;
        else {
            unsigned __int128 raised = static_cast<unsigned __int128>(x) * kPow10[shift];
            c = raised < y ? -1 : (raised > y ? 1 : 0);
        }
        order = raiseA ? c : -c;
    }
    return negative ? -order : order;
}

DKDecimal& DKDecimal::operator=(int v) { return *this = static_cast<long>(v); }

DKDecimal& DKDecimal::operator=(unsigned int v) { return *this = static_cast<unsigned long>(v); }

DKDecimal& DKDecimal::operator=(long v) {
    assignInteger(magnitudeOf(v), v < 0 ? -1 : 1, 0, "DKDecimal::operator=");
    return *this;
}

DKDecimal& DKDecimal::operator=(unsigned long v) {
    assignInteger(v, 1, 0, "DKDecimal::operator=");
    return *this;
}

DKDecimal DKDecimal::binary(const DKDecimal& other, Op op) const {
    DKDecimal result;
    bool negative = sign < 0, otherNegative = other.sign < 0;
    if (op == Op::multiply) {
        long s = long{scale} + other.scale;
        if (s > kMaxScale)
            fail("DKDecimal::operator*", DKString(" The product's scale ") + DKString(s) + " is above 125.");
        unsigned __int128 product = static_cast<unsigned __int128>(magnitude) * other.magnitude;
        if (product >= PBigInteger::kLimit) (void)(big(magnitude, negative) * big(other.magnitude, otherNegative));
        result.setValue(static_cast<unsigned long>(product), negative != otherNegative, s);
        return result;
    }
    long s = scale > other.scale ? scale : other.scale;
    if (op == Op::divide) {
        // (a / 10^sa) / (b / 10^sb) written with s decimals is a * 10^(s - sa + sb) / b. Shifting
        // the dividend alone, inside the long division, means no operand is raised and only a
        // quotient of 10^18 or more is refused.
        PBigInteger q = big(magnitude, negative).divideScaled(big(other.magnitude, otherNegative),
                                                              s - scale + other.scale);
        result.setValue(q.magnitude(), q.getSign() < 0, s);
        return result;
    }
    unsigned long a = raised(magnitude, scale, s);
    unsigned long b = raised(other.magnitude, other.scale, s);
    // Both magnitudes are below 10^18, so neither their sum nor their difference wraps.
    bool bNegative = otherNegative != (op == Op::subtract);
    unsigned long r;
    bool rNegative;
    if (negative == bNegative) {
        r = a + b;
        rNegative = negative;
    } else {
        r = a >= b ? a - b : b - a;
        rNegative = a >= b ? negative : bNegative;
    }
    if (r >= PBigInteger::kLimit) {
        // PBigInteger refuses the same sum, under its own location.
        if (op == Op::add)
            (void)(big(a, negative) + big(b, otherNegative));
        else
            (void)(big(a, negative) - big(b, otherNegative));
    }
    result.setValue(r, rNegative, s);
    return result;
}

DKDecimal DKDecimal::operator+(const DKDecimal& other) const { return binary(other, Op::add); }
DKDecimal DKDecimal::operator+(int other) const { return binary(DKDecimal(other), Op::add); }
DKDecimal DKDecimal::operator+(unsigned int other) const { return binary(DKDecimal(other), Op::add); }
DKDecimal DKDecimal::operator+(long other) const { return binary(DKDecimal(other), Op::add); }
DKDecimal DKDecimal::operator+(unsigned long other) const { return binary(DKDecimal(other), Op::add); }
DKDecimal DKDecimal::operator-(const DKDecimal& other) const { return binary(other, Op::subtract); }
DKDecimal DKDecimal::operator-(int other) const { return binary(DKDecimal(other), Op::subtract); }
DKDecimal DKDecimal::operator-(unsigned int other) const {
    return binary(DKDecimal(other), Op::subtract);
}
DKDecimal DKDecimal::operator-(long other) const { return binary(DKDecimal(other), Op::subtract); }
DKDecimal DKDecimal::operator-(unsigned long other) const {
    return binary(DKDecimal(other), Op::subtract);
}
DKDecimal DKDecimal::operator*(const DKDecimal& other) const { return binary(other, Op::multiply); }
DKDecimal DKDecimal::operator*(int other) const { return binary(DKDecimal(other), Op::multiply); }
DKDecimal DKDecimal::operator*(unsigned int other) const { return binary(DKDecimal(other), Op::multiply); }
DKDecimal DKDecimal::operator*(long other) const { return binary(DKDecimal(other), Op::multiply); }
DKDecimal DKDecimal::operator*(unsigned long other) const { return binary(DKDecimal(other), Op::multiply); }
DKDecimal DKDecimal::operator/(const DKDecimal& other) const { return binary(other, Op::divide); }
DKDecimal DKDecimal::operator/(int other) const { return binary(DKDecimal(other), Op::divide); }
DKDecimal DKDecimal::operator/(unsigned int other) const { return binary(DKDecimal(other), Op::divide); }
DKDecimal DKDecimal::operator/(long other) const { return binary(DKDecimal(other), Op::divide); }
DKDecimal DKDecimal::operator/(unsigned long other) const { return binary(DKDecimal(other), Op::divide); }

std::ostream& operator<<(std::ostream& os, const DKDecimal& d) {
    return os << d.toString();
}
