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
            if (DKAny* e = it->next(); e->typeCode() == DKAny::tc_collection) delete static_cast<dkCollection*>(e->value());
    }
    int ownsElements() const override { return 1; }
};

// A new collection of longs (a value below 0 stands for the next nested collection), as an element.
DKAny list(std::initializer_list<long> values, std::vector<DKAny> nested = {}) {
    auto* c = new Counted;
    std::size_t n = 0;
    for (long v : values) c->addElement(v < 0 ? nested.at(n++) : DKAny(v));
    return DKAny(static_cast<dkCollection*>(c));
}

std::string text(const DKAny* e) { return e == nullptr ? std::string("<null>") : e->toString().str(); }

// The leaves walked forwards, then backwards from the last; both walks end where they must.
std::string walk(DKFederatedCollection& f) {
    std::string out;
    DKFederatedIterator it(f);
    while (it.more())
        if (DKAny* e = it.next()) out += text(e) + " ";
    EXPECT_EQ(0, it.setToNext());
    EXPECT_EQ(nullptr, it.next());
    out += "|";
    if (it.setToLast()) {
        out += " " + text(it.at());
        while (DKAny* e = it.previous()) out += " " + text(e);
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
        f.addElement(list({1, 2}));
        f.addElement(list({3}));
        EXPECT_EQ("1 2 3 | 3 2 1", walk(f));
        DKFederatedIterator it(f);
        while (it.next() != nullptr) {
        }
        EXPECT_EQ(1, it.setToFirst());   // starts again
        EXPECT_EQ(0, it.setToPrevious());   // before the first leaf
        EXPECT_EQ(nullptr, it.at());
        EXPECT_EQ("1", text(it.next()));
        // reset() mid-walk drops the levels below the members: the next walk starts afresh.
        it.next();
        it.reset();
        EXPECT_EQ("1", text(it.next()));
        // A copy stands on the same leaf with iterators of its own.
        it.next();
        DKFederatedIterator copy(it);
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
        DKFederatedCollection f;
        auto addEmpty = [&](unsigned slot) {
            if (mask & (1u << slot)) f.addElement(list({}));
            if (mask & (8u << slot)) f.addElement(list({-1, -1}, {list({}), list({})}));
        };
        addEmpty(0);
        f.addElement(list({1, 2}));
        addEmpty(1);
        f.addElement(list({3}));
        addEmpty(2);
        EXPECT_EQ("1 2 3 | 3 2 1", walk(f)) << mask;
        EXPECT_EQ(3UL, f.cardinality());
    }
    // Only empty members, a null one among them: nothing to walk.
    DKFederatedCollection f;
    f.addElement(list({}));
    f.addElement(DKAny(static_cast<dkCollection*>(nullptr)));
    EXPECT_EQ("|", walk(f));
    EXPECT_EQ(0UL, f.cardinality());
    EXPECT_EQ(2UL, f.memberCardinality());
}

TEST(DKFederatedWalk, MemberLevelMoves) {
    DKFederatedCollection f;
    f.addElement(list({1, 2}));
    f.addElement(DKAny(9L));
    f.addElement(list({}));
    f.addElement(list({3, 4}));
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
}

TEST(DKFederatedElements, OperationsActOnLeavesOrMembersAndSortingIsRefused) {
    DKFederatedCollection f;
    const DKAny a = list({1, 2});
    f.addElement(a);
    f.addElement(list({3}));
    DKFederatedIterator it(f);
    EXPECT_EQ(382, usageError([&] { f.retrieveElementAt(it); }));   // before the first leaf
    EXPECT_EQ(382, usageError([&] { f.replaceElementAt(DKAny(0L), it); }));
    EXPECT_EQ(382, usageError([&] { f.removeElementAt(it); }));
    it.next();
    it.next();   // on 2, inside a
    EXPECT_EQ(it.at(), f.retrieveElementAt(it));
    f.replaceElementAt(DKAny(20L), it);
    f.insertElementAt(DKAny(25L), it);   // after 20 inside a, and the iterator moves there
    EXPECT_EQ("25", text(it.at()));
    EXPECT_EQ("1 20 25 3 | 3 25 20 1", walk(f));
    f.removeElementAt(it);   // the last of a: nothing current, the walk goes on into b
    EXPECT_EQ(nullptr, it.at());
    EXPECT_EQ("3", text(it.next()));
    f.removeElementAt(it);
    EXPECT_EQ("1 20 | 20 1", walk(f));
    // A member iterator acts on the member list; a member taken out goes back to the caller.
    std::unique_ptr<dkIterator> members(f.createMemberIterator());
    members->next();
    EXPECT_EQ(a, *f.retrieveElementAt(*members));
    f.removeElementAt(*members);
    delete static_cast<dkCollection*>(a.value());
    EXPECT_EQ("|", walk(f));
    // An iterator of another collection is refused.
    DKFederatedCollection other;
    other.addElement(DKAny(1L));
    DKFederatedIterator foreign(other);
    foreign.next();
    EXPECT_EQ(382, usageError([&] { f.retrieveElementAt(foreign); }));
    // A federated collection cannot be sorted.
    f.addElement(list({2, 1}));
    DKSortString s;
    EXPECT_EQ(482, usageError([&] { f.sort(1); }));
    EXPECT_EQ(482, usageError([&] { f.sort(&s, 0); }));
    EXPECT_EQ(482, usageError([&] { f.setSortFunction(new DKSortString); }));
    EXPECT_EQ(482, usageError([&] { f.getSortFunction(); }));
    EXPECT_EQ("2 1 | 1 2", walk(f));
}

TEST(DKFederatedOwnership, MembersAndWhatTheyHoldAreFreedExactlyOnce) {
    ASSERT_EQ(0, Counted::alive);
    {
        DKFederatedCollection f;
        // A plain member: the federated collection frees it and the collections inside it.
        f.addElement(list({1, -1}, {list({2})}));
        // A member that frees its own elements: only the member itself is deleted here, so
        // nothing is freed twice.
        auto* owning = new Owning;
        owning->addElement(list({3}));
        f.addElement(DKAny(static_cast<dkCollection*>(owning)));
        // A federated member owns its members in turn.
        auto* inner = new DKFederatedCollection;
        inner->addElement(list({4}));
        f.addElement(DKAny(static_cast<dkCollection*>(inner)));
        EXPECT_EQ(1, inner->ownsElements());
        EXPECT_EQ(5, Counted::alive);
        EXPECT_EQ("1 2 3 4 | 4 3 2 1", walk(f));
        f.removeAllElements();
        EXPECT_EQ(0, Counted::alive);
        EXPECT_EQ(0UL, f.memberCardinality());
        EXPECT_EQ(0UL, f.cardinality());
        // Usable again; the destructor frees the same way.
        f.addElement(list({5}));
        auto* again = new Owning;
        again->addElement(list({6}));
        f.addElement(DKAny(static_cast<dkCollection*>(again)));
        EXPECT_EQ("5 6 | 6 5", walk(f));
    }
    EXPECT_EQ(0, Counted::alive);
}
