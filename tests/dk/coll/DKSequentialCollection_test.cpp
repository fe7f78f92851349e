// tests/dk/coll/DKSequentialCollection_test.cpp
//
// The list collection and its iterator: every move at both ends, the element operations at an
// iterator, their 382 failures, and what the collection does and does not own.

#include <dk/DKException.hpp>
#include <dk/DKSequentialCollection.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<DKSequentialIterator> iter(const DKSequentialCollection& c) {
    return std::unique_ptr<DKSequentialIterator>(static_cast<DKSequentialIterator*>(c.createIterator()));
}

std::string text(const DKAny* e) { return e == nullptr ? std::string("<null>") : e->toString().str(); }

// The elements walked forwards with next(), then backwards with setToLast()/setToPrevious().
std::string walk(const DKSequentialCollection& c) {
    std::string out;
    auto it = iter(c);
    while (it->more()) out += text(it->next()) + " ";
    out += "|";
    for (int ok = it->setToLast(); ok; ok = it->setToPrevious()) out += " " + text(it->at());
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
    EXPECT_EQ(nullptr, it->next());   // past the end: stands on nothing, stays there
    EXPECT_EQ(nullptr, it->at());
    EXPECT_EQ(0, it->more());
    EXPECT_EQ(0, it->setToNext());
    EXPECT_EQ(nullptr, it->previous());
    EXPECT_EQ("a", text(it->next()));   // a further next() starts again
    // Backwards past the first: stands before the first, so next() gives the first again.
    EXPECT_EQ(nullptr, it->previous());
    EXPECT_EQ(1, it->more());
    EXPECT_EQ(0, it->setToPrevious());
    EXPECT_EQ("a", text(it->next()));
    EXPECT_EQ(1, it->setToLast());
    EXPECT_EQ("b", text(it->previous()));
    // A copy stands on the same element and then moves on its own.
    DKSequentialIterator copy(*it);
    EXPECT_EQ("c", text(copy.next()));
    EXPECT_EQ("b", text(it->at()));
    EXPECT_EQ(c.retrieveElementAt(*it), it->at());   // a pointer into the collection, not a copy
    it->reset();
    EXPECT_EQ(nullptr, it->at());
    EXPECT_EQ("a", text(it->next()));
}

TEST(DKSequentialCollectionElements, InsertReplaceRemoveKeepBothDirectionsLinked) {
    DKSequentialCollection c;
    fill(c, {"a", "c"});
    auto it = iter(c);
    it->next();
    c.insertElementAt(DKAny("b"), *it);   // in the middle
    EXPECT_EQ("b", text(it->at()));
    it->setToLast();
    c.insertElementAt(DKAny("d"), *it);   // after the last: the new tail
    EXPECT_EQ(0, it->more());
    c.addElement(DKAny("e"));
    EXPECT_EQ("a b c d e | e d c b a", walk(c));
    it->setToFirst();
    c.replaceElementAt(DKAny(7L), *it);
    EXPECT_EQ(DKAny(7L), *c.retrieveElementAt(*it));
    c.removeElementAt(*it);   // the head: the iterator moves to the following element
    EXPECT_EQ("b", text(it->at()));
    it->next();
    c.removeElementAt(*it);   // the middle
    EXPECT_EQ("d", text(it->at()));
    it->setToLast();
    c.removeElementAt(*it);   // the tail: nothing current afterwards
    EXPECT_EQ(nullptr, it->at());
    EXPECT_EQ("b d | d b", walk(c));
    EXPECT_EQ("b", text(it->next()));   // starts again

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
