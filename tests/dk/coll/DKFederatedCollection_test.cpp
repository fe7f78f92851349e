// tests/dk/coll/DKFederatedCollection_test.cpp
//
// The federated walk over nested and empty members both ways, member-level moves, element
// operations through both iterators, and who frees what (counts and AddressSanitizer).

#include <dk/DKException.hpp>
#include <dk/DKFederatedCollection.hpp>
#include <dk/dkSort.hpp>

#include "dkTestSupport.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using dktest::usageError;

// A collection that counts how many of its kind are alive.
class Counted : public DKSequentialCollection {
public:
    Counted() { ++alive; }
    ~Counted() override { --alive; }
    static int alive;
};
int Counted::alive = 0;

// A member that frees the collections its elements point to itself, as query results free their
// data objects: the federated collection must leave those alone.
class Owning : public Counted {
public:
    ~Owning() override {
        std::unique_ptr<dkIterator> it(createIterator());
        while (it->more())
            if (DKAny* e = it->next(); e->typeCode() == DKAny::tc_collection)
                delete static_cast<dkCollection*>(e->value());
    }
    int ownsElements() const override { return 1; }
};

// A new collection of longs (a value below 0 stands for the next collection argument).
Counted* list(std::initializer_list<long> values, std::vector<dkCollection*> nested = {}) {
    auto* c = new Counted;
    std::size_t n = 0;
    for (long v : values) {
        if (v < 0)
            c->addElement(DKAny(nested.at(n++)));
        else
            c->addElement(DKAny(v));
    }
    return c;
}

std::string text(const DKAny* e) { return e == nullptr ? std::string("<null>") : e->toString().str(); }

std::string forward(DKFederatedCollection& f) {
    std::string out;
    DKFederatedIterator it(f);
    while (it.more())
        if (DKAny* e = it.next()) out += text(e) + " ";
    EXPECT_EQ(0, it.setToNext());
    EXPECT_EQ(nullptr, it.next());
    return out;
}

std::string backward(DKFederatedCollection& f) {
    std::string out;
    DKFederatedIterator it(f);
    if (it.setToLast()) {
        out += text(it.at()) + " ";
        while (DKAny* e = it.previous()) out += text(e) + " ";
    }
    EXPECT_EQ(0, it.setToPrevious());
    return out;
}

}  // namespace

TEST(DKFederatedWalk, LeavesInBothDirectionsAndTheEnds) {
    {
        DKFederatedCollection f;
        DKFederatedIterator empty(f);
        EXPECT_EQ(2, empty.getType()) << "a federated iterator, not a sequential one (1)";
        EXPECT_EQ(0, empty.more());
        EXPECT_EQ(0, empty.setToLast());
        EXPECT_EQ(nullptr, empty.next());
        EXPECT_EQ(nullptr, empty.at());

        f.addElement(DKAny(static_cast<dkCollection*>(list({1, 2}))));
        f.addElement(DKAny(static_cast<dkCollection*>(list({3}))));
        EXPECT_EQ("1 2 3 ", forward(f));
        EXPECT_EQ("3 2 1 ", backward(f));
        DKFederatedIterator it(f);
        while (it.next() != nullptr) {
        }
        EXPECT_EQ(1, it.setToFirst());   // starts again
        EXPECT_EQ("1", text(it.at()));
        EXPECT_EQ(0, it.setToPrevious());   // before the first leaf
        EXPECT_EQ(nullptr, it.at());
        EXPECT_EQ(1, it.more());
        EXPECT_EQ("1", text(it.next()));

        // reset() mid-walk drops the levels below the members: the next walk starts afresh.
        it.next();
        it.reset();
        EXPECT_EQ("1", text(it.next()));

        // A copy stands on the same leaf with iterators of its own.
        it.next();
        DKFederatedIterator copy(it);
        EXPECT_EQ("2", text(copy.at()));
        EXPECT_EQ("3", text(copy.next()));
        EXPECT_EQ("2", text(it.at()));
        EXPECT_EQ("1", text(it.previous()));
    }
    EXPECT_EQ(0, Counted::alive);
}

