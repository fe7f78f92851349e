// tests/dk/common/values/PBigInteger_test.cpp
//
// The integer engine under DKDecimal: carries and borrows across the 10^9 limb, signs, the 10^18
// limit that every operation must refuse to cross, truncating division and its zero divisor.

#include <dk/DKException.hpp>
#include <dk/PBigInteger.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

namespace {

std::string text(const PBigInteger& v) { return v.toString().str(); }

}  // namespace

TEST(PBigIntegerValues, CarriesBorrowsSignsAndTruncatingDivision) {
    PBigInteger acc(7);
    acc += PBigInteger(999999993UL);
    acc -= PBigInteger(1);
    acc *= PBigInteger(2);
    acc /= PBigInteger(-3);
    const std::pair<PBigInteger, std::string> rows[] = {
        {PBigInteger("999999999") + 1, "1000000000"}, {PBigInteger("1000000000") - PBigInteger(1), "999999999"},
        {PBigInteger("999999999999999998") + PBigInteger(1), "999999999999999999"}, {acc, "-666666666"},
        {PBigInteger(5) + PBigInteger(-8), "-3"}, {PBigInteger(5) - PBigInteger(-8), "13"}, {PBigInteger(5) - 5L, "0"},
        {PBigInteger(999999999) * PBigInteger(999999999), "999999998000000001"},
        {PBigInteger("000000000000000000000123"), "123"},   // leading zeros do not count
        {PBigInteger("42", -1), "-42"}, {PBigInteger("0", -1), "0"},   // zero is never negative
        {PBigInteger(-7) / PBigInteger(2), "-3"}, {PBigInteger(-1) / PBigInteger(2), "0"},
        {PBigInteger(1).divideScaled(PBigInteger(3), 3), "333"},
        // The shifted dividend may pass 10^18 as long as the quotient does not.
        {PBigInteger("999999999999999999").divideScaled(PBigInteger("199999999999999999"), 17), "500000000000000002"}};
    for (const auto& [v, t] : rows) EXPECT_EQ(t, text(v));
    EXPECT_EQ(1, PBigInteger("0", -1).getSign());
    const PBigInteger m5(-5), m3(-3), p3(3);
    EXPECT_TRUE(m5 < m3 && m3 < p3 && PBigInteger("1000000000") > PBigInteger(999999999) && !(m5 >= m3));
    EXPECT_EQ(1, PBigInteger("0", -1) == PBigInteger(0));
}

TEST(PBigIntegerLimits, BadDigitsResultsOf10To18AndZeroDivisorsAreRefused) {
    const PBigInteger top("999999999999999999");
    PBigInteger x(top), y(5);
    const std::function<void()> calls[] = {
        [] { PBigInteger v("1234567890123456789"); }, [] { PBigInteger v("12a"); }, [] { PBigInteger v("-5"); },
        [] { PBigInteger v(LONG_MIN); }, [] { PBigInteger v(1000000000000000000UL); }, [&] { top + PBigInteger(1); },
        [&] { PBigInteger(0) - top - PBigInteger(1); }, [] { PBigInteger(1000000000) * PBigInteger(1000000000); },
        [&] { x += PBigInteger(1); }, [&] { top.divideScaled(PBigInteger(1), 1); }, [&] { y /= PBigInteger("0", -1); }};
    for (const auto& call : calls) EXPECT_EQ(303, dktest::usageError(call)) << &call - calls;
    EXPECT_EQ("999999999999999999", text(x));   // unchanged by the refusal
    const std::string why = dktest::failureOf([] { PBigInteger(1) / PBigInteger(0); }).text;
    EXPECT_EQ(0U, why.find("Arithmetic Exception: Division by 0 is not defined")) << why;
}
