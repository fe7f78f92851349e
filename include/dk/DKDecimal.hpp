// include/dk/DKDecimal.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/PBigInteger.hpp>
#include <dk/dkExport.hpp>

#include <iosfwd>

// An exact decimal number as repository DECIMAL values are exchanged: a signed unscaled integer
// below 10^18 in magnitude and a scale (digits after the point, 0 to kMaxScale); the number is
// value / 10^scale. Equality compares the digit string as it was built (leading zeros kept),
// the scale and the sign, so 1.0 and 1.00, or 007.5 and 7.5, differ. Anything that would leave
// the range (more digits, a larger scale, an overflowing sum or product) throws DKUsageError 303
// rather than giving a wrong number. The ordering operators compare values, so 1.0 < 1.00 and
// 1.00 < 1.0 are both false although the two are unequal. A plain value that owns its integer;
// copying it allocates nothing. One thread at a time.
class DK_API DKDecimal {
public:
    // The largest scale: "-0." and 125 digits are the 128 characters the parser reads, so every
    // decimal's text form parses back to the same decimal.
    static constexpr long kMaxScale = 125;
    // The longest text the parser reads; a longer one is refused, never cut.
    static constexpr unsigned long kMaxText = 128;

    DKDecimal();   // 0, digits "0", scale 0
    DKDecimal(short value);
    DKDecimal(int value);
    DKDecimal(unsigned int value);
    DKDecimal(long value);
    DKDecimal(unsigned long value);
    DKDecimal(long value, long scale);   // value / 10^scale
    DKDecimal(int value, long scale);
    // Written with "%f" in the "C" locale (six decimals, so scale 6) and parsed; NaN, infinities
    // and magnitudes of 10^12 or more (an unscaled value of 10^18 or more) throw.
    DKDecimal(double value);
    // [+|-]digits[(.|,)digits][(e|E)[+|-]digits]; see the source for every rule.
    DKDecimal(char* text);
    DKDecimal(const char* text);
    DKDecimal(const DKDecimal& other) = default;
    ~DKDecimal() = default;

    DKString toString() const;   // 123.45, 0.005, -0.5; never a negative zero
    long getScale() const { return scale; }
    // Truncates toward zero when the scale shrinks; throws for a negative scale, a scale above
    // kMaxScale, or when the larger scale needs 19 or more digits.
    DKDecimal& setScale(long n);
    double toDouble() const;   // the text read in the "C" locale whatever the process locale
    // Truncated toward zero, exactly; a value that does not fit the type throws (toLong always fits).
    int toInteger() const;
    long toLong() const;
    unsigned long toULong() const;

    // Digit strings, scales and signs all equal; a default-constructed zero equals a parsed "0".
    bool operator==(const DKDecimal& other) const {
        return magnitude == other.magnitude && scale == other.scale && length == other.length &&
               (sign < 0) == (other.sign < 0);
    }
    bool operator!=(const DKDecimal& other) const { return !(*this == other); }
    // By value, whatever the scales: 1.5 < 1.75, and -2 < 0.001.
    bool operator<(const DKDecimal& other) const { return compare(other) < 0; }
    bool operator<=(const DKDecimal& other) const { return compare(other) <= 0; }
    bool operator>(const DKDecimal& other) const { return compare(other) > 0; }
    bool operator>=(const DKDecimal& other) const { return compare(other) >= 0; }

    DKDecimal& operator=(const DKDecimal& other) = default;
    DKDecimal& operator=(int value);
    DKDecimal& operator=(unsigned int value);
    DKDecimal& operator=(long value);
    DKDecimal& operator=(unsigned long value);

    // The operand with the smaller scale is raised to the larger one first; the result keeps it.
    // Division scales the dividend too, so 6.0 / 4.0 is 1.5 (truncated toward zero at that scale).
    DKDecimal operator+(const DKDecimal& other) const;
    DKDecimal operator+(int other) const;
    DKDecimal operator+(unsigned int other) const;
    DKDecimal operator+(long other) const;
    DKDecimal operator+(unsigned long other) const;
    DKDecimal operator-(const DKDecimal& other) const;
    DKDecimal operator-(int other) const;
    DKDecimal operator-(unsigned int other) const;
    DKDecimal operator-(long other) const;
    DKDecimal operator-(unsigned long other) const;
    // The exact product: its scale is the sum of both scales.
    DKDecimal operator*(const DKDecimal& other) const;
    DKDecimal operator*(int other) const;
    DKDecimal operator*(unsigned int other) const;
    DKDecimal operator*(long other) const;
    DKDecimal operator*(unsigned long other) const;
    DKDecimal operator/(const DKDecimal& other) const;
    DKDecimal operator/(int other) const;
    DKDecimal operator/(unsigned int other) const;
    DKDecimal operator/(long other) const;
    DKDecimal operator/(unsigned long other) const;

private:
    enum class Op { add, subtract, multiply, divide };
    DKDecimal binary(const DKDecimal& other, Op op) const;
    int compare(const DKDecimal& other) const;   // <0, 0, >0 by value
    void parse(const char* text, unsigned long length);
    // Sets magnitude, sign and scale after checking the scale and the 18-digit range.
    void assignInteger(unsigned long mag, short sign, long scale, const char* function);
    // Stores a magnitude below 10^18 with its scale; the digit string becomes the magnitude's text.
    void setValue(unsigned long mag, bool negative, long newScale);
    unsigned long formatTo(char* out) const;   // toString into a buffer of kMaxText + 1

    // 16 bytes in all, so that a copy is two words and a DKAny holds one with room to spare.
    unsigned long magnitude;   // of the unscaled value, below 10^18
    // The length of the digit string as built: the magnitude's digits after as many zeros as a
    // parsed text had in front (007.5 is 0075, length 4). With the magnitude it is that string.
    short length;
    unsigned char scale;       // digits after the point, 0 .. kMaxScale
    // 1 or -1 (zero is never negative); 0 for a default-constructed decimal, which counts as positive.
    signed char sign;
};

DK_API std::ostream& operator<<(std::ostream& os, const DKDecimal& d);
