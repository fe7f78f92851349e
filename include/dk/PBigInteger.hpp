// include/dk/PBigInteger.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

// The exact signed integer under DKDecimal: a magnitude below 10^18 kept as two base-10^9 limbs
// (high * 10^9 + low) and a sign of 1 or -1 (zero is always positive). Every operation is exact;
// a result of 10^18 or more, a digit string that is not one, and division by zero throw
// DKUsageError 303 instead of giving a wrong number. A plain value: one thread at a time.
// Internal engine of DKDecimal, exported so that connectors reach it.
class DK_API PBigInteger {
public:
    static constexpr unsigned long kLimb = 1000000000UL;               // 10^9
    static constexpr unsigned long kLimit = 1000000000000000000UL;     // 10^18, first value out of range

    PBigInteger() : high(0), low(0), sign(1) {}   // 0
    PBigInteger(const char* digits);              // decimal digits only; leading zeros allowed
    PBigInteger(const char* digits, short sign);  // sign -1 negative, any other value positive
    PBigInteger(int value);
    PBigInteger(unsigned int value);
    PBigInteger(long value);
    PBigInteger(unsigned long value);
    PBigInteger(const PBigInteger& other) = default;
    virtual ~PBigInteger() = default;

    DKString toString() const;   // "-" for a negative value, then the magnitude without leading zeros

    PBigInteger& operator=(const PBigInteger& other) = default;

    PBigInteger operator+(const PBigInteger& other) const;
    PBigInteger& operator+=(const PBigInteger& other);
    PBigInteger operator-(const PBigInteger& other) const;
    PBigInteger& operator-=(const PBigInteger& other);
    PBigInteger operator*(const PBigInteger& other) const;
    PBigInteger& operator*=(const PBigInteger& other);
    PBigInteger operator/(const PBigInteger& other) const;   // truncates toward zero
    PBigInteger& operator/=(const PBigInteger& other);

    short operator<(const PBigInteger& other) const;
    short operator<=(const PBigInteger& other) const;
    short operator>(const PBigInteger& other) const;
    short operator>=(const PBigInteger& other) const;
    short operator==(const PBigInteger& other) const;
    short operator!=(const PBigInteger& other) const { return (*this == other) ? 0 : 1; }

    // For DKDecimal: the parts without going through text.
    short getSign() const { return sign; }
    bool isZero() const { return high == 0 && low == 0; }
    unsigned long magnitude() const {
        return static_cast<unsigned long>(high) * kLimb + static_cast<unsigned long>(low);
    }
    // A magnitude below 10^18 with a sign (-1 negative, else positive); throws when out of range.
    static PBigInteger fromMagnitude(unsigned long magnitude, short sign);
    // (this * 10^shift) / divisor, truncated toward zero, computed without an intermediate that could
    // overflow: only the quotient has to stay below 10^18. A shift of 0 is plain division.
    PBigInteger divideScaled(const PBigInteger& divisor, long shift) const;

private:
    // Stores magnitude and sign; the caller has checked the range.
    void set(unsigned long magnitude, short sign);
    // Signed sum of two values, a negative sign of `other` flipped when `subtract` is set.
    PBigInteger combine(const PBigInteger& other, bool subtract, const char* function) const;
    long compare(const PBigInteger& other) const;   // <0, 0, >0

    long high;    // 0 .. 999999999
    long low;     // 0 .. 999999999
    short sign;   // 1 or -1
};
