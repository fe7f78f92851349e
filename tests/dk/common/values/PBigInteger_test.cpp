// tests/dk/common/values/PBigInteger_test.cpp
//
// The integer engine under DKDecimal: carries and borrows across the 10^9 limb, signs, the 10^18
// limit that every operation must refuse to cross, truncating division and its zero divisor.

#include <dk/DKException.hpp>
#include <dk/PBigInteger.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

std::string text(const PBigInteger& v) { return v.toString().str(); }

// Checks that f throws DKUsageError 303 from `function`; gives its newest text.
template <class F>
std::string expectUsage(F f, const char* function) {
    return dktest::expectThrownAt<DKUsageError>(f, 303, "dk/common/PBigInteger", function, dktest::kAnyLocations);
}

}  // namespace

TEST(PBigIntegerLimbs, CarriesAndBorrowsCrossTheLimbBoundary) {
    EXPECT_EQ("1000000000", text(PBigInteger("999999999") + PBigInteger(1)));
    EXPECT_EQ("999999999", text(PBigInteger("1000000000") - PBigInteger(1)));
    EXPECT_EQ("999999999999999999", text(PBigInteger("999999999999999998") + PBigInteger(1)));
    EXPECT_EQ("-3", text(PBigInteger(5) + PBigInteger(-8)));
    EXPECT_EQ("13", text(PBigInteger(5) - PBigInteger(-8)));
    EXPECT_EQ("0", text(PBigInteger(5) - PBigInteger(5L)));
    EXPECT_EQ("999999998000000001", text(PBigInteger(999999999) * PBigInteger(999999999)));
    PBigInteger acc(7);
    acc += PBigInteger(999999993UL);
    acc -= PBigInteger(1);
    acc *= PBigInteger(2);
    acc /= PBigInteger(-3);
    EXPECT_EQ("-666666666", text(acc));
}

TEST(PBigIntegerText, DigitStringsAndSigns) {
    EXPECT_EQ("123", text(PBigInteger("000000000000000000000123")));   // leading zeros do not count
    EXPECT_EQ("-42", text(PBigInteger("42", -1)));
    EXPECT_EQ("0", text(PBigInteger("0", -1)));   // zero is never negative
    EXPECT_EQ(1, PBigInteger("0", -1).getSign());
    expectUsage([] { PBigInteger x("1234567890123456789"); }, "PBigInteger::PBigInteger");
    expectUsage([] { PBigInteger x("12a"); }, "PBigInteger::PBigInteger");
    expectUsage([] { PBigInteger x("-5"); }, "PBigInteger::PBigInteger");
    expectUsage([] { PBigInteger x(LONG_MIN); }, "PBigInteger::PBigInteger");
    expectUsage([] { PBigInteger x(1000000000000000000UL); }, "PBigInteger::PBigInteger");
}

TEST(PBigIntegerLimits, ResultsOf10To18AreRefused) {
    PBigInteger top("999999999999999999");
    expectUsage([&] { top + PBigInteger(1); }, "PBigInteger::operator`+'");
    expectUsage([&] { PBigInteger(0) - top - PBigInteger(1); }, "PBigInteger::operator`-'");
    expectUsage([&] { PBigInteger(1000000000) * PBigInteger(1000000000); }, "PBigInteger::operator`*'");
    PBigInteger x(top);
    expectUsage([&] { x += PBigInteger(1); }, "PBigInteger::operator`+='");
    EXPECT_EQ("999999999999999999", text(x));   // unchanged by the refusal
    expectUsage([&] { top.divideScaled(PBigInteger(1), 1); }, "PBigInteger::operator`/'");
}

TEST(PBigIntegerDivision, TruncatesTowardZeroAndRefusesZero) {
    EXPECT_EQ("-3", text(PBigInteger(-7) / PBigInteger(2)));
    EXPECT_EQ("0", text(PBigInteger(-1) / PBigInteger(2)));
    EXPECT_EQ("333", text(PBigInteger(1).divideScaled(PBigInteger(3), 3)));
    // The shifted dividend may pass 10^18 as long as the quotient does not.
    EXPECT_EQ("500000000000000002",
              text(PBigInteger("999999999999999999").divideScaled(PBigInteger("199999999999999999"), 17)));
    std::string why = expectUsage([] { PBigInteger(1) / PBigInteger(0); }, "PBigInteger::operator`/'");
    EXPECT_EQ(0U, why.find("Arithmetic Exception: Division by 0 is not defined")) << why;
    PBigInteger y(5);
    expectUsage([&] { y /= PBigInteger("0", -1); }, "PBigInteger::operator`/='");
}

TEST(PBigIntegerOrder, ComparisonsAcrossSigns) {
    PBigInteger m5(-5), m3(-3), p3(3), big("1000000000");
    EXPECT_EQ(1, m5 < m3);
    EXPECT_EQ(1, m3 < p3);
    EXPECT_EQ(1, big > PBigInteger(999999999));
    EXPECT_EQ(0, m5 >= m3);
    EXPECT_EQ(1, PBigInteger("0", -1) == PBigInteger(0));
}
