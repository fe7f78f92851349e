// src/dk/common/values/PBigInteger.cpp
//
// The exact integer engine of DKDecimal. Magnitudes stay below 10^18, so every sum, difference
// and quotient fits a 64-bit integer and products are checked in 128 bits; a result that would
// leave the range is refused with a usage error rather than wrapped or rounded.

#include <dk/PBigInteger.hpp>

#include <dk/DKException.hpp>
#include <dk/dkThrow.hpp>

namespace {

constexpr const char* kSource = "dk/common/PBigInteger";   // the location every throw here carries
// The division text stands alone, in place of the catalogue text of 303.
constexpr const char* kDivisionByZero = "Arithmetic Exception: Division by 0 is not defined";
constexpr const char* kOutOfRange = " The value has 10^18 or more as its magnitude.";

[[noreturn]] void fail(const char* function, const char* detail, unsigned long line = __builtin_LINE()) {
    dkThrow<DKUsageError>(303, kSource, function, DKString(detail), line);
}

[[noreturn]] void failDivisionByZero(const char* function, unsigned long line = __builtin_LINE()) {
    dkThrowText<DKUsageError>(DKString(kDivisionByZero), 303, kSource, function, line);
}

unsigned long magnitudeOf(long value) {
    // Negating LONG_MIN would overflow; its magnitude is computed in unsigned arithmetic.
    return value < 0 ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
}

}  // namespace

void PBigInteger::set(unsigned long mag, short s) {
    high = static_cast<long>(mag / kLimb);
    low = static_cast<long>(mag % kLimb);
    sign = (s == -1 && mag != 0) ? -1 : 1;
}

PBigInteger::PBigInteger(const char* digits) : PBigInteger(digits, 1) {}

PBigInteger::PBigInteger(const char* digits, short s) : high(0), low(0), sign(1) {
    const char* p = digits ? digits : "";
    unsigned long mag = 0;
    unsigned significant = 0;
    for (; *p; ++p) {
        if (*p < '0' || *p > '9')
            fail("PBigInteger::PBigInteger", " The digit string holds a character that is not a digit.");
        if (significant == 0 && *p == '0') continue;   // leading zeros add nothing
        if (++significant > 18) fail("PBigInteger::PBigInteger", kOutOfRange);
        mag = mag * 10 + static_cast<unsigned long>(*p - '0');
    }
    set(mag, s);
}

PBigInteger::PBigInteger(int value) : PBigInteger(static_cast<long>(value)) {}

PBigInteger::PBigInteger(unsigned int value) : PBigInteger(static_cast<unsigned long>(value)) {}

PBigInteger::PBigInteger(long value) : high(0), low(0), sign(1) {
    unsigned long mag = magnitudeOf(value);
    if (mag >= kLimit) fail("PBigInteger::PBigInteger", kOutOfRange);
    set(mag, value < 0 ? -1 : 1);
}

PBigInteger::PBigInteger(unsigned long value) : high(0), low(0), sign(1) {
    if (value >= kLimit) fail("PBigInteger::PBigInteger", kOutOfRange);
    set(value, 1);
}

PBigInteger PBigInteger::fromMagnitude(unsigned long mag, short s) {
    if (mag >= kLimit) fail("PBigInteger::PBigInteger", kOutOfRange);
    PBigInteger r;
    r.set(mag, s);
    return r;
}

DKString PBigInteger::toString() const {
    char buf[24];
    char* end = buf + sizeof buf;
    char* p = end;
    unsigned long mag = magnitude();
    do {
        *--p = static_cast<char>('0' + mag % 10);
        mag /= 10;
    } while (mag != 0);
    if (sign < 0) *--p = '-';
    return DKString(p, static_cast<unsigned long>(end - p));
}

