// tests/dk/common/text/PVector_test.cpp
//
// The pointer array: its growth steps, removal and replacement, and the exact text of message
// 392 for every kind of bad index.

#include <dk/DKException.hpp>
#include <dk/DKLogMessageInserts.hpp>
#include <dk/PMessageText.hpp>
#include <dk/PVector.hpp>

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

int slot[64];

// The text of the 392 that f throws, or "(none)".
template <class F>
std::string error392(F f) {
    try {
        f();
    } catch (DKUsageError& e) {
        EXPECT_EQ(392UL, e.errorId());
        return e.text(0);
    }
    return "(none)";
}

std::string expected392(const char* detail) {
    return DKLogMessageInserts::emptyList().substitute(PClsEnv::portalMsg(392) + detail).str();
}

}  // namespace

TEST(PVector, GrowthSteps) {
    PVector byStep(2, 3);
    EXPECT_EQ(2UL, byStep.maxSize());
    for (int i = 0; i < 3; ++i) EXPECT_EQ(static_cast<unsigned long>(i + 1), byStep.addLast(&slot[i]));
    EXPECT_EQ(5UL, byStep.maxSize());

    PVector byInitial(4);
    for (int i = 0; i < 5; ++i) byInitial.addLast(&slot[i]);
    EXPECT_EQ(8UL, byInitial.maxSize());

    PVector byTen(0, 0);
    EXPECT_EQ(0UL, byTen.maxSize());
    byTen.addLast(&slot[0]);
    EXPECT_EQ(10UL, byTen.maxSize());

    PVector defaults;
    EXPECT_EQ(10UL, defaults.maxSize());
    defaults.resize(4);   // never shrinks
    EXPECT_EQ(10UL, defaults.maxSize());
    defaults.addLast(&slot[7]);
    defaults.resize(30);
    EXPECT_EQ(30UL, defaults.maxSize());
    EXPECT_EQ(&slot[7], defaults[0]);
}

TEST(PVector, RemoveAndReplaceKeepOrder) {
    PVector v(2);
    for (int i = 0; i < 5; ++i) v.addLast(&slot[i]);
    EXPECT_EQ(&slot[1], v.remove(1));
    ASSERT_EQ(4UL, v.size());
    EXPECT_EQ(&slot[0], v[0]);
    EXPECT_EQ(&slot[2], v[1]);
    v.replace(&slot[9], 3);
    EXPECT_EQ(&slot[9], v[3]);
    EXPECT_EQ(&slot[0], v.remove(0));
    EXPECT_EQ(3UL, v.size());
}

TEST(PVector, IndexErrorsCarryTheIndexAndSize) {
    PVector v;
    v.addLast(&slot[0]);
    v.addLast(&slot[1]);
    EXPECT_EQ(expected392(" : 3 > 2"), error392([&] { v[2]; }));
    EXPECT_EQ(expected392(" : 11 > 2"), error392([&] { v.remove(10); }));
    EXPECT_EQ(expected392(" : 0 < 1 "), error392([&] { v.replace(&slot[2], -1); }));
    EXPECT_EQ(expected392(" : 3 > 2"), error392([&] { v.replace(&slot[2], 2); }));
    EXPECT_EQ(expected392(" : 0 < 1 "), error392([&] { v[ULONG_MAX]; }));
    EXPECT_EQ(expected392(" : 18446744073709551615 > 2"), error392([&] { v[ULONG_MAX - 1]; }));
    EXPECT_EQ(2UL, v.size());

    PVector empty(0);
    EXPECT_EQ(expected392(" : 1 > 0"), error392([&] { empty[0]; }));
}
