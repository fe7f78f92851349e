// tests/dk/common/values/DKDecimal_test.cpp
//
// Decimal numbers: parsing and refusals with their locations, the 18-digit / 128-character /
// scale-125 limits, zero's sign, scale changes, arithmetic, conversions, and a comma locale.

#include <dk/DKDecimal.hpp>
#include <dk/DKException.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kCtor = "DKDecimal::DKDecimal";
constexpr const char* kSign = "DKDecimal::lookForSign";
constexpr const char* kDigits = "DKDecimal::bkDigitStr";
constexpr const char* kSetScale = "DKDecimal::setScale";

std::string text(const DKDecimal& d) { return d.toString().str(); }

// Runs f and checks that it throws DKUsageError 303 with one location, in `function` of `source`;
// gives the newest text of the exception ("" when the check failed).
template <class F>
std::string expectUsage(F f, const char* function, const char* source = "dk/common/DKDecimal") {
    return dktest::expectThrownAt<DKUsageError>(f, 303, source, function, 1);
}

}  // namespace

TEST(DKDecimalParse, ValidTextsGiveTheirValueAndScale) {
    struct Case {
        const char* in;
        const char* out;
        long scale;
    };
    const Case cases[] = {
        {"123.45", "123.45", 2},
        {"1,5", "1.5", 1},
        {".5", "0.5", 1},
        {"007.50", "7.50", 2},
        {"15e-2", "0.15", 2},
        {"1.5e2", "150", 0},   // a positive exponent keeps the exact value
        {"-3E+4", "-30000", 0},
        {"1e2 \n", "100", 0},  // the exponent ends at a blank or newline
        {"1e17", "100000000000000000", 0},
        {"999999999999999999", "999999999999999999", 0},     // 10^18 - 1
        {"0.999999999999999999", "0.999999999999999999", 18},
        {"0000000000000000000000001", "1", 0},                 // leading zeros are not digits of the value
        {"1e-125", nullptr, 125},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        DKDecimal d(c.in);
        if (c.out) {
            EXPECT_EQ(c.out, text(d));
        }
        EXPECT_EQ(c.scale, d.getScale());
    }
    char writable[] = "42.0";
    EXPECT_EQ("42.0", text(DKDecimal(writable)));
}

TEST(DKDecimalParse, BadTextIsRefusedWhereItFails) {
    struct Case {
        const char* in;
        const char* function;
    };
    const Case cases[] = {
        {"", kCtor},
        {"+", kSign},
        {"-x", kSign},
        {"+.5", kSign},
        {"5.", kDigits},
        {".", kDigits},
        {"1.2.3", kDigits},
        {"12a", kDigits},
        {" 12", kDigits},
        {"e5", kCtor},
        {"1e", kCtor},
        {"1e+", kSign},
        {"1e0", kCtor},
        {"1e2x", kCtor},
        {"1e2 x", kCtor},
        {"1e99999999999999999999", kCtor},    // exponent overflow
        {"1e-126", kCtor},                    // scale above 125
        {"1e18", kCtor},                      // 19 digits
        {"1000000000000000000", kCtor},       // 10^18
        {"0.1000000000000000000", kCtor},     // the unscaled value needs 19 digits
        {"12345678901234567.8e2", kCtor},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        expectUsage([&] { DKDecimal d(c.in); }, c.function);
    }
    expectUsage([] { DKDecimal d(static_cast<const char*>(nullptr)); }, kCtor);
    // The detail names the text, so a log reader sees what was refused.
    EXPECT_NE(std::string::npos, expectUsage([] { DKDecimal d("1.2.3"); }, kDigits).find("'1.2.3'"));
}

