// tests/dk/coll/dkSort_test.cpp
//
// Sorting a sequential collection: both directions, large and degenerate inputs (a deep recursion
// would overflow the stack), the 400/416 failures, and that a failed sort leaves the collection
// exactly as it was.

#include <dk/DKSequentialCollection.hpp>
#include <dk/dkSort.hpp>
#include <dk/dkThrow.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using dktest::failureOf;
using dktest::msg;

std::vector<std::string> contents(const DKSequentialCollection& c) {
    std::vector<std::string> out;
    std::unique_ptr<dkIterator> it(c.createIterator());
    while (it->more()) out.push_back(it->next()->toString().str());
    return out;
}

// The element objects in list order: sorting moves these between the nodes.
std::vector<const DKAny*> elementObjects(const DKSequentialCollection& c) {
    std::vector<const DKAny*> out;
    std::unique_ptr<dkIterator> it(c.createIterator());
    while (it->more()) out.push_back(it->next());
    return out;
}

void fill(DKSequentialCollection& c, const std::vector<std::string>& values) {
    for (const auto& v : values) c.addElement(DKAny(DKString(v)));
}

// A sorter that scrambles the array it was given and then fails, as a sorter may fail halfway.
class FailingSort : public DKSortString {
public:
    void sort(DKAny** elements, int count, int) override {
        std::reverse(elements, elements + count);
        dkThrow<DKUsageError>(400, "tests/dkSort", "FailingSort::sort");
    }
};

std::vector<std::string> randomStrings(std::size_t n, unsigned seed, int alphabet, int maxLen) {
    std::mt19937 rng(seed);
    std::vector<std::string> out(n);
    for (auto& s : out) {
        const int len = 1 + static_cast<int>(rng() % static_cast<unsigned>(maxLen));
        for (int i = 0; i < len; ++i) s.push_back(static_cast<char>('a' + rng() % static_cast<unsigned>(alphabet)));
    }
    return out;
}

}  // namespace

TEST(DKSortString, BothDirectionsTheSmallCasesAndNodesThatStayInPlace) {
    DKSequentialCollection c;
    fill(c, {"c", "a", "b"});
    const auto before = elementObjects(c);
    std::unique_ptr<DKSequentialIterator> second(static_cast<DKSequentialIterator*>(c.createIterator()));
    second->next();
    second->next();
    c.sort(1);
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), contents(c));
    EXPECT_EQ("b", second->at()->toString().str());   // the node kept its place, its value changed
    EXPECT_EQ((std::vector<const DKAny*>{before[1], before[2], before[0]}), elementObjects(c));   // values move
    c.sort(0);
    EXPECT_EQ((std::vector<std::string>{"c", "b", "a"}), contents(c));
    // Bytes compare unsigned, as strcmp does, and a prefix orders first.
    DKSequentialCollection bytes;
    fill(bytes, {"\xe9", "ab", "a", "Z"});
    bytes.sort(1);
    EXPECT_EQ((std::vector<std::string>{"Z", "a", "ab", "\xe9"}), contents(bytes));
    // One element of any kind is never sorted; a null first element means no sort at all.
    DKSequentialCollection one;
    one.addElement(DKAny(5L));
    one.sort(1);
    one.sort(nullptr, 1);
    DKSequentialCollection nullFirst;
    nullFirst.addElement(DKAny());
    nullFirst.addElement(DKAny(3L));
    nullFirst.sort(1);
}

