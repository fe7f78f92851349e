// tests/dk/common/values/DKDecimal_test.cpp
//
// Decimal numbers: parsing and refusals, the 18-digit / 128-character / scale-125 limits, zero's
// sign, scale changes, arithmetic, conversions, order, and a comma locale. Where a refusal is
// thrown from is checked once, in the throw helper's suite.

#include <dk/DKDecimal.hpp>
#include <dk/DKException.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <string>

namespace {

std::string text(const DKDecimal& d) { return d.toString().str(); }

// The newest text of the DKUsageError 303 that f throws ("" and a failure when it throws none).
template <class F>
std::string refused(const std::string& what, F f) {
    const dktest::Failure r = dktest::failureOf<DKUsageError>(f);
    EXPECT_EQ(303, r.id) << what << " (-1: nothing was thrown, -2: another exception)";
    return r.text;
}

// Checks that every call throws DKUsageError 303.
void refusedAll(std::initializer_list<std::function<void()>> calls) {
    int n = 0;
    for (const auto& call : calls) EXPECT_EQ(303, dktest::usageError(call)) << "call " << n++;
}

const std::string kZeros124(124, '0');
constexpr auto npos = std::string::npos;

}  // namespace

TEST(DKDecimalParse, ValidTextsGiveTheirValueAndScaleAndBadOnesAreRefused) {
    const struct { const char* in; const char* out; long scale; } rows[] = {
        {"123.45", "123.45", 2}, {"1,5", "1.5", 1}, {".5", "0.5", 1}, {"007.50", "7.50", 2}, {"15e-2", "0.15", 2},
        {"1.5e2", "150", 0},   // a positive exponent keeps the exact value
        {"-3E+4", "-30000", 0}, {"1e2 \n", "100", 0}, {"1e17", "100000000000000000", 0},
        {"999999999999999999", "999999999999999999", 0}, {"0.999999999999999999", "0.999999999999999999", 18},
        {"0000000000000000000000001", "1", 0},   // leading zeros are not digits of the value
        {"1e-125", nullptr, 125}};
    for (const auto& r : rows) {
        DKDecimal d(r.in);
        if (r.out) { EXPECT_EQ(r.out, text(d)) << r.in; }
        EXPECT_EQ(r.scale, d.getScale()) << r.in;
    }
    char writable[] = "42.0";
    EXPECT_EQ("42.0", text(DKDecimal(writable)));
    // Sign, digits, exponent (overflowing too), 19 digits however written, scale above 125.
    for (const char* bad : {"", "+", "-x", "+.5", "5.", ".", "1.2.3", "12a", " 12", "e5", "1e", "1e+", "1e0", "1e2x",
                            "1e2 x", "1e99999999999999999999", "1e-126", "1e18", "1000000000000000000",
                            "0.1000000000000000000", "12345678901234567.8e2", static_cast<const char*>(nullptr)})
        refused(bad ? bad : "<null>", [&] { DKDecimal d(bad); });
    // The detail names the text, so a log reader sees what was refused.
    EXPECT_NE(npos, refused("1.2.3", [] { DKDecimal d("1.2.3"); }).find("'1.2.3'"));
}

TEST(DKDecimalParse, TextsOfMoreThan128CharactersAreRefusedNotCut) {
    // 128 characters: a negative scale-125 value whose text form is exactly the input.
    const std::string full = "-0." + kZeros124 + "1", zeros = std::string(127, '0') + "5";
    ASSERT_EQ(128UL, full.size());
    EXPECT_EQ(full, text(DKDecimal(full.c_str())));
    // 127 leading zeros: the value is 5, but the digit string differs.
    EXPECT_EQ("5", text(DKDecimal(zeros.c_str())));
    EXPECT_NE(DKDecimal("5"), DKDecimal(zeros.c_str()));
    // One more character: cutting it would read 0 instead of 5, so the text is refused; so is a
    // scale of 126, which would not fit in text form.
    const std::string longer = "0" + zeros, scale126 = "0." + std::string(126, '0');
    EXPECT_NE(npos, refused(longer, [&] { DKDecimal x(longer.c_str()); }).find("longer than 128"));
    refused(scale126, [&] { DKDecimal x(scale126.c_str()); });
}