TEST(DKFederatedWalk, EmptyMembersAnywhereAreSkipped) {
    // Every placement of empty members (and of a member holding only empty collections) before,
    // between and after A = (1, 2) and B = (3).
    for (unsigned mask = 0; mask < 64; ++mask) {
        SCOPED_TRACE(mask);
        DKFederatedCollection f;
        auto addEmpty = [&](unsigned slot) {
            if (mask & (1u << slot)) f.addElement(DKAny(static_cast<dkCollection*>(list({}))));
            if (mask & (8u << slot)) f.addElement(DKAny(static_cast<dkCollection*>(list({-1, -1}, {list({}), list({})}))));
        };
        addEmpty(0);
        f.addElement(DKAny(static_cast<dkCollection*>(list({1, 2}))));
        addEmpty(1);
        f.addElement(DKAny(static_cast<dkCollection*>(list({3}))));
        addEmpty(2);
        EXPECT_EQ("1 2 3 ", forward(f));
        EXPECT_EQ("3 2 1 ", backward(f));
        EXPECT_EQ(3UL, f.cardinality());
    }
    // Only empty members: nothing to walk.
    DKFederatedCollection f;
    f.addElement(DKAny(static_cast<dkCollection*>(list({}))));
    f.addElement(DKAny(static_cast<dkCollection*>(nullptr)));   // a null member counts as empty
    f.addElement(DKAny(static_cast<dkCollection*>(list({}))));
    EXPECT_EQ("", forward(f));
    EXPECT_EQ("", backward(f));
    EXPECT_EQ(0UL, f.cardinality());
    EXPECT_EQ(3UL, f.memberCardinality());
}

TEST(DKFederatedWalk, MemberLevelMoves) {
    DKFederatedCollection f;
    f.addElement(DKAny(static_cast<dkCollection*>(list({1, 2}))));
    f.addElement(DKAny(9L));
    f.addElement(DKAny(static_cast<dkCollection*>(list({}))));
    f.addElement(DKAny(static_cast<dkCollection*>(list({3, 4}))));
    DKFederatedIterator it(f);
    EXPECT_EQ(1, it.setToFirstCollection());
    EXPECT_EQ(nullptr, it.at());   // on the collection itself
    EXPECT_EQ(1, it.more());
    EXPECT_EQ("1", text(it.next()));   // enters it
    EXPECT_EQ(1, it.setToNextCollection());   // skips the leaf member 9, lands on the empty one
    EXPECT_EQ("3", text(it.next()));           // which is skipped on entering
    EXPECT_EQ(0, it.setToNextCollection());
    EXPECT_EQ(1, it.setToLastCollection());
    EXPECT_EQ("4", text(it.previous()));       // entered from its end
    EXPECT_EQ(1, it.setToPreviousCollection());   // the empty member
    EXPECT_EQ(1, it.setToPreviousCollection());
    EXPECT_EQ("2", text(it.previous()));
    EXPECT_EQ(0, it.setToPreviousCollection());
    EXPECT_EQ(1, it.setToFirst());
    EXPECT_EQ("1", text(it.at()));
}

