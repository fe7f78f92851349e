// tests/dk/common/values/DKDecimalLayout_test.cpp
//
// The two-word decimal: sums and differences done on magnitudes with their signs, checked against
// 128-bit arithmetic on random operands of mixed signs and scales; zero's sign; copies held in a
// DKAny.

#include <dk/DKAny.hpp>
#include <dk/DKDecimal.hpp>

#include <gtest/gtest.h>

#include <random>

TEST(DKDecimalLayout, SmallEnoughToCopyAsTwoWords) {
    static_assert(sizeof(DKDecimal) <= 32 && sizeof(DKAny) <= 48, "a decimal fits four words, a variant six");
    const DKDecimal values[] = {DKDecimal(), DKDecimal("-007.50"), DKDecimal("999999999999999999"),
                                DKDecimal(-1L, 125)};
    for (const DKDecimal& d : values) {
        DKAny a(d), copy(a);
        EXPECT_TRUE(copy == a);
        EXPECT_EQ(d.toString(), static_cast<DKDecimal>(copy).toString());
    }
}

TEST(DKDecimalLayout, SignedSumsProductsAndZeroMatchWideArithmetic) {
    std::mt19937_64 rng(14);
    const __int128 pow10[] = {1, 10, 100, 1000, 10000};
    for (int i = 0; i < 20000; ++i) {
        // Every third left operand is below 10^9, so its product with the right one fits too.
        long a = static_cast<long>(rng() % (i % 3 ? 1000000000000000UL : 1000000000UL));
        long b = static_cast<long>(rng() % 1000000000UL);
        if (i % 7 == 0) b = a;   // equal magnitudes: a difference of zero, never "-0"
        if (rng() & 1) a = -a;
        if (rng() & 1) b = -b;
        long sa = static_cast<long>(rng() % 3), sb = static_cast<long>(rng() % 3), s = sa > sb ? sa : sb;
        DKDecimal x(a, sa), y(b, sb);
        __int128 wa = a * pow10[s - sa], wb = b * pow10[s - sb];
        EXPECT_EQ(DKDecimal(static_cast<long>(wa + wb), s), x + y) << a << " " << b;
        EXPECT_EQ(DKDecimal(static_cast<long>(wa - wb), s), x - y) << a << " " << b;
        if (i % 3 == 0) {
            EXPECT_EQ(DKDecimal(a * b, sa + sb), x * y) << a << " " << b;
        }
    }
    EXPECT_EQ("0", (DKDecimal("-5") + DKDecimal("5")).toString());
    EXPECT_EQ("0.0", (DKDecimal("-0.5") * DKDecimal(0)).toString());
    EXPECT_EQ("0.00", (DKDecimal("1.5") - DKDecimal("1.50")).toString());
}

#include <dk/DKException.hpp>

#include <string>

TEST(DKDecimalLayout, PlainFormsReadInOnePassAsTheFullParserReadsThem) {
    // Each text beside the same text with ',' for '.', which only the full parser reads.
    const char* texts[] = {"0", "-0.00", "7", "-12.340", "007.5", ".5", "123456789012.345678", "-999999999999999999",
                           "0000000000000000001.5",   // 19 digits: the full parser skips the leading zeros
                           "1234567890123456789", "5.", "-.5", "-", "1.2.3", "12a", "--1", "1-"};
    for (const char* text : texts) {
        std::string comma(text);
        for (char& c : comma)
            if (c == '.') c = ',';
        try {
            DKDecimal plain(text);
            DKDecimal full(comma.c_str());
            EXPECT_TRUE(plain == full) << text;
            EXPECT_EQ(full.toString(), plain.toString()) << text;
        } catch (const DKException&) {
            EXPECT_THROW(DKDecimal{comma.c_str()}, DKException) << text;
            EXPECT_THROW(DKDecimal{text}, DKException) << text;
        }
    }
}