TEST(DKDecimalValues, ZeroEqualityAndScaleChanges) {
    const DKDecimal none, tiny(1L, 125);
    const std::pair<DKDecimal, std::string> texts[] = {
        {DKDecimal("-0"), "0"}, {DKDecimal(-0.0), "0.000000"},
        {DKDecimal(-1e-7), "0.000000"},   // rounds to zero at six decimals: no "-0.000000"
        {DKDecimal("-0.5") + DKDecimal("0.5"), "0.0"}, {DKDecimal("-0.05").setScale(1), "0.0"}, {none, "0"},
        {DKDecimal("1.29").setScale(1), "1.2"}, {DKDecimal("0.05").setScale(0), "0"},
        {DKDecimal(tiny).setScale(0), "0"}, {DKDecimal("1.5").setScale(17), "1.50000000000000000"},
        {DKDecimal().setScale(125), "0.0" + kZeros124}};
    for (const auto& [d, t] : texts) EXPECT_EQ(t, text(d));
    // Digits, scale and sign all count; zero has no sign and the default zero is a parsed "0".
    EXPECT_TRUE(DKDecimal("0") == DKDecimal("-0") && DKDecimal("0") == none && DKDecimal("5") - DKDecimal("5") == none);
    EXPECT_TRUE(DKDecimal("0.0") != none && DKDecimal("00") != none && DKDecimal("007.5") != DKDecimal("7.5"));
    EXPECT_TRUE(DKDecimal("1.0") != DKDecimal("1.00") && DKDecimal("-1.5") != DKDecimal("1.5"));
    EXPECT_TRUE(DKDecimal("1,5") == DKDecimal("1.5") && DKDecimal(12345L, 2) == DKDecimal("123.45"));
    // Shrinking the scale rewrites the digit string, so leading zeros go.
    EXPECT_EQ(DKDecimal("7.5"), DKDecimal("007.50").setScale(1));
    std::ostringstream os;
    os << DKDecimal("-12.340");
    EXPECT_EQ("-12.340", os.str());

    // 19 digits, a negative scale, and one so large that no loop may run up to it are refused.
    DKDecimal d("1.5");
    for (long scale : {18L, -1L, LONG_MAX}) refused(std::to_string(scale), [&] { d.setScale(scale); });
    EXPECT_EQ(DKDecimal("1.5"), d);   // unchanged by the refusals
    EXPECT_EQ(125L, DKDecimal(-1L, 125).getScale());
    refusedAll({[] { DKDecimal("999999999999999999").setScale(1); }, [] { DKDecimal x(1L, -1); },
                [] { DKDecimal x(1, 126L); }});
}