TEST(DKFederatedElements, OperationsActOnLeavesOrMembers) {
    auto* a = list({1, 2});
    auto* b = list({3});
    DKFederatedCollection f;
    f.addElement(DKAny(static_cast<dkCollection*>(a)));
    f.addElement(DKAny(static_cast<dkCollection*>(b)));

    DKFederatedIterator it(f);
    EXPECT_EQ(382, usageError([&] { f.retrieveElementAt(it); }));
    EXPECT_EQ(382, usageError([&] { f.replaceElementAt(DKAny(0L), it); }));
    EXPECT_EQ(382, usageError([&] { f.removeElementAt(it); }));
    it.next();
    it.next();   // on 2, inside a
    EXPECT_EQ(it.at(), f.retrieveElementAt(it));
    f.replaceElementAt(DKAny(20L), it);
    f.insertElementAt(DKAny(25L), it);   // after 20 inside a, and the iterator moves there
    EXPECT_EQ("25", text(it.at()));
    EXPECT_EQ(3UL, a->cardinality());
    EXPECT_EQ("1 20 25 3 ", forward(f));
    EXPECT_EQ("3 25 20 1 ", backward(f));
    f.removeElementAt(it);   // the last of a: nothing current, the walk goes on into b
    EXPECT_EQ(nullptr, it.at());
    EXPECT_EQ("3", text(it.next()));
    f.removeElementAt(it);
    EXPECT_EQ("1 20 ", forward(f));
    EXPECT_EQ(0UL, b->cardinality());

    // A member iterator acts on the member list; a member taken out goes back to the caller.
    std::unique_ptr<dkIterator> members(f.createMemberIterator());
    members->next();
    EXPECT_EQ(DKAny(static_cast<dkCollection*>(a)), *f.retrieveElementAt(*members));
    f.removeElementAt(*members);
    delete a;
    EXPECT_EQ("", forward(f));

    // An iterator of another collection is refused.
    DKFederatedCollection other;
    other.addElement(DKAny(1L));
    DKFederatedIterator foreign(other);
    foreign.next();
    EXPECT_EQ(382, usageError([&] { f.retrieveElementAt(foreign); }));
}

TEST(DKFederatedElements, SortingIsRefusedWith482) {
    DKFederatedCollection f;
    f.addElement(DKAny(static_cast<dkCollection*>(list({2, 1}))));
    DKSortString s;
    EXPECT_EQ(482, usageError([&] { f.sort(1); }));
    EXPECT_EQ(482, usageError([&] { f.sort(&s, 0); }));
    EXPECT_EQ(482, usageError([&] { f.setSortFunction(new DKSortString); }));
    EXPECT_EQ(482, usageError([&] { f.getSortFunction(); }));
    EXPECT_EQ("2 1 ", forward(f));
}

TEST(DKFederatedOwnership, MembersAndWhatTheyHoldAreFreedExactlyOnce) {
    ASSERT_EQ(0, Counted::alive);
    {
        DKFederatedCollection f;
        // A plain member: the federated collection frees it and the collections inside it.
        f.addElement(DKAny(static_cast<dkCollection*>(list({1, -1}, {list({2})}))));
        // A member that frees its own elements: only the member itself is deleted here, so
        // nothing is freed twice.
        auto* owning = new Owning;
        owning->addElement(DKAny(static_cast<dkCollection*>(list({3}))));
        f.addElement(DKAny(static_cast<dkCollection*>(owning)));
        // A federated member owns its members in turn.
        auto* inner = new DKFederatedCollection;
        inner->addElement(DKAny(static_cast<dkCollection*>(list({4}))));
        f.addElement(DKAny(static_cast<dkCollection*>(inner)));
        EXPECT_EQ(1, inner->ownsElements());
        EXPECT_EQ(5, Counted::alive);
        EXPECT_EQ("1 2 3 4 ", forward(f));

        f.removeAllElements();
        EXPECT_EQ(0, Counted::alive);
        EXPECT_EQ(0UL, f.memberCardinality());
        EXPECT_EQ(0UL, f.cardinality());

        // Usable again; the destructor frees the same way.
        f.addElement(DKAny(static_cast<dkCollection*>(list({5}))));
        auto* again = new Owning;
        again->addElement(DKAny(static_cast<dkCollection*>(list({6}))));
        f.addElement(DKAny(static_cast<dkCollection*>(again)));
        EXPECT_EQ("5 6 ", forward(f));
    }
    EXPECT_EQ(0, Counted::alive);
}