TEST(DKDecimalParse, TextsOfMoreThan128CharactersAreRefusedNotCut) {
    // 128 characters: a negative scale-125 value whose text form is exactly the input.
    std::string full = "-0." + std::string(124, '0') + "1";
    ASSERT_EQ(128UL, full.size());
    DKDecimal d(full.c_str());
    EXPECT_EQ(full, text(d));
    EXPECT_EQ(125L, d.getScale());

    // 128 characters of which 127 are leading zeros: the value is 5, but the digit string differs.
    std::string zeros = std::string(127, '0') + "5";
    EXPECT_EQ("5", text(DKDecimal(zeros.c_str())));
    EXPECT_NE(DKDecimal("5"), DKDecimal(zeros.c_str()));

    // One more character: cutting it would read 0 instead of 5, so the text is refused.
    std::string longer = std::string(128, '0') + "5";
    std::string why = expectUsage([&] { DKDecimal x(longer.c_str()); }, kCtor);
    EXPECT_NE(std::string::npos, why.find("longer than 128"));
    // A scale of 126 would not fit the limit in text form, whichever way it is asked for.
    std::string scale126 = "0." + std::string(126, '0');
    expectUsage([&] { DKDecimal x(scale126.c_str()); }, kCtor);
}

TEST(DKDecimalZero, NegativeZeroIsPositiveAndTheDefaultZeroEqualsAParsedZero) {
    EXPECT_EQ("0", text(DKDecimal("-0")));
    EXPECT_EQ(DKDecimal("0"), DKDecimal("-0"));
    EXPECT_EQ("0.000000", text(DKDecimal(-0.0)));
    EXPECT_EQ("0.000000", text(DKDecimal(-1e-7)));   // rounds to zero at six decimals: no "-0.000000"
    EXPECT_EQ("0.0", text(DKDecimal("-0.5") + DKDecimal("0.5")));
    EXPECT_EQ("0.0", text(DKDecimal("-0.05").setScale(1)));

    DKDecimal none;
    EXPECT_EQ("0", text(none));
    EXPECT_EQ(0L, none.getScale());
    EXPECT_EQ(DKDecimal("0"), none);
    EXPECT_EQ(DKDecimal("5") - DKDecimal("5"), none);
    EXPECT_NE(DKDecimal("0.0"), none);   // another scale
    EXPECT_NE(DKDecimal("00"), none);    // another digit string
}

TEST(DKDecimalEquality, DigitsScaleAndSignAllCount) {
    EXPECT_NE(DKDecimal("007.5"), DKDecimal("7.5"));
    EXPECT_NE(DKDecimal("1.0"), DKDecimal("1.00"));
    EXPECT_NE(DKDecimal("-1.5"), DKDecimal("1.5"));
    EXPECT_EQ(DKDecimal("1,5"), DKDecimal("1.5"));
    EXPECT_EQ(DKDecimal(12345L, 2), DKDecimal("123.45"));
    DKDecimal a("-12.340");
    DKDecimal b(a);
    EXPECT_EQ(a, b);
    b = DKDecimal("1");
    EXPECT_EQ("-12.340", text(a));   // the copy owns its own value
    std::ostringstream os;
    os << a;
    EXPECT_EQ("-12.340", os.str());
}

TEST(DKDecimalScale, SetScaleTruncatesRaisesAndRefusesWhatDoesNotFit) {
    EXPECT_EQ("1.2", text(DKDecimal("1.29").setScale(1)));
    EXPECT_EQ("0", text(DKDecimal("0.05").setScale(0)));
    EXPECT_EQ("0", text(DKDecimal(1L, 125).setScale(0)));
    EXPECT_EQ("1.50000000000000000", text(DKDecimal("1.5").setScale(17)));
    std::string zero125 = "0." + std::string(125, '0');
    EXPECT_EQ(zero125, text(DKDecimal().setScale(125)));
    // Shrinking the scale rewrites the digit string, so leading zeros go.
    EXPECT_EQ(DKDecimal("7.5"), DKDecimal("007.50").setScale(1));

    DKDecimal d("1.5");
    expectUsage([&] { d.setScale(18); }, kSetScale);          // 19 digits
    expectUsage([&] { d.setScale(-1); }, kSetScale);
    expectUsage([&] { d.setScale(LONG_MAX); }, kSetScale);    // refused at once, no loop
    expectUsage([&] { DKDecimal("999999999999999999").setScale(1); }, kSetScale);
    EXPECT_EQ(DKDecimal("1.5"), d);                          // unchanged by the refusals

    EXPECT_EQ(125L, DKDecimal(-1L, 125).getScale());
    expectUsage([] { DKDecimal x(1L, -1); }, kCtor);
    expectUsage([] { DKDecimal x(1, 126L); }, kCtor);
}