TEST(DKDecimalArithmetic, OperandsAlignToTheLargerScaleAndResultsStayInRange) {
    const DKDecimal a("1.5"), b("2.25"), tiny(1L, 125);
    const std::pair<DKDecimal, std::string> results[] = {
        {a + b, "3.75"}, {a - b, "-0.75"}, {DKDecimal("0.001") + 1, "1.001"}, {a - 2u, "-0.5"},
        // The dividend is scaled too: the quotient is the true value truncated at the common scale.
        {DKDecimal("6.0") / DKDecimal("4"), "1.5"}, {DKDecimal("1.00") / 3, "0.33"}, {DKDecimal("-7.5") / 2, "-3.7"},
        {DKDecimal("12345678.9") / DKDecimal("0.5"), "24691357.8"},
        // Dividing never raises an operand, so extreme scales divide without overflow.
        {tiny / 1, "0." + kZeros124 + "1"}, {tiny / DKDecimal("0.5"), "0." + kZeros124 + "2"},
        {a * DKDecimal("-2.25"), "-3.375"}, {DKDecimal("-1.5") * 0, "0.0"},   // zero is never negative
        {DKDecimal("999999999") * DKDecimal("0.999999999"), "999999998.000000001"}, {DKDecimal(4) * -3, "-12"},
        {DKDecimal("2.50") * 3u, "7.50"}, {DKDecimal(2L, 100) * DKDecimal(3L, 25), "0." + kZeros124 + "6"}};
    for (const auto& [d, t] : results) EXPECT_EQ(t, text(d));
    EXPECT_EQ("1.5", text(a));   // operands unchanged
    // Results carry the canonical digit string: a parsed "0.5" keeps its leading zero, ".5" has none.
    EXPECT_EQ(DKDecimal(".5"), a - 1);
    EXPECT_NE(DKDecimal("0.5"), a - 1);

    // Results of 10^18 or more are refused, never wrapped; so is a product scale above 125.
    refusedAll({[] { DKDecimal("999999999999999999") + 1; }, [] { DKDecimal("-999999999999999999") - 1; },
                [] { DKDecimal("99999999999999999.9") / DKDecimal("0.1"); }, [] { DKDecimal(0) / 0; },
                [] { DKDecimal("999999999999999999") + DKDecimal("0.1"); },
                [] { DKDecimal(1L, 100) * DKDecimal(1L, 26); },
                [] { DKDecimal("1000000000") * DKDecimal("1000000000"); }});
    for (const DKDecimal& zero : {DKDecimal(), DKDecimal("0.00"), DKDecimal("-0")})
        EXPECT_EQ(0U, refused(text(zero), [&] { a / zero; }).find("Arithmetic Exception: Division by 0 is not"));
}

TEST(DKDecimalConversion, NumbersAreExactAndRefusedWhenTheyDoNotFit) {
    const DKDecimal top("999999999999999999");   // beyond a double's 53 bits
    const std::pair<long, long> integers[] = {
        {top.toLong(), 999999999999999999L}, {DKDecimal(1L, 125).toLong(), 0}, {long(top.toULong()), top.toLong()},
        {DKDecimal("2147483647.99").toInteger(), INT_MAX}, {DKDecimal("-2147483648.9").toInteger(), INT_MIN},
        {long(DKDecimal("-0.9").toULong()), 0}};
    for (const auto& [got, expected] : integers) EXPECT_EQ(expected, got);
    EXPECT_TRUE(DKDecimal("123.45").toDouble() == 123.45 && DKDecimal(-1L, 125).toDouble() == -1e-125);
    const std::pair<DKDecimal, std::string> made[] = {
        {DKDecimal(4000000000u), "4000000000"}, {DKDecimal(999999999999999999L), "999999999999999999"},
        {DKDecimal(1.5), "1.500000"}, {DKDecimal(999999999999.0), "999999999999.000000"}};
    for (const auto& [d, t] : made) EXPECT_EQ(t, text(d));
    refusedAll({[] { DKDecimal("2147483648").toInteger(); }, [] { DKDecimal("-2147483649").toInteger(); },
                [] { DKDecimal("-1").toULong(); }, [] { DKDecimal x(LONG_MAX); },
                [] { DKDecimal x(1000000000000000000UL); }});
    // Doubles with no decimal form, or too large once "%f" has rounded them up to 10^12.
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 1e12,
                       999999999999.9999999})
        refused(std::to_string(bad), [&] { DKDecimal x(bad); });
    DKDecimal d("1.5");
    refused("= LONG_MIN", [&] { d = LONG_MIN; });
    EXPECT_EQ("1.5", text(d));
    d = 7u;
    EXPECT_EQ(DKDecimal(7), d);
}

