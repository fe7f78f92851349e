// tests/dk/coll/DKSequentialCollection_test.cpp
//
// The list collection and its iterator: every move at both ends, the element operations at an
// iterator, their 382 failures, and what the collection does and does not own. A sequence of
// moves is checked as the list of what each step gave (braced lists run their steps in order).

#include <dk/DKSequentialCollection.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using V = dktest::Texts;
using dktest::str;

std::unique_ptr<DKSequentialIterator> iter(const DKSequentialCollection& c) {
    return std::unique_ptr<DKSequentialIterator>(static_cast<DKSequentialIterator*>(c.createIterator()));
}


// The elements walked forwards with next(), then backwards with setToLast()/setToPrevious().
std::string walk(const DKSequentialCollection& c) {
    std::string out;
    auto it = iter(c);
    while (it->more()) out += str(it->next()) + " ";
    out += "|";
    for (int ok = it->setToLast(); ok; ok = it->setToPrevious()) out += " " + str(it->at());
    return out;
}

void fill(DKSequentialCollection& c, std::initializer_list<const char*> values) {
    for (const char* v : values) c.addElement(DKAny(v));
}

}  // namespace

TEST(DKSequentialIteratorMoves, BothEndsAndRestartAfterTheEnd) {
    DKSequentialCollection c;
    fill(c, {"a", "b", "c"});
    auto it = iter(c);
    it->setToLast();
    // Past the end it stands on nothing and stays there until a further next() starts again;
    // backwards past the first it stands before the first, so next() gives the first again.
    EXPECT_EQ((V{"-", "-", "0", "0", "-", "a", "-", "1", "0", "a", "1", "b"}),
              (V{str(it->next()), str(it->at()), str(it->more()), str(it->setToNext()), str(it->previous()), str(it->next()),
                 str(it->previous()), str(it->more()), str(it->setToPrevious()), str(it->next()), str(it->setToLast()),
                 str(it->previous())}));
    // A copy stands on the same element and then moves on its own; at() points into the list.
    DKSequentialIterator copy(*it);
    EXPECT_EQ((V{"c", "b"}), (V{str(copy.next()), str(it->at())}));
    EXPECT_EQ(c.retrieveElementAt(*it), it->at());
    it->reset();
    EXPECT_EQ((V{"-", "a"}), (V{str(it->at()), str(it->next())}));
}

TEST(DKSequentialCollectionElements, InsertReplaceRemoveKeepBothDirectionsLinked) {
    DKSequentialCollection c;
    fill(c, {"a", "c"});
    auto it = iter(c);
    it->next();
    c.insertElementAt(DKAny("b"), *it);   // in the middle; the iterator moves to it
    EXPECT_EQ("b", str(it->at()));
    it->setToLast();
    c.insertElementAt(DKAny("d"), *it);   // after the last: the new tail
    EXPECT_EQ(0, it->more());
    c.addElement(DKAny("e"));
    EXPECT_EQ("a b c d e | e d c b a", walk(c));
    it->setToFirst();
    c.replaceElementAt(DKAny(7L), *it);
    EXPECT_EQ(DKAny(7L), *c.retrieveElementAt(*it));
    // Removing the head and the middle moves the iterator to the following element; removing
    // the tail leaves nothing current.
    c.removeElementAt(*it);
    const std::string afterHead = str(it->at());
    it->next();
    c.removeElementAt(*it);
    const std::string afterMiddle = str(it->at());
    it->setToLast();
    c.removeElementAt(*it);
    EXPECT_EQ((V{"b", "d", "-", "b d | d b", "b"}), (V{afterHead, afterMiddle, str(it->at()), walk(c), str(it->next())}));

    // An iterator of another collection is refused.
    DKSequentialCollection other;
    fill(other, {"x"});
    auto foreign = iter(other);
    foreign->next();
    EXPECT_EQ(382, dktest::usageError([&] { c.retrieveElementAt(*foreign); }));
    EXPECT_EQ(382, dktest::usageError([&] { c.removeElementAt(*foreign); }));

    // Removing every element while walking leaves a usable empty list.
    it->setToFirst();
    while (c.cardinality() != 0) c.removeElementAt(*it);
    c.addElement(DKAny("z"));
    EXPECT_EQ("z | z", walk(c));
    c.removeAllElements();
    EXPECT_EQ(0, iter(c)->setToFirst());
}

TEST(DKSequentialCollectionOwnership, CopiesElementsButNeverWhatTheyPointTo) {
    auto* pointee = new DKSequentialCollection;   // held by pointer only
    fill(*pointee, {"x"});
    DKString original("abc");
    {
        DKSequentialCollection c;
        c.addElement(DKAny(original));
        c.addElement(DKAny(static_cast<dkCollection*>(pointee)));
        c.addElement(DKAny());
        *iter(c)->next() = DKAny("changed");   // the collection holds its own copy
        EXPECT_EQ(DKString("abc"), original);
        // apply visits every element in order; a null function does nothing.
        static std::vector<int> seen;
        c.apply([](DKAny& e) { seen.push_back(static_cast<int>(e.typeCode())); });
        EXPECT_EQ((std::vector<int>{DKAny::tc_string, DKAny::tc_collection, DKAny::tc_null}), seen);
        c.apply(nullptr);
    }
    EXPECT_EQ(1UL, pointee->cardinality());   // still alive: AddressSanitizer would object otherwise
    delete pointee;
}