TEST(DKDecimalArithmetic, OperandsAlignToTheLargerScale) {
    DKDecimal a("1.5"), b("2.25");
    DKDecimal sum = a + b;
    EXPECT_EQ("3.75", text(sum));
    EXPECT_EQ(2L, sum.getScale());
    EXPECT_EQ("1.5", text(a));   // operands unchanged
    EXPECT_EQ("-0.75", text(a - b));
    EXPECT_EQ("1.001", text(DKDecimal("0.001") + 1));
    EXPECT_EQ("-0.5", text(DKDecimal("1.5") - 2u));
    // Results carry the canonical digit string: the parsed "0.5" keeps its leading zero, ".5" has none.
    EXPECT_EQ(DKDecimal(".5"), DKDecimal("1.5") - 1);
    EXPECT_NE(DKDecimal("0.5"), DKDecimal("1.5") - 1);

    // The dividend is scaled too, so the quotient reads the true value truncated at the common scale.
    EXPECT_EQ("1.5", text(DKDecimal("6.0") / DKDecimal("4")));
    EXPECT_EQ("0.33", text(DKDecimal("1.00") / 3));
    EXPECT_EQ("-3.7", text(DKDecimal("-7.5") / 2));
    EXPECT_EQ("24691357.8", text(DKDecimal("12345678.9") / DKDecimal("0.5")));
    // Dividing never raises an operand, so extreme scales divide without overflow.
    EXPECT_EQ("0." + std::string(124, '0') + "1", text(DKDecimal(1L, 125) / 1));
    EXPECT_EQ("0." + std::string(124, '0') + "2", text(DKDecimal(1L, 125) / DKDecimal("0.5")));

    // Results of 10^18 or more are refused, never wrapped.
    expectUsage([] { DKDecimal("999999999999999999") + 1; }, "PBigInteger::operator`+'",
                "dk/common/PBigInteger");
    expectUsage([] { DKDecimal("-999999999999999999") - 1; }, "PBigInteger::operator`-'",
                "dk/common/PBigInteger");
    expectUsage([] { DKDecimal("99999999999999999.9") / DKDecimal("0.1"); }, "PBigInteger::operator`/'",
                "dk/common/PBigInteger");
    expectUsage([] { DKDecimal("999999999999999999") + DKDecimal("0.1"); }, kSetScale);
}

TEST(DKDecimalArithmetic, DivisionByZeroGivesTheDivisionText) {
    const DKDecimal zeros[] = {DKDecimal(), DKDecimal("0.00"), DKDecimal("-0")};
    for (const DKDecimal& z : zeros) {
        std::string why = expectUsage([&] { DKDecimal("1.5") / z; }, "PBigInteger::operator`/'",
                                      "dk/common/PBigInteger");
        EXPECT_EQ(0U, why.find("Arithmetic Exception: Division by 0 is not defined")) << why;
    }
    expectUsage([] { DKDecimal(0) / 0; }, "PBigInteger::operator`/'", "dk/common/PBigInteger");
}

TEST(DKDecimalConversion, IntegersAreExactAndRefusedWhenTheyDoNotFit) {
    EXPECT_EQ(999999999999999999L, DKDecimal("999999999999999999").toLong());   // beyond a double's 53 bits
    EXPECT_EQ(0L, DKDecimal(1L, 125).toLong());
    EXPECT_EQ(INT_MAX, DKDecimal("2147483647.99").toInteger());
    EXPECT_EQ(INT_MIN, DKDecimal("-2147483648.9").toInteger());
    expectUsage([] { DKDecimal("2147483648").toInteger(); }, "DKDecimal::toInteger");
    expectUsage([] { DKDecimal("-2147483649").toInteger(); }, "DKDecimal::toInteger");
    EXPECT_EQ(0UL, DKDecimal("-0.9").toULong());
    EXPECT_EQ(999999999999999999UL, DKDecimal("999999999999999999").toULong());
    expectUsage([] { DKDecimal("-1").toULong(); }, "DKDecimal::toULong");

    EXPECT_EQ(123.45, DKDecimal("123.45").toDouble());
    EXPECT_EQ(-1e-125, DKDecimal(-1L, 125).toDouble());

    EXPECT_EQ("4000000000", text(DKDecimal(4000000000u)));
    EXPECT_EQ("999999999999999999", text(DKDecimal(999999999999999999L)));
    expectUsage([] { DKDecimal x(LONG_MAX); }, kCtor);
    expectUsage([] { DKDecimal x(1000000000000000000UL); }, kCtor);
    DKDecimal d("1.5");
    expectUsage([&] { d = LONG_MIN; }, "DKDecimal::operator=");
    EXPECT_EQ("1.5", text(d));
    d = 7u;
    EXPECT_EQ(DKDecimal(7), d);
}

