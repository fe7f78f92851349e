// tests/dk/common/text/PKeyLongCollection_test.cpp
//
// The keyed collections: key order for each key type, unique keys (306), the unique-keys flag
// (303), the maximum, and cursors that survive other entries' changes but not their own entry's
// removal, nor their collection's death.

#include <dk/PKeyShortCollection.hpp>
#include <dk/PKeyStringCollection.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

int slot[16];

using dktest::str;
using dktest::usageError;
using V = dktest::Texts;

// The keys walked forwards, then backwards.
template <class C, class K>
std::vector<K> keys(C& c) {
    std::vector<K> out;
    typename C::Cursor cur(&c);
    for (int ok = cur.setToFirst(); ok; ok = cur.setToNext()) out.push_back(cur.element()->getKey());
    for (int ok = cur.setToLast(); ok; ok = cur.setToPrevious()) out.push_back(cur.element()->getKey());
    return out;
}

}  // namespace

TEST(PKeyCollections, EntriesComeInKeyOrder) {
    PKeyLongCollection longs;
    for (long k : {5L, -3L, 1000000000000L, 0L, -1000000000000L}) longs.add(k, &slot[0]);
    const long big = 1000000000000L;
    EXPECT_EQ((std::vector<long>{-big, -3, 0, 5, big, big, 5, 0, -3, -big}), (keys<PKeyLongCollection, long>(longs)));

    PKeyShortCollection shorts;
    for (short k : {short(7), short(-32768), short(32767), short(0)}) shorts.add(KeyObjectShort(k, &slot[1]));
    EXPECT_EQ((std::vector<short>{-32768, 0, 7, 32767, 32767, 7, 0, -32768}), (keys<PKeyShortCollection, short>(shorts)));

    // Byte order: upper case before lower case, a prefix before its extensions, high bytes last.
    PKeyStringCollection strings;
    for (const char* k : {"ab", "\xc3\xa9", "B", "a", "", "a\x01"}) strings.add(k, &slot[2]);
    std::vector<std::string> seen;
    for (const DKString& k : keys<PKeyStringCollection, DKString>(strings)) seen.push_back(k.str());
    seen.resize(6);
    EXPECT_EQ((std::vector<std::string>{"", "B", "a", "a\x01", "ab", "\xc3\xa9"}), seen);
}

TEST(PKeyCollections, UniqueKeysAndMaximum) {
    EXPECT_EQ(303, usageError([] { PKeyLongCollection c(0, 0); }));

    PKeyStringCollection c(2);
    c.add("x", &slot[0]);
    EXPECT_EQ(306, usageError([&] { c.add("x", &slot[1]); }));
    EXPECT_EQ((V{"1", "1"}), (V{str(c.elementWithKey("x") == &slot[0]), str(c.numberOfElements())})) << "a refused add changes nothing";
    c.add("y", &slot[1]);
    EXPECT_EQ(1, c.isFull());
    EXPECT_EQ(306, usageError([&] { c.add("y", nullptr); })) << "a present key is reported before fullness";
    EXPECT_EQ(303, usageError([&] { c.add("z", nullptr); }));
}

TEST(PKeyCollections, FindReplaceAndRemove) {
    PKeyLongCollection c;
    for (long k = 0; k < 5; ++k) c.add(k, &slot[k]);
    EXPECT_EQ((V{"1", "1", "1", "0", "1"}), (V{str(c.containsKey(3)), str(c.elementWithKey(7) == nullptr),
                                              str(c.replaceElementWithKey(3, &slot[13])), str(c.replaceElementWithKey(7, &slot[13])),
                                              str(c.elementWithKey(3) == &slot[13])}));

    PKeyLongCollection::Cursor at3(&c), at4(&c), nowhere(&c);
    ASSERT_EQ(1, c.locateElementWithKey(3, at3));
    ASSERT_EQ(1, c.locateElementWithKey(4, at4));
    EXPECT_EQ(0, c.locateElementWithKey(9, nowhere));
    c.elementAt(at4).setObj(&slot[14]);
    EXPECT_EQ(&slot[14], c.elementWithKey(4));

    // Other entries come and go: the cursors stay where they are.
    c.add(10, &slot[10]);
    EXPECT_EQ(&slot[0], c.removeElementWithKey(0));
    EXPECT_EQ(3L, at3.element()->getKey());
    ASSERT_EQ(1, at3.setToNext());
    EXPECT_EQ(4L, at3.element()->getKey());
    at3.setToPrevious();

    // Removing a cursor's own entry leaves that cursor invalid.
    PKeyLongCollection::Cursor copyOf3(at3);
    EXPECT_EQ(&slot[13], c.removeAt(at3));
    EXPECT_EQ((V{"0", "0", "1", "1"}),
              (V{str(at3.isValid()), str(copyOf3.isValid()), str(at4.isValid()), str(c.removeElementWithKey(3) == nullptr)}));
    EXPECT_EQ(382, usageError([&] { c.removeAt(at3); }));
    EXPECT_EQ(382, usageError([&] { at3.element(); }));
    EXPECT_EQ((std::vector<long>{1, 2, 4, 10, 10, 4, 2, 1}), (keys<PKeyLongCollection, long>(c)));

    c.removeAll();
    EXPECT_EQ((V{"0", "1"}), (V{str(at4.isValid()), str(c.isEmpty())}));
}

TEST(PKeyCollections, CursorLifetimes) {
    auto c = std::make_unique<PKeyStringCollection>();
    c->add("k", &slot[0]);
    for (int i = 0; i < 8; ++i) {
        PKeyStringCollection::Cursor temp(c.get());
        temp.setToFirst();
        PKeyStringCollection::Cursor assigned(nullptr);
        assigned = temp;
        EXPECT_EQ("k", assigned.element()->getKey().str());
    }
    c->removeElementWithKey("k");   // would touch the dead cursors if they had stayed registered

    PKeyStringCollection::Cursor orphan(c.get());
    c->add("k", &slot[0]);
    orphan.setToFirst();
    c.reset();
    EXPECT_EQ((V{"1", "0"}), (V{str(orphan.collection() == nullptr), str(orphan.isValid())}));
    EXPECT_EQ(382, usageError([&] { orphan.element(); }));
}