TEST(DKDecimalRoundTrip, EveryTextFormParsesBackToItself) {
    std::mt19937_64 rng(20240607);
    for (int i = 0; i < 3000; ++i) {
        unsigned long cap = 1, mag = rng() % 1000000000000000000UL;
        for (unsigned k = 1 + static_cast<unsigned>(rng() % 18); k > 0; --k) cap *= 10;
        mag %= cap;
        const long scale = static_cast<long>(rng() % (DKDecimal::kMaxScale + 1));
        const DKDecimal d((rng() & 1) ? -static_cast<long>(mag) : static_cast<long>(mag), scale);
        const std::string s = text(d);
        ASSERT_LE(s.size(), DKDecimal::kMaxText);
        const DKDecimal back(s.c_str());
        EXPECT_EQ(s, text(back));
        EXPECT_EQ(scale, back.getScale());
        EXPECT_EQ(std::strtod(s.c_str(), nullptr), d.toDouble()) << s;
        // Raising and lowering the scale again gives the same value where it fits.
        if (scale < DKDecimal::kMaxScale && mag < 100000000000000000UL) {
            DKDecimal up(d);
            EXPECT_EQ(d, up.setScale(scale + 1).setScale(scale)) << s;
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
    EXPECT_TRUE(DKDecimal("1.5").toDouble() == 1.5 && DKDecimal("-1234,25").toDouble() == -1234.25);
    EXPECT_EQ("-1234.250000", text(DKDecimal(-1234.25)));
    EXPECT_EQ(DKDecimal("1.500000"), DKDecimal(1.5));
    std::setlocale(LC_ALL, "C");
}

TEST(DKDecimalOrder, ValuesCompareWhateverTheirScales) {
    EXPECT_TRUE(DKDecimal("1.5") < DKDecimal("1.75") && DKDecimal("-2") < DKDecimal("0.001"));
    EXPECT_TRUE(DKDecimal("-1.75") < DKDecimal("-1.5") && DKDecimal("10") > DKDecimal("9.99999"));
    // Equal values of different digit strings are unequal, yet neither is less.
    const DKDecimal a("1.0"), b("1.00"), c("001");
    EXPECT_NE(a, b);
    EXPECT_FALSE(a < b || b < a || a < c || c < a);
    EXPECT_TRUE(a <= b && a >= b && c <= a);
    EXPECT_FALSE(DKDecimal("-0") < DKDecimal("0.00"));   // zero has no sign
    // Scales far apart: raising by 19 places or more needs no arithmetic, and none overflows.
    const DKDecimal tiny(1L, 125), big("999999999999999999"), smallBig("0.000000000000000001");
    EXPECT_TRUE(DKDecimal() < tiny && tiny < smallBig && smallBig < big);
    EXPECT_TRUE(DKDecimal(-1L, 125) > DKDecimal("-0.1"));
    EXPECT_TRUE(DKDecimal("99999999999999999.9") < DKDecimal("100000000000000000"));
    EXPECT_FALSE(DKDecimal("99999999999999999.9") >= DKDecimal("100000000000000000"));

    // The difference is computed by another path (raising to a common scale, then subtracting);
    // wherever it fits, its sign must give the order.
    std::mt19937_64 rng(7);
    for (int i = 0; i < 20000; ++i) {
        const long ma = static_cast<long>(rng() % 100000000000000ULL);
        const long mb = rng() % 4 == 0 ? ma : static_cast<long>(rng() % 100000000000000ULL);   // equal ones often
        const DKDecimal x((rng() & 1) ? -ma : ma, static_cast<long>(rng() % 4));
        const DKDecimal y((rng() & 1) ? -mb : mb, static_cast<long>(rng() % 4));
        const std::string d = text(x - y);
        const bool negative = d[0] == '-', zero = d.find_first_not_of("0.") == npos;
        ASSERT_EQ(negative, x < y) << text(x) << " < " << text(y);
        ASSERT_EQ(!negative && !zero, x > y) << text(x) << " > " << text(y);
        ASSERT_EQ(!negative, x >= y) << text(x) << " >= " << text(y);
    }
}