TEST(DKDecimalConversion, DoublesUseSixDecimalsAndRefuseWhatHasNoDecimalForm) {
    EXPECT_EQ("1.500000", text(DKDecimal(1.5)));
    EXPECT_EQ(6L, DKDecimal(1.5).getScale());
    EXPECT_EQ("999999999999.000000", text(DKDecimal(999999999999.0)));
    expectUsage([] { DKDecimal x(std::numeric_limits<double>::quiet_NaN()); }, kCtor);
    expectUsage([] { DKDecimal x(std::numeric_limits<double>::infinity()); }, kCtor);
    expectUsage([] { DKDecimal x(1e12); }, kCtor);
    expectUsage([] { DKDecimal x(999999999999.9999999); }, kCtor);   // "%f" rounds it up to 10^12
}

TEST(DKDecimalRoundTrip, EveryTextFormParsesBackToItself) {
    std::mt19937_64 rng(20240607);
    for (int i = 0; i < 3000; ++i) {
        unsigned digitsWanted = 1 + static_cast<unsigned>(rng() % 18);
        unsigned long mag = rng() % 1000000000000000000UL;
        unsigned long cap = 1;
        for (unsigned k = 0; k < digitsWanted; ++k) cap *= 10;
        mag %= cap;
        long v = (rng() & 1) ? -static_cast<long>(mag) : static_cast<long>(mag);
        long scale = static_cast<long>(rng() % (DKDecimal::kMaxScale + 1));
        DKDecimal d(v, scale);
        std::string s = text(d);
        SCOPED_TRACE(s);
        ASSERT_LE(s.size(), DKDecimal::kMaxText);
        DKDecimal back(s.c_str());
        EXPECT_EQ(s, text(back));
        EXPECT_EQ(scale, back.getScale());
        EXPECT_EQ(back, DKDecimal(text(back).c_str()));
        EXPECT_EQ(std::strtod(s.c_str(), nullptr), d.toDouble());
        // Raising and lowering the scale again gives the same value where it fits.
        if (scale < DKDecimal::kMaxScale && mag < 100000000000000000UL) {
            DKDecimal up(d);
            up.setScale(scale + 1).setScale(scale);
            EXPECT_EQ(d, up);
        }
    }
}

// Numbers are read and written in the "C" locale whatever the process locale; LOCPATH is read at
// process start, so the comma locale is checked in a child.
TEST(DKDecimalLocale, CommaLocaleChangesNoNumber) {
    const dktest::BuiltLocale& locale = dktest::buildLocale("de_DE.UTF-8");
    if (locale.locpath.empty()) GTEST_SKIP() << "localedef could not build de_DE.UTF-8: " << locale.why;
    std::string out;
    EXPECT_TRUE(dktest::childPasses("DKDecimalLocale.DISABLED_ChildUnderCommaLocale",
                                    {"LOCPATH=" + locale.locpath.string(), "DKDECIMAL_LOCALE_CHILD=1"}, out))
        << out;
}

// Run only by CommaLocaleChangesNoNumber, in a child whose LOCPATH holds de_DE.UTF-8.
TEST(DKDecimalLocale, DISABLED_ChildUnderCommaLocale) {
    ASSERT_NE(nullptr, std::getenv("DKDECIMAL_LOCALE_CHILD")) << "run through CommaLocaleChangesNoNumber";
    ASSERT_NE(nullptr, std::setlocale(LC_ALL, "de_DE.UTF-8"));
    // The locale really reads and writes a comma, so the checks below can fail.
    ASSERT_STREQ(",", std::localeconv()->decimal_point);
    ASSERT_EQ(1.0, std::strtod("1.5", nullptr));

    EXPECT_EQ(1.5, DKDecimal("1.5").toDouble());
    EXPECT_EQ(-1234.25, DKDecimal("-1234,25").toDouble());
    EXPECT_EQ("1.500000", text(DKDecimal(1.5)));
    EXPECT_EQ("-1234.250000", text(DKDecimal(-1234.25)));
    EXPECT_EQ(DKDecimal("1.500000"), DKDecimal(1.5));
    std::setlocale(LC_ALL, "C");
}

