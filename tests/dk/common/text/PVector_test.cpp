// tests/dk/common/text/PVector_test.cpp
//
// The pointer array: elements kept through every way it grows, removal and replacement, and the
// exact text of message 392 for every kind of bad index.

#include <dk/DKException.hpp>
#include <dk/PVector.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

namespace {

int slot[64];

}  // namespace

TEST(PVector, ElementsSurviveEveryWayOfGrowingRemovalAndReplacement) {
    // By its own step, by its initial size, by ten when both are zero, and by resize, which
    // never shrinks.
    PVector byStep(2, 3), byInitial(4), byTen(0, 0);
    for (PVector* v : {&byStep, &byInitial, &byTen}) {
        for (int i = 0; i < 12; ++i) v->addLast(&slot[i]);
        v->resize(1);
        v->resize(40);
        ASSERT_EQ(12UL, v->size());
        EXPECT_LE(v->size(), v->maxSize());
        for (unsigned long i = 0; i < 12; ++i) EXPECT_EQ(&slot[i], (*v)[i]);
    }
    EXPECT_EQ(&slot[1], byStep.remove(1));
    EXPECT_EQ(&slot[2], byStep[1]);
    byStep.replace(&slot[9], 10);
    EXPECT_EQ(&slot[9], byStep[10]);
    EXPECT_EQ(&slot[0], byStep.remove(0));
    EXPECT_EQ(10UL, byStep.size());
}

// The text names the index counted from one and the size; an index below zero or one that
// wraps names "0 < 1".
TEST(PVector, IndexErrorsCarryTheIndexAndSize) {
    PVector v, empty(0);
    v.addLast(&slot[0]);
    v.addLast(&slot[1]);
    const std::pair<std::function<void()>, const char*> rows[] = {
        {[&] { v[2]; }, " : 3 > 2"},
        {[&] { v.remove(10); }, " : 11 > 2"},
        {[&] { v.replace(&slot[2], -1); }, " : 0 < 1 "},
        {[&] { v.replace(&slot[2], 2); }, " : 3 > 2"},
        {[&] { v[ULONG_MAX]; }, " : 0 < 1 "},
        {[&] { v[ULONG_MAX - 1]; }, " : 18446744073709551615 > 2"},
        {[&] { empty[0]; }, " : 1 > 0"},
    };
    for (const auto& r : rows) {
        const dktest::Failure f = dktest::failureOf<DKUsageError>(r.first);
        EXPECT_EQ(392, f.id) << r.second;
        EXPECT_EQ(dktest::msg(392, r.second), f.text);
    }
    EXPECT_EQ(2UL, v.size());
}
