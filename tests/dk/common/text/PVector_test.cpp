// tests/dk/common/text/PVector_test.cpp
//
// The pointer array: elements kept through every way it grows, removal and replacement, and the
// exact text of message 392 for every kind of bad index.

#include <dk/DKException.hpp>
#include <dk/PVector.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

int slot[64];

// The text of the 392 that f throws.
template <class F>
std::string error392(F f) {
    const dktest::Failure r = dktest::failureOf<DKUsageError>(f);
    EXPECT_EQ(392, r.id);
    return r.text;
}

using dktest::msg;

}  // namespace

TEST(PVector, ElementsSurviveEveryWayOfGrowing) {
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
    EXPECT_EQ(msg(392, " : 3 > 2"), error392([&] { v[2]; }));
    EXPECT_EQ(msg(392, " : 11 > 2"), error392([&] { v.remove(10); }));
    EXPECT_EQ(msg(392, " : 0 < 1 "), error392([&] { v.replace(&slot[2], -1); }));
    EXPECT_EQ(msg(392, " : 3 > 2"), error392([&] { v.replace(&slot[2], 2); }));
    EXPECT_EQ(msg(392, " : 0 < 1 "), error392([&] { v[ULONG_MAX]; }));
    EXPECT_EQ(msg(392, " : 18446744073709551615 > 2"), error392([&] { v[ULONG_MAX - 1]; }));
    EXPECT_EQ(2UL, v.size());

    PVector empty(0);
    EXPECT_EQ(msg(392, " : 1 > 0"), error392([&] { empty[0]; }));
}