TEST(DKDecimalOrder, ValuesCompareWhateverTheirScales) {
    EXPECT_TRUE(DKDecimal("1.5") < DKDecimal("1.75"));
    EXPECT_TRUE(DKDecimal("-2") < DKDecimal("0.001"));
    EXPECT_TRUE(DKDecimal("-1.75") < DKDecimal("-1.5"));
    EXPECT_TRUE(DKDecimal("10") > DKDecimal("9.99999"));
    // Equal values of different digit strings are unequal, yet neither is less.
    DKDecimal a("1.0"), b("1.00"), c("001");
    EXPECT_NE(a, b);
    EXPECT_FALSE(a < b || b < a || a < c || c < a);
    EXPECT_TRUE(a <= b && a >= b && c <= a);
    EXPECT_FALSE(DKDecimal("-0") < DKDecimal("0.00"));   // zero has no sign
    // Scales far apart: raising by 19 places or more needs no arithmetic, and none overflows.
    DKDecimal tiny(1L, 125), big("999999999999999999"), smallBig("0.000000000000000001");
    EXPECT_TRUE(DKDecimal() < tiny && tiny < smallBig && smallBig < big);
    EXPECT_TRUE(DKDecimal(-1L, 125) > DKDecimal("-0.1"));
    EXPECT_TRUE(DKDecimal("99999999999999999.9") < DKDecimal("100000000000000000"));
    EXPECT_FALSE(DKDecimal("99999999999999999.9") >= DKDecimal("100000000000000000"));
}

TEST(DKDecimalOrder, AgreesWithTheSignOfTheDifference) {
    // The difference is computed by another path (raising to a common scale, then subtracting);
    // wherever it fits, its sign must give the order.
    std::mt19937_64 rng(7);
    for (int i = 0; i < 20000; ++i) {
        long ma = static_cast<long>(rng() % 100000000000000ULL), mb = static_cast<long>(rng() % 100000000000000ULL);
        if (rng() % 4 == 0) mb = ma;   // equal magnitudes often
        DKDecimal a((rng() & 1) ? -ma : ma, static_cast<long>(rng() % 4));
        DKDecimal b((rng() & 1) ? -mb : mb, static_cast<long>(rng() % 4));
        std::string d = text(a - b);
        bool negative = d[0] == '-', zero = d.find_first_not_of("0.") == std::string::npos;
        ASSERT_EQ(negative, a < b) << text(a) << " < " << text(b);
        ASSERT_EQ(!negative && !zero, a > b) << text(a) << " > " << text(b);
        ASSERT_EQ(!negative, a >= b) << text(a) << " >= " << text(b);
    }
}

TEST(DKDecimalArithmetic, ProductsAreExactAndRefusedBeyondTheRange) {
    DKDecimal p = DKDecimal("1.5") * DKDecimal("-2.25");
    EXPECT_EQ("-3.375", text(p));
    EXPECT_EQ(3L, p.getScale());
    EXPECT_EQ("0.0", text(DKDecimal("-1.5") * 0));   // zero is never negative
    EXPECT_EQ("999999998.000000001", text(DKDecimal("999999999") * DKDecimal("0.999999999")));
    EXPECT_EQ("-12", text(DKDecimal(4) * -3));
    EXPECT_EQ("7.50", text(DKDecimal("2.50") * 3u));
    EXPECT_EQ("0." + std::string(124, '0') + "6", text(DKDecimal(2L, 100) * DKDecimal(3L, 25)));
    expectUsage([] { DKDecimal("1000000000") * DKDecimal("1000000000"); }, "PBigInteger::operator`*'",
                "dk/common/PBigInteger");
    expectUsage([] { DKDecimal(1L, 100) * DKDecimal(1L, 26); }, "DKDecimal::operator*");
}
