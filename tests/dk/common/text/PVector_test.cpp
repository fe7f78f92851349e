// tests/dk/common/text/PVector_test.cpp
//
// The pointer array: removal and replacement, and the exact text of message 392 for every kind
// of bad index.

#include <dk/PVector.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <vector>

namespace {

int slot[64];

}  // namespace

TEST(PVector, RemovalAndReplacementKeepTheOthersInPlace) {
    PVector v(2, 3);
    for (int i = 0; i < 12; ++i) v.addLast(&slot[i]);
    v.resize(1);   // never shrinks
    EXPECT_EQ(&slot[1], v.remove(1));
    v.replace(&slot[9], 10);
    EXPECT_EQ(&slot[0], v.remove(0));
    ASSERT_EQ(10UL, v.size());
    EXPECT_EQ((std::vector<void*>{&slot[2], &slot[3], &slot[4], &slot[9]}), (std::vector<void*>{v[0], v[1], v[2], v[9]}));
}

// The text names the index counted from one and the size; an index below zero or one that
// wraps names "0 < 1".
TEST(PVector, IndexErrorsCarryTheIndexAndSize) {
    PVector v, empty(0);
    v.addLast(&slot[0]);
    v.addLast(&slot[1]);
    const std::pair<std::function<void()>, const char*> rows[] = {
        {[&] { v[2]; }, " : 3 > 2"}, {[&] { v.remove(10); }, " : 11 > 2"}, {[&] { v.replace(&slot[2], -1); }, " : 0 < 1 "},
        {[&] { v.replace(&slot[2], 2); }, " : 3 > 2"}, {[&] { v[ULONG_MAX]; }, " : 0 < 1 "}, {[&] { empty[0]; }, " : 1 > 0"},
        {[&] { v[ULONG_MAX - 1]; }, " : 18446744073709551615 > 2"},
    };
    for (const auto& r : rows) {
        const dktest::Failure f = dktest::failureOf<DKUsageError>(r.first);
        EXPECT_EQ(392, f.id) << r.second;
        EXPECT_EQ(dktest::msg(392, r.second), f.text);
    }
    EXPECT_EQ(2UL, v.size());
}
