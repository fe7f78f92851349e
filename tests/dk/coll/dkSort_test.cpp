// tests/dk/coll/dkSort_test.cpp
//
// Sorting a sequential collection: both directions, large and degenerate inputs (a deep recursion
// would overflow the stack), the 400/416 failures with their locations, and that a failed sort
// leaves the collection exactly as it was.

#include <dk/DKSequentialCollection.hpp>
#include <dk/dkSort.hpp>
#include <dk/dkThrow.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

std::string rstrip(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

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

struct Located {
    const char* source;
    const char* function;
};

// f must throw an exception of class E named name with message msgId, text catalogue + detail,
// and the given locations, oldest first.
template <class E>
void expectThrow(const std::function<void()>& f, const char* name, unsigned long msgId, const std::string& detail,
                 std::vector<Located> where) {
    try {
        f();
        ADD_FAILURE() << "no exception";
    } catch (E& e) {
        EXPECT_STREQ(name, e.name());
        EXPECT_EQ(msgId, e.errorId());
        EXPECT_EQ(rstrip(std::string(PClsEnv::portalMsg(static_cast<int>(msgId)).c_str()) + detail), rstrip(e.text(0)));
        ASSERT_EQ(where.size(), e.locationCount());
        for (std::size_t i = 0; i < where.size(); ++i) {
            EXPECT_STREQ(where[i].source, e.locationAtIndex(i)->fileName());
            EXPECT_STREQ(where[i].function, e.locationAtIndex(i)->functionName());
        }
    }
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

TEST(DKSortString, AscendingDescendingAndTheSmallCases) {
    DKSequentialCollection c;
    fill(c, {"b", "a", "c"});
    c.sort(1);
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), contents(c));
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

TEST(DKSortString, SortedValuesMoveBetweenNodesThatStayInPlace) {
    DKSequentialCollection c;
    fill(c, {"c", "a", "b"});
    const auto before = elementObjects(c);
    std::unique_ptr<DKSequentialIterator> second(static_cast<DKSequentialIterator*>(c.createIterator()));
    second->next();
    second->next();   // on the second node
    c.sort(1);
    EXPECT_EQ("b", second->at()->toString().str());   // the node kept its place, its value changed
    const auto after = elementObjects(c);
    EXPECT_EQ(before[1], after[0]);   // "a" is the same object, now in the first node
    EXPECT_EQ(before[2], after[1]);
    EXPECT_EQ(before[0], after[2]);
}

TEST(DKSortString, LargeAndDegenerateInputsSortInBoundedTimeAndDepth) {
#ifdef DK_SANITIZED
    const std::size_t big = 200000, small = 50000;
#else
    const std::size_t big = 1000000, small = 200000;
#endif
    const auto start = std::chrono::steady_clock::now();
    // Mostly distinct keys at full size, then very many equal keys.
    for (const auto& [n, alphabet, maxLen] : {std::tuple<std::size_t, int, int>{big, 26, 12}, {small, 2, 3}}) {
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
    // All equal keys.
    DKSequentialCollection equal;
    for (std::size_t i = 0; i < small; ++i) equal.addElement(DKAny("same"));
    equal.sort(1);
    EXPECT_EQ(small, equal.cardinality());
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
    const Located sortAt{"dk/coll/DKSequentialCollection", "DKSequentialCollection::sort"};
    expectThrow<DKUsageError>([&] { longs.sort(1); }, "DKUsageError", 416, "", {sortAt});
    expectThrow<DKUsageError>([&] { longs.sort(nullptr, 1); }, "DKUsageError", 416, "", {sortAt});
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
    DKSequentialCollection c;
    fill(c, {"d", "b", "a"});
    c.addElement(DKAny(4L));   // no string: DKSortString cannot read it
    fill(c, {"c"});
    const auto before = elementObjects(c);
    expectThrow<DKException>([&] { c.sort(1); }, "DKException", 400, ", DKSortString::getKey() ",
                             {{"dk/coll/dkSort", "DKSortString::getKey"},
                              {"dk/coll/DKSequentialCollection", "DKSequentialCollection::sort"}});
    EXPECT_EQ(before, elementObjects(c));

    // A sorter that reorders the array before failing changes nothing either.
    DKSequentialCollection d;
    fill(d, {"x", "y", "z"});
    FailingSort failing;
    expectThrow<DKException>([&] { d.sort(&failing, 1); }, "DKException", 400, "",
                             {{"tests/dkSort", "FailingSort::sort"},
                              {"dk/coll/DKSequentialCollection", "DKSequentialCollection::sort"}});
    EXPECT_EQ((std::vector<std::string>{"x", "y", "z"}), contents(d));

    // The data-object sorters reject what is not a data object, before anything moves.
    DKSequentialCollection strings;
    fill(strings, {"b", "a"});
    DKSortDDOId byId;
    DKSortDDOIdPart byIdPart;
    expectThrow<DKException>([&] { strings.sort(&byId, 1); }, "DKException", 400, " DKSortDDOId::getKey() ",
                             {{"dk/coll/dkSort", "DKSortDDOId::getKey"},
                              {"dk/coll/DKSequentialCollection", "DKSequentialCollection::sort"}});
    expectThrow<DKException>([&] { strings.sort(&byIdPart, 0); }, "DKException", 400,
                             " DKSortDDOIdPart::getKey() ",
                             {{"dk/coll/dkSort", "DKSortDDOIdPart::getKey"},
                              {"dk/coll/DKSequentialCollection", "DKSequentialCollection::sort"}});
    EXPECT_EQ((std::vector<std::string>{"b", "a"}), contents(strings));

    // Called directly, the sorters throw their own DKUsageError.
    const DKAny number(1L), nullObject(static_cast<dkDataObjectBase*>(nullptr));
    DKSortString byString;
    expectThrow<DKUsageError>([&] { byString.getKey(&number); }, "DKUsageError", 400, ", DKSortString::getKey() ",
                              {{"dk/coll/dkSort", "DKSortString::getKey"}});
    expectThrow<DKUsageError>([&] { byId.getKey(&nullObject); }, "DKUsageError", 400, " DKSortDDOId::getKey() ",
                              {{"dk/coll/dkSort", "DKSortDDOId::getKey"}});
    DKSortDDORank byRank;
    EXPECT_EQ(DKAny(0L), byRank.getKey(&nullObject));
    EXPECT_EQ(0, byRank.compare(&number, &nullObject));
}