PBigInteger PBigInteger::combine(const PBigInteger& other, bool subtract, const char* function) const {
    // Both magnitudes are below 10^18, so the signed sum stays well inside a long.
    long a = sign < 0 ? -static_cast<long>(magnitude()) : static_cast<long>(magnitude());
    long b = other.sign < 0 ? -static_cast<long>(other.magnitude()) : static_cast<long>(other.magnitude());
    long r = subtract ? a - b : a + b;
    unsigned long mag = magnitudeOf(r);
    if (mag >= kLimit) fail(function, kOutOfRange);
    PBigInteger result;
    result.set(mag, r < 0 ? -1 : 1);
    return result;
}

PBigInteger PBigInteger::operator+(const PBigInteger& other) const {
    return combine(other, false, "PBigInteger::operator`+'");
}

PBigInteger& PBigInteger::operator+=(const PBigInteger& other) {
    return *this = combine(other, false, "PBigInteger::operator`+='");
}

PBigInteger PBigInteger::operator-(const PBigInteger& other) const {
    return combine(other, true, "PBigInteger::operator`-'");
}

PBigInteger& PBigInteger::operator-=(const PBigInteger& other) {
    return *this = combine(other, true, "PBigInteger::operator`-='");
}

PBigInteger PBigInteger::operator*(const PBigInteger& other) const {
    unsigned __int128 product = static_cast<unsigned __int128>(magnitude()) * other.magnitude();
    if (product >= kLimit) fail("PBigInteger::operator`*'", kOutOfRange);
    return fromMagnitude(static_cast<unsigned long>(product), sign == other.sign ? 1 : -1);
}

PBigInteger& PBigInteger::operator*=(const PBigInteger& other) {
    unsigned __int128 product = static_cast<unsigned __int128>(magnitude()) * other.magnitude();
    if (product >= kLimit) fail("PBigInteger::operator`*='", kOutOfRange);
    set(static_cast<unsigned long>(product), sign == other.sign ? 1 : -1);
    return *this;
}

PBigInteger PBigInteger::divideScaled(const PBigInteger& divisor, long shift) const {
    unsigned long b = divisor.magnitude();
    if (b == 0) failDivisionByZero("PBigInteger::operator`/'");
    unsigned long a = magnitude();
    // Long division one decimal place at a time: the remainder stays below the divisor (< 10^18),
    // so remainder * 10 and quotient * 10 + digit both fit 64 bits, and the quotient is checked
    // at every step.
    unsigned long q = a / b;
    unsigned long r = a % b;
    for (long i = 0; i < shift && (q != 0 || r != 0); ++i) {
        r *= 10;
        q = q * 10 + r / b;
        r %= b;
        if (q >= kLimit) fail("PBigInteger::operator`/'", kOutOfRange);
    }
    PBigInteger result;
    result.set(q, sign == divisor.sign ? 1 : -1);
    return result;
}

PBigInteger PBigInteger::operator/(const PBigInteger& other) const {
    return divideScaled(other, 0);
}

PBigInteger& PBigInteger::operator/=(const PBigInteger& other) {
    if (other.isZero()) failDivisionByZero("PBigInteger::operator`/='");
    return *this = divideScaled(other, 0);
}

long PBigInteger::compare(const PBigInteger& other) const {
    if (sign != other.sign) return sign < other.sign ? -1 : 1;
    unsigned long a = magnitude(), b = other.magnitude();
    if (a == b) return 0;
    bool magnitudeLess = a < b;
    return (magnitudeLess == (sign > 0)) ? -1 : 1;
}

short PBigInteger::operator<(const PBigInteger& other) const { return compare(other) < 0 ? 1 : 0; }
short PBigInteger::operator<=(const PBigInteger& other) const { return compare(other) <= 0 ? 1 : 0; }
short PBigInteger::operator>(const PBigInteger& other) const { return compare(other) > 0 ? 1 : 0; }
short PBigInteger::operator>=(const PBigInteger& other) const { return compare(other) >= 0 ? 1 : 0; }
short PBigInteger::operator==(const PBigInteger& other) const { return compare(other) == 0 ? 1 : 0; }