TEST(DKSortString, LargeAndDegenerateInputsSortInBoundedTimeAndDepth) {
#ifdef DK_SANITIZED
    const std::size_t big = 200000, small = 50000;
#else
    const std::size_t big = 1000000, small = 200000;
#endif
    const auto start = std::chrono::steady_clock::now();
    // Mostly distinct keys at full size, very many equal keys, all keys equal.
    for (const auto& [n, alphabet, maxLen] : {std::tuple<std::size_t, int, int>{big, 26, 12}, {small, 2, 3}, {small, 1, 1}}) {
        const auto values = randomStrings(n, 7u + static_cast<unsigned>(alphabet), alphabet, maxLen);
        DKSequentialCollection c;
        fill(c, values);
        c.sort(1);
        auto expected = values;
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(expected, contents(c));
        c.sort(0);   // ordered the other way: the reverse
        std::reverse(expected.begin(), expected.end());
        ASSERT_EQ(expected, contents(c));
    }
    // An ascending run followed by a descending one defeats the middle pivot; it must still
    // finish quickly, in both directions.
    for (const int ascending : {1, 0}) {
        DKSequentialCollection pipe;
        for (std::size_t i = 0; i < small; ++i) {
            char key[16];
            std::snprintf(key, sizeof key, "%08zu", i < small / 2 ? i : small - i);
            pipe.addElement(DKAny(key));
        }
        pipe.sort(ascending);
        const auto sorted = contents(pipe);
        ASSERT_EQ(small, sorted.size());
        EXPECT_TRUE(ascending ? std::is_sorted(sorted.begin(), sorted.end())
                              : std::is_sorted(sorted.rbegin(), sorted.rend()));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(90));
}

TEST(DKSortFailures, MissingSorterAndNonStringElementsGive416) {
    DKSequentialCollection longs;
    longs.addElement(DKAny(2L));
    longs.addElement(DKAny(1L));
    EXPECT_EQ(416, dktest::usageError([&] { longs.sort(1); }));
    EXPECT_EQ(416, dktest::usageError([&] { longs.sort(nullptr, 1); }));
    EXPECT_EQ((std::vector<std::string>{"2", "1"}), contents(longs));

    // A sort function set on the collection is used by both forms, and owned: replacing it
    // deletes the old one (AddressSanitizer reports a leak otherwise).
    longs.setSortFunction(new DKSortString);
    longs.setSortFunction(new DKSortDDORank);
    ASSERT_NE(nullptr, longs.getSortFunction());
    longs.sort(1);   // every rank is 0 here: nothing is rejected
    longs.sort(nullptr, 0);
    EXPECT_EQ(2UL, longs.cardinality());
}

TEST(DKSortFailures, FailedSortLeavesTheCollectionUnchangedAndIsRethrownAsDKException) {
    // The sorter's failure comes back as a DKException with the sort's own location added.
    DKSequentialCollection c;
    fill(c, {"d", "b", "a"});
    c.addElement(DKAny(4L));   // no string: DKSortString cannot read it
    fill(c, {"c"});
    const auto before = elementObjects(c);
    dktest::Failure f = failureOf([&] { c.sort(1); });
    EXPECT_EQ("DKException", f.name);
    EXPECT_EQ(msg(400, ", DKSortString::getKey() "), f.text);
    EXPECT_EQ("DKSortString::getKey", f.function);
    EXPECT_EQ(2UL, f.locations);
    EXPECT_EQ(before, elementObjects(c));

    // A sorter that reorders the array before failing changes nothing either.
    DKSequentialCollection d;
    fill(d, {"x", "y", "z"});
    FailingSort failing;
    f = failureOf([&] { d.sort(&failing, 1); });
    EXPECT_EQ("DKException", f.name);
    EXPECT_EQ(2UL, f.locations);
    EXPECT_EQ((std::vector<std::string>{"x", "y", "z"}), contents(d));

    // The data-object sorters reject what is not a data object, before anything moves.
    DKSequentialCollection strings;
    fill(strings, {"b", "a"});
    DKSortDDOId byId;
    DKSortDDOIdPart byIdPart;
    EXPECT_EQ(msg(400, " DKSortDDOId::getKey() "), failureOf<DKException>([&] { strings.sort(&byId, 1); }).text);
    EXPECT_EQ(msg(400, " DKSortDDOIdPart::getKey() "), failureOf<DKException>([&] { strings.sort(&byIdPart, 0); }).text);
    EXPECT_EQ((std::vector<std::string>{"b", "a"}), contents(strings));

    // The rank sorter rejects nothing: an element that is not a data object ranks 0.
    const DKAny number(1L), nullObject(static_cast<dkDataObjectBase*>(nullptr));
    DKSortDDORank byRank;
    EXPECT_EQ(DKAny(0L), byRank.getKey(&nullObject));
    EXPECT_EQ(0, byRank.compare(&number, &nullObject));
}
