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
using V = std::vector<std::string>;

// The element objects in list order (sorting moves these between the nodes), and their texts.
std::vector<const DKAny*> elementObjects(const DKSequentialCollection& c) {
    std::vector<const DKAny*> out;
    std::unique_ptr<dkIterator> it(c.createIterator());
    while (it->more()) out.push_back(it->next());
    return out;
}

V contents(const DKSequentialCollection& c) {
    V out;
    for (const DKAny* e : elementObjects(c)) out.push_back(e->toString().str());
    return out;
}

// A new collection of the strings of values, then of the further elements.
std::unique_ptr<DKSequentialCollection> make(const V& values, std::initializer_list<DKAny> more = {}) {
    auto c = std::make_unique<DKSequentialCollection>();
    for (const auto& v : values) c->addElement(DKAny(DKString(v)));
    for (const DKAny& e : more) c->addElement(e);
    return c;
}

// A sorter that scrambles the array it was given and then fails, as a sorter may fail halfway.
class FailingSort : public DKSortString {
public:
    void sort(DKAny** elements, int count, int) override {
        std::reverse(elements, elements + count);
        dkThrow<DKUsageError>(400, "tests/dkSort", "FailingSort::sort");
    }
};

V randomStrings(std::size_t n, unsigned seed, unsigned alphabet, unsigned maxLen) {
    std::mt19937 rng(seed);
    V out(n);
    for (auto& s : out)
        for (unsigned i = 0, len = 1 + rng() % maxLen; i < len; ++i) s.push_back(static_cast<char>('a' + rng() % alphabet));
    return out;
}

}  // namespace

TEST(DKSortString, BothDirectionsTheSmallCasesAndNodesThatStayInPlace) {
    auto c = make({"c", "a", "b"});
    const auto before = elementObjects(*c);
    std::unique_ptr<DKSequentialIterator> second(static_cast<DKSequentialIterator*>(c->createIterator()));
    second->next();
    second->next();
    c->sort(1);
    EXPECT_EQ((V{"a", "b", "c"}), contents(*c));
    EXPECT_EQ("b", second->at()->toString().str());   // the node kept its place, its value changed
    EXPECT_EQ((std::vector<const DKAny*>{before[1], before[2], before[0]}), elementObjects(*c));   // values move
    c->sort(0);
    EXPECT_EQ((V{"c", "b", "a"}), contents(*c));
    // Bytes compare unsigned, as strcmp does, and a prefix orders first.
    auto bytes = make({"\xe9", "ab", "a", "Z"});
    bytes->sort(1);
    EXPECT_EQ((V{"Z", "a", "ab", "\xe9"}), contents(*bytes));
    // One element of any kind is never sorted; a null first element means no sort at all.
    auto one = make({}, {DKAny(5L)});
    one->sort(1);
    one->sort(nullptr, 1);
    make({}, {DKAny(), DKAny(3L)})->sort(1);
}

TEST(DKSortString, LargeAndDegenerateInputsSortInBoundedTimeAndDepth) {
#ifdef DK_SANITIZED
    const std::size_t big = 200000, small = 50000;
#else
    const std::size_t big = 1000000, small = 200000;
#endif
    const auto start = std::chrono::steady_clock::now();
    // Mostly distinct keys at full size, very many equal keys, all keys equal.
    for (const auto& [n, alphabet, maxLen] : {std::tuple<std::size_t, unsigned, unsigned>{big, 26, 12}, {small, 2, 3}, {small, 1, 1}}) {
        auto expected = randomStrings(n, 7u + alphabet, alphabet, maxLen);
        auto c = make(expected);
        c->sort(1);
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(expected, contents(*c));
        c->sort(0);   // ordered the other way: the reverse
        std::reverse(expected.begin(), expected.end());
        ASSERT_EQ(expected, contents(*c));
    }
    // An ascending run followed by a descending one defeats the middle pivot; it must still
    // finish quickly, in both directions.
    for (const int ascending : {1, 0}) {
        V keys(small);
        for (std::size_t i = 0; i < small; ++i) {
            char key[16];
            std::snprintf(key, sizeof key, "%08zu", i < small / 2 ? i : small - i);
            keys[i] = key;
        }
        auto pipe = make(keys);
        pipe->sort(ascending);
        const auto sorted = contents(*pipe);
        ASSERT_EQ(small, sorted.size());
        EXPECT_TRUE(ascending ? std::is_sorted(sorted.begin(), sorted.end()) : std::is_sorted(sorted.rbegin(), sorted.rend()));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(90));
}

TEST(DKSortFailures, MissingSorterAndNonStringElementsGive416) {
    auto longs = make({}, {DKAny(2L), DKAny(1L)});
    EXPECT_EQ(416, dktest::usageError([&] { longs->sort(1); }));
    EXPECT_EQ(416, dktest::usageError([&] { longs->sort(nullptr, 1); }));
    EXPECT_EQ((V{"2", "1"}), contents(*longs));

    // A sort function set on the collection is used by both forms, and owned: replacing it
    // deletes the old one (AddressSanitizer reports a leak otherwise).
    longs->setSortFunction(new DKSortString);
    longs->setSortFunction(new DKSortDDORank);
    ASSERT_NE(nullptr, longs->getSortFunction());
    longs->sort(1);   // every rank is 0 here: nothing is rejected
    longs->sort(nullptr, 0);
    EXPECT_EQ(2UL, longs->cardinality());
}

TEST(DKSortFailures, FailedSortLeavesTheCollectionUnchangedAndIsRethrownAsDKException) {
    // The sorter's failure comes back as a DKException with the sort's own location added.
    auto c = make({"d", "b", "a"}, {DKAny(4L), DKAny("c")});   // 4 is no string: DKSortString cannot read it
    const auto before = elementObjects(*c);
    dktest::Failure f = failureOf([&] { c->sort(1); });
    EXPECT_EQ((V{"DKException", msg(400, ", DKSortString::getKey() "), "2"}), (V{f.name, f.text, std::to_string(f.locations)}));
    EXPECT_EQ(before, elementObjects(*c));

    // A sorter that reorders the array before failing changes nothing either.
    auto d = make({"x", "y", "z"});
    FailingSort failing;
    f = failureOf([&] { d->sort(&failing, 1); });
    EXPECT_EQ((V{"DKException", "2"}), (V{f.name, std::to_string(f.locations)}));
    EXPECT_EQ((V{"x", "y", "z"}), contents(*d));

    // The data-object sorters reject what is not a data object, before anything moves.
    auto strings = make({"b", "a"});
    DKSortDDOId byId;
    DKSortDDOIdPart byIdPart;
    EXPECT_EQ(msg(400, " DKSortDDOId::getKey() "), failureOf<DKException>([&] { strings->sort(&byId, 1); }).text);
    EXPECT_EQ(msg(400, " DKSortDDOIdPart::getKey() "), failureOf<DKException>([&] { strings->sort(&byIdPart, 0); }).text);
    EXPECT_EQ((V{"b", "a"}), contents(*strings));

    // The rank sorter rejects nothing: an element that is not a data object ranks 0.
    const DKAny number(1L), nullObject(static_cast<dkDataObjectBase*>(nullptr));
    DKSortDDORank byRank;
    EXPECT_EQ(DKAny(0L), byRank.getKey(&nullObject));
    EXPECT_EQ(0, byRank.compare(&number, &nullObject));
}
